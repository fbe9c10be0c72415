#include "batch/ftpengine.h"

#include "batch/curlsession.h"
#include "batch/secretmemory.h"
#include "core/controlescape.h"

#include <QFile>

namespace {

const QString NotConnectedText = QStringLiteral("Não há conexão com o servidor.");
const QString ControlCharacterText
    = QStringLiteral("Texto com caractere de controle recusado: nada foi enviado ao servidor.");

size_t readFromFile(char *buffer, size_t size, size_t count, void *file)
{
    const qint64 got = static_cast<QFile *>(file)->read(buffer, qint64(size * count));
    return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
}

} // namespace

FtpEngine::FtpEngine() = default;

FtpEngine::~FtpEngine()
{
    m_session.reset();
    wipeSecret(m_passwordBytes);
}

void FtpEngine::setPassword(const QString &password)
{
    wipeSecret(m_passwordBytes);
    m_passwordBytes = password.toUtf8();
    if (!m_passwordBytes.isEmpty())
        protectSecretsInMemory();
}

bool FtpEngine::connected() const
{
    return m_connected && m_session && m_session->connectionAlive();
}

void FtpEngine::fail(Operation op, const QString &message)
{
    if (events.failure)
        events.failure(op);
    throw TransferError(message);
}

void FtpEngine::traceLine(const QString &line, bool outgoing)
{
    if (!events.status)
        return;
    // The log keeps what was said, never the password.
    if (outgoing && line.startsWith(QLatin1String("PASS "), Qt::CaseInsensitive))
        events.status(QStringLiteral("PASS ****"));
    else
        events.status(line);
}

void FtpEngine::prepareSession()
{
    m_session = std::make_unique<CurlSession>();
    m_connected = false;
    CURL *h = m_session->easy();
    m_session->pump = m_pump;
    m_session->protocolLine
        = [this](const QString &line, bool outgoing) { traceLine(line, outgoing); };
    m_session->setProtocolTrace(m_reportLevel >= 1);

    const long timeoutMs = std::max(1, m_timeoutMs);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, (timeoutMs + 999) / 1000);
    curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, timeoutMs);
    // A data connection that stalls fails after the same wait.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, (timeoutMs + 999) / 1000);
    if (m_security == FtpSecurity::None) {
        curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
        curl_easy_setopt(h, CURLOPT_FTP_USE_EPRT, 0L);
    } else {
        const bool proxied = !m_proxyServer.trimmed().isEmpty();
        m_session->protectWithTls(proxied ? m_proxyServer : m_host, m_trust);
        // Control and data connections alike, or nothing; AUTH TLS asked first, and the
        // control connection stays protected to the end (no CCC).
        curl_easy_setopt(h, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
        curl_easy_setopt(h, CURLOPT_FTP_SSL_CCC, long(CURLFTPSSL_CCC_NONE));
        curl_easy_setopt(h, CURLOPT_FTPPORT, nullptr);
    }
    // The program changes folders itself; libcurl must never send a CWD of its own.
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(h, CURLOPT_USERNAME, m_userBytes.constData());
    curl_easy_setopt(h, CURLOPT_PASSWORD, m_passwordBytes.constData());
}

bool FtpEngine::setUrl(const QString &path, QString *error)
{
    const bool proxied = !m_proxyServer.trimmed().isEmpty();
    if (m_urlBase.isEmpty()) {
        const QString host = proxied ? m_proxyServer.trimmed() : m_host.trimmed();
        m_urlBase = CurlSession::baseUrl(m_security == FtpSecurity::Implicit ? "ftps" : "ftp",
            host, proxied ? m_proxyPort : m_port);
        if (m_urlBase.isEmpty()) {
            *error = QStringLiteral("Nome de servidor inválido: ") + host;
            return false;
        }
    }
    QByteArray url = m_urlBase + '/';
    if (!path.isEmpty()) {
        const QByteArray raw = path.toUtf8();
        char *escaped = curl_easy_escape(m_session->easy(), raw.constData(), int(raw.size()));
        url += escaped;
        curl_free(escaped);
    }
    curl_easy_setopt(m_session->easy(), CURLOPT_URL, url.constData());
    return true;
}

void FtpEngine::connect()
{
    disconnect();
    m_urlBase.clear();
    m_certificateFailure.reset();
    m_logInRefused = false;
    const bool proxied = !m_proxyServer.trimmed().isEmpty();
    const QString login = proxied ? m_user + QLatin1Char('@') + m_host : m_user;
    if (hasControlCharacters(m_host) || hasControlCharacters(m_proxyServer)
        || hasControlCharacters(login) || hasControlCharacters(QString::fromUtf8(m_passwordBytes)))
        fail(Operation::Connect, ControlCharacterText);
    const int port = proxied ? m_proxyPort : m_port;
    if (port < 1 || port > 65535)
        fail(Operation::Connect,
            proxied ? QStringLiteral("Porta Proxy inválida!") : QStringLiteral("Porta inválida!"));
    m_userBytes = login.toUtf8();
    prepareSession();

    QString error;
    if (!setUrl(QString(), &error)) {
        if (events.invalidHost)
            events.invalidHost();
        throw TransferError(error);
    }
    curl_easy_setopt(m_session->easy(), CURLOPT_NOBODY, 1L);
    const CURLcode rc = m_session->perform();
    if (rc == CURLE_OK) {
        m_connected = true;
        m_session->forbidNewConnections(true);
        return;
    }
    QString text = m_session->tlsFailureText(rc);
    const bool protection = !text.isEmpty();
    if (!protection)
        text = m_session->failureText(rc);
    m_certificateFailure = m_session->certificateFailure();
    m_logInRefused = rc == CURLE_LOGIN_DENIED;
    m_session.reset();
    if (rc == CURLE_COULDNT_RESOLVE_HOST) {
        if (events.invalidHost)
            events.invalidHost();
        throw TransferError(text);
    }
    if (rc == CURLE_COULDNT_CONNECT || rc == CURLE_OPERATION_TIMEDOUT || protection) {
        if (events.connectionFailed)
            events.connectionFailed();
        throw TransferError(text);
    }
    fail(Operation::Connect, text);
}

void FtpEngine::changeDirectory(const QString &folder)
{
    if (!connected())
        fail(Operation::ChangeDirectory, NotConnectedText);
    if (hasControlCharacters(folder))
        fail(Operation::ChangeDirectory, ControlCharacterText);
    CURL *h = m_session->easy();
    const QByteArray command = QByteArrayLiteral("CWD ") + folder.toUtf8();
    curl_slist *quote = curl_slist_append(nullptr, command.constData());
    QString error;
    setUrl(QString(), &error);
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_QUOTE, quote);
    const CURLcode rc = m_session->perform();
    curl_easy_setopt(h, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(quote);
    if (rc != CURLE_OK)
        fail(Operation::ChangeDirectory, m_session->failureText(rc));
}

void FtpEngine::upload(const QString &localFile, const QString &remoteName)
{
    if (!connected())
        fail(Operation::Upload, NotConnectedText);
    if (hasControlCharacters(remoteName))
        fail(Operation::Upload, ControlCharacterText);
    QFile file(localFile);
    if (!file.open(QIODevice::ReadOnly))
        fail(Operation::Upload,
            escapeControlCharacters(localFile) + QStringLiteral(": ") + file.errorString());
    CURL *h = m_session->easy();
    QString error;
    setUrl(remoteName, &error);
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &readFromFile);
    curl_easy_setopt(h, CURLOPT_READDATA, &file);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
    const CURLcode rc = m_session->perform();
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(-1));
    if (rc != CURLE_OK) {
        const QString tls = m_session->tlsFailureText(rc);
        fail(Operation::Upload,
            m_session->refusedConnection() ? QStringLiteral("A conexão com o servidor foi perdida.")
                : !tls.isEmpty()           ? tls
                                           : m_session->failureText(rc));
    }
}

void FtpEngine::disconnect()
{
    if (!m_session)
        return;
    if (connected()) {
        // A last transfer without data that closes its connection: libcurl says QUIT on
        // the way, within the trace.
        CURL *h = m_session->easy();
        QString error;
        setUrl(QString(), &error);
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
        m_session->perform();
    }
    m_connected = false;
    m_session.reset();
}
