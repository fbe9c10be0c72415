#include "batch/eventlog.h"
#include "batch/mailsend.h"
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

// SendByEmail of one message with 20 pictures of 5 MB to a loopback aiosmtpd, against the
// curl tool sending the same files as a MIME message (base64), same server, same run.
//
// bench_mail [--rounds N] [--files N] [--size BYTES]

using transferbench::emptyFolder;
using transferbench::median;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 5, files = 20, size = 5 << 20;
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
    const QString source = work.filePath("fotos"), spool = work.filePath("spool");
    for (const QString &d : { source, spool })
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
        { QStringLiteral(QM_SOURCE_DIR "/tests/support/smtpserver.py"),
            QDir(spool).filePath("smtp.log") });
    if (!server.waitForReadyRead(15000))
        qFatal("aiosmtpd did not start");
    const int port = server.readAllStandardOutput().trimmed().split(' ').value(1).toInt();

    SmtpAccount account { "127.0.0.1", QString::number(port), "bench.local", "Bench",
        "bench@x.com" };
    MailInput input { "destino@y.com", {}, {}, "Fotos", "Seguem as fotos." };
    const QString url = QString("smtp://127.0.0.1:%1/bench.local").arg(port);
    QStringList curlArgs { "-s", "-S", url, "--mail-from", "bench@x.com", "--mail-rcpt",
        "destino@y.com", "-H", "Subject: Fotos", "-H", "From: Bench <bench@x.com>", "-H",
        "To: destino@y.com", "-F", "=Seguem as fotos.;type=text/plain;encoder=quoted-printable" };
    for (const QString &name : names)
        curlArgs << "-F"
                 << "=@" + QDir(source).filePath(name)
                + ";type=application/octet-stream;encoder=base64";

    const auto received
        = [&] { return QDir(spool).entryList({ "message*.eml" }, QDir::Files).size(); };
    std::vector<double> oursMs, anchorMs;
    for (int round = 0; round < rounds; ++round) {
        emptyFolder(spool);
        EventLog log;
        NullProgress status;
        QElapsedTimer t;
        t.start();
        if (!SendByEmail(store, account, input, keys, log, prompter, status))
            qFatal("send failed: %s", qPrintable(log.lines().join('\n')));
        oursMs.push_back(t.nsecsElapsed() / 1e6);

        QProcess curl;
        t.start();
        curl.start("curl", curlArgs);
        if (!curl.waitForFinished(600000) || curl.exitCode() != 0)
            qFatal("curl failed: %s", curl.readAllStandardError().constData());
        anchorMs.push_back(t.nsecsElapsed() / 1e6);
        if (received() != 2)
            qFatal("not every message arrived");
    }
    server.kill();
    server.waitForFinished();

    const double o = median(oursMs), a = median(anchorMs);
    std::printf("E-mail of %d attachments of %d bytes, %d rounds (medians)\n", files, size, rounds);
    std::printf("  SendByEmail         %8.1f ms\n", o);
    std::printf("  curl -F (anchor)    %8.1f ms\n", a);
    std::printf("  ratio               %8.2f  (target <= 1.30)\n", o / a);
    return 0;
}
