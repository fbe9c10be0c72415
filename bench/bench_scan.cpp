#include "genfiletree.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

// `quillomar-cli scan` of a generated tree (100,000 files in 1,000 folders, three in four
// of them pictures) into an empty catalogue, then the same scan again with everything
// already catalogued, against a floor measured in the same rounds: `find` listing the tree
// with sizes and times, plus the sqlite3 shell moving as many rows into a copy of the same
// empty catalogue with one INSERT ... SELECT in one transaction. Rounds alternate the three
// so that a busy neighbour weighs on all of them alike; medians are compared.
//
// bench_scan [--dir FOLDER] [--files N] [--folders M] [--rounds R]: the tree is generated
// under FOLDER (default: a folder in the temporary directory, kept for the next run).

namespace {

struct Timing {
    double wall = -1; // ms
    double cpu = -1; // ms, user and system
    long peakKiB = 0;
    QByteArray out;
};

// Runs argv with standard input from `in` (or /dev/null) and standard output to a file
// (or /dev/null); times it and reads its own resource use.
Timing run(const QStringList &args, const QString &in = QString(), bool keepOut = false)
{
    std::vector<QByteArray> bytes;
    for (const QString &a : args)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    QTemporaryDir outDir;
    const QByteArray outPath
        = keepOut ? QFile::encodeName(outDir.filePath(QStringLiteral("out"))) : "/dev/null";
    const QByteArray inPath = in.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(in);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.constData(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(
        &actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    ::sync(); // an earlier step's writes must not be flushed on this one's time
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    Timing timing;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return timing;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage use {};
    ::wait4(pid, &status, 0, &use);
    const double wall = t.nsecsElapsed() / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(args.join(QLatin1Char(' '))));
        return timing;
    }
    timing.wall = wall;
    timing.cpu = (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3
        + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
    timing.peakKiB = use.ru_maxrss;
    if (keepOut) {
        QFile f(QString::fromLocal8Bit(outPath));
        if (f.open(QIODevice::ReadOnly))
            timing.out = f.readAll().trimmed();
    }
    return timing;
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

QByteArray shellValue(const QString &catalogue, const QString &sql)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("q.sql"));
    QFile s(script);
    if (!s.open(QIODevice::WriteOnly))
        return QByteArray();
    s.write(sql.toUtf8());
    s.close();
    return run({ QStringLiteral("sqlite3"), catalogue }, script, true).out;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? -1 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString base = QDir::tempPath() + QStringLiteral("/quillomar-bench-scan");
    int files = 100000;
    int folders = 1000;
    int rounds = 5;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--dir"))
            base = args[i + 1];
        else if (args[i] == QLatin1String("--files"))
            files = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--folders"))
            folders = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());
    }
    const QString root = treeFor(base, files, folders);
    if (root.isEmpty()) {
        std::fprintf(stderr, "cannot write the tree under %s\n", qPrintable(base));
        return 1;
    }
    const int pictures = genfiletree::expected(files, folders).pictures;
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/quillomar-cli");

    // The empty catalogue as the program first opens it: default rows in place.
    QTemporaryDir work;
    const QString empty = work.filePath(QStringLiteral("empty.mdb"));
    if (run({ cli, QStringLiteral("create"), empty }).wall < 0
        || run({ cli, QStringLiteral("--catalogue"), empty, QStringLiteral("info") }).wall < 0)
        return 1;
    const QByteArray collection
        = shellValue(empty, QStringLiteral("SELECT RecId FROM Collections WHERE System;"));
    const QByteArray category
        = shellValue(empty, QStringLiteral("SELECT RecId FROM Categories WHERE System;"));
    const QByteArray storage
        = shellValue(empty, QStringLiteral("SELECT RecId FROM Storages WHERE System;"));

    // As many rows as the scan adds, with the scan's settings, in one statement.
    const QString script = work.filePath(QStringLiteral("floor.sql"));
    {
        QFile s(script);
        if (!s.open(QIODevice::WriteOnly))
            return 1;
        const QString folderText = root + QStringLiteral("/album");
        // Built by concatenation: the SQL is full of printf and strftime percent signs.
        const QString sql
            = QStringLiteral(
                  "PRAGMA foreign_keys = ON;\n"
                  "PRAGMA cache_size = -65536;\n"
                  "BEGIN IMMEDIATE;\n"
                  "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ")
            + QString::number(pictures)
            + QStringLiteral("),\n"
                             " f(i, name, created) AS (SELECT i, printf('IMG_%06d.jpg', i),\n"
                             "   strftime('%Y-%m-%dT%H:%M:%S', 1262304000 + i * 2, 'unixepoch', "
                             "'localtime') FROM n)\n"
                             "INSERT INTO Pictures (Collection, Category, Name, FileName, "
                             "FileSize, Created, Modified,\n"
                             "  FullPath, FileType, Location, Review)\n"
                             "SELECT ")
            + QString::fromLatin1(collection) + QStringLiteral(", ")
            + QString::fromLatin1(category)
            + QStringLiteral(", substr(name, 1, 10), name, i * 7919 % 5000000, created, created,\n"
                             "  printf('")
            + folderText + QStringLiteral("%03d/rolo%02d/', i / 50 % 1000, i % 50), 'jpg', ")
            + QString::fromLatin1(storage) + QStringLiteral(", 1 FROM f;\nCOMMIT;\n");
        s.write(sql.toUtf8());
    }

    const QString find = QStringLiteral("find");
    const QStringList findArgs = { find, root, QStringLiteral("-type"), QStringLiteral("f"),
        QStringLiteral("-printf"), QStringLiteral("%s %T@ %p\\n") };
    std::vector<double> floorWall, floorCpu, firstWall, firstCpu, againWall, againCpu;
    std::vector<double> firstRatio, againRatio;
    long peakKiB = 0;
    QByteArray firstLine, againLine, floorRows;
    std::printf("tree: %d files (%d pictures) in %d folders; %d rounds\n", files, pictures, folders,
        rounds);
    std::printf("round   find  shell  floor |  scan ratio | again ratio   (wall ms)\n");
    for (int r = 0; r < rounds; ++r) {
        const QString floorCopy = work.filePath(QStringLiteral("floor.mdb"));
        const QString scanCopy = work.filePath(QStringLiteral("scan.mdb"));
        QFile::remove(floorCopy);
        QFile::remove(scanCopy);
        QFile::copy(empty, floorCopy);
        QFile::copy(empty, scanCopy);

        const Timing f = run(findArgs);
        const Timing s = run({ QStringLiteral("sqlite3"), floorCopy }, script);
        const Timing first = run(
            { cli, QStringLiteral("--catalogue"), scanCopy, QStringLiteral("scan"), root },
            QString(), true);
        const Timing again = run(
            { cli, QStringLiteral("--catalogue"), scanCopy, QStringLiteral("scan"), root },
            QString(), true);
        if (f.wall < 0 || s.wall < 0 || first.wall < 0 || again.wall < 0)
            return 1;
        if (r == 0)
            floorRows = shellValue(floorCopy, QStringLiteral("SELECT count(*) FROM Pictures;"));
        const double floor = f.wall + s.wall;
        floorWall.push_back(floor);
        floorCpu.push_back(f.cpu + s.cpu);
        firstWall.push_back(first.wall);
        firstCpu.push_back(first.cpu);
        againWall.push_back(again.wall);
        againCpu.push_back(again.cpu);
        firstRatio.push_back(first.wall / floor);
        againRatio.push_back(again.wall / floor);
        peakKiB = std::max({ peakKiB, first.peakKiB, again.peakKiB });
        firstLine = first.out;
        againLine = again.out;
        std::printf("%5d %6.0f %6.0f %6.0f | %5.0f %5.2f | %5.0f %5.2f\n", r + 1, f.wall, s.wall,
            floor, first.wall, first.wall / floor, again.wall, again.wall / floor);
        std::fflush(stdout);
    }

    const double fw = median(floorWall), fc = median(floorCpu);
    const double sw = median(firstWall), sc = median(firstCpu);
    const double aw = median(againWall), ac = median(againCpu);
    std::printf("scan says: \"%s\", then \"%s\"; floor rows: %s\n", firstLine.constData(),
        againLine.constData(), floorRows.constData());
    std::printf("medians      wall ms  ratio | processor ms  ratio\n");
    std::printf("floor        %7.0f        | %12.0f\n", fw, fc);
    std::printf("first scan   %7.0f  %5.2f | %12.0f  %5.2f   (median of round ratios %.2f)\n", sw,
        sw / fw, sc, sc / fc, median(firstRatio));
    std::printf("rescan       %7.0f  %5.2f | %12.0f  %5.2f   (median of round ratios %.2f)\n", aw,
        aw / fw, ac, ac / fc, median(againRatio));
    std::printf("peak memory of a scan: %ld KiB\n", peakKiB);
    std::printf("target (first <= 1.5 x floor, rescan <= 1.0 x floor, wall medians): %s\n",
        sw <= 1.5 * fw && aw <= 1.0 * fw ? "met" : "NOT met");
    return 0;
}
