#include "browser/catalogbrowser.h"
#include "browser/treeloader.h"
#include "cataloguegenerator.h"
#include "core/programpaths.h"
#include "core/scriptedprompter.h"
#include "processmemory.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

// LoadTrees of the main window on synthetic catalogues, against the same two statements
// run by the sqlite3 shell on the same file in the same run (output to /dev/null). Each
// size is measured in a process of its own so that its peak memory is its own. Then
// `quillomar-cli tree` end to end (start, both trees in Portuguese order, every line
// written) against the shell printing the same two statements, runs interleaved.
//
// bench_loadtrees [--dir FOLDER] [--sizes 10000,300000,1000000] [--rounds 5]

namespace {

using processmemory::currentRssKb;
using processmemory::peakRssKb;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The whole LoadTrees of the window (both queries, both models, the views' reset, the
// control states), in a program folder whose catalogue is the given file.
int runMeasure(const QString &file, int rounds)
{
    ProgramPaths paths = ProgramPaths::forProgram(QFileInfo(file).absolutePath() + "/quillomar");
    paths.DatabaseFolder = QFileInfo(file).absolutePath();
    paths.DatabaseFileName = QFileInfo(file).fileName();
    ScriptedPrompter prompter;
    TDados store(paths, prompter);
    if (!store.OpenDatabaseAll()) {
        std::fprintf(stderr, "%s\n", qPrintable(prompter.boxTexts().join(" / ")));
        return 1;
    }
    const long before = currentRssKb();
    CatalogBrowser browser(store, prompter);
    browser.resize(800, 550);
    browser.show();
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        browser.LoadTrees();
        times.push_back(timer.nsecsElapsed() / 1e9);
    }
    const CatalogTree &t1 = browser.TreeView1Nodes();
    const CatalogTree &t2 = browser.TreeView2Nodes();
    const qint64 nodes = t1.count() + t2.count();
    const qint64 structure = t1.structureBytes() + t2.structureBytes();
    std::printf("RESULT %.4f %lld %lld %ld %ld\n", median(times), static_cast<long long>(nodes),
        static_cast<long long>(structure), currentRssKb() - before, peakRssKb());
    return 0;
}

// Seconds one program takes from start to exit, its output thrown away; -1 on failure.
double runSeconds(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/null"));
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(
            stderr, "%s: %s\n", qPrintable(program), process.readAllStandardError().constData());
        return -1;
    }
    return seconds;
}

// The two statements through the sqlite3 shell, as it prints them.
QStringList shellArguments(const QString &file)
{
    const QString sql = TreeLoader::organisationSql().join(QLatin1Char('\n'))
        + QStringLiteral(";\n") + TreeLoader::locationSql().join(QLatin1Char('\n'))
        + QStringLiteral(";\n");
    return { QStringLiteral("-readonly"), file, sql };
}

double shellSeconds(const QString &file, int rounds)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        times.push_back(runSeconds(QStringLiteral("sqlite3"), shellArguments(file)));
        if (times.back() < 0)
            return -1;
    }
    return median(times);
}

// quillomar-cli tree and the shell, one after the other in each round; medians of each.
bool cliAgainstShell(const QString &file, int rounds, double &cli, double &shell)
{
    const QString program
        = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quillomar-cli"));
    const QStringList arguments = { QStringLiteral("--catalogue"), file, QStringLiteral("tree") };
    std::vector<double> cliTimes, shellTimes;
    for (int i = 0; i < rounds; ++i) {
        cliTimes.push_back(runSeconds(program, arguments));
        shellTimes.push_back(runSeconds(QStringLiteral("sqlite3"), shellArguments(file)));
        if (cliTimes.back() < 0 || shellTimes.back() < 0)
            return false;
    }
    cli = median(cliTimes);
    shell = median(shellTimes);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    int rounds = 5;
    if (args.size() == 4 && args.first() == QLatin1String("--measure")) {
        try {
            return runMeasure(args.at(1), args.at(3).toInt());
        } catch (const DbError &e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    QString folder = QDir::temp().filePath(QStringLiteral("quillomar-bench"));
    QList<qint64> sizes = { 10000, 300000, 1000000 };
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--dir"))
            folder = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--rounds"))
            rounds = qMax(1, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--sizes")) {
            sizes.clear();
            for (const QString &s : args.at(i + 1).split(QLatin1Char(',')))
                sizes << s.toLongLong();
        }
    }
    QDir().mkpath(folder);

    std::printf(
        "LoadTrees against the sqlite3 shell running the same two statements (median of %d)\n",
        rounds);
    std::printf("%10s %10s %10s %8s %10s %12s %12s %10s\n", "pictures", "LoadTrees", "sqlite3",
        "ratio", "nodes", "bytes/node", "trees RSS", "peak RSS");
    bool met = true;
    for (qint64 size : sizes) {
        const QString file = QDir(folder).filePath(QStringLiteral("pictures_%1.mdb").arg(size));
        if (!QFileInfo::exists(file)) {
            try {
                generateCatalogue(file, size);
            } catch (const DbError &e) {
                std::fprintf(stderr, "generating %s: %s\n", qPrintable(file), e.what());
                QFile::remove(file);
                return 1;
            }
        }
        // Warm the page cache for both contenders alike.
        shellSeconds(file, 1);
        const double shell = shellSeconds(file, rounds);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
            { QStringLiteral("--measure"), file, QStringLiteral("--rounds"),
                QString::number(rounds) });
        child.waitForFinished(-1);
        const QString out = QString::fromUtf8(child.readAllStandardOutput());
        const int at = out.indexOf(QLatin1String("RESULT "));
        if (child.exitCode() != 0 || at < 0 || shell < 0) {
            std::fprintf(stderr, "measuring %s failed: %s\n", qPrintable(file),
                child.readAllStandardError().constData());
            return 1;
        }
        const QStringList f = out.mid(at + 7).trimmed().split(QLatin1Char(' '));
        const double load = f[0].toDouble();
        const double nodes = f[1].toDouble();
        const double perNode = f[2].toDouble() / nodes;
        std::printf("%10lld %9.3fs %9.3fs %8.2f %10.0f %12.1f %9.1f MB %7.1f MB\n",
            static_cast<long long>(size), load, shell, load / shell, nodes, perNode,
            f[3].toDouble() / 1024.0, f[4].toDouble() / 1024.0);
        if (size == sizes.last())
            met = load <= 1.3 * shell && perNode < 64;
    }
    std::printf(
        "targets at the largest size: LoadTrees <= 1.3x the two statements, < 64 bytes per node "
        "beyond the names: %s\n\n",
        met ? "met" : "NOT met");

    std::printf("quillomar-cli tree against the sqlite3 shell printing the same two statements, "
                "output to /dev/null, rounds interleaved (median of %d)\n",
        rounds);
    std::printf("%10s %10s %10s %8s\n", "pictures", "cli tree", "sqlite3", "ratio");
    bool cliMet = true;
    for (qint64 size : sizes) {
        const QString file = QDir(folder).filePath(QStringLiteral("pictures_%1.mdb").arg(size));
        double cli = 0, shell = 0;
        runSeconds(QStringLiteral("sqlite3"), shellArguments(file)); // warm the page cache
        if (!cliAgainstShell(file, rounds, cli, shell))
            return 1;
        std::printf(
            "%10lld %9.3fs %9.3fs %8.2f\n", static_cast<long long>(size), cli, shell, cli / shell);
        if (size == 300000)
            cliMet = cli <= 1.3 * shell;
    }
    if (sizes.contains(300000))
        std::printf("target at 300000 pictures: cli tree <= 1.3x the shell: %s\n",
            cliMet ? "met" : "NOT met");
    return 0;
}
