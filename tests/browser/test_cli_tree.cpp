#include "core/controlescape.h"
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

    void namesOfAnyLengthPrintWhole()
    {
        // Past the 4 Mi units a block of the names' memory holds: each name is written
        // whole, and the names after a long one keep their own text.
        CatalogFixture f;
        const QString longCollection = QString(4300000, 'c') + QStringLiteral("ção");
        const QString longCategory = QStringLiteral("é") + QString(4500000, 'k');
        const QString longStorage = QString(5000000, 's');
        const QString longPicture = QString(4200000, QChar(0x00E9)) + QStringLiteral("fim");
        const qint64 col = f.collection(longCollection);
        const qint64 cat = f.category(col, longCategory);
        const qint64 short1 = f.category(col, "curta");
        const qint64 disk = f.storage(longStorage);
        const qint64 pic = f.picture(col, cat, disk, longPicture);
        const qint64 after = f.picture(col, short1, disk, "depois");
        QProcess p;
        p.start(testsupport::binDir() + "/quillomar-cli", { "--catalogue", f.path, "tree" });
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardError().isEmpty());
        const QStringList lines
            = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 8);
        QVERIFY(lines[0] == QString("1\t0\tN1=%1\t").arg(col) + longCollection);
        QCOMPARE(lines[1], QString("1\t1\tN2=%1\tcurta").arg(short1));
        QCOMPARE(lines[2], QString("1\t2\tN3=%1\tdepois").arg(after));
        QVERIFY(lines[3] == QString("1\t1\tN2=%1\t").arg(cat) + longCategory);
        QVERIFY(lines[4] == QString("1\t2\tN3=%1\t").arg(pic) + longPicture);
        QVERIFY(lines[5] == QString("2\t0\tN4=%1\t").arg(disk) + longStorage);
        QCOMPARE(lines[6], QString("2\t1\tN3=%1\tdepois").arg(after));
        QVERIFY(lines[7] == QString("2\t1\tN3=%1\t").arg(pic) + longPicture);
    }

    void controlCharactersOfNamesNeverReachTheTerminal()
    {
        CatalogFixture f;
        // A title change, a screen clear, a bell, NUL, CR, DEL and a C1 control.
        const QString hostile = QStringLiteral("a\x1b]0;dono\x07"
                                               "b\x1b[2J\r")
            + QChar(0) + QStringLiteral("\x7f") + QChar(0x9b) + QStringLiteral("31mç");
        const QString shown = QStringLiteral("a\\x1b]0;dono\\x07b\\x1b[2J\\r\\x00\\x7f\\x9b31mç");
        QCOMPARE(escapeControlCharacters(hostile), shown);
        const qint64 col = f.collection(hostile);
        const qint64 cat = f.category(col, "c" + hostile);
        const qint64 disk = f.storage("s" + hostile);
        const qint64 pic = f.picture(col, cat, disk, "p" + hostile);
        // Every control character, one name each, written as the one helper writes it.
        QString all;
        for (char16_t c = 0; c < 0x20; ++c)
            all += QChar(c);
        for (char16_t c = 0x7f; c <= 0xa0; ++c)
            all += QChar(c);
        all += QStringLiteral("\\fim");
        const qint64 every = f.collection(all);
        QProcess p;
        p.start(testsupport::binDir() + "/quillomar-cli", { "--catalogue", f.path, "tree" });
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray out = p.readAllStandardOutput();
        for (const char c : out)
            QVERIFY2(
                uchar(c) >= 0x20 || c == '\t' || c == '\n', qPrintable(QString::number(uchar(c))));
        const QStringList lines = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines,
            QStringList({ QString("1\t0\tN1=%1\t").arg(every) + escapeControlCharacters(all),
                QString("1\t0\tN1=%1\t").arg(col) + shown,
                QString("1\t1\tN2=%1\tc").arg(cat) + shown,
                QString("1\t2\tN3=%1\tp").arg(pic) + shown,
                QString("2\t0\tN4=%1\ts").arg(disk) + shown,
                QString("2\t1\tN3=%1\tp").arg(pic) + shown }));
    }
};

QTEST_GUILESS_MAIN(TestCliTree)
#include "test_cli_tree.moc"
