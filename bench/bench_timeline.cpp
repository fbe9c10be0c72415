#include "browser/datestree.h"
#include "cataloguegenerator.h"
#include "intake/picturefactstable.h"
#include "maintenance/catalogsearch.h"
#include "store/connection.h"
#include "store/transaction.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

// The photo facts of a million pictures, each figure against its target or its anchor,
// measured in the same run:
//   the "Datas" tree: its years read and shown in a tree view (target <= 200 ms), and a month
//     of 10,000 pictures expanded (target <= 100 ms);
//   `quillomar-cli search --taken 2019` to its last line (target <= 50 ms);
//   the search as Brazilians type ("exposicoes" finds the folders "Exposições") against the
//     sqlite3 shell's plain LIKE over the same six fields (target <= 1.3x), with the same
//     typed text and with the text that gives the shell the same hits.
//
// bench_timeline [--dir FOLDER] [--rounds N] [--pictures N]: the catalogue is made in FOLDER
// (default: a folder in the temporary directory, kept for the next run).

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double msSince(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

// Milliseconds from the start of a program to its end, its output thrown away.
double runMs(const QString &program, const QStringList &args, int expectedExit = 0)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit
        || p.exitCode() != expectedExit)
        qFatal("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return msSince(t);
}

int lines(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(600000);
    return int(p.readAllStandardOutput().count('\n'));
}

const char *const makes[][2] = { { "Canon", "Canon EOS 5D Mark IV" }, { "Canon", "Canon EOS R6" },
    { "NIKON CORPORATION", "NIKON D750" }, { "SONY", "ILCE-7M3" }, { "Apple", "iPhone 12" },
    { "Apple", "iPhone 14 Pro" }, { "samsung", "SM-G991B" }, { "FUJIFILM", "X-T4" },
    { "OLYMPUS CORPORATION", "E-M10MarkIII" }, { "Panasonic", "DMC-GH5" } };

// Facts as the review records them. Pictures come in rolls, as a folder of an outing is
// scanned at once: runs of 20 to 400 consecutive pictures taken within three days, each roll
// on a day between 2000 and 2024, and July 2019 holds 10,000 pictures (a season of weddings).
// A tenth of the rolls say no date.
void recordFacts(const QString &catalogue, qint64 pictures)
{
    Connection c;
    c.openFile(catalogue);
    Transaction t(c);
    PictureFactsTable::Writer writer(c);
    QRandomGenerator random(2019);
    const QDate first(2000, 1, 1);
    const int days = int(first.daysTo(QDate(2024, 12, 31))) + 1;
    qint64 july = 0;
    qint64 rollLeft = 0;
    QDate rollDay;
    bool rollDated = true;
    int camera = 0;
    for (qint64 id = 1; id <= pictures; ++id) {
        if (rollLeft == 0) {
            rollLeft = 20 + random.bounded(381);
            rollDated = random.bounded(10) != 0;
            camera = int(random.bounded(int(std::size(makes))));
            if (july < 10000 && random.bounded(4) == 0) {
                rollDay = QDate(2019, 7, 1 + int(random.bounded(29)));
                rollLeft = std::min<qint64>(rollLeft, 10000 - july);
            } else {
                rollDay = first.addDays(random.bounded(days));
                if (rollDay.year() == 2019 && rollDay.month() == 7)
                    rollDay = rollDay.addMonths(1);
            }
            if (rollDay.year() == 2019 && rollDay.month() == 7)
                july += rollLeft;
        }
        --rollLeft;
        PictureFactsTable::Entry e;
        e.picture = id;
        e.drawn = PictureFactsTable::Drawn::Larger;
        if (rollDated || (rollDay.year() == 2019 && rollDay.month() == 7)) {
            TakenTime taken;
            taken.date = rollDay.addDays(random.bounded(3));
            if (taken.date.month() != rollDay.month())
                taken.date = rollDay;
            taken.time
                = QTime(int(random.bounded(24)), int(random.bounded(60)), int(random.bounded(60)));
            taken.offsetMinutes = -180;
            e.facts.taken = taken;
            e.facts.make = QString::fromLatin1(makes[camera][0]);
            e.facts.model = QString::fromLatin1(makes[camera][1]);
            e.facts.exposureSeconds = 1.0 / 250;
            e.facts.fNumber = 8;
            e.facts.iso = 200;
        }
        writer.record(e);
    }
    t.commit();
    if (july != 10000)
        qFatal("July 2019 got %lld pictures", static_cast<long long>(july));
}

void datesTree(const QString &catalogue, int rounds)
{
    Connection c;
    c.openFile(catalogue);
    std::vector<double> yearsMs, shownMs, monthMs, daysMs;
    int years = 0;
    int monthDays = 0;
    int monthPictures = 0;
    for (int round = 0; round < rounds; ++round) {
        DatesTree tree(c);
        QTreeView view;
        view.resize(300, 500);
        view.show();
        QApplication::processEvents();
        QElapsedTimer t;
        t.start();
        tree.reload();
        yearsMs.push_back(msSince(t));
        view.setModel(&tree);
        view.repaint();
        shownMs.push_back(msSince(t));
        years = tree.rowCount() - 1;

        QModelIndex july;
        for (int y = 0; y < tree.rowCount(); ++y) {
            const QModelIndex year = tree.index(y, 0);
            if (tree.period(year) != QLatin1String("2019"))
                continue;
            tree.fetchMore(year);
            for (int m = 0; m < tree.rowCount(year); ++m)
                if (tree.period(tree.index(m, 0, year)) == QLatin1String("2019-07"))
                    july = tree.index(m, 0, year);
            view.expand(year);
        }
        monthPictures = tree.count(july);
        t.start();
        view.expand(july); // the view asks the model for the month's days
        view.repaint();
        monthMs.push_back(msSince(t));
        monthDays = tree.rowCount(july);
        t.start();
        for (int d = 0; d < tree.rowCount(july); ++d)
            view.expand(tree.index(d, 0, july));
        view.repaint();
        daysMs.push_back(msSince(t));
    }
    std::printf(
        "\n\"Datas\" tree (%d years and \"Sem data\"), median of %d rounds\n", years, rounds);
    std::printf("  years read                         %8.1f ms\n", median(yearsMs));
    std::printf(
        "  years read and shown in a view     %8.1f ms  (target <= 200)\n", median(shownMs));
    std::printf("  July 2019 (%d pictures) expanded: its %d days %8.1f ms  (target <= 100)\n",
        monthPictures, monthDays, median(monthMs));
    std::printf("  and each of its days expanded      %8.1f ms\n", median(daysMs));
}

void searchTaken(const QString &catalogue, int rounds)
{
    const QString cli = QCoreApplication::applicationDirPath() + "/quillomar-cli";
    const QStringList args = { "--catalogue", catalogue, "search", "--taken", "2019" };
    const int hits = lines(cli, args);
    std::vector<double> takenMs, infoMs;
    for (int round = 0; round < rounds; ++round) {
        takenMs.push_back(runMs(cli, args));
        infoMs.push_back(runMs(cli, { "--catalogue", catalogue, "info" }));
    }
    std::printf(
        "\nquillomar-cli search --taken 2019 (%d lines), median of %d rounds\n", hits, rounds);
    std::printf("  to its last line                   %8.1f ms  (target <= 50)\n", median(takenMs));
    std::printf("  (quillomar-cli info, for the cost of starting: %.1f ms)\n", median(infoMs));
}

QStringList shellArguments(const QString &file, const QString &typed)
{
    QStringList args = { QStringLiteral("-readonly") };
    for (int q = 1; q <= 6; ++q)
        args << QStringLiteral("-cmd")
             << QStringLiteral(".parameter set :Q%1 \"'%%2%'\"").arg(q).arg(typed);
    return args << file << CatalogSearch::statementLines().join(QLatin1Char('\n')) + ';';
}

void accentSearch(const QString &catalogue, int rounds)
{
    const QString cli = QCoreApplication::applicationDirPath() + "/quillomar-cli";
    const QString typed = QStringLiteral("exposicoes");
    const QString accented = QStringLiteral("Exposições");
    const int ours = lines(cli, { "--catalogue", catalogue, "search", typed });
    const int shellSame = lines("sqlite3", shellArguments(catalogue, typed));
    const int shellHits = lines("sqlite3", shellArguments(catalogue, accented));
    std::vector<double> oursMs, sameMs, hitsMs;
    for (int round = 0; round < rounds; ++round) {
        oursMs.push_back(runMs(cli, { "--catalogue", catalogue, "search", typed }));
        sameMs.push_back(runMs("sqlite3", shellArguments(catalogue, typed)));
        hitsMs.push_back(runMs("sqlite3", shellArguments(catalogue, accented)));
    }
    const double o = median(oursMs), s = median(sameMs), h = median(hitsMs);
    std::printf(
        "\nsearch as Brazilians type, six fields, median of %d interleaved rounds\n", rounds);
    std::printf("  quillomar-cli search \"%s\" (%d hits)   %8.1f ms\n", qPrintable(typed), ours, o);
    std::printf("  sqlite3 shell, built-in LIKE, same text (%d hits)  %8.1f ms  ratio %.2f  "
                "(target <= 1.30)\n",
        shellSame, s, o / s);
    std::printf("  sqlite3 shell, built-in LIKE, \"%s\" (%d hits)  %8.1f ms  ratio %.2f  "
                "(target <= 1.30)\n",
        qPrintable(accented), shellHits, h, o / h);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString folder = QDir(QDir::tempPath()).filePath(QStringLiteral("quillomar-bench-timeline"));
    int rounds = 5;
    qint64 pictures = 1000000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--dir"))
            folder = args[++i];
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--pictures"))
            pictures = std::max(100000LL, args[++i].toLongLong());
    }
    QDir().mkpath(folder);
    const QString catalogue = QDir(folder).filePath(QStringLiteral("rolls-%1.mdb").arg(pictures));
    if (!QFileInfo::exists(catalogue)) {
        QElapsedTimer made;
        made.start();
        const QString making = catalogue + QStringLiteral(".making");
        QFile::remove(making);
        generateCatalogue(making, pictures);
        recordFacts(making, pictures);
        QFile::rename(making, catalogue);
        std::printf("(catalogue of %lld pictures with facts made in %.1f s)\n",
            static_cast<long long>(pictures), made.elapsed() / 1000.0);
    }
    // Every contender reads from the page cache.
    runMs("sqlite3",
        { catalogue,
            "SELECT COUNT(*) FROM Pictures; SELECT COUNT(*) FROM "
            "PictureFacts WHERE Taken > '';" });
    datesTree(catalogue, rounds);
    searchTaken(catalogue, rounds);
    accentSearch(catalogue, rounds);
    return 0;
}
