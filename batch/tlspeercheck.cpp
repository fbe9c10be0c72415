#include "batch/tlspeercheck.h"

#include "batch/certificatetrust.h"
#include "core/controlescape.h"

#include <QUrl>
#include <arpa/inet.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <vector>

namespace {

struct ChainError {
    int code;
    int depth;
};

// The faults X509_verify_cert meets, gathered by its callback; the handshake runs on the
// calling thread, inside verifyChain.
thread_local std::vector<ChainError> *t_errors = nullptr;

int gatherErrors(int ok, X509_STORE_CTX *context)
{
    if (!ok && t_errors)
        t_errors->push_back({ X509_STORE_CTX_get_error(context),
            X509_STORE_CTX_get_error_depth(context) });
    // Go on, so that every fault is known; verifyChain decides at the end.
    return 1;
}

QDateTime dateOf(const ASN1_TIME *time)
{
    struct tm t = {};
    if (!time || ASN1_TIME_to_tm(time, &t) != 1)
        return {};
    return QDateTime(QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday),
        QTime(t.tm_hour, t.tm_min, t.tm_sec), Qt::UTC);
}

QString dayText(const QDateTime &date)
{
    return date.isValid() ? date.toLocalTime().toString(QStringLiteral("dd/MM/yyyy")) : QString();
}

QString commonName(const X509_NAME *name)
{
    const int index = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (index < 0)
        return QString();
    const ASN1_STRING *data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
    unsigned char *utf8 = nullptr;
    const int size = ASN1_STRING_to_UTF8(&utf8, data);
    if (size < 0)
        return QString();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(utf8), size);
    OPENSSL_free(utf8);
    return text;
}

QString issuerOf(X509 *certificate)
{
    const X509_NAME *name = X509_get_issuer_name(certificate);
    QString text = commonName(name);
    if (text.isEmpty()) {
        char *line = X509_NAME_oneline(name, nullptr, 0);
        text = QString::fromUtf8(line);
        OPENSSL_free(line);
    }
    return escapeControlCharacters(text);
}

QStringList namesOf(X509 *certificate)
{
    QStringList names;
    auto *alt = static_cast<GENERAL_NAMES *>(
        X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; alt && i < sk_GENERAL_NAME_num(alt); ++i) {
        const GENERAL_NAME *name = sk_GENERAL_NAME_value(alt, i);
        if (name->type == GEN_DNS) {
            const ASN1_STRING *s = name->d.dNSName;
            names << QString::fromLatin1(
                reinterpret_cast<const char *>(ASN1_STRING_get0_data(s)), ASN1_STRING_length(s));
        } else if (name->type == GEN_IPADD) {
            const ASN1_OCTET_STRING *s = name->d.iPAddress;
            char text[INET6_ADDRSTRLEN] = {};
            const int length = ASN1_STRING_length(s);
            const int family = length == 4 ? AF_INET : length == 16 ? AF_INET6 : 0;
            if (family && inet_ntop(family, ASN1_STRING_get0_data(s), text, sizeof text))
                names << QString::fromLatin1(text);
        }
    }
    GENERAL_NAMES_free(alt);
    if (names.isEmpty()) {
        const QString cn = commonName(X509_get_subject_name(certificate));
        if (!cn.isEmpty())
            names << cn;
    }
    for (QString &n : names)
        n = escapeControlCharacters(n);
    return names;
}

// What one fault means to the person, in a few words.
QString reasonOf(const ChainError &e, const CertificateFailure &f)
{
    switch (e.code) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return e.depth == 0 ? QStringLiteral("expirou em %1").arg(dayText(f.notAfter))
                            : QStringLiteral("a autoridade que o emitiu expirou");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return e.depth == 0 ? QStringLiteral("só vale a partir de %1").arg(dayText(f.notBefore))
                            : QStringLiteral("a autoridade que o emitiu ainda não vale");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return f.names.isEmpty()
            ? QStringLiteral("não foi emitido para %1").arg(f.host)
            : QStringLiteral("foi emitido para outro nome (%1)")
                  .arg(f.names.join(QStringLiteral(", ")));
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return QStringLiteral("é autoassinado");
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return QStringLiteral("foi emitido por uma autoridade que o sistema não conhece (%1)")
            .arg(f.issuer);
    case X509_V_ERR_CERT_REVOKED:
        return QStringLiteral("foi revogado");
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_CERT_UNTRUSTED:
        return QStringLiteral("tem uma assinatura que não confere");
    case X509_V_ERR_INVALID_PURPOSE:
        return QStringLiteral("não serve para identificar um servidor");
    default:
        return QStringLiteral("não passou na verificação (%1)")
            .arg(QString::fromUtf8(X509_verify_cert_error_string(e.code)));
    }
}

// The host as the certificate names it: an address as such, a name in its ASCII form.
void setExpectedHost(X509_VERIFY_PARAM *param, const QString &host)
{
    QString h = host.trimmed();
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    const QByteArray ascii = h.toLatin1();
    unsigned char address[16];
    if (inet_pton(AF_INET, ascii.constData(), address) == 1
        || inet_pton(AF_INET6, ascii.constData(), address) == 1) {
        X509_VERIFY_PARAM_set1_ip_asc(param, ascii.constData());
        return;
    }
    const QByteArray ace = QUrl::toAce(h);
    X509_VERIFY_PARAM_set1_host(param, ace.constData(), size_t(ace.size()));
}

} // namespace

void TlsPeerCheck::install(CURL *easy)
{
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &TlsPeerCheck::sslContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
}

CURLcode TlsPeerCheck::sslContext(CURL *, void *sslContext, void *self)
{
    // Every connection of the transfer gets its own context, the data connections of an
    // FTP transfer too, so each handshake runs through verifyChain.
    SSL_CTX_set_cert_verify_callback(
        static_cast<SSL_CTX *>(sslContext), &TlsPeerCheck::verifyChain, self);
    return CURLE_OK;
}

int TlsPeerCheck::verifyChain(X509_STORE_CTX *context, void *self)
{
    auto *check = static_cast<TlsPeerCheck *>(self);
    setExpectedHost(X509_STORE_CTX_get0_param(context), check->m_host);
    std::vector<ChainError> errors;
    t_errors = &errors;
    X509_STORE_CTX_set_verify_cb(context, &gatherErrors);
    const int verified = X509_verify_cert(context);
    t_errors = nullptr;
    if (verified <= 0 && errors.empty())
        errors.push_back({ X509_STORE_CTX_get_error(context), 0 });
    if (errors.empty())
        return 1;

    X509 *certificate = X509_STORE_CTX_get0_cert(context);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!certificate || !X509_digest(certificate, EVP_sha256(), digest, &size)) {
        X509_STORE_CTX_set_error(context, errors.front().code);
        return 0;
    }
    const QByteArray sha256(reinterpret_cast<const char *>(digest), int(size));
    if (check->m_trust && check->m_trust->accepts(check->m_host, sha256)) {
        X509_STORE_CTX_set_error(context, X509_V_OK);
        return 1;
    }

    CertificateFailure f;
    f.host = check->m_host.trimmed();
    f.sha256 = sha256;
    f.names = namesOf(certificate);
    f.issuer = issuerOf(certificate);
    f.notBefore = dateOf(X509_get0_notBefore(certificate));
    f.notAfter = dateOf(X509_get0_notAfter(certificate));
    for (const ChainError &e : errors) {
        const QString reason = reasonOf(e, f);
        if (!f.reasons.contains(reason))
            f.reasons << reason;
    }
    check->m_failure = f;
    X509_STORE_CTX_set_error(context, errors.front().code);
    return 0;
}

QString CertificateFailure::text() const
{
    return QStringLiteral("O certificado do servidor %1 foi recusado: %2.\n"
                          "Impressão digital SHA-256: %3")
        .arg(escapeControlCharacters(host), reasons.join(QStringLiteral("; ")),
            fingerprintText(sha256));
}

QString CertificateFailure::question() const
{
    return QStringLiteral("O certificado do servidor %1 não pôde ser verificado: %2.\n"
                          "Impressão digital SHA-256: %3\n\n"
                          "Aceitar este certificado para %1? Ele será lembrado neste catálogo "
                          "e aceito só para este servidor.")
        .arg(escapeControlCharacters(host), reasons.join(QStringLiteral("; ")),
            fingerprintText(sha256));
}
