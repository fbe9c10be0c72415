#include "benchserver.h"
#include "benchtiming.h"
#include "app/startup.h"
#include "app/tabertura.h"
#include "core/scriptedprompter.h"
#include "options/databaselocation.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

// Live refresh of a server catalogue: a main window (offscreen) is open on a catalogue of a
// cluster of the benchmark's own on this machine; another process (`quillomar-cli new
// collection`) commits, and the time until the window's organisation tree shows the new
// collection is measured, from the other process's start and from its end (its commit
// is its last act), each round a commit after a quiet while. Medians of the rounds; the
// target is 1 s.
//
// bench_pgrefresh [--rounds R] [--pictures N]

namespace {

bool run(QStringList args)
{
    QProcess p;
    p.setProgram(args.takeFirst());
    p.setArguments(args);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start();
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit
        || p.exitCode() != 0) {
        std::fprintf(stderr, "failed: %s %s\n", qPrintable(p.program()),
            p.readAllStandardError().constData());
        return false;
    }
    return true;
}


} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    int rounds = 15;
    int pictures = 20000;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--pictures"))
            pictures = std::max(0, args[i + 1].toInt());
    }
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/quillomar-cli");

    BenchServer cluster;
    if (!cluster.start())
        return 1;
    const QString server = cluster.root();
    const QString location = server + QStringLiteral("refresh");
    const QString fill = QStringLiteral(
        "INSERT INTO collections (name, system) SELECT 'Coleção ' || i, false "
        "FROM generate_series(1, 20) i;"
        "INSERT INTO categories (collection, name, system) SELECT c.recid, 'Categoria ' || j, "
        "false FROM collections c, generate_series(1, 10) j WHERE NOT c.system;"
        "INSERT INTO storages (name, unit, system) SELECT 'Disco ' || i, '/mnt/d' || i, false "
        "FROM generate_series(1, 5) i;"
        "INSERT INTO pictures (collection, category, location, name, filename, fullpath, "
        "created, review) SELECT c.collection, c.recid, (SELECT min(recid) FROM storages), "
        "'Imagem ' || i, 'img' || i || '.jpg', '/mnt/d1/', now(), false FROM "
        "generate_series(1, %1) i JOIN categories c ON c.recid = 2 + i % 200;")
                             .arg(pictures);
    if (!run({ QStringLiteral("psql"), QStringLiteral("-qAt"), QStringLiteral("-d"),
             server + QStringLiteral("postgres"), QStringLiteral("-c"),
             QStringLiteral("CREATE DATABASE refresh") })
        || !run({ cli, QStringLiteral("create"), location })
        || !run({ cli, QStringLiteral("--catalogue"), location, QStringLiteral("info") })
        || !run({ QStringLiteral("psql"), QStringLiteral("-qAt"), QStringLiteral("-v"),
            QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), location,
            QStringLiteral("-c"), fill })) {
        return 1;
    }

    QTemporaryDir programFolder;
    ProgramPaths paths = ProgramPaths::forProgram(programFolder.filePath(QStringLiteral("quillomar")));
    if (!saveDatabaseLocation(paths, location).isEmpty()) {
        return 1;
    }
    paths.DatabaseFolder = paths.ProgramFolder;
    paths.DatabaseFileName = paths.defaultDatabaseName();
    ScriptedPrompter prompter;
    std::vector<double> fromStart, fromCommit;
    {
        Startup s(paths, &prompter);
        s.createWindows();
        QSignalSpy loaded(s.Abertura.get(), &TAbertura::startupLoadingDone);
        s.Abertura->show();
        if (!loaded.wait(120000) || !loaded.first().first().toBool()) {
            std::fprintf(stderr, "the window did not open the catalogue: %s\n",
                qPrintable(prompter.boxTexts().join(QLatin1Char('\n'))));
            return 1;
        }
        auto *tree = s.Abertura->findChild<QTreeView *>(QStringLiteral("TreeView1"));
        // Collections are looked for where they stand, the tree's first two levels: a
        // recursive look through every picture node at each poll would hold up the very
        // window being measured.
        const auto shown = [tree](const QString &name) {
            const QAbstractItemModel *model = tree->model();
            for (int r = 0; r < model->rowCount(); ++r) {
                const QModelIndex top = model->index(r, 0);
                if (top.data().toString() == name)
                    return true;
                for (int c = 0; c < model->rowCount(top); ++c)
                    if (model->index(c, 0, top).data().toString() == name)
                        return true;
            }
            return false;
        };
        std::printf("live refresh of an open window, %d pictures in the catalogue (ms)\n",
            pictures);
        std::printf("round | from the other's start | from its end\n");
        for (int r = 0; r < rounds; ++r) {
            // Each round is one commit after a quiet while: a window under a steady stream
            // of commits waits twice its last reload's time between reloads, on purpose.
            if (r > 0) {
                QEventLoop pause;
                QTimer::singleShot(3000, &pause, &QEventLoop::quit);
                pause.exec();
            }
            const QString name = QStringLiteral("Rodada %1").arg(r + 1);
            QProcess other;
            QElapsedTimer clock;
            double committed = -1;
            QEventLoop loop;
            QObject::connect(&other, &QProcess::finished, &loop,
                [&] { committed = clock.nsecsElapsed() / 1e6; });
            QTimer poll;
            poll.setInterval(1);
            QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
                if (committed >= 0 && shown(name))
                    loop.quit();
            });
            QTimer::singleShot(30000, &loop, &QEventLoop::quit);
            clock.start();
            other.start(cli, { QStringLiteral("--catalogue"), location, QStringLiteral("new"),
                                 QStringLiteral("collection"), name });
            poll.start();
            loop.exec();
            const double seen = clock.nsecsElapsed() / 1e6;
            if (!shown(name) || other.exitCode() != 0) {
                std::fprintf(stderr, "round %d: never shown\n", r + 1);
                return 1;
            }
            fromStart.push_back(seen);
            fromCommit.push_back(seen - committed);
            std::printf("%5d | %22.1f | %15.1f\n", r + 1, seen, seen - committed);
            std::fflush(stdout);
        }
    }
    const double m = median(fromCommit);
    std::printf("median: %.1f ms from the other's start, %.1f ms from its end\n",
        median(fromStart), m);
    std::printf("target: shown within 1000 ms of the commit (the other's end): %s\n", m <= 1000 ? "met" : "MISSED");
    return 0;
}
