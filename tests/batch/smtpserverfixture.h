#pragma once

#include "batch/mailsend.h"
#include "support/pythonserver.h"

#include <QJsonObject>
#include <memory>

// An aiosmtpd server that keeps what it receives; shown() reads the one message back as
// Python's email package (a mail client) decodes it.
struct SmtpServer {
    std::unique_ptr<testsupport::PythonServer> server;
    explicit SmtpServer(const QStringList &extra = {})
    {
        server
            = std::make_unique<testsupport::PythonServer>(QStringLiteral("smtpserver.py"), extra);
        if (!server->start())
            qFatal("SMTP server did not start");
    }
    SmtpAccount account() const
    {
        return { QStringLiteral("127.0.0.1"), QString::number(server->port()),
            QStringLiteral("estacao.local"), QStringLiteral("José Araújo"),
            QStringLiteral("jose@exemplo.com.br") };
    }
    QList<QJsonObject> messages() const { return server->entries(QStringLiteral("message")); }
    // The one message received, as Python's email package reads it.
    QJsonObject shown() const
    {
        const auto list = messages();
        if (list.size() != 1)
            return {};
        return testsupport::pythonJson(
            QStringLiteral("mailreader.py"), { list.first().value("file").toString() });
    }
};
