#include "support/catalogfixture.h"

#include <QProcess>
#include <QtTest>

class TestCliTree : public QObject {
    Q_OBJECT
private slots:
    void printsBothTreesInTreeOrderWithEscapes()
    {
        CatalogFixture f;
        const qint64 col = f.collection("Viagens");
        const qint64 cat = f.category(col, "Roma");
        const qint64 disk = f.storage("Disco");
        const qint64 p1 = f.picture(col, cat, disk, "a\tb\\c\nd");
        const qint64 wave = f.picture(col, cat, 0, QString::fromUtf8("Água \xf0\x9f\x8c\x8a"));
        const qint64 bee = f.picture(col, cat, 0, "abelha");
        QProcess p;
        p.start(testsupport::binDir() + "/quillomar-cli", { "--catalogue", f.path, "tree" });
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QStringList lines
            = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        // The tables were not empty, so the store added no default rows.
        QVERIFY2(lines.size() == 7, qPrintable(lines.join(" | ")));
        QCOMPARE(lines[0], QString("1\t0\tN1=%1\tViagens").arg(col));
        QCOMPARE(lines[1], QString("1\t1\tN2=%1\tRoma").arg(cat));
        QCOMPARE(lines[2], QString("1\t2\tN3=%1\ta\\tb\\\\c\\nd").arg(p1));
        QCOMPARE(lines[3], QString("1\t2\tN3=%1\tabelha").arg(bee));
        QCOMPARE(lines[4], QString::fromUtf8("1\t2\tN3=%1\tÁgua \xf0\x9f\x8c\x8a").arg(wave));
        QCOMPARE(lines[5], QString("2\t0\tN4=%1\tDisco").arg(disk));
        QCOMPARE(lines[6], QString("2\t1\tN3=%1\ta\\tb\\\\c\\nd").arg(p1));
        QVERIFY(p.readAllStandardError().isEmpty());

        // Output that cannot be written is a failure, not an empty success.
        QProcess full;
        full.setStandardOutputFile("/dev/full");
        full.start(testsupport::binDir() + "/quillomar-cli", { "--catalogue", f.path, "tree" });
        QVERIFY(full.waitForFinished(60000));
        QCOMPARE(full.exitCode(), 1);
        QVERIFY(full.readAllStandardError().contains("Não foi possível gravar a saída"));

        // An empty catalogue gets its default rows, and they are what the trees show.
        CatalogFixture empty;
        QProcess q;
        q.start(testsupport::binDir() + "/quillomar-cli", { "--catalogue", empty.path, "tree" });
        QVERIFY(q.waitForFinished(60000));
        QCOMPARE(q.exitCode(), 0);
        const QStringList d
            = QString::fromUtf8(q.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(d.size(), 3);
        QVERIFY(d[0].startsWith("1\t0\tN1=") && d[0].endsWith("\t(undefined)"));
        QVERIFY(d[1].startsWith("1\t1\tN2=") && d[1].endsWith("\t(undefined)"));
        QVERIFY(d[2].startsWith("2\t0\tN4=") && d[2].endsWith("\t(local)"));

        // No catalogue: the opening's messages on stderr, nothing on stdout, exit 1.
        QProcess r;
        r.start(testsupport::binDir() + "/quillomar-cli",
            { "--catalogue", empty.path + ".none", "tree" });
        QVERIFY(r.waitForFinished(60000));
        QCOMPARE(r.exitCode(), 1);
        QVERIFY(r.readAllStandardOutput().isEmpty());
        QVERIFY(r.readAllStandardError().contains("Banco de dados não conectado."));
    }
};

QTEST_GUILESS_MAIN(TestCliTree)
#include "test_cli_tree.moc"
