#include "batch/curlsession.h"

#include "core/controlescape.h"

#include <arpa/inet.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {
void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int portOf(const curl_sockaddr *address)
{
    if (address->family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in *>(&address->addr)->sin_port);
    if (address->family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 *>(&address->addr)->sin6_port);
    return 0;
}

// The three-digit code a reply line begins with, or 0.
int replyCode(const QByteArray &line)
{
    if (line.size() < 3)
        return 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return 0;
    }
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return 0;
    return line.left(3).toInt();
}
} // namespace

CurlSession::CurlSession()
{
    globalInit();
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_error);
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    // libcurl hands the protocol lines to the debug function only in verbose mode; the
    // server's replies are needed to tell a failure even when they are not logged.
    curl_easy_setopt(m_easy, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_easy, CURLOPT_DEBUGFUNCTION, &CurlSession::debugCallback);
    curl_easy_setopt(m_easy, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_OPENSOCKETFUNCTION, &CurlSession::openSocket);
    curl_easy_setopt(m_easy, CURLOPT_OPENSOCKETDATA, this);
}

curl_socket_t CurlSession::openSocket(void *self, curlsocktype purpose, curl_sockaddr *address)
{
    auto *s = static_cast<CurlSession *>(self);
    // Data connections (a port the program listens on, or the server's passive port) go to
    // other ports than the control connection.
    if (s->m_noNewConnections && purpose == CURLSOCKTYPE_IPCXN
        && portOf(address) == s->m_controlPort) {
        s->m_refusedConnection = true;
        return CURL_SOCKET_BAD;
    }
    return ::socket(address->family, address->socktype, address->protocol);
}

CurlSession::~CurlSession()
{
    // Connections still cached are closed here by libcurl without our trace.
    protocolLine = nullptr;
    curl_easy_cleanup(m_easy);
    curl_multi_cleanup(m_multi);
}

void CurlSession::setProtocolTrace(bool on)
{
    m_trace = on;
}

void CurlSession::forbidNewConnections(bool on)
{
    m_noNewConnections = on;
    if (on)
        curl_easy_getinfo(m_easy, CURLINFO_PRIMARY_PORT, &m_controlPort);
}

void CurlSession::protectWithTls(const QString &host, const CertificateTrust *trust)
{
    m_tlsHost = host.trimmed();
    m_peerCheck.setHost(m_tlsHost);
    m_peerCheck.setTrust(trust);
    m_peerCheck.install(m_easy);
    m_caBundle = qgetenv("QUILLOMAR_CA_BUNDLE");
    if (!m_caBundle.isEmpty())
        curl_easy_setopt(m_easy, CURLOPT_CAINFO, m_caBundle.constData());
}

QString CurlSession::tlsFailureText(CURLcode code) const
{
    if (m_tlsHost.isEmpty())
        return QString();
    const QString host = escapeControlCharacters(m_tlsHost);
    const QString detail = errorText(code);
    switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
        if (m_peerCheck.failure())
            return m_peerCheck.failure()->text();
        return QStringLiteral("O certificado do servidor %1 foi recusado: %2").arg(host, detail);
    case CURLE_USE_SSL_FAILED: {
        QString text = QStringLiteral("O servidor %1 não aceitou proteger a conexão com TLS; "
                                      "nada foi enviado sem proteção.")
                           .arg(host);
        const QString reply = failureText(code);
        if (reply != detail)
            text += QLatin1Char('\n') + reply;
        return text;
    }
    case CURLE_SSL_CONNECT_ERROR: {
        QString why;
        const QString lower = detail.toLower();
        if (lower.contains(QLatin1String("wrong version number"))
            || lower.contains(QLatin1String("packet length too long"))
            || lower.contains(QLatin1String("record layer failure")))
            why = QStringLiteral("o servidor não respondeu em TLS (confira a porta e a "
                                 "segurança escolhidas)");
        else if (lower.contains(QLatin1String("ssl_error_syscall"))
            || lower.contains(QLatin1String("unexpected eof"))
            || lower.contains(QLatin1String("reset by peer"))
            || lower.contains(QLatin1String("connection was reset")))
            why = QStringLiteral("o servidor encerrou a conexão");
        else if (lower.contains(QLatin1String("handshake failure"))
            || lower.contains(QLatin1String("protocol version"))
            || lower.contains(QLatin1String("no protocols available"))
            || lower.contains(QLatin1String("no shared cipher")))
            why = QStringLiteral("o servidor e o programa não têm versão ou cifra de TLS em "
                                 "comum");
        else
            why = detail;
        return QStringLiteral("A negociação TLS com o servidor %1 falhou: %2.").arg(host, why);
    }
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
        return QStringLiteral("As autoridades de certificação não puderam ser lidas (%1).")
            .arg(detail);
    default:
        return QString();
    }
}

CURLcode CurlSession::perform()
{
    m_error[0] = '\0';
    m_lastReply.clear();
    m_lastReplyCode = 0;
    m_openReplyCode = 0;
    m_quitSent = false;
    m_alive = false;
    m_newConnections = 0;
    m_inAuthExchange = false;
    m_peerCheck.reset();
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done) {
        int running = 0;
        const CURLMcode mc = curl_multi_perform(m_multi, &running);
        if (mc != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg *msg = curl_multi_info_read(m_multi, &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_easy) {
                result = msg->data.result;
                done = true;
            }
        }
        if (done)
            break;
        curl_multi_poll(m_multi, nullptr, 0, 20, nullptr);
        if (pump)
            pump();
    }
    // The cached connection is only visible while the handle is in the multi handle.
    curl_socket_t socket = CURL_SOCKET_BAD;
    curl_easy_getinfo(m_easy, CURLINFO_ACTIVESOCKET, &socket);
    m_alive = socket != CURL_SOCKET_BAD;
    curl_easy_getinfo(m_easy, CURLINFO_NUM_CONNECTS, &m_newConnections);
    curl_multi_remove_handle(m_multi, m_easy);
    for (QByteArray *pending : { &m_pendingIn, &m_pendingOut }) {
        if (!pending->isEmpty())
            takeBytes(*pending, "\n", 1, pending == &m_pendingOut);
    }
    return result;
}

QByteArray CurlSession::baseUrl(const char *scheme, const QString &host, int port)
{
    QString name = host;
    if (name.contains(QLatin1Char(':')) && !name.startsWith(QLatin1Char('[')))
        name = QLatin1Char('[') + name + QLatin1Char(']');
    CURLU *url = curl_url();
    char *text = nullptr;
    QByteArray result;
    if (curl_url_set(url, CURLUPART_SCHEME, scheme, 0) == CURLUE_OK
        && curl_url_set(url, CURLUPART_HOST, name.toUtf8().constData(), 0) == CURLUE_OK
        && curl_url_set(url, CURLUPART_PORT, QByteArray::number(port).constData(), 0) == CURLUE_OK
        && curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK) {
        result = QByteArray(text);
        while (result.endsWith('/'))
            result.chop(1);
    }
    curl_free(text);
    curl_url_cleanup(url);
    return result;
}

QString CurlSession::errorText(CURLcode code) const
{
    QString text = QString::fromUtf8(m_error).trimmed();
    if (text.isEmpty())
        text = QString::fromUtf8(curl_easy_strerror(code));
    return escapeControlCharacters(text);
}

QString CurlSession::failureText(CURLcode code) const
{
    // A positive last reply says nothing of the failure (a lost connection, a wait that
    // ran out): libcurl knows better then.
    if (!m_lastReply.isEmpty() && (m_lastReplyCode < 100 || m_lastReplyCode >= 400))
        return m_lastReply.join(QLatin1Char('\n'));
    return errorText(code);
}

void CurlSession::takeReplyLine(const QByteArray &line, const QString &shown)
{
    const int code = replyCode(line);
    if (m_openReplyCode) {
        // "NNN-" opened a multi-line reply; the line "NNN " (or "NNN") of that code ends it.
        m_lastReply << shown;
        if (code == m_openReplyCode && (line.size() == 3 || line[3] == ' '))
            m_openReplyCode = 0;
        return;
    }
    m_lastReply = QStringList { shown };
    m_lastReplyCode = code;
    if (code && line.size() > 3 && line[3] == '-')
        m_openReplyCode = code;
}

int CurlSession::debugCallback(CURL *, curl_infotype type, char *data, size_t size, void *self)
{
    auto *s = static_cast<CurlSession *>(self);
    if (type == CURLINFO_HEADER_IN)
        s->takeBytes(s->m_pendingIn, data, size, false);
    else if (type == CURLINFO_HEADER_OUT)
        s->takeBytes(s->m_pendingOut, data, size, true);
    return 0;
}

QString CurlSession::maskedLine(const QByteArray &line, bool outgoing)
{
    if (!outgoing) {
        // Anything but a challenge (334) ends a log-in exchange.
        if (m_inAuthExchange && replyCode(line) != 334)
            m_inAuthExchange = false;
        return escapeControlCharacters(QString::fromUtf8(line));
    }
    // A password never reaches the log, whether sent as it is (PASS) or in base64 (AUTH).
    if (m_inAuthExchange)
        return QStringLiteral("****");
    if (line.size() > 5 && line.left(5).toUpper() == "PASS ")
        return QStringLiteral("PASS ****");
    if (line.size() > 5 && line.left(5).toUpper() == "AUTH ") {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray mechanism = words.value(1).toUpper();
        // FTP's AUTH TLS only asks for protection.
        if (mechanism != "TLS" && mechanism != "SSL" && mechanism != "TLS-C") {
            m_inAuthExchange = true;
            if (words.size() > 2)
                return QStringLiteral("AUTH ") + QString::fromLatin1(mechanism)
                    + QStringLiteral(" ****");
        }
    }
    return escapeControlCharacters(QString::fromUtf8(line));
}

void CurlSession::takeBytes(QByteArray &pending, const char *data, size_t size, bool outgoing)
{
    pending.append(data, qsizetype(size));
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = pending.indexOf('\n', start);
        if (end < 0)
            break;
        QByteArray line = pending.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        start = end + 1;
        // Never raw to a terminal, a box or the log: a server may send escape sequences.
        const QString shown = maskedLine(line, outgoing);
        // libcurl says QUIT itself when a refusal ends the connection; the goodbye that
        // answers it is not what the server refused with.
        if (outgoing && line.compare("QUIT", Qt::CaseInsensitive) == 0)
            m_quitSent = true;
        else if (!outgoing && !m_quitSent)
            takeReplyLine(line, shown);
        if (m_trace && protocolLine)
            protocolLine(shown, outgoing);
    }
    pending.remove(0, start);
}
