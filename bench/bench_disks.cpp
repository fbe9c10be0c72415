#include "cataloguegenerator.h"
#include "core/programpaths.h"
#include "core/scriptedprompter.h"
#include "intake/mountedvolumes.h"
#include "intake/picturefingerprints.h"
#include "intake/storagefordrive.h"
#include "intake/storagevolumes.h"
#include "store/connection.h"
#include "store/statement.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <vector>

// Disks and duplicates against their anchors, measured in the same run:
//   a disk of 100,000 pictures relocated to a new mount point by StorageForDrive, against
//     the same UPDATE of Unit and FullPath run by the sqlite3 shell (target <= 1.5x);
//   quillomar-cli duplicates on 1,000,000 pictures with fingerprints (target <= 1 s), against
//     the sqlite3 shell grouping the same index;
//   quillomar-cli duplicates --similar --distance 6 on them (target <= 3 s), against comparing
//     every pair (extrapolated from a slice of it).
//
// bench_disks [--rounds N] [--pictures N] [--catalogue N]

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double runMs(const QString &program, const QStringList &args, const QString &input = QString())
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    if (!input.isEmpty())
        p.setStandardInputFile(input);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return t.nsecsElapsed() / 1e6;
}

void benchRelocation(const QString &work, int rounds, qint64 pictures)
{
    QDir().mkpath(work + "/move");
    ProgramPaths paths = ProgramPaths::forProgram(work + "/move/quillomar");
    generateCatalogue(paths.databasePath(), pictures);
    VolumeIdentity disk;
    disk.type = "ext4";
    disk.uuid = "0b9a5f1e-6c2d-4c4b-9a53-9a0e8b7e1c11";
    disk.label = "FOTOS2000";
    {
        // Every picture on one disk, in folders under its mount point.
        Connection c;
        c.openFile(paths.databasePath());
        Transaction t(c);
        c.exec("UPDATE Pictures SET Location = 2, FullPath = '/media/ana/FOTOS2000/' ||"
               " Collection || '/' || Category || '/'");
        c.exec("UPDATE Storages SET Unit = '/media/ana/FOTOS2000' WHERE RecId = 2");
        StorageVolumes::record(c, 2, disk);
        t.commit();
    }
    ScriptedPrompter prompter;
    TDados store(paths, prompter);
    store.setConfigurationEnabled(false);
    if (!store.OpenDatabaseAll())
        qFatal("catalogue did not open");
    const MountedVolumes none = MountedVolumes::fromMountInfo("");
    const QStringList points
        = { "/media/ana/FOTOS2000", "/run/media/bia/FOTOS2000", "/media/leitor/FOTOS2000" };
    const QString sqlFile = work + "/move/relocate.sql";
    std::vector<double> oursMs, anchorMs;
    int at = 0;
    for (int round = 0; round < rounds; ++round) {
        at = (at + 1) % points.size();
        QElapsedTimer t;
        t.start();
        const StorageChoice choice = StorageForDrive(store, points[at], disk, none, {});
        oursMs.push_back(t.nsecsElapsed() / 1e6);
        if (!choice.relocated || choice.movedPictures != pictures)
            qFatal("the disk did not move whole");

        const QString from = points[at];
        at = (at + 1) % points.size();
        QFile f(sqlFile);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write the statement");
        f.write(QStringLiteral(
            "BEGIN IMMEDIATE;\n"
            "UPDATE Storages SET Unit = '%2' WHERE RecId = 2;\n"
            "UPDATE Pictures SET FullPath = '%2/' || substr(FullPath, length('%1/') + 1)"
            " WHERE Location = 2 AND substr(FullPath, 1, length('%1/')) = '%1/';\n"
            "COMMIT;\n")
                    .arg(from, points[at])
                    .toUtf8());
        f.close();
        anchorMs.push_back(runMs("sqlite3", { paths.databasePath() }, sqlFile));
    }
    const double o = median(oursMs), a = median(anchorMs);
    std::printf("Relocation of a disk of %lld pictures to a new mount point, %d rounds (medians)\n",
        static_cast<long long>(pictures), rounds);
    std::printf("  StorageForDrive              %8.1f ms\n", o);
    std::printf("  sqlite3 shell, same UPDATEs  %8.1f ms  (anchor)\n", a);
    std::printf("  ratio                        %8.2f  (target <= 1.50)\n", o / a);
}

// Fingerprints as the review would record them: of every fiftieth picture a copy on another
// disk, of every fiftieth a resized copy (a few bits of its look changed).
void recordFingerprints(const QString &catalogue, qint64 pictures)
{
    Connection c;
    c.openFile(catalogue);
    Transaction t(c);
    PictureFingerprints::Writer writer(c);
    QRandomGenerator random(1234);
    PictureFingerprints::Entry last;
    for (qint64 id = 1; id <= pictures; ++id) {
        PictureFingerprints::Entry e;
        e.picture = id;
        if (id % 50 == 0 && last.picture) {
            e.content = last.content;
            e.perceptual = last.perceptual;
        } else {
            e.content.size = 50000 + random.bounded(8000000);
            e.content.sample = random.generate64();
            e.content.content = QByteArray::number(random.generate64(), 16).rightJustified(16, '0');
            quint64 look = random.generate64();
            if (id % 50 == 25 && last.perceptual) {
                look = *last.perceptual;
                for (int b = 1 + int(random.bounded(5)); b > 0; --b)
                    look ^= quint64(1) << random.bounded(64);
            }
            e.perceptual = look;
        }
        writer.record(e);
        last = e;
    }
    // The generator's sizes are what the fingerprints say, so none is taken for stale.
    c.exec("UPDATE Pictures SET FileSize = (SELECT FileSize FROM PictureFingerprints"
           " WHERE Picture = Pictures.RecId)");
    t.commit();
}

void benchDuplicates(const QString &work, int rounds, qint64 pictures)
{
    QDir().mkpath(work + "/dup");
    const ProgramPaths paths = ProgramPaths::forProgram(work + "/dup/quillomar");
    const QString catalogue = paths.databasePath();
    QElapsedTimer made;
    made.start();
    generateCatalogue(catalogue, pictures);
    recordFingerprints(catalogue, pictures);
    std::printf("(catalogue of %lld pictures with fingerprints made in %.1f s)\n",
        static_cast<long long>(pictures), made.elapsed() / 1000.0);
    const QString cli = QCoreApplication::applicationDirPath() + "/quillomar-cli";

    QProcess count;
    count.start(cli, { "--catalogue", catalogue, "duplicates", "--similar", "--distance", "6" });
    count.waitForFinished(600000);
    const QByteArray listed = count.readAllStandardOutput();
    std::printf("(%lld lines, %lld groups of similar pictures)\n",
        static_cast<long long>(listed.count('\n') - listed.count("\n\n")),
        static_cast<long long>(listed.count("\n\n") + (listed.isEmpty() ? 0 : 1)));

    std::vector<double> exactMs, similarMs, groupMs;
    const QString grouping = work + "/dup/group.sql";
    {
        QFile f(grouping);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write the statement");
        f.write("SELECT FileSize, Sample, count(*) FROM PictureFingerprints WHERE FileSize >= 0"
                " GROUP BY FileSize, Sample HAVING count(*) > 1;\n");
    }
    for (int round = 0; round < rounds; ++round) {
        exactMs.push_back(runMs(cli, { "--catalogue", catalogue, "duplicates" }));
        similarMs.push_back(
            runMs(cli, { "--catalogue", catalogue, "duplicates", "--similar", "--distance", "6" }));
        groupMs.push_back(runMs("sqlite3", { catalogue }, grouping));
    }

    // Every pair compared: a slice of the rows against all of them, scaled to the whole.
    std::vector<quint64> hashes;
    {
        Connection c;
        c.openFile(catalogue);
        Statement look(c, QStringLiteral("SELECT Perceptual FROM PictureFingerprints"));
        Statement::Reset done(look);
        while (look.step())
            hashes.push_back(quint64(look.integer(0)));
    }
    const size_t slice = 200;
    QElapsedTimer t;
    t.start();
    qint64 near = 0;
    for (size_t i = 0; i < slice; ++i)
        for (size_t j = i + 1; j < hashes.size(); ++j)
            near += std::popcount(hashes[i] ^ hashes[j]) <= 6;
    const double perRow = t.nsecsElapsed() / 1e6 / double(slice);
    const double allPairs = perRow * double(hashes.size()) / 2;

    std::printf("Duplicates among %lld pictures with fingerprints, %d rounds (medians, to the last "
                "line)\n",
        static_cast<long long>(pictures), rounds);
    std::printf("  duplicates                   %8.1f ms  (target <= 1000)\n", median(exactMs));
    std::printf("  sqlite3 shell, grouping only %8.1f ms  (anchor)\n", median(groupMs));
    std::printf("  ratio                        %8.2f\n", median(exactMs) / median(groupMs));
    std::printf("  duplicates --similar -d 6    %8.1f ms  (target <= 3000)\n", median(similarMs));
    std::printf("  every pair compared          %8.0f ms  (anchor, estimated; %lld near)\n",
        allPairs, static_cast<long long>(near));
    std::printf("  ratio                        %8.4f\n", median(similarMs) / allPairs);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 5;
    qint64 pictures = 100000;
    qint64 catalogue = 1000000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--rounds")
            rounds = args[i + 1].toInt();
        else if (args[i] == "--pictures")
            pictures = args[i + 1].toLongLong();
        else if (args[i] == "--catalogue")
            catalogue = args[i + 1].toLongLong();
    }
    QTemporaryDir work;
    if (qEnvironmentVariableIsSet("QM_BENCH_KEEP"))
        work.setAutoRemove(false);
    benchRelocation(work.path(), rounds, pictures);
    benchDuplicates(work.path(), rounds, catalogue);
    return 0;
}
