#include "support/testcertificates.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>

namespace testsupport {

namespace {

const QStringList EcKey = { QStringLiteral("-newkey"), QStringLiteral("ec"),
    QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
    QStringLiteral("-nodes") };

bool writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

} // namespace

const TestCertificates &TestCertificates::instance()
{
    static const TestCertificates certificates;
    return certificates;
}

void TestCertificates::run(const QStringList &args) const
{
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qFatal("openssl %s failed: %s", qPrintable(args.join(' ')),
            p.readAllStandardError().constData());
}

TestCertificates::TestCertificates()
{
    run(QStringList { "req", "-x509" } + EcKey
        + QStringList { "-keyout", "ca.key", "-out", "ca.pem", "-days", "30", "-subj",
            "/CN=Autoridade de Testes do Quillomar", "-addext",
            "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign" });

    const auto request = [this](const QString &name, const QString &subject) {
        run(QStringList { "req", "-new" } + EcKey
            + QStringList { "-keyout", name + ".key", "-out", name + ".csr", "-subj", subject });
    };
    const auto extensions = [this](const QString &name, const QByteArray &altNames) {
        writeText(path(name + ".ext"),
            "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName="
                + altNames + "\n");
    };
    const auto issue = [&](const QString &name, const QString &subject,
                           const QByteArray &altNames) {
        request(name, subject);
        extensions(name, altNames);
        run({ "x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "30", "-extfile", name + ".ext", "-out", name + ".pem" });
    };
    issue("good", "/CN=127.0.0.1", "IP:127.0.0.1,DNS:localhost");
    issue("wronghost", "/CN=outro.exemplo.com", "DNS:outro.exemplo.com");

    // An expired one: only "openssl ca" takes dates in the past.
    request("expired", "/CN=127.0.0.1");
    extensions("expired", "IP:127.0.0.1,DNS:localhost");
    writeText(path("index.txt"), "");
    writeText(path("serial"), "1000\n");
    writeText(path("ca.cnf"),
        "[ca]\ndefault_ca=test\n[test]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\n"
        "default_md=sha256\npolicy=any\n[any]\ncommonName=supplied\n");
    run({ "ca", "-config", "ca.cnf", "-batch", "-notext", "-cert", "ca.pem", "-keyfile", "ca.key",
        "-in", "expired.csr", "-out", "expired.pem", "-startdate", "20200101000000Z", "-enddate",
        "20200201000000Z", "-extfile", "expired.ext" });

    run(QStringList { "req", "-x509" } + EcKey
        + QStringList { "-keyout", "selfsigned.key", "-out", "selfsigned.pem", "-days", "30",
            "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1" });
}

QByteArray TestCertificates::fingerprint(const QString &name) const
{
    QFile f(certificate(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray pem = f.readAll();
    const qsizetype begin = pem.indexOf("-----BEGIN CERTIFICATE-----");
    const qsizetype end = pem.indexOf("-----END CERTIFICATE-----");
    if (begin < 0 || end < 0)
        return {};
    const QByteArray body = pem.mid(begin + 27, end - begin - 27);
    return QCryptographicHash::hash(QByteArray::fromBase64(body), QCryptographicHash::Sha256);
}

} // namespace testsupport
