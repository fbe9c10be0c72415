#pragma once

#include "batch/tlspeercheck.h"
#include "batch/transfererror.h"
#include "batch/transfersecurity.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class CertificateTrust;
class CurlSession;

// The SMTP client of the e-mail send, on libcurl: one connection from connect() to
// disconnect(), greeted with the user identification (EHLO, HELO as a fallback), the
// message built with libcurl's MIME API. By default the connection is plain and has no
// log-in; with STARTTLS or TLS it is protected (never falling back to a plain one) and may
// log in with AUTH PLAIN or LOGIN. Every failing operation reports itself through the
// events first and then throws TransferError.
class SmtpEngine {
public:
    struct Events {
        // The server name cannot be resolved; connect() then throws.
        std::function<void()> invalidHost;
        // The connection was refused or timed out; connect() then throws.
        std::function<void()> connectionFailed;
        // Any other failure; the operation then throws.
        std::function<void()> failure;
        // A command sent or a reply received (report level 1).
        std::function<void(const QString &)> status;
    };

    // One message: multipart/mixed, the body as UTF-8 text/plain in quoted-printable,
    // each attachment in base64 as application/octet-stream under its file name.
    struct Message {
        QString senderAddress;
        QString senderName;
        QString subject;
        QStringList to;
        QStringList cc;
        QStringList bcc; // in the envelope only, never in a header
        QStringList bodyLines;
        QStringList attachments; // file paths
    };

    SmtpEngine();
    // Wipes the password it held.
    ~SmtpEngine();

    void setHost(const QString &host) { m_host = host; }
    void setPort(int port) { m_port = port; }
    // The argument of the greeting.
    void setUserId(const QString &user) { m_user = user; }
    void setSecurity(MailSecurity security) { m_security = security; }
    // Certificates accepted although they fail the check; may be null.
    void setTrust(const CertificateTrust *trust) { m_trust = trust; }
    // Logs in as the user with this password once the connection is protected (the greeting
    // then names this machine: a user name is no host name). Refused on a plain connection.
    void setLogIn(const QString &user, const QString &password);
    // For connecting and for every reply.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    void setReportLevel(int level) { m_reportLevel = level; }
    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }

    Events events;

    void connect();
    bool connected() const;
    // Sender, every recipient of the three lists, then the message; refused at once
    // without a connection.
    void send(const Message &message);
    // QUIT and close; harmless when not connected.
    void disconnect();

    // After a failed connect(): the certificate refused, if that was the failure.
    const std::optional<CertificateFailure> &certificateFailure() const
    {
        return m_certificateFailure;
    }
    // After a failed connect(): the server refused the user or the password.
    bool logInRefused() const { return m_logInRefused; }

private:
    [[noreturn]] void fail(const QString &message);
    void prepareSession();
    bool setUrl(QString *error);

    QString m_host;
    int m_port = 25;
    QString m_user;
    MailSecurity m_security = MailSecurity::None;
    const CertificateTrust *m_trust = nullptr;
    QByteArray m_logInUser;
    QByteArray m_password;
    std::optional<CertificateFailure> m_certificateFailure;
    bool m_logInRefused = false;
    int m_timeoutMs = 60000;
    int m_reportLevel = 0;
    std::function<void()> m_pump;
    std::unique_ptr<CurlSession> m_session;
    bool m_connected = false;
    bool m_controlOpen = false;
    bool m_refusedReconnect = false;
};
