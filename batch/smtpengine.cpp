#include "batch/smtpengine.h"

#include "batch/curlsession.h"
#include "batch/mailheaders.h"
#include "batch/secretmemory.h"
#include "core/controlescape.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace {

const QString NotConnectedText = QStringLiteral("Não há conexão com o servidor.");

size_t discardReply(char *, size_t size, size_t count, void *)
{
    return size * count;
}

// Frees libcurl's lists and MIME tree when a send ends, however it ends.
struct SendResources {
    curl_slist *recipients = nullptr;
    curl_slist *headers = nullptr;
    curl_mime *mime = nullptr;
    ~SendResources()
    {
        curl_slist_free_all(recipients);
        curl_slist_free_all(headers);
        curl_mime_free(mime);
    }
};

} // namespace

SmtpEngine::SmtpEngine() = default;

SmtpEngine::~SmtpEngine()
{
    m_session.reset();
    wipeSecret(m_password);
}

void SmtpEngine::setLogIn(const QString &user, const QString &password)
{
    wipeSecret(m_password);
    m_logInUser = user.toUtf8();
    m_password = password.toUtf8();
    if (!m_password.isEmpty())
        protectSecretsInMemory();
}

bool SmtpEngine::connected() const
{
    return m_connected && m_session && m_session->connectionAlive();
}

void SmtpEngine::fail(const QString &message)
{
    if (events.failure)
        events.failure();
    throw TransferError(message);
}

void SmtpEngine::prepareSession()
{
    m_session = std::make_unique<CurlSession>();
    m_connected = false;
    CURL *h = m_session->easy();
    m_session->pump = m_pump;
    m_session->protocolLine = [this](const QString &line, bool) {
        if (events.status)
            events.status(line);
    };
    m_session->setProtocolTrace(m_reportLevel >= 1);
    const long timeoutMs = std::max(1, m_timeoutMs);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, (timeoutMs + 999) / 1000);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, (timeoutMs + 999) / 1000);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &discardReply);
    if (m_security != MailSecurity::None) {
        m_session->protectWithTls(m_host, m_trust);
        // STARTTLS or nothing: a server that does not offer it is left at once.
        curl_easy_setopt(h, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    }
    if (!m_password.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, m_logInUser.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, m_password.constData());
        curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=PLAIN;AUTH=LOGIN");
    }
}

bool SmtpEngine::setUrl(QString *error)
{
    // libcurl greets the server with the URL's path, or with this machine's name without
    // one.
    const QByteArray base = CurlSession::baseUrl(
        m_security == MailSecurity::Tls ? "smtps" : "smtp", m_host.trimmed(), m_port);
    if (base.isEmpty()) {
        *error = QStringLiteral("Nome de servidor inválido: ") + m_host;
        return false;
    }
    QByteArray url = base + '/';
    if (m_password.isEmpty()) {
        const QByteArray user = m_user.toUtf8();
        char *escaped = curl_easy_escape(m_session->easy(), user.constData(), int(user.size()));
        url += escaped;
        curl_free(escaped);
    }
    curl_easy_setopt(m_session->easy(), CURLOPT_URL, url.constData());
    return true;
}

void SmtpEngine::connect()
{
    disconnect();
    m_certificateFailure.reset();
    m_logInRefused = false;
    if (hasControlCharacters(m_host) || hasControlCharacters(m_user)
        || hasControlCharacters(QString::fromUtf8(m_logInUser))
        || hasControlCharacters(QString::fromUtf8(m_password)))
        fail(QStringLiteral("Texto com caractere de controle recusado: nada foi enviado ao "
                            "servidor."));
    if (m_port < 1 || m_port > 65535)
        fail(QStringLiteral("Porta inválida!"));
    if (!m_password.isEmpty() && m_security == MailSecurity::None)
        fail(PasswordNeedsProtectionText);
    prepareSession();
    QString error;
    if (!setUrl(&error)) {
        m_session.reset();
        if (events.invalidHost)
            events.invalidHost();
        throw TransferError(error);
    }
    // A command without a message: the connection is opened, greeted and kept.
    curl_easy_setopt(m_session->easy(), CURLOPT_CUSTOMREQUEST, "NOOP");
    const CURLcode rc = m_session->perform();
    curl_easy_setopt(m_session->easy(), CURLOPT_CUSTOMREQUEST, nullptr);
    if (rc == CURLE_OK && m_session->connectionAlive()) {
        m_connected = true;
        m_session->forbidNewConnections(true);
        return;
    }
    QString text = m_session->tlsFailureText(rc);
    if (rc == CURLE_USE_SSL_FAILED && m_security == MailSecurity::StartTls)
        text = QStringLiteral("O servidor %1 não oferece STARTTLS; a conexão foi encerrada sem "
                              "enviar nada sem proteção.")
                   .arg(escapeControlCharacters(m_host.trimmed()));
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
    fail(text);
}

void SmtpEngine::send(const Message &m)
{
    if (!connected())
        fail(NotConnectedText);
    QStringList headerTexts { m.senderAddress, m.senderName, m.subject };
    headerTexts << m.to << m.cc << m.bcc;
    for (const QString &t : std::as_const(headerTexts)) {
        if (hasControlCharacters(t))
            fail(QStringLiteral("Texto com caractere de controle recusado: nada foi enviado ao "
                                "servidor."));
    }
    if (m.to.isEmpty() && m.cc.isEmpty() && m.bcc.isEmpty())
        fail(QStringLiteral("Nenhum destinatário."));

    CURL *h = m_session->easy();
    SendResources r;
    const QByteArray from = '<' + m.senderAddress.trimmed().toUtf8() + '>';
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.constData());
    for (const QStringList *list : { &m.to, &m.cc, &m.bcc }) {
        for (const QString &address : *list)
            r.recipients = curl_slist_append(r.recipients, address.toUtf8().constData());
    }
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, r.recipients);

    QByteArrayList headers;
    const QDateTime now = QDateTime::currentDateTime();
    headers << "Date: "
            + QLocale::c().dayName(now.date().dayOfWeek(), QLocale::ShortFormat).toLatin1() + ", "
            + now.toString(Qt::RFC2822Date).toLatin1();
    headers << "From: " + mailheaders::mailbox(m.senderName, m.senderAddress.trimmed());
    if (!m.to.isEmpty())
        headers << "To: " + mailheaders::addressList(m.to);
    if (!m.cc.isEmpty())
        headers << "Cc: " + mailheaders::addressList(m.cc);
    headers << "Subject: " + mailheaders::encodedText(m.subject);
    for (const QByteArray &line : std::as_const(headers))
        r.headers = curl_slist_append(r.headers, line.constData());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, r.headers);

    r.mime = curl_mime_init(h);
    curl_mimepart *text = curl_mime_addpart(r.mime);
    QByteArray body = m.bodyLines.join(QStringLiteral("\r\n")).toUtf8();
    if (!m.bodyLines.isEmpty())
        body += "\r\n";
    curl_mime_data(text, body.constData(), size_t(body.size()));
    curl_mime_type(text, "text/plain; charset=UTF-8");
    curl_mime_encoder(text, "quoted-printable");
    for (const QString &path : m.attachments) {
        curl_mimepart *part = curl_mime_addpart(r.mime);
        if (curl_mime_filedata(part, QFile::encodeName(path).constData()) != CURLE_OK)
            fail(escapeControlCharacters(path)
                + QStringLiteral(": não foi possível anexar o arquivo."));
        curl_mime_type(part, "application/octet-stream");
        curl_mime_encoder(part, "base64");
        const QByteArray disposition = "Content-Disposition: "
            + mailheaders::attachmentDisposition(QFileInfo(path).fileName());
        curl_mime_headers(part, curl_slist_append(nullptr, disposition.constData()), 1);
    }
    curl_easy_setopt(h, CURLOPT_MIMEPOST, r.mime);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    const CURLcode rc = m_session->perform();
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_MIMEPOST, nullptr);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, nullptr);
    if (rc != CURLE_OK) {
        fail(m_session->refusedConnection()
                ? QStringLiteral("A conexão com o servidor foi perdida.")
                : m_session->failureText(rc));
    }
}

void SmtpEngine::disconnect()
{
    if (!m_session)
        return;
    if (connected()) {
        // A last command that closes its connection: libcurl says QUIT within the trace.
        CURL *h = m_session->easy();
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "NOOP");
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
        m_session->perform();
    }
    m_connected = false;
    m_session.reset();
}
