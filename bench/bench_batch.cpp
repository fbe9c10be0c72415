#include "batch/copytofolder.h"
#include "batch/eventlog.h"
#include "batch/movepictures.h"
#include "batch/tbatchprocess.h"
#include "cataloguegenerator.h"
#include "core/programpaths.h"
#include "core/progresssink.h"
#include "core/scriptedprompter.h"
#include "core/versiontools.h"
#include "store/command.h"
#include "store/query.h"
#include "store/schema.h"
#include "store/tdados.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

// The batch operations against their anchors, measured in the same run:
//   copy of 1,000 files of 2 MB into an empty folder: CopyToFolder against
//     cp --preserve=timestamps of the same files;
//   move of 100,000 pictures to another category: MovePictures against the same UPDATE run
//     by the sqlite3 shell on the same catalogue;
//   the batch dialog filled with 10,000 pictures (target under 1 s), against reading the
//     same query to its end.
//
// bench_batch [--rounds N] [--files N] [--size BYTES] [--pictures N] [--batch N]

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void emptyFolder(const QString &path)
{
    QDir(path).removeRecursively();
    QDir().mkpath(path);
}

struct Store {
    ProgramPaths paths;
    ScriptedPrompter prompter;
    TDados dados;
    explicit Store(const ProgramPaths &p) : paths(p), dados(paths, prompter)
    {
        if (!dados.OpenDatabaseAll())
            qFatal("catalogue did not open");
    }
};

PictureKeys allKeys(TDados &store, qint64 limit)
{
    PictureKeys keys;
    Query q(store.Conexao);
    q.setSql(QStringLiteral("SELECT RecId FROM Pictures ORDER BY RecId LIMIT %1").arg(limit));
    for (q.open(); !q.eof(); q.next())
        keys << q.asInt("RecId");
    q.close();
    return keys;
}

void benchCopy(const QString &work, int rounds, int files, int size)
{
    const QString source = work + "/fotos", ours = work + "/ours", anchor = work + "/anchor";
    QDir().mkpath(source);
    ProgramPaths paths = ProgramPaths::forProgram(work + "/copy/quillomar");
    QDir().mkpath(work + "/copy");
    Schema::createCatalogue(paths.databasePath(), compiledVersion());
    Store s(paths);
    QRandomGenerator random(42);
    QStringList names;
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < files; ++i) {
        const QString name = QString::asprintf("foto%04d.jpg", i);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
        QFile f(source + "/" + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != size)
            qFatal("cannot write the pictures");
        names << source + "/" + name;
        Command c(s.dados.Conexao);
        c.setSql(QStringLiteral("INSERT INTO Pictures (Collection, Category, Name, FileName, "
                                "FullPath, FileSize, FileType, Review) VALUES (:C, :K, :N, :N, "
                                ":P, :S, 'jpg', 0)"));
        c.setParam("C", s.dados.DefaultCollectionId);
        c.setParam("K", s.dados.DefaultCategoryId);
        c.setParam("N", name);
        c.setParam("P", source);
        c.setParam("S", size);
        c.execute();
    }
    const PictureKeys keys = allKeys(s.dados, files);
    std::vector<double> oursMs, anchorMs;
    for (int round = 0; round < rounds; ++round) {
        emptyFolder(ours);
        emptyFolder(anchor);
        const auto runOurs = [&] {
            EventLog log;
            NullProgress progress;
            QElapsedTimer t;
            t.start();
            if (!CopyToFolder(s.dados, keys, ours, log, s.prompter, progress))
                qFatal("copy failed: %s", qPrintable(log.lines().join('\n')));
            oursMs.push_back(t.nsecsElapsed() / 1e6);
        };
        const auto runAnchor = [&] {
            QProcess cp;
            QElapsedTimer t;
            t.start();
            cp.start(
                "cp", QStringList { "--preserve=timestamps" } + names + QStringList { anchor });
            if (!cp.waitForFinished(600000) || cp.exitCode() != 0)
                qFatal("cp failed: %s", cp.readAllStandardError().constData());
            anchorMs.push_back(t.nsecsElapsed() / 1e6);
        };
        // Each goes first every other round, so that neither always meets a busier cache.
        if (round % 2) {
            runAnchor();
            runOurs();
        } else {
            runOurs();
            runAnchor();
        }
        if (QDir(ours).entryList(QDir::Files).size() != files)
            qFatal("not every file was copied");
    }
    emptyFolder(ours);
    emptyFolder(anchor);
    const double o = median(oursMs), a = median(anchorMs);
    std::printf("Copy of %d files of %d bytes, %d rounds (medians)\n", files, size, rounds);
    std::printf("  CopyToFolder                 %8.1f ms\n", o);
    std::printf("  cp --preserve=timestamps     %8.1f ms  (anchor)\n", a);
    std::printf("  ratio                        %8.2f  (target <= 1.20)\n", o / a);
}

void benchMoveAndFill(const QString &work, int rounds, qint64 pictures, int batch)
{
    QDir().mkpath(work + "/move");
    ProgramPaths paths = ProgramPaths::forProgram(work + "/move/quillomar");
    generateCatalogue(paths.databasePath(), pictures);
    Store s(paths);
    const PictureKeys keys = allKeys(s.dados, pictures);
    // Two categories of two collections; each round moves every picture to the other one.
    QList<QPair<qint64, qint64>> targets;
    Query q(s.dados.Conexao);
    q.setSql("SELECT Collection, MIN(RecId) AS Category FROM Categories GROUP BY Collection "
             "ORDER BY Collection LIMIT 2");
    for (q.open(); !q.eof(); q.next())
        targets.append({ q.asInt("Collection"), q.asInt("Category") });
    q.close();
    const QString sqlFile = work + "/move/update.sql";

    std::vector<double> oursMs, anchorMs;
    for (int round = 0; round < rounds; ++round) {
        const auto [collection, category] = targets.value(round % 2);
        QElapsedTimer t;
        t.start();
        if (MovePictures(s.dados, keys, collection, category) != keys.size())
            qFatal("not every picture moved");
        oursMs.push_back(t.nsecsElapsed() / 1e6);

        const auto [collection2, category2] = targets.value((round + 1) % 2);
        QFile f(sqlFile);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write the statement");
        f.write(QStringLiteral("UPDATE Pictures SET Collection = %1, Category = %2 WHERE RecId "
                               "IN (%3);\n")
                    .arg(collection2)
                    .arg(category2)
                    .arg(JoinKeyList(keys))
                    .toUtf8());
        f.close();
        QProcess shell;
        shell.setStandardInputFile(sqlFile);
        t.start();
        shell.start("sqlite3", { paths.databasePath() });
        if (!shell.waitForFinished(600000) || shell.exitCode() != 0)
            qFatal("sqlite3 failed: %s", shell.readAllStandardError().constData());
        anchorMs.push_back(t.nsecsElapsed() / 1e6);
    }
    double o = median(oursMs), a = median(anchorMs);
    std::printf("Move of %lld pictures to another category, %d rounds (medians)\n",
        static_cast<long long>(keys.size()), rounds);
    std::printf("  MovePictures                 %8.1f ms\n", o);
    std::printf("  sqlite3 shell, same UPDATE   %8.1f ms  (anchor)\n", a);
    std::printf("  ratio                        %8.2f  (target <= 1.50)\n", o / a);

    const PictureKeys few = keys.mid(0, batch);
    TBatchProcess dialog(s.dados, s.prompter);
    dialog.setBatchKeys(few);
    auto *list = dialog.findChild<QListWidget *>("CheckListBox1");
    oursMs.clear();
    anchorMs.clear();
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer t;
        t.start();
        dialog.show();
        QCoreApplication::processEvents();
        oursMs.push_back(t.nsecsElapsed() / 1e6);
        if (list->count() != few.size())
            qFatal("the check list misses pictures");
        dialog.hide();
        t.start();
        Query read(s.dados.Conexao);
        read.setSql(picturesOfKeysSql(few));
        int rows = 0;
        for (read.open(); !read.eof(); read.next())
            rows += read.asString("Name").isEmpty() ? 0 : 1;
        read.close();
        anchorMs.push_back(t.nsecsElapsed() / 1e6);
    }
    o = median(oursMs);
    a = median(anchorMs);
    std::printf("Batch dialog filled with %lld pictures, %d rounds (medians)\n",
        static_cast<long long>(few.size()), rounds);
    std::printf("  show and fill                %8.1f ms  (target < 1000 ms)\n", o);
    std::printf("  the query read to its end    %8.1f ms  (anchor)\n", a);
    std::printf("  ratio                        %8.2f\n", o / a);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rounds = 5, files = 1000, size = 2 << 20, batch = 10000;
    qint64 pictures = 100000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--rounds")
            rounds = args[i + 1].toInt();
        else if (args[i] == "--files")
            files = args[i + 1].toInt();
        else if (args[i] == "--size")
            size = args[i + 1].toInt();
        else if (args[i] == "--pictures")
            pictures = args[i + 1].toLongLong();
        else if (args[i] == "--batch")
            batch = args[i + 1].toInt();
    }
    QTemporaryDir work;
    benchMoveAndFill(work.path(), rounds, pictures, batch);
    benchCopy(work.path(), rounds, files, size);
    return 0;
}
