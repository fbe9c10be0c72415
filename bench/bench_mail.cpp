#include "batch/eventlog.h"
#include "batch/mailsend.h"
#include "batch/sendsecurity.h"
#include "batch/transferpasswords.h"
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
// With --tls both go over STARTTLS and log in (curl --ssl-reqd).
//
// bench_mail [--rounds N] [--files N] [--size BYTES] [--tls]

using transferbench::emptyFolder;
using transferbench::median;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const transferbench::Options o = transferbench::options(app.arguments(), { 5, 20, 5 << 20 });
    const int rounds = o.rounds, files = o.files, size = o.size;

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

    QStringList serverArgs { QStringLiteral(QM_SOURCE_DIR "/tests/support/smtpserver.py"),
        QDir(spool).filePath("smtp.log") };
    QString certificate;
    if (o.tls) {
        certificate = transferbench::makeCertificate(work.path());
        serverArgs << "--starttls" << certificate << work.filePath("key.pem") << "--auth"
                   << "bench:senha";
    }
    QProcess server;
    server.start("/usr/bin/python3", serverArgs);
    if (!server.waitForReadyRead(15000))
        qFatal("aiosmtpd did not start");
    const int port = server.readAllStandardOutput().trimmed().split(' ').value(1).toInt();

    SmtpAccount account { "127.0.0.1", QString::number(port), "bench.local", "Bench",
        "bench@x.com" };
    MailInput input { "destino@y.com", {}, {}, "Fotos", "Seguem as fotos." };
    TransferPasswords passwords;
    SendSecurity security;
    security.passwords = &passwords;
    QString url = QString("smtp://127.0.0.1:%1/bench.local").arg(port);
    QStringList curlArgs { "-s", "-S" };
    if (o.tls) {
        account.userId = "bench";
        account.security = MailSecurity::StartTls;
        account.hasPassword = true;
        passwords.setGiven("senha");
        url = QString("smtp://127.0.0.1:%1").arg(port);
        curlArgs << "--ssl-reqd" << "--cacert" << certificate << "-u" << "bench:senha";
    }
    curlArgs << QStringList { url, "--mail-from", "bench@x.com", "--mail-rcpt",
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
        if (!SendByEmail(store, account, input, keys, log, prompter, status, security))
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

    const double ours = median(oursMs), anchorTime = median(anchorMs);
    std::printf("E-mail of %d attachments of %d bytes%s, %d rounds (medians)\n", files, size,
        o.tls ? " over STARTTLS with a log-in" : "", rounds);
    std::printf("  %-30s %8.1f ms\n", "SendByEmail", ours);
    std::printf("  %-30s %8.1f ms\n", o.tls ? "curl --ssl-reqd -F (anchor)" : "curl -F (anchor)",
        anchorTime);
    std::printf("  %-30s %8.2f  (target <= 1.30)\n", "ratio", ours / anchorTime);
    return 0;
}
