#pragma once

#include "batch/tlspeercheck.h"
#include "batch/transfererror.h"
#include "batch/transfersecurity.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class CertificateTrust;
class CurlSession;

// The FTP client of the sends, on libcurl: one control connection from connect() to
// disconnect(), uploads with STOR into the server's current folder. A plain account uses
// active mode (the program opens the data port and announces it with PORT). A protected
// one (explicit or implicit FTPS) protects the control connection and every data
// connection (PROT P) and uses passive mode: Debian 12's libcurl 7.88 sends no TLS on a
// data connection it accepted in active mode. Every failing operation reports itself
// through the events first and then throws TransferError.
class FtpEngine {
public:
    enum class Operation { Connect, ChangeDirectory, Upload, Other };

    struct Events {
        // The server name cannot be resolved; connect() then throws.
        std::function<void()> invalidHost;
        // The connection was refused or timed out; connect() then throws.
        std::function<void()> connectionFailed;
        // Any other failure, with the operation it befell; the operation then throws.
        std::function<void(Operation)> failure;
        // A command sent or a reply received (report level 1); a password never appears.
        std::function<void(const QString &)> status;
    };

    FtpEngine();
    // Wipes the password it held.
    ~FtpEngine();

    // Without a proxy server, connect() goes to host():port(); with one, to the proxy's
    // address, logging in as user + "@" + host.
    void setHost(const QString &host) { m_host = host; }
    void setPort(int port) { m_port = port; }
    void setProxy(const QString &server, int port)
    {
        m_proxyServer = server;
        m_proxyPort = port;
    }
    void setUserId(const QString &user) { m_user = user; }
    void setPassword(const QString &password);
    void setSecurity(FtpSecurity security) { m_security = security; }
    // Certificates accepted although they fail the check; may be null.
    void setTrust(const CertificateTrust *trust) { m_trust = trust; }
    // For connecting, for every reply and for the server's connection to the data port.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // 0: silent; 1: every command and reply through Events::status.
    void setReportLevel(int level) { m_reportLevel = level; }
    // Runs while the engine waits on the network (the caller's event pump).
    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }

    Events events;

    // Opens the control connection and logs in.
    void connect();
    bool connected() const;
    // CWD with the folder exactly as given.
    void changeDirectory(const QString &folder);
    // STOR of the local file under remoteName into the current remote folder; refused at
    // once without a connection.
    void upload(const QString &localFile, const QString &remoteName);
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
    [[noreturn]] void fail(Operation op, const QString &message);
    void prepareSession();
    bool setUrl(const QString &path, QString *error);
    void traceLine(const QString &line, bool outgoing);

    QString m_host;
    int m_port = 21;
    QString m_proxyServer;
    int m_proxyPort = 0;
    QString m_user;
    FtpSecurity m_security = FtpSecurity::None;
    const CertificateTrust *m_trust = nullptr;
    std::optional<CertificateFailure> m_certificateFailure;
    bool m_logInRefused = false;
    int m_timeoutMs = 5000;
    int m_reportLevel = 0;
    std::function<void()> m_pump;

    std::unique_ptr<CurlSession> m_session;
    bool m_connected = false;
    QByteArray m_userBytes;
    QByteArray m_passwordBytes;
    QByteArray m_urlBase;
};
