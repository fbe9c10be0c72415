#include "batch/eventlog.h"
#include "batch/ftpsend.h"
#include "core/programpaths.h"
#include "core/progresssink.h"
#include "core/scriptedprompter.h"
#include "core/versiontools.h"
#include "store/command.h"
#include "store/schema.h"
#include "store/tdados.h"
#include "transferbench.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

// SendByFtp of 100 pictures of 1 MB to a loopback pyftpdlib, against the curl tool sending
// the same files over one connection in active mode, to the same server in the same run.
//
// bench_ftp [--rounds N] [--files N] [--size BYTES]

using transferbench::emptyFolder;
using transferbench::median;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 5, files = 100, size = 1 << 20;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--rounds")
            rounds = args[i + 1].toInt();
        else if (args[i] == "--files")
            files = args[i + 1].toInt();
        else if (args[i] == "--size")
            size = args[i + 1].toInt();
    }

    QTemporaryDir work;
    const QString source = work.filePath("fotos"), ours = work.filePath("ours"),
                  anchor = work.filePath("anchor");
    for (const QString &d : { source, ours, anchor })
        QDir().mkpath(d);
    ProgramPaths paths = ProgramPaths::forProgram(work.filePath("quillomar"));
    Schema::createCatalogue(paths.databasePath(), compiledVersion());
    ScriptedPrompter prompter;
    TDados store(paths, prompter);
    if (!store.OpenDatabaseAll())
        qFatal("catalogue did not open");
    const transferbench::Pictures pictures
        = transferbench::addRandomPictures(store, source, files, size);
    const QStringList &names = pictures.names;
    const PictureKeys &keys = pictures.keys;

    QProcess server;
    server.start("/usr/bin/python3",
        { QStringLiteral(QM_SOURCE_DIR "/tests/support/ftpserver.py"), work.filePath("ftp.log"),
            "ours:senha:" + ours + ":elradfmwMT", "anchor:senha:" + anchor + ":elradfmwMT" });
    if (!server.waitForReadyRead(15000))
        qFatal("pyftpdlib did not start");
    const int port = server.readAllStandardOutput().trimmed().split(' ').value(1).toInt();

    FtpAccount account;
    account.host = "127.0.0.1";
    account.port = QString::number(port);
    account.userId = "ours";
    account.password = "senha";
    const QString glob = "{" + names.join(',') + "}";
    const QString url = QString("ftp://127.0.0.1:%1/").arg(port);

    std::vector<double> oursMs, anchorMs;
    for (int round = 0; round < rounds; ++round) {
        emptyFolder(ours);
        emptyFolder(anchor);
        EventLog log;
        NullProgress status;
        QElapsedTimer t;
        t.start();
        if (!SendByFtp(store, account, keys, log, prompter, status))
            qFatal("send failed: %s", qPrintable(log.lines().join('\n')));
        oursMs.push_back(t.nsecsElapsed() / 1e6);

        QProcess curl;
        curl.setWorkingDirectory(source);
        t.start();
        curl.start("curl",
            { "-s", "-S", "--ftp-port", "-", "--disable-eprt", "-u", "anchor:senha", "-T", glob,
                url });
        if (!curl.waitForFinished(600000) || curl.exitCode() != 0)
            qFatal("curl failed: %s", curl.readAllStandardError().constData());
        anchorMs.push_back(t.nsecsElapsed() / 1e6);
        if (QDir(ours).entryList(QDir::Files).size() != files
            || QDir(anchor).entryList(QDir::Files).size() != files)
            qFatal("not every file arrived");
    }
    server.kill();
    server.waitForFinished();

    const double o = median(oursMs), a = median(anchorMs);
    std::printf("FTP send of %d files of %d bytes, %d rounds (medians)\n", files, size, rounds);
    std::printf("  SendByFtp           %8.1f ms\n", o);
    std::printf("  curl -T (anchor)    %8.1f ms\n", a);
    std::printf("  ratio               %8.2f  (target <= 1.20)\n", o / a);
    return 0;
}
