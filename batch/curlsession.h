#pragma once

#include "batch/tlspeercheck.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <curl/curl.h>
#include <functional>
#include <optional>

class CertificateTrust;

// One libcurl easy handle whose transfers run through a multi handle, so that the caller's
// event pump runs while libcurl waits on the network: the window stays alive and repaints,
// and everything (protocol lines included) still happens on the caller's thread.
// Connections the transfers leave open stay in the multi handle's cache for the next one.
class CurlSession {
public:
    CurlSession();
    ~CurlSession();
    CurlSession(const CurlSession &) = delete;
    CurlSession &operator=(const CurlSession &) = delete;

    CURL *easy() const { return m_easy; }

    // Runs the transfer set up on easy() to its end, calling pump between network waits.
    CURLcode perform();
    // libcurl's message for the last perform(): its error buffer, or the code's text, with
    // control characters written out.
    QString errorText(CURLcode code) const;
    // What to tell of a failed perform(): the server's own last reply in it (the answer to
    // a QUIT aside) when that reply refused (a code of 400 or more, or a line without a
    // code), one line each with control characters written out; else libcurl's message.
    QString failureText(CURLcode code) const;
    // Protects the connections with TLS, checking the server's certificate for host (the
    // name connected to) and passing the certificates trust accepts. The scheme and
    // CURLOPT_USE_SSL are the engine's to set. Authorities: the system's; the file named by
    // the environment variable QUILLOMAR_CA_BUNDLE is trusted as well (a private authority).
    void protectWithTls(const QString &host, const CertificateTrust *trust);
    // The certificate refused in the last perform(), if one was.
    const std::optional<CertificateFailure> &certificateFailure() const
    {
        return m_peerCheck.failure();
    }
    // What to tell of a perform() that failed on the protection itself (the certificate,
    // the handshake, a server that would not protect the connection), in Portuguese and
    // naming the host; empty when the failure had nothing to do with TLS.
    QString tlsFailureText(CURLcode code) const;
    // Whether the connection of the last transfer is still open and cached.
    bool connectionAlive() const { return m_alive; }
    // How many new connections the last transfer opened.
    long newConnections() const { return m_newConnections; }

    // "scheme://host:port" through libcurl's URL parser (an IPv6 address gets its
    // brackets); empty when libcurl refuses the host name.
    static QByteArray baseUrl(const char *scheme, const QString &host, int port);

    // Called about every 20 ms while a transfer waits; may process window events.
    std::function<void()> pump;
    // Each protocol line sent (outgoing) or received, without its line break and with
    // control characters written out; only while setProtocolTrace(true).
    std::function<void(const QString &line, bool outgoing)> protocolLine;
    void setProtocolTrace(bool on);

    // Once on, libcurl may open no further connection to the server's control port (data
    // connections aside): it would otherwise replace a lost connection silently, logging in
    // again. Call after the first transfer, whose port it takes.
    void forbidNewConnections(bool on);
    // Whether a transfer wanted a new connection since forbidNewConnections(true).
    bool refusedConnection() const { return m_refusedConnection; }

private:
    static curl_socket_t openSocket(void *self, curlsocktype purpose, curl_sockaddr *address);
    static int debugCallback(CURL *, curl_infotype type, char *data, size_t size, void *self);
    void takeBytes(QByteArray &pending, const char *data, size_t size, bool outgoing);
    void takeReplyLine(const QByteArray &line, const QString &shown);
    QString maskedLine(const QByteArray &line, bool outgoing);

    CURLM *m_multi = nullptr;
    CURL *m_easy = nullptr;
    char m_error[CURL_ERROR_SIZE] = {};
    QByteArray m_pendingIn;
    QByteArray m_pendingOut;
    bool m_trace = false;
    // The server's last reply in the current perform() and its code (0: none).
    QStringList m_lastReply;
    int m_lastReplyCode = 0;
    // The code of a multi-line reply still waiting for its last line.
    int m_openReplyCode = 0;
    bool m_quitSent = false;
    bool m_alive = false;
    long m_newConnections = 0;
    bool m_noNewConnections = false;
    long m_controlPort = 0;
    bool m_refusedConnection = false;
    // A log-in exchange (AUTH ... answered by 334) is under way: what is sent is a secret.
    bool m_inAuthExchange = false;
    TlsPeerCheck m_peerCheck;
    QString m_tlsHost;
    QByteArray m_caBundle;
};
