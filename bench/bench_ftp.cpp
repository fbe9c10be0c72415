#include "batch/eventlog.h"
#include "batch/ftpsend.h"
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

// SendByFtp of 100 pictures of 1 MB to a loopback pyftpdlib, against the curl tool sending
// the same files over one connection in active mode, to the same server in the same run.
// With --tls both go over explicit FTPS with protected data connections in passive mode
// (curl --ssl-reqd) to a loopback pure-ftpd (which needs root); Python's ftplib doing the
// same is timed as a second anchor, since the curl tool of libcurl 7.88 waits up to a second
// before each passive data connection.
//
// bench_ftp [--rounds N] [--files N] [--size BYTES] [--tls]

using transferbench::emptyFolder;
using transferbench::median;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const transferbench::Options o = transferbench::options(app.arguments(), { 5, 100, 1 << 20 });
    const int rounds = o.rounds, files = o.files, size = o.size;

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
    QString certificate;
    if (o.tls) {
        certificate = transferbench::makeCertificate(work.path());
        server.start("/usr/bin/python3",
            { QStringLiteral(QM_SOURCE_DIR "/tests/support/ftpsserver.py"),
                work.filePath("ftp.log"), "--explicit", certificate, work.filePath("key.pem"),
                "ours:senha:" + ours, "anchor:senha:" + anchor });
    } else {
        server.start("/usr/bin/python3",
            { QStringLiteral(QM_SOURCE_DIR "/tests/support/ftpserver.py"),
                work.filePath("ftp.log"), "ours:senha:" + ours + ":elradfmwMT",
                "anchor:senha:" + anchor + ":elradfmwMT" });
    }
    if (!server.waitForReadyRead(15000))
        qFatal("the FTP server did not start: %s", server.readAllStandardError().constData());
    const int port = server.readAllStandardOutput().trimmed().split(' ').value(1).toInt();

    FtpAccount account;
    account.host = "127.0.0.1";
    account.port = QString::number(port);
    account.userId = "ours";
    account.password = "senha";
    TransferPasswords passwords;
    SendSecurity security;
    security.passwords = &passwords;
    const QString glob = "{" + names.join(',') + "}";
    const QString url = QString("ftp://127.0.0.1:%1/").arg(port);
    QStringList curlArgs { "-s", "-S", "-u", "anchor:senha", "-T", glob, url };
    if (o.tls) {
        account.password.clear();
        account.security = FtpSecurity::Explicit;
        account.hasPassword = true;
        passwords.setGiven("senha");
        curlArgs << "--ssl-reqd" << "--cacert" << certificate;
    } else {
        curlArgs << "--ftp-port" << "-" << "--disable-eprt";
    }

    std::vector<double> oursMs, anchorMs, ftplibMs;
    for (int round = 0; round < rounds; ++round) {
        emptyFolder(ours);
        emptyFolder(anchor);
        EventLog log;
        NullProgress status;
        QElapsedTimer t;
        t.start();
        if (!SendByFtp(store, account, keys, log, prompter, status, security))
            qFatal("send failed: %s", qPrintable(log.lines().join('\n')));
        oursMs.push_back(t.nsecsElapsed() / 1e6);

        QProcess curl;
        curl.setWorkingDirectory(source);
        t.start();
        curl.start("curl", curlArgs);
        if (!curl.waitForFinished(600000) || curl.exitCode() != 0)
            qFatal("curl failed: %s", curl.readAllStandardError().constData());
        anchorMs.push_back(t.nsecsElapsed() / 1e6);
        if (o.tls) {
            emptyFolder(anchor);
            QStringList paths;
            for (const QString &name : names)
                paths << QDir(source).filePath(name);
            QProcess ftplib;
            t.start();
            ftplib.start("/usr/bin/python3",
                QStringList { QStringLiteral(QM_SOURCE_DIR "/bench/ftpsupload.py"), "127.0.0.1",
                    QString::number(port), "anchor", "senha", certificate }
                    + paths);
            if (!ftplib.waitForFinished(600000) || ftplib.exitCode() != 0)
                qFatal("ftplib failed: %s", ftplib.readAllStandardError().constData());
            ftplibMs.push_back(t.nsecsElapsed() / 1e6);
        }
        if (QDir(ours).entryList(QDir::Files).size() != files
            || QDir(anchor).entryList(QDir::Files).size() != files)
            qFatal("not every file arrived");
    }
    server.kill();
    server.waitForFinished();

    const double oursTime = median(oursMs), anchorTime = median(anchorMs);
    std::printf("FTP send of %d files of %d bytes%s, %d rounds (medians)\n", files, size,
        o.tls ? " over explicit FTPS (passive)" : "", rounds);
    std::printf("  %-30s %8.1f ms\n", "SendByFtp", oursTime);
    std::printf("  %-30s %8.1f ms\n", o.tls ? "curl --ssl-reqd -T (anchor)" : "curl -T (anchor)",
        anchorTime);
    std::printf("  %-30s %8.2f  (target <= 1.20)\n", "ratio", oursTime / anchorTime);
    if (o.tls) {
        const double ftplibTime = median(ftplibMs);
        std::printf("  %-30s %8.1f ms\n", "Python ftplib (second anchor)", ftplibTime);
        std::printf("  %-30s %8.2f\n", "ratio to ftplib", oursTime / ftplibTime);
    }
    return 0;
}
