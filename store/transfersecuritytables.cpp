#include "store/transfersecuritytables.h"

#include "store/connection.h"

namespace transfersecuritytables {

namespace {

const char *const statements[] = {
    "CREATE TABLE IF NOT EXISTS MailServerSecurity ("
    " Id INTEGER PRIMARY KEY CHECK (Id = 1),"
    " Security VARCHAR(10) NOT NULL DEFAULT 'none'"
    "  CHECK (Security IN ('none', 'starttls', 'tls')),"
    " HasPassword BOOLEAN NOT NULL DEFAULT 0)",

    "CREATE TABLE IF NOT EXISTS FTPAccountSecurity ("
    " Account INTEGER PRIMARY KEY REFERENCES FTPAccounts (RecId) ON DELETE CASCADE,"
    " Security VARCHAR(10) NOT NULL DEFAULT 'none'"
    "  CHECK (Security IN ('none', 'explicit', 'implicit')),"
    " HasPassword BOOLEAN NOT NULL DEFAULT 0)",

    "CREATE TABLE IF NOT EXISTS AcceptedCertificates ("
    " Host VARCHAR(255) COLLATE NOCASE NOT NULL,"
    " Fingerprint CHAR(64) NOT NULL,"
    " Accepted DATETIME,"
    " PRIMARY KEY (Host, Fingerprint))",
};

} // namespace

QStringList names()
{
    return { QStringLiteral("MailServerSecurity"), QStringLiteral("FTPAccountSecurity"),
        QStringLiteral("AcceptedCertificates") };
}

bool present(const Connection &connection)
{
    for (const QString &table : names()) {
        if (!connection.hasTable(table))
            return false;
    }
    return true;
}

void ensure(Connection &connection)
{
    if (present(connection))
        return;
    for (const char *sql : statements)
        connection.exec(QString::fromUtf8(sql));
}

} // namespace transfersecuritytables
