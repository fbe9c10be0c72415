#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <curl/curl.h>
#include <optional>

class CertificateTrust;

// A server certificate that failed the check, with what the person needs to judge it.
struct CertificateFailure {
    QString host; // the name the connection was made to
    QByteArray sha256; // fingerprint of the certificate
    QStringList reasons; // in Portuguese, one per fault ("expirou em 01/02/2020", ...)
    QStringList names; // the names it was issued for
    QString issuer;
    QDateTime notBefore;
    QDateTime notAfter;

    // "O certificado do servidor HOST foi recusado: REASONS.\nImpressão digital SHA-256: FP"
    QString text() const;
    // The question that offers to accept it for that host.
    QString question() const;
};

// Checks a server's certificate during the TLS handshake, for libcurl's OpenSSL backend:
// the chain against the system's authorities (or the authorities libcurl was given), the
// host name, the dates. A certificate that fails is refused before anything else is said on
// the connection, unless the trust accepts exactly that certificate for that host; then it
// passes whatever its faults. libcurl's own host check is off, since this check does it
// (and an accepted certificate must pass it too).
//
// libcurl's CURLOPT_PINNEDPUBLICKEY cannot serve: it only adds a check after libcurl's
// own has passed, and pins a key, which a certificate for another host or an expired one
// may share.
class TlsPeerCheck {
public:
    // Sets the options on the easy handle; the check must outlive the handle's transfers.
    void install(CURL *easy);
    void setHost(const QString &host) { m_host = host; }
    void setTrust(const CertificateTrust *trust) { m_trust = trust; }
    // Forgets the failure of an earlier handshake.
    void reset() { m_failure.reset(); }
    const std::optional<CertificateFailure> &failure() const { return m_failure; }

private:
    static CURLcode sslContext(CURL *easy, void *sslContext, void *self);
    static int verifyChain(struct x509_store_ctx_st *context, void *self);

    QString m_host;
    const CertificateTrust *m_trust = nullptr;
    std::optional<CertificateFailure> m_failure;
};
