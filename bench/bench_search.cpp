#include "browser/catalogbrowser.h"
#include "cataloguegenerator.h"
#include "core/programpaths.h"
#include "core/scriptedprompter.h"
#include "maintenance/browserqueries.h"
#include "maintenance/catalogsearch.h"
#include "maintenance/catalogstatistics.h"
#include "processmemory.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/query.h"
#include "store/resultmodel.h"
#include "store/tdados.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <memory>

// The catalogue search and the statistics grids on a generated catalogue (default 1,000,000
// pictures, a fifth with notes and key words), each against an anchor measured in the same
// run:
//  1. a search hitting about 1% of the pictures: `quillomar-cli search` (our LIKE, which folds
//     all of Unicode) against the sqlite3 shell running the same statement with its built-in
//     LIKE, both printing every hit to /dev/null, rounds interleaved;
//  2. an empty search in the main window: the click on "Procurar no Catálogo" until the first
//     rows are painted, and the memory it holds, against the shell reading the whole result;
//  3. the three statistics statements for a category, a storage and a collection holding
//     100,000 pictures, against the same statements in the shell, and without the indexes
//     they read.
//
// bench_search [--catalogue FILE] [--rounds 5]

namespace {

using processmemory::currentRssKb;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Seconds one program takes from start to exit, its output thrown away; -1 on failure.
double runSeconds(const QString &program, const QStringList &arguments, int expectedExit = 0)
{
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/null"));
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != expectedExit) {
        std::fprintf(
            stderr, "%s: %s\n", qPrintable(program), process.readAllStandardError().constData());
        return -1;
    }
    return seconds;
}

// The shell's arguments for a statement whose parameters it sets itself.
QStringList shellArguments(
    const QString &file, const QStringList &lines, const QList<QPair<QString, QString>> &parameters)
{
    QStringList args = { QStringLiteral("-readonly") };
    for (const auto &[name, value] : parameters)
        args << QStringLiteral("-cmd")
             << QStringLiteral(".parameter set %1 \"%2\"").arg(name, value);
    return args << file << lines.join(QLatin1Char('\n')) + QLatin1Char(';');
}

QList<QPair<QString, QString>> searchParameters(const QString &typed)
{
    QList<QPair<QString, QString>> p;
    for (int q = 1; q <= 6; ++q)
        p.append({ QStringLiteral(":Q%1").arg(q), QStringLiteral("'%") + typed + "%'" });
    return p;
}

QString cliPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quillomar-cli"));
}

int countHits(const QString &file, const QString &typed)
{
    Connection c;
    c.openFile(file);
    int hits = 0;
    CatalogSearch::forEachHit(c, typed, [&](const CatalogSearch::Hit &) { return ++hits > 0; });
    return hits;
}

void searchAgainstShell(const QString &file, int rounds)
{
    const QString typed = QStringLiteral("dsc0");
    const int hits = countHits(file, typed);
    std::vector<double> ours, shell;
    for (int i = 0; i < rounds; ++i) {
        ours.push_back(runSeconds(cliPath(), { "--catalogue", file, "search", typed }));
        shell.push_back(runSeconds(QStringLiteral("sqlite3"),
            shellArguments(file, CatalogSearch::statementLines(), searchParameters(typed))));
    }
    const double a = median(ours), b = median(shell);
    std::printf("search \"%s\" (%d hits): quillomar-cli search %.3f s, sqlite3 shell (built-in "
                "LIKE) %.3f s, ratio %.2f\n",
        qPrintable(typed), hits, a, b, a / b);
}

// The main window's search with an empty text: time until the grid's first rows are painted.
void emptySearchInTheWindow(const QString &file, int rounds)
{
    ProgramPaths paths = ProgramPaths::forProgram(QFileInfo(file).absolutePath() + "/quillomar");
    paths.DatabaseFolder = QFileInfo(file).absolutePath();
    paths.DatabaseFileName = QFileInfo(file).fileName();
    ScriptedPrompter prompter;
    TDados store(paths, prompter);
    if (!store.OpenDatabaseAll()) {
        std::fprintf(stderr, "%s\n", qPrintable(prompter.boxTexts().join(" / ")));
        return;
    }
    CatalogBrowser browser(store, prompter);
    BrowserQueries queries(browser, store, prompter);
    browser.resize(801, 573);
    browser.show();
    QCoreApplication::processEvents();
    auto *button = browser.findChild<QToolButton *>(QStringLiteral("ToolButton3"));
    auto *grid = browser.findChild<QTableView *>(QStringLiteral("DBGridSearch"));
    std::vector<double> times;
    long heldKb = 0, scrolledKb = 0;
    int rows = 0, scrolledRows = 0;
    for (int i = 0; i < rounds; ++i) {
        const long before = currentRssKb();
        prompter.answerText(QString());
        QElapsedTimer timer;
        timer.start();
        button->click();
        grid->viewport()->repaint();
        times.push_back(timer.nsecsElapsed() / 1e9);
        rows = grid->model()->rowCount();
        if (i > 0)
            continue;
        // Memory on the first round only, before freed rows can be reused; scrolling on
        // reads the next pages only.
        heldKb = currentRssKb() - before;
        for (int page = 0; page < 50 && grid->model()->canFetchMore({}); ++page) {
            grid->scrollToBottom();
            QCoreApplication::processEvents();
        }
        scrolledRows = grid->model()->rowCount();
        scrolledKb = currentRssKb() - before;
    }
    const double anchor = runSeconds(QStringLiteral("sqlite3"),
        shellArguments(file, CatalogSearch::statementLines(), searchParameters(QString())));
    std::printf("empty search in the window: first %d rows painted in %.3f s (sqlite3 shell "
                "reading the whole result: %.3f s, ratio %.3f); memory +%ld KiB, +%ld KiB after "
                "scrolling to %d rows\n",
        rows, median(times), anchor, median(times) / anchor, heldKb, scrolledKb, scrolledRows);
}

// Medians of the statement for a page through our query, and through the shell.
void statistics(const QString &file, NodeKind page, qint64 key, const char *label, int rounds)
{
    Connection c;
    c.openFile(file);
    Query query(c);
    std::vector<double> ours, shell;
    int rows = 0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<ResultModel> model(CatalogStatistics::run(query, page, key));
        ours.push_back(timer.nsecsElapsed() / 1e9);
        rows = model->rowCount();
        shell.push_back(runSeconds(QStringLiteral("sqlite3"),
            shellArguments(file, CatalogStatistics::statementLines(page),
                { { QStringLiteral(":FILTRO"), QString::number(key) } })));
    }
    std::printf("  %-28s %d rows: %.1f ms (sqlite3 shell, start included: %.1f ms)\n", label, rows,
        median(ours) * 1000, median(shell) * 1000);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    QString catalogue;
    int rounds = 5;
    while (args.size() >= 2) {
        if (args.first() == QLatin1String("--catalogue"))
            catalogue = args.at(1);
        else if (args.first() == QLatin1String("--rounds"))
            rounds = std::max(1, args.at(1).toInt());
        else
            break;
        args = args.mid(2);
    }
    if (!args.isEmpty()) {
        std::fprintf(stderr, "usage: bench_search [--catalogue FILE] [--rounds N]\n");
        return 2;
    }
    QTemporaryDir dir;
    try {
        if (catalogue.isEmpty()) {
            catalogue = dir.filePath(QStringLiteral("search.mdb"));
            std::printf("generating 1,000,000 pictures...\n");
            std::fflush(stdout);
            generateCatalogue(catalogue, 1000000);
        }
        searchAgainstShell(catalogue, rounds);
        emptySearchInTheWindow(catalogue, rounds);

        // A copy where category 2 (of collection 1) and storage 2 hold 100,000 pictures each.
        const QString counted = dir.filePath(QStringLiteral("counted.mdb"));
        QFile::remove(counted);
        QFile::copy(catalogue, counted);
        {
            Connection c;
            c.openFile(counted);
            c.exec(QStringLiteral("UPDATE Pictures SET Category = 2, Collection = 1 "
                                  "WHERE RecId IN (SELECT RecId FROM Pictures LIMIT 100000)"));
            c.exec(QStringLiteral("UPDATE Pictures SET Location = 2 WHERE RecId IN "
                                  "(SELECT RecId FROM Pictures ORDER BY RecId DESC LIMIT 100000)"));
            c.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS Pictures_CategoryType ON Pictures "
                                  "(Category, FileType)"));
            c.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS Pictures_LocationType ON Pictures "
                                  "(Location, FileType)"));
        }
        std::printf("statistics grids, 100,000 pictures each (target < 100 ms):\n");
        statistics(counted, NodeKind::Category, 2, "category (formats)", rounds);
        statistics(counted, NodeKind::Storage, 2, "storage (formats)", rounds);
        statistics(counted, NodeKind::Collection, 1, "collection (categories)", rounds);
        {
            Connection c;
            c.openFile(counted);
            c.exec(QStringLiteral("DROP INDEX Pictures_CategoryType"));
            c.exec(QStringLiteral("DROP INDEX Pictures_LocationType"));
        }
        std::printf(
            "the same without the (Category, FileType) and (Location, FileType) indexes:\n");
        statistics(counted, NodeKind::Category, 2, "category (formats)", rounds);
        statistics(counted, NodeKind::Storage, 2, "storage (formats)", rounds);
    } catch (const DbError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
