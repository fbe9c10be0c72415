#include "benchserver.h"
#include "benchtiming.h"
#include "genfiletree.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

// `quillomar-cli scan` of a generated tree (100,000 files in 1,000 folders, three in four
// of them pictures) into an empty catalogue on a PostgreSQL server on this machine, against
// a floor measured in the same rounds: `find -printf` listing the tree, plus one COPY of
// as many rows into the same table of an empty catalogue through psql. The server is a
// cluster of the benchmark's own (initdb in a temporary folder, as the user "nobody" when
// run as root), with its default durability settings. Rounds alternate floor and scan;
// medians are compared.
//
// bench_pgscan [--dir FOLDER] [--files N] [--folders M] [--rounds R]

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString base = QDir::tempPath() + QStringLiteral("/quillomar-bench-scan");
    int files = 100000;
    int folders = 1000;
    int rounds = 3;
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
    const QString root = QStringLiteral("%1/tree-%2-%3").arg(base).arg(files).arg(folders);
    if (!QFile::exists(root + QStringLiteral("/.complete"))) {
        QDir(root).removeRecursively();
        std::printf("generating %d files in %d folders under %s ...\n", files, folders,
            qPrintable(root));
        std::fflush(stdout);
        if (genfiletree::make(root, files, folders).files != files)
            return 1;
        QFile m(root + QStringLiteral("/.complete"));
        if (!m.open(QIODevice::WriteOnly))
            return 1;
    }
    const int pictures = genfiletree::expected(files, folders).pictures;
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/quillomar-cli");

    // The server of this run.
    BenchServer cluster;
    if (!cluster.start())
        return 1;
    const QString server = cluster.root();
    auto psql = [&](const QString &database, const QString &command) {
        return timedRun({ QStringLiteral("psql"), QStringLiteral("-q"), QStringLiteral("-v"),
            QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), server + database,
            QStringLiteral("-c"), command });
    };
    // An empty catalogue as the program first opens it: default rows in place.
    auto emptyCatalogue = [&](const QString &database) {
        return psql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + database) >= 0
            && timedRun({ cli, QStringLiteral("create"), server + database }) >= 0
            && timedRun({ cli, QStringLiteral("--catalogue"), server + database,
                   QStringLiteral("info") })
            >= 0;
    };

    // The floor's rows, as the scan makes them (the default collection, category and
    // storage are keys 1).
    QTemporaryDir work;
    const QString rows = work.filePath(QStringLiteral("rows.csv"));
    {
        QFile f(rows);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        const QString folder = root + QStringLiteral("/album");
        for (int i = 0; i < pictures; ++i) {
            const QString name = QStringLiteral("IMG_%1.jpg").arg(i, 6, 10, QLatin1Char('0'));
            const QString time = QStringLiteral("2010-01-01 00:00:00");
            f.write(QStringLiteral("1,1,%1,%2,%3,%4,%4,%5%6/rolo%7/,jpg,1,t\n")
                        .arg(name.left(10), name)
                        .arg(qint64(i) * 7919 % 5000000)
                        .arg(time, folder)
                        .arg(i / 50 % 1000, 3, 10, QLatin1Char('0'))
                        .arg(i % 50, 2, 10, QLatin1Char('0'))
                        .toUtf8());
        }
    }
    const QString copy = QStringLiteral(
        "\\copy pictures (collection, category, name, filename, filesize, created, modified, "
        "fullpath, filetype, location, review) FROM '%1' WITH (FORMAT csv)")
                             .arg(rows);
    const QStringList find = { QStringLiteral("find"), root, QStringLiteral("-type"),
        QStringLiteral("f"), QStringLiteral("-printf"), QStringLiteral("%s %T@ %p\\n") };

    std::vector<double> floors, scans, ratios;
    std::printf("tree: %d files (%d pictures) in %d folders; %d rounds; server on 127.0.0.1\n",
        files, pictures, folders, rounds);
    std::printf("round   find   copy  floor |  scan ratio   (wall ms)\n");
    int status = 0;
    for (int r = 0; r < rounds && status == 0; ++r) {
        const QString floorDb = QStringLiteral("floor%1").arg(r);
        const QString scanDb = QStringLiteral("scan%1").arg(r);
        if (!emptyCatalogue(floorDb) || !emptyCatalogue(scanDb)) {
            status = 1;
            break;
        }
        const double f = timedRun(find);
        const double c = psql(floorDb, copy);
        const double s = timedRun(
            { cli, QStringLiteral("--catalogue"), server + scanDb, QStringLiteral("scan"), root });
        if (f < 0 || c < 0 || s < 0) {
            status = 1;
            break;
        }
        floors.push_back(f + c);
        scans.push_back(s);
        ratios.push_back(s / (f + c));
        std::printf("%5d %6.0f %6.0f %6.0f | %5.0f %5.2f\n", r + 1, f, c, f + c, s, s / (f + c));
        std::fflush(stdout);
    }
    cluster.stop();
    if (status != 0)
        return status;
    const double fw = median(floors), sw = median(scans);
    std::printf("medians: floor %.0f ms, scan %.0f ms, ratio %.2f (median of round ratios %.2f)\n",
        fw, sw, sw / fw, median(ratios));
    std::printf("target (scan <= 1.5 x floor): %s\n", sw <= 1.5 * fw ? "met" : "NOT met");
    return 0;
}
