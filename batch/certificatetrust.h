#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <optional>

class Connection;

// Certificates the person accepted although they failed the check: each for one host,
// known by its SHA-256 fingerprint (of the whole certificate, as browsers and
// `openssl x509 -fingerprint -sha256` show it). Those remembered in the catalogue
// (AcceptedCertificates) and those accepted for one run only (the command line's
// --accept-certificate) are consulted alike.
class CertificateTrust {
public:
    // Whether that certificate was accepted for that host (or for this run, whatever host).
    bool accepts(const QString &host, const QByteArray &sha256) const;
    void accept(const QString &host, const QByteArray &sha256);
    // For this run only, whatever host presents it.
    void acceptForRun(const QByteArray &sha256);

    // The certificates the catalogue remembers; none when it has no such table yet.
    static CertificateTrust fromCatalogue(Connection &connection);
    // Remembers one in the catalogue, in a write transaction of its own (creating the table
    // when missing); throws DbError.
    static void remember(Connection &connection, const QString &host, const QByteArray &sha256);

private:
    static QString entry(const QString &host, const QByteArray &sha256);

    QSet<QString> m_accepted;
    QSet<QByteArray> m_forRun;
};

// "AB:CD:..." (32 pairs of upper-case hexadecimal digits) of a SHA-256 fingerprint.
QString fingerprintText(const QByteArray &sha256);
// A fingerprint typed in hexadecimal, colons (and blanks) optional, either letter case;
// nothing when it is not 32 bytes of hexadecimal.
std::optional<QByteArray> parseFingerprint(const QString &text);
