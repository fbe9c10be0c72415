#pragma once

#include "batch/ftpaccount.h"
#include "support/pythonserver.h"

#include <QDir>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>

inline const QString Password = QStringLiteral("s3gr3do-Ftp");

// The FTP server of a test with its users: ana (writes), ro (reads only) and
// "ana@ftp.example", who stands in for a proxy that logs in to ftp.example.
struct FtpServer {
    QTemporaryDir homes;
    std::unique_ptr<testsupport::PythonServer> server;

    explicit FtpServer(const QStringList &extra = {})
    {
        for (const char *d : { "ana", "ana/fotos", "ro", "proxy" })
            QDir().mkpath(homes.filePath(d));
        server = std::make_unique<testsupport::PythonServer>(QStringLiteral("ftpserver.py"),
            QStringList { "ana:" + Password + ":" + home("ana") + ":elradfmwMT",
                "ro:" + Password + ":" + home("ro") + ":elr",
                "ana@ftp.example:" + Password + ":" + home("proxy") + ":elradfmwMT" }
                + extra);
        if (!server->start())
            qFatal("FTP server did not start");
    }
    QString home(const QString &sub) const { return homes.filePath(sub); }
    FtpAccount account(const QString &user = QStringLiteral("ana")) const
    {
        FtpAccount a;
        a.host = QStringLiteral("127.0.0.1");
        a.port = QString::number(server->port());
        a.userId = user;
        a.password = Password;
        return a;
    }
    QStringList commands() const
    {
        QStringList list;
        for (const QJsonObject &e : server->entries(QStringLiteral("command")))
            list << e.value(QStringLiteral("line")).toString();
        return list;
    }
    int count(const QString &cmd) const
    {
        int n = 0;
        for (const QJsonObject &e : server->entries(QStringLiteral("command")))
            n += e.value(QStringLiteral("cmd")).toString() == cmd;
        return n;
    }
};
