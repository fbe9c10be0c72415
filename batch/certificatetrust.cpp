#include "batch/certificatetrust.h"

#include "store/connection.h"
#include "store/statement.h"
#include "store/transaction.h"
#include "store/transfersecuritytables.h"

#include <QDateTime>
#include <cctype>

namespace {

const QString TableName = QStringLiteral("AcceptedCertificates");

QString normalHost(const QString &host)
{
    QString h = host.trimmed().toLower();
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    return h;
}

} // namespace

QString CertificateTrust::entry(const QString &host, const QByteArray &sha256)
{
    return normalHost(host) + QLatin1Char(' ') + QString::fromLatin1(sha256.toHex());
}

bool CertificateTrust::accepts(const QString &host, const QByteArray &sha256) const
{
    return m_forRun.contains(sha256) || m_accepted.contains(entry(host, sha256));
}

void CertificateTrust::accept(const QString &host, const QByteArray &sha256)
{
    m_accepted.insert(entry(host, sha256));
}

void CertificateTrust::acceptForRun(const QByteArray &sha256)
{
    m_forRun.insert(sha256);
}

CertificateTrust CertificateTrust::fromCatalogue(Connection &connection)
{
    CertificateTrust trust;
    if (!connection.isOpen() || !connection.hasTable(TableName))
        return trust;
    Statement s(connection, QStringLiteral("SELECT Host, Fingerprint FROM AcceptedCertificates"));
    Statement::Reset done(s);
    while (s.step()) {
        const QByteArray sha256 = QByteArray::fromHex(s.utf8(1));
        if (sha256.size() == 32)
            trust.accept(s.text(0), sha256);
    }
    return trust;
}

void CertificateTrust::remember(Connection &connection, const QString &host, const QByteArray &sha256)
{
    Transaction transaction(connection);
    transfersecuritytables::ensure(connection);
    Statement s(connection,
        QStringLiteral("INSERT INTO AcceptedCertificates (Host, Fingerprint, Accepted) "
                       "VALUES (?1, ?2, ?3) ON CONFLICT (Host, Fingerprint) "
                       "DO UPDATE SET Accepted = excluded.Accepted"));
    s.bindText(1, normalHost(host));
    s.bindText(2, QString::fromLatin1(sha256.toHex()));
    s.bind(3, QDateTime::currentDateTime());
    s.exec();
    transaction.commit();
}

QString fingerprintText(const QByteArray &sha256)
{
    return QString::fromLatin1(sha256.toHex(':').toUpper());
}

std::optional<QByteArray> parseFingerprint(const QString &text)
{
    QByteArray hex;
    for (const QChar c : text) {
        if (c == QLatin1Char(':') || c.isSpace())
            continue;
        if (c.unicode() > 127 || !std::isxdigit(c.unicode()))
            return std::nullopt;
        hex += char(c.unicode());
    }
    if (hex.size() != 64)
        return std::nullopt;
    return QByteArray::fromHex(hex);
}
