#include "intake/photofactstext.h"
#include "intake/picturefactstable.h"
#include "maintenance/catalogsearch.h"
#include "maintenance/searchresults.h"
#include "support/catalogfixture.h"

#include <QProcess>
#include <QtTest>

#include <tuple>

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

// The facts a review would record of a picture: when and with which camera it was taken.
void examined(const CatalogFixture &f, qint64 picture, const QString &taken,
    const QString &make = QString(), const QString &model = QString())
{
    Connection c;
    c.openFile(f.path);
    PictureFactsTable::Entry e;
    e.picture = picture;
    e.drawn = PictureFactsTable::Drawn::Larger;
    if (!taken.isEmpty())
        e.facts.taken = PictureFactsTable::takenOf(taken, QVariant());
    e.facts.make = make;
    e.facts.model = model;
    PictureFactsTable::Writer(c).record(e);
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

    void searchNarrowedByDateTakenAndCamera()
    {
        CatalogFixture f;
        const qint64 trips = f.collection("Viagens");
        const qint64 rome = f.category(trips, "Roma");
        const qint64 family = f.collection("família");
        const qint64 home = f.category(family, "Casa");
        const qint64 a = f.picture(trips, rome, 0, "Festa de São João");
        const qint64 b = f.picture(family, home, 0, "festa junina");
        const qint64 c = f.picture(trips, rome, 0, "Praia");
        const qint64 d = f.picture(family, home, 0, "praia");
        const qint64 e = f.picture(trips, rome, 0, "Forró");
        f.picture(trips, rome, 0, "sem fatos");

        // Without any facts recorded, nothing is known to have been taken anywhen.
        Run r = cli(f, { "search", "--taken", "2019" });
        QCOMPARE(r.exit, 1);
        QVERIFY(r.lines.isEmpty());

        examined(f, a, "2019-06-24T18:30:05", "Canon", "Canon EOS 80D");
        examined(f, b, "2019-07-01T00:00:00", "Apple", "iPhone 12");
        examined(f, c, "2018-12-31T23:59:59.990", "Apple", "iPhone 12");
        examined(f, d, "2020-01-01T00:00:00", "NIKON CORPORATION", "NIKON D750");
        examined(f, e, QString(), "Canon", "Canon EOS 80D");
        const auto keys = [&f](const QStringList &args) {
            QStringList out;
            for (const QString &line : cli(f, args).lines)
                out << line.section('\t', 0, 0);
            return out;
        };
        const auto ids = [](std::initializer_list<qint64> list) {
            QStringList out;
            for (qint64 id : list)
                out << QString::number(id);
            return out;
        };
        // Years, months and days, both ends included; in the search's own order.
        QCOMPARE(keys({ "search", "--taken", "2019" }), ids({ a, b }));
        QCOMPARE(keys({ "search", "--taken", "2019-06" }), ids({ a }));
        QCOMPARE(keys({ "search", "--taken", "2019-07-01" }), ids({ b }));
        QCOMPARE(keys({ "search", "--taken", "2018-12-31..2019-06-24" }), ids({ a, c }));
        // Equal names but for letter case: by collection ("família" before "Viagens").
        QCOMPARE(keys({ "search", "--taken", "2018..2020" }), ids({ a, b, d, c }));
        QCOMPARE(keys({ "search", "--taken", "2019-07..2019-07" }), ids({ b }));
        // The camera, matched as the typed text against make, model and both.
        QCOMPARE(keys({ "search", "--camera", "iphone" }), ids({ b, c }));
        QCOMPARE(keys({ "search", "--camera", "apple iphone 12" }), ids({ b, c }));
        QCOMPARE(keys({ "search", "--camera", "canon" }), ids({ a, e }));
        QCOMPARE(keys({ "search", "--camera", "nikon", "--taken", "2019" }), QStringList());
        // With the text, as typed: a letter without its accent finds it with one.
        QCOMPARE(keys({ "search", "festa", "--taken", "2019" }), ids({ a, b }));
        QCOMPARE(keys({ "search", "sao joao", "--camera", "eos" }), ids({ a }));
        QCOMPARE(keys({ "search", "forro", "--camera", "canon" }), ids({ e }));
        QCOMPARE(keys({ "search", "forró" }), ids({ e }));
        QCOMPARE(keys({ "search", "praia", "--taken", "2018..2020" }), ids({ d, c }));
        // The nothing found of the search.
        r = cli(f, { "search", "praia", "--taken", "2021" });
        QCOMPARE(r.exit, 1);
        QCOMPARE(r.err,
            QStringLiteral("Nenhuma imagem encontrada na base de dados contendo a referência "
                           "\"praia\".\n"));

        // The window's grid, narrowed the same way, lists the same pictures in the same order.
        Connection conn;
        conn.openFile(f.path);
        for (const auto &[typed, taken, camera] : { std::tuple { "", "2018..2020", "" },
                 std::tuple { "a", "", "i" }, std::tuple { "", "", "canon" } }) {
            CatalogSearch::Narrowing n;
            if (!QString(taken).isEmpty())
                QVERIFY(CatalogSearch::parseTaken(taken, n, nullptr));
            n.camera = camera;
            SearchResults grid(conn, typed, n);
            grid.open();
            QStringList args = { "search", typed };
            if (!QString(taken).isEmpty())
                args << "--taken" << taken;
            if (!QString(camera).isEmpty())
                args << "--camera" << camera;
            QStringList fromGrid;
            for (int row = 0; row < grid.rowCount(); ++row)
                fromGrid << QString::number(grid.recId(row));
            QCOMPARE(keys(args), fromGrid);
            QVERIFY(!fromGrid.isEmpty());
        }
        // Names that differ in letter case and accents only, null ones, the same name under
        // collections and categories of such names: the order is the grid's, to the last one.
        const qint64 upper = f.collection("VIAGENS");
        const qint64 upperCat = f.category(upper, "roma");
        const QStringList names = { "a", "A", "á", "Á", "ab", "aB", "b", "", "ä", "a b", "a_b" };
        for (int i = 0; i < 44; ++i) {
            const bool first = i % 2 == 0;
            const qint64 id = f.picture(
                first ? trips : upper, first ? rome : upperCat, 0, names.at(i % names.size()));
            if (i % names.size() == 7)
                f.exec(QStringLiteral("UPDATE Pictures SET Name = NULL WHERE RecId = %1").arg(id));
            examined(
                f, id, QStringLiteral("2019-03-%1T10:00:00").arg(1 + i % 28, 2, 10, QChar('0')));
        }
        {
            CatalogSearch::Narrowing n;
            QVERIFY(CatalogSearch::parseTaken("2019-03", n, nullptr));
            SearchResults grid(conn, QString(), n);
            grid.open();
            while (grid.canFetchMore({}))
                grid.fetchMore({});
            QStringList fromGrid;
            for (int row = 0; row < grid.rowCount(); ++row)
                fromGrid << QString::number(grid.recId(row));
            QCOMPARE(fromGrid.size(), 44);
            QCOMPARE(keys({ "search", "--taken", "2019-03" }), fromGrid);
        }

        // The cameras a person picks from, the most used first.
        QCOMPARE(CatalogSearch::cameras(conn),
            QStringList({ "Apple iPhone 12", "Canon EOS 80D", "NIKON D750" }));
        conn.close();

        // Periods that are none.
        for (const char *bad : { "19", "2019-13", "2019-02-30", "2019-7", "2020..2019",
                 "2019-07..2019-06-30", "2019..", "ontem" }) {
            const Run usage = cli(f, { "search", "--taken", bad });
            QCOMPARE(usage.exit, 2);
            QVERIFY2(usage.err.contains("período inválido"), qPrintable(usage.err));
        }
        QCOMPARE(cli(f, { "search", "--camera", "" }).exit, 2);
    }

    void theFactsAsThePicturePageShowsThem()
    {
        PhotoFacts facts;
        TakenTime taken;
        taken.date = QDate(2019, 6, 24);
        taken.time = QTime(18, 30, 5);
        taken.offsetMinutes = -180;
        facts.taken = taken;
        facts.make = "Canon";
        facts.model = "Canon EOS 80D";
        facts.exposureSeconds = 0.004;
        facts.fNumber = 5.6;
        facts.iso = 200;
        facts.focalLengthMm = 35;
        facts.latitude = -23.5505;
        facts.longitude = -46.6333;
        facts.altitudeMetres = 760.4;
        facts.keywords = QStringList { "festa", "forró" };
        facts.rating = 4;
        const PhotoFactsText::Block block = PhotoFactsText::block(facts);
        QCOMPARE(block.lines,
            (QList<PhotoFactsText::Line> { { "Data da foto", "24/06/2019 18:30:05 (UTC−03:00)" },
                { "Câmera", "Canon EOS 80D" }, { "Exposição", "1/250 s · f/5,6 · ISO 200 · 35 mm" },
                { "Local", "23,5505° S, 46,6333° O, 760 m" }, { "Avaliação", "★★★★☆" } }));
        QCOMPARE(block.map.toString(),
            QStringLiteral("https://www.openstreetmap.org/?mlat=-23.5505&mlon=-46.6333"
                           "#map=16/-23.5505/-46.6333"));
        QCOMPARE(block.keywords, facts.keywords);
        // Facts not known take no room.
        PhotoFacts few;
        few.make = "Apple";
        few.model = "iPhone 12";
        few.exposureSeconds = 2.5;
        few.rating = 0;
        QCOMPARE(PhotoFactsText::block(few).lines,
            (QList<PhotoFactsText::Line> {
                { "Câmera", "Apple iPhone 12" }, { "Exposição", "2,5 s" } }));
        QVERIFY(PhotoFactsText::block(PhotoFacts()).isEmpty());
        QVERIFY(PhotoFactsText::block(PhotoFacts()).map.isEmpty());
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
        // A server's text holds no NUL character; every other control character it keeps.
        const QString nul = f.onServer() ? QString() : QString(QChar(0));
        const QString hostile = QStringLiteral("x\x1b]0;dono\x07\x1b[2J") + nul
            + QStringLiteral("\r\x7f") + QChar(0x9b);
        const QString shown = QStringLiteral("x\\x1b]0;dono\\x07\\x1b[2J")
            + (f.onServer() ? QString() : QStringLiteral("\\x00"))
            + QStringLiteral("\\r\\x7f\\x9b");
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
