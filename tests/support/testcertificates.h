#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// Certificates for servers on 127.0.0.1, made once per test process with the openssl tool:
// an authority of the tests and, issued by it, a certificate for 127.0.0.1 and localhost,
// one for another host name and one that expired in 2020; besides, a self-signed one for
// 127.0.0.1. Each server certificate comes as NAME.pem with its key NAME.key.
class TestCertificates {
public:
    static const TestCertificates &instance();

    // The authority's certificate (for QUILLOMAR_CA_BUNDLE).
    QString authority() const { return path(QStringLiteral("ca.pem")); }
    // "good", "wronghost", "expired", "selfsigned"
    QString certificate(const QString &name) const { return path(name + QStringLiteral(".pem")); }
    QString key(const QString &name) const { return path(name + QStringLiteral(".key")); }
    // SHA-256 of the certificate's DER form.
    QByteArray fingerprint(const QString &name) const;

private:
    TestCertificates();
    QString path(const QString &file) const { return m_dir.filePath(file); }
    void run(const QStringList &args) const;

    QTemporaryDir m_dir;
};

} // namespace testsupport
