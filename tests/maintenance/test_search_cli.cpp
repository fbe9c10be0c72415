#include "support/catalogfixture.h"

#include <QProcess>
#include <QtTest>

namespace {

struct Run {
    int exit = -1;
    QStringList lines;
    QString err;
};

Run cli(const CatalogFixture &f, const QStringList &args)
{
    QProcess p;
    p.start(
        testsupport::binDir() + "/quillomar-cli", QStringList({ "--catalogue", f.path }) + args);
    if (!p.waitForFinished(60000))
        qFatal("quillomar-cli did not finish");
    return { p.exitCode(),
        QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
        QString::fromUtf8(p.readAllStandardError()) };
}

} // namespace

class TestSearchCli : public QObject {
    Q_OBJECT
private slots:
    void searchPrintsTheHitsOfTheWindowsStatement()
    {
        CatalogFixture f;
        const qint64 trips = f.collection("Viagens");
        const qint64 rome = f.category(trips, "Roma");
        const qint64 other = f.collection("Brasil");
        const qint64 north = f.category(other, "Nordeste");
        const qint64 tab = f.picture(trips, rome, 0, "praia\tde\\roma");
        const qint64 north1 = f.picture(other, north, 0, "PRAIA");
        const qint64 sea = f.picture(other, north, 0, "mar");
        f.exec(QString("UPDATE Pictures SET KeyWords = 'PRAÇA' WHERE RecId = %1").arg(sea));

        const Run hits = cli(f, { "search", "pra" });
        QCOMPARE(hits.exit, 0);
        QCOMPARE(hits.lines,
            QStringList({ QString("%1\tBrasil\tNordeste\tmar").arg(sea),
                QString("%1\tBrasil\tNordeste\tPRAIA").arg(north1),
                QString("%1\tViagens\tRoma\tpraia\\tde\\\\roma").arg(tab) }));
        QVERIFY(hits.err.isEmpty());
        QCOMPARE(cli(f, { "search", "praça" }).lines,
            QStringList({ QString("%1\tBrasil\tNordeste\tmar").arg(sea) }));
        QCOMPARE(cli(f, { "search", "" }).lines.size(), 3);

        // Nothing found: the window's text on standard error, exit 1, as grep does.
        for (const QString &text : { QStringLiteral("Viagens"), QStringLiteral("a'b\"c%_\\"),
                 QStringLiteral("x\ny"), QString(10000, QLatin1Char('q')) }) {
            const Run none = cli(f, { "search", "--", text });
            QCOMPARE(none.exit, 1);
            QVERIFY(none.lines.isEmpty());
            QCOMPARE(none.err,
                QString("Nenhuma imagem encontrada na base de dados contendo a referência "
                        "\"%1\".\n")
                    .arg(text));
        }
        // Bytes that are no text in the locale: a text like any other.
        QProcess raw;
        raw.start("/bin/sh",
            { "-c", "\"$0\" --catalogue \"$1\" search \"$(printf 'x\\377y')\"",
                testsupport::binDir() + "/quillomar-cli", f.path });
        QVERIFY(raw.waitForFinished(60000));
        QCOMPARE(raw.exitCode(), 1);
        QVERIFY(raw.readAllStandardOutput().isEmpty());
        QVERIFY(QString::fromUtf8(raw.readAllStandardError()).startsWith("Nenhuma imagem"));
        // Without a text, as with an empty one: every picture.
        QCOMPARE(cli(f, { "search" }).exit, 0);
        QCOMPARE(cli(f, { "search", "a", "b" }).exit, 2);
    }

    void statsPrintsAPagesGridOrNothing()
    {
        CatalogFixture f;
        const qint64 trips = f.collection("Viagens");
        const qint64 zebra = f.category(trips, "Zebra");
        const qint64 water = f.category(trips, "Água");
        const qint64 empty = f.category(trips, "abelha");
        const qint64 disk = f.storage("Disco");
        f.picture(trips, zebra, disk, "z1");
        const qint64 png = f.picture(trips, zebra, disk, "z2");
        f.exec(QString("UPDATE Pictures SET FileType = 'png' WHERE RecId = %1").arg(png));
        f.picture(trips, water, 0, "w1");

        const Run collection = cli(f, { "stats", "collection", QString::number(trips) });
        QCOMPARE(collection.exit, 0);
        QCOMPARE(collection.lines,
            QStringList({ "Categoria\tImagens", "abelha\t0", "Água\t1", "Zebra\t2" }));
        Run storage = cli(f, { "stats", "storage", QString::number(disk) });
        QCOMPARE(storage.exit, 0);
        QCOMPARE(storage.lines.takeFirst(), QStringLiteral("Formato\tQuantidade"));
        storage.lines.sort();
        QCOMPARE(storage.lines, QStringList({ "Imagem JPEG\t1", "Imagem PNG\t1" }));
        // A hidden grid prints nothing.
        const Run none = cli(f, { "stats", "category", QString::number(empty) });
        QCOMPARE(none.exit, 0);
        QVERIFY(none.lines.isEmpty());
        QVERIFY(none.err.isEmpty());
        // No such record, and bad arguments.
        for (const auto &[kind, word] : { std::pair { "collection", "coleção" },
                 std::pair { "category", "categoria" }, std::pair { "storage", "local" } }) {
            const Run missing = cli(f, { "stats", kind, "99999" });
            QCOMPARE(missing.exit, 1);
            QCOMPARE(missing.err, QString("Não há %1 com a chave 99999.\n").arg(word));
        }
        QCOMPARE(cli(f, { "stats", "picture", "1" }).exit, 2);
        QCOMPARE(cli(f, { "stats", "category", "x" }).exit, 2);
    }

    void namesFromTheCatalogueAreEscaped()
    {
        CatalogFixture f;
        const QString hostile = QStringLiteral("x\x1b]0;dono\x07\x1b[2J") + QChar(0)
            + QStringLiteral("\r\x7f") + QChar(0x9b);
        const QString shown = QStringLiteral("x\\x1b]0;dono\\x07\\x1b[2J\\x00\\r\\x7f\\x9b");
        const qint64 col = f.collection("C" + hostile);
        const qint64 cat = f.category(col, "K" + hostile);
        const qint64 disk = f.storage("S");
        const qint64 pic = f.picture(col, cat, disk, "P" + hostile);
        f.exec("UPDATE Formats SET Name = 'Imagem\x1b[5m JPEG' WHERE Extension = 'jpg'");

        const auto check = [](const QStringList &args, const QStringList &expected) {
            QProcess p;
            p.start(testsupport::binDir() + "/quillomar-cli", args);
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 0);
            const QByteArray out = p.readAllStandardOutput() + p.readAllStandardError();
            for (const char c : out)
                QVERIFY2(uchar(c) >= 0x20 || c == '\t' || c == '\n',
                    qPrintable(QString::number(uchar(c))));
            QCOMPARE(QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts), expected);
        };
        check({ "--catalogue", f.path, "search", "dono" },
            { QString("%1\tC%2\tK%2\tP%2").arg(pic).arg(shown) });
        check({ "--catalogue", f.path, "stats", "collection", QString::number(col) },
            { "Categoria\tImagens", "K" + shown + "\t1" });
        check({ "--catalogue", f.path, "stats", "storage", QString::number(disk) },
            { "Formato\tQuantidade", "Imagem\\x1b[5m JPEG\t1" });
    }
};

QTEST_GUILESS_MAIN(TestSearchCli)
#include "test_search_cli.moc"
