#include "core/consoleprompter.h"
#include "intake/folderscan.h"
#include "genfiletree.h"
#include "core/programpaths.h"
#include "core/progresssink.h"
#include "store/schema.h"
#include "store/tdados.h"
#include "core/versiontools.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

// The folder scan of a generated tree (200,000 files in 2,000 folders, three in four of
// them pictures) into an empty catalogue, then the same scan again with everything already
// catalogued, against a floor measured in the same run: `find` listing the tree with sizes
// and times, plus the sqlite3 shell inserting as many rows into a copy of the same empty
// catalogue in one transaction, with a lookup per row and the same indexes and relations.
// A small tree is scanned too, to show that memory does not follow the number of files.
//
// bench_scan [--dir FOLDER] [--files N] [--folders M] [--scan-only]: the trees are generated under
// FOLDER (default: a folder in the temporary directory, kept for the next run).

namespace {

double msSince(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

// Processor time (user and system) of this process or of its finished children, in ms: the
// machine may be shared, and wall time then says more about the neighbours than the code.
double cpuMs(int who)
{
    rusage u;
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3
        + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

qint64 statusKiB(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

QString treeFor(const QString &base, int files, int folders)
{
    const QString root = QStringLiteral("%1/tree-%2-%3").arg(base).arg(files).arg(folders);
    const QString marker = root + QStringLiteral("/.complete");
    if (!QFile::exists(marker)) {
        QDir(root).removeRecursively();
        std::printf(
            "generating %d files in %d folders under %s ...\n", files, folders, qPrintable(root));
        std::fflush(stdout);
        if (genfiletree::make(root, files, folders).files != files)
            return QString();
        QFile m(marker);
        if (!m.open(QIODevice::WriteOnly))
            return QString();
    }
    return root;
}

// An empty catalogue as the program would first open it (default rows in place).
bool makeCatalogue(
    const QString &path, Prompter &prompter, qint64 *collection, qint64 *category, qint64 *storage)
{
    QFile::remove(path);
    Schema::createCatalogue(path, compiledVersion());
    ProgramPaths paths
        = ProgramPaths::forProgram(QFileInfo(path).absolutePath() + QStringLiteral("/quillomar"));
    TDados store(paths, prompter);
    store.setConfigurationEnabled(false);
    if (!store.OpenDatabaseAll())
        return false;
    *collection = store.DefaultCollectionId;
    *category = store.DefaultCategoryId;
    *storage = store.TStorages.asInt(QStringLiteral("RecId"));
    store.CloseDatabaseAll();
    return true;
}

struct Timing {
    double wall = -1;
    double cpu = -1;
};

Timing runShell(const QString &command)
{
    ::sync(); // the writes of an earlier step must not be flushed on this one's time
    const double cpuBefore = cpuMs(RUSAGE_CHILDREN);
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), command });
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(
            stderr, "failed: %s\n%s", qPrintable(command), p.readAllStandardError().constData());
        return Timing();
    }
    return { msSince(t), cpuMs(RUSAGE_CHILDREN) - cpuBefore };
}

Timing fastest(const Timing &a, const Timing &b)
{
    if (a.wall < 0)
        return b;
    return { std::min(a.wall, b.wall), std::min(a.cpu, b.cpu) };
}

QString quoted(const QString &text)
{
    QString q = text;
    q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

struct ScanFigures {
    double ms = 0;
    double cpu = 0;
    int tracked = 0;
    int added = 0;
    int found = 0;
    qint64 peakGrowthKiB = 0;
    qint64 sqlitePeakKiB = 0;
};

ScanFigures scanOnce(TDados &store, Prompter &prompter, const QString &root)
{
    NullProgress progress;
    FolderScan scan(store, prompter, progress);
    FolderScan::Request request { root, true, store.DefaultCollectionId, store.DefaultCategoryId };
    sqlite3_int64 current = 0;
    sqlite3_int64 high = 0;
    sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &current, &high, 1);
    const qint64 rssBefore = statusKiB("VmRSS:");
    resetPeak();
    ::sync();
    const double cpuBefore = cpuMs(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    const FolderScan::Outcome outcome = scan.ScanFolder(request);
    ScanFigures f;
    f.ms = msSince(t);
    f.cpu = cpuMs(RUSAGE_SELF) - cpuBefore;
    f.peakGrowthKiB = statusKiB("VmHWM:") - rssBefore;
    sqlite3_int64 now = 0;
    sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &now, &high, 0);
    f.sqlitePeakKiB = (high - current) / 1024;
    f.tracked = scan.trackedFiles();
    f.added = scan.newPictures();
    f.found = scan.alreadyCatalogued();
    if (outcome != FolderScan::Outcome::Completed)
        std::fprintf(stderr, "scan did not complete: %s\n", qPrintable(scan.statusText()));
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString base = QDir::tempPath() + QStringLiteral("/quillomar-bench-scan");
    int files = 200000;
    int folders = 2000;
    const bool scanOnly = args.contains(QStringLiteral("--scan-only")); // for profiling
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--dir"))
            base = args[i + 1];
        else if (args[i] == QLatin1String("--files"))
            files = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--folders"))
            folders = args[i + 1].toInt();
    }
    const QString root = treeFor(base, files, folders);
    const QString small = treeFor(base, files / 10, std::max(1, folders / 10));
    if (root.isEmpty() || small.isEmpty()) {
        std::fprintf(stderr, "cannot write the trees under %s\n", qPrintable(base));
        return 1;
    }
    const int pictures = genfiletree::expected(files, folders).pictures;

    QTemporaryDir work;
    ConsolePrompter prompter(stderr);
    qint64 collection = 0;
    qint64 category = 0;
    qint64 storage = 0;
    const QString catalogue = work.filePath(QStringLiteral("quillomar.mdb"));
    if (!makeCatalogue(catalogue, prompter, &collection, &category, &storage))
        return 1;
    const QString pristine = work.filePath(QStringLiteral("empty.mdb"));
    QFile::copy(catalogue, pristine);

    if (scanOnly) {
        ProgramPaths paths = ProgramPaths::forProgram(work.filePath(QStringLiteral("quillomar")));
        TDados store(paths, prompter);
        store.setConfigurationEnabled(false);
        if (!store.OpenDatabaseAll())
            return 1;
        const ScanFigures a = scanOnce(store, prompter, root);
        const ScanFigures b = scanOnce(store, prompter, root);
        std::printf("scans: %.0f ms (cpu %.0f), %.0f ms (cpu %.0f)\n", a.ms, a.cpu, b.ms, b.cpu);
        return 0;
    }

    // Floor: the listing.
    const QString find
        = QStringLiteral("find %1 -type f -printf '%s %T@ %p\\n' >/dev/null").arg(quoted(root));
    Timing findT;
    for (int i = 0; i < 3; ++i)
        findT = fastest(findT, runShell(find));

    // Floor: the same number of rows, each looked up first, in one transaction.
    const QString script = work.filePath(QStringLiteral("floor.sql"));
    {
        QFile s(script);
        if (!s.open(QIODevice::WriteOnly))
            return 1;
        const QString folderText = root + QStringLiteral("/album");
        // Built by concatenation: the SQL is full of printf and strftime percent signs.
        const QString n = QString::number(pictures);
        const QString sql
            = QStringLiteral(
                  "PRAGMA foreign_keys = ON;\n"
                  "PRAGMA cache_size = -65536;\n"
                  "BEGIN IMMEDIATE;\n"
                  "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ")
            + n
            + QStringLiteral("),\n"
                             " f(i, name, created) AS (SELECT i, printf('IMG_%06d.jpg', i),\n"
                             "   strftime('%Y-%m-%dT%H:%M:%S', 1262304000 + i * 2, 'unixepoch', "
                             "'localtime') FROM n)\n"
                             "INSERT INTO Pictures (Collection, Category, Name, FileName, "
                             "FileSize, Created, Modified,\n"
                             "  FullPath, FileType, Location, Review)\n"
                             "SELECT ")
            + QString::number(collection) + QStringLiteral(", ") + QString::number(category)
            + QStringLiteral(", substr(name, 1, 10), name, i * 7919 % 5000000, created, created,\n"
                             "  printf('")
            + folderText + QStringLiteral("%03d/rolo%02d/', i / 50 % 1000, i % 50), 'jpg', ")
            + QString::number(storage)
            + QStringLiteral(
                ", 1 FROM f\n"
                "WHERE NOT EXISTS (SELECT 1 FROM Pictures p WHERE p.FileName = f.name\n"
                "  AND p.Created = f.created);\n"
                "COMMIT;\n");
        s.write(sql.toUtf8());
    }
    Timing sqliteT;
    for (int i = 0; i < 3; ++i) {
        const QString copy = work.filePath(QStringLiteral("floor%1.mdb").arg(i));
        QFile::copy(pristine, copy);
        sqliteT = fastest(
            sqliteT, runShell(QStringLiteral("sqlite3 %1 < %2").arg(quoted(copy), quoted(script))));
    }
    const QString check = work.filePath(QStringLiteral("floor0.mdb"));
    QProcess count;
    count.start(
        QStringLiteral("sqlite3"), { check, QStringLiteral("SELECT count(*) FROM Pictures") });
    count.waitForFinished(-1);
    const QByteArray floorRows = count.readAllStandardOutput().trimmed();
    if (findT.wall < 0 || sqliteT.wall < 0)
        return 1;
    const double floorMs = findT.wall + sqliteT.wall;
    const double floorCpu = findT.cpu + sqliteT.cpu;

    // The scans; then a tree of a tenth of the files, to compare what memory they take.
    ProgramPaths paths = ProgramPaths::forProgram(work.filePath(QStringLiteral("quillomar")));
    TDados store(paths, prompter);
    store.setConfigurationEnabled(false);
    if (!store.OpenDatabaseAll())
        return 1;
    const ScanFigures first = scanOnce(store, prompter, root);
    const ScanFigures second = scanOnce(store, prompter, root);
    store.CloseDatabaseAll();

    const QString smallCatalogue = work.filePath(QStringLiteral("small/quillomar.mdb"));
    QDir().mkpath(QFileInfo(smallCatalogue).path());
    qint64 c2 = 0, k2 = 0, s2 = 0;
    if (!makeCatalogue(smallCatalogue, prompter, &c2, &k2, &s2))
        return 1;
    ProgramPaths smallPaths
        = ProgramPaths::forProgram(work.filePath(QStringLiteral("small/quillomar")));
    TDados smallStore(smallPaths, prompter);
    smallStore.setConfigurationEnabled(false);
    if (!smallStore.OpenDatabaseAll())
        return 1;
    const ScanFigures smallFirst = scanOnce(smallStore, prompter, small);
    smallStore.CloseDatabaseAll();

    std::printf("tree: %d files (%d pictures) in %d folders\n", files, pictures, folders);
    std::printf("floor: find %.0f ms + sqlite3 shell %.0f ms (%s rows) = %.0f ms; processor %.0f "
                "+ %.0f = %.0f ms\n",
        findT.wall, sqliteT.wall, floorRows.constData(), floorMs, findT.cpu, sqliteT.cpu, floorCpu);
    auto line = [&](const char *name, const ScanFigures &f) {
        std::printf("%-28s %7.0f ms  ratio %.2f;  processor %6.0f ms  ratio %.2f  (tracked %d, "
                    "new %d, found %d)\n",
            name, f.ms, f.ms / floorMs, f.cpu, f.cpu / floorCpu, f.tracked, f.added, f.found);
    };
    line("scan into empty catalogue:", first);
    line("scan again (all found):", second);
    auto memory = [](const char *name, const ScanFigures &f) {
        std::printf("%-28s peak RSS +%lld KiB (SQLite's own peak +%lld KiB; its page cache is "
                    "capped at 64 MiB)\n",
            name, f.peakGrowthKiB, f.sqlitePeakKiB);
    };
    memory("memory, first scan:", first);
    memory("memory, second scan:", second);
    std::printf("small tree: %d files in %d folders, first scan %.0f ms\n", files / 10,
        std::max(1, folders / 10), smallFirst.ms);
    memory("memory, small first scan:", smallFirst);
    const bool ok = first.ms <= 1.5 * floorMs && second.ms <= 1.5 * floorMs;
    const bool okCpu = first.cpu <= 1.5 * floorCpu && second.cpu <= 1.5 * floorCpu;
    std::printf("target (each scan <= 1.5 x floor): wall time %s, processor time %s\n",
        ok ? "met" : "NOT met", okCpu ? "met" : "NOT met");
    return 0;
}
