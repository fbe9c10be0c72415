#pragma once

#include "batch/ftpaccount.h"
#include "batch/mailsend.h"
#include "smtpserverfixture.h"
#include "support/pythonserver.h"
#include "support/testcertificates.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <unistd.h>

using testsupport::TestCertificates;

inline const QString MailUser = QStringLiteral("ana@exemplo.com.br");
inline const QString MailPassword = QStringLiteral("s3nha-Çorreio");
inline const QString FtpsPassword = QStringLiteral("s3nha-Ftps");

// Arguments of smtpserver.py for a server with the given certificate ("good", "expired"...):
// STARTTLS (or TLS from the first byte) and a required log-in as MailUser.
inline QStringList tlsMailServer(bool implicit, const QString &certificate = QStringLiteral("good"))
{
    const TestCertificates &c = TestCertificates::instance();
    return { implicit ? QStringLiteral("--tls") : QStringLiteral("--starttls"),
        c.certificate(certificate), c.key(certificate), QStringLiteral("--auth"),
        MailUser + QLatin1Char(':') + MailPassword };
}

// The mail server row of a test server, protected and with a log-in.
inline SmtpAccount protectedAccount(const SmtpServer &smtp, MailSecurity security)
{
    SmtpAccount a = smtp.account();
    a.userId = MailUser;
    a.security = security;
    a.hasPassword = true;
    return a;
}

// The authority of the test certificates trusted for as long as the object lives, as a
// private authority would be.
struct TrustTestAuthority {
    TrustTestAuthority()
    {
        qputenv("QUILLOMAR_CA_BUNDLE", TestCertificates::instance().authority().toLocal8Bit());
    }
    ~TrustTestAuthority() { qunsetenv("QUILLOMAR_CA_BUNDLE"); }
};

// pure-ftpd with TLS required on every connection, for ana and for "ana@ftp.example" (who
// stands in for a proxy that logs in to ftp.example). Its sessions run as root (they lock
// each user in a folder), so the tests that need it skip elsewhere.
struct FtpsServer {
    QTemporaryDir homes;
    std::unique_ptr<testsupport::PythonServer> server;

    static bool available() { return ::geteuid() == 0; }

    explicit FtpsServer(bool implicit, const QString &certificate = QStringLiteral("good"),
        const QStringList &extra = {})
    {
        QDir().mkpath(homes.filePath("ana/fotos"));
        QDir().mkpath(homes.filePath("proxy"));
        const TestCertificates &c = TestCertificates::instance();
        server = std::make_unique<testsupport::PythonServer>(QStringLiteral("ftpsserver.py"),
            QStringList { implicit ? "--implicit" : "--explicit", c.certificate(certificate),
                c.key(certificate), "ana:" + FtpsPassword + ":" + home("ana"),
                "ana@ftp.example:" + FtpsPassword + ":" + home("proxy") }
                + extra);
        if (!server->start())
            qFatal("FTPS server did not start");
    }
    QString home(const QString &sub) const { return homes.filePath(sub); }
    // The account, its password kept outside the catalogue.
    FtpAccount account(FtpSecurity security) const
    {
        FtpAccount a;
        a.host = QStringLiteral("127.0.0.1");
        a.port = QString::number(server->port());
        a.userId = QStringLiteral("ana");
        a.security = security;
        a.hasPassword = true;
        return a;
    }
};
