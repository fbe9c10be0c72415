#include "batch/transfersecurity.h"

#include "store/connection.h"
#include "store/statement.h"
#include "store/transfersecuritytables.h"

namespace {

const QString None = QStringLiteral("none");

} // namespace

QString securityWord(MailSecurity security)
{
    switch (security) {
    case MailSecurity::StartTls: return QStringLiteral("starttls");
    case MailSecurity::Tls: return QStringLiteral("tls");
    case MailSecurity::None: break;
    }
    return None;
}

QString securityWord(FtpSecurity security)
{
    switch (security) {
    case FtpSecurity::Explicit: return QStringLiteral("explicit");
    case FtpSecurity::Implicit: return QStringLiteral("implicit");
    case FtpSecurity::None: break;
    }
    return None;
}

std::optional<MailSecurity> mailSecurityFromWord(const QString &word)
{
    for (MailSecurity s : { MailSecurity::None, MailSecurity::StartTls, MailSecurity::Tls }) {
        if (word.compare(securityWord(s), Qt::CaseInsensitive) == 0)
            return s;
    }
    return std::nullopt;
}

std::optional<FtpSecurity> ftpSecurityFromWord(const QString &word)
{
    for (FtpSecurity s : { FtpSecurity::None, FtpSecurity::Explicit, FtpSecurity::Implicit }) {
        if (word.compare(securityWord(s), Qt::CaseInsensitive) == 0)
            return s;
    }
    return std::nullopt;
}

QString securityLabel(MailSecurity security)
{
    switch (security) {
    case MailSecurity::StartTls: return QStringLiteral("STARTTLS");
    case MailSecurity::Tls: return QStringLiteral("SSL/TLS");
    case MailSecurity::None: break;
    }
    return QStringLiteral("Nenhuma");
}

QString securityLabel(FtpSecurity security)
{
    switch (security) {
    case FtpSecurity::Explicit: return QStringLiteral("FTPS explícito");
    case FtpSecurity::Implicit: return QStringLiteral("FTPS implícito");
    case FtpSecurity::None: break;
    }
    return QStringLiteral("Nenhuma");
}

MailServerSecurity MailServerSecurity::read(Connection &connection)
{
    MailServerSecurity settings;
    if (!connection.hasTable(QStringLiteral("MailServerSecurity")))
        return settings;
    Statement s(connection,
        QStringLiteral("SELECT Security, HasPassword FROM MailServerSecurity WHERE Id = 1"));
    Statement::Reset done(s);
    if (s.step()) {
        settings.security = mailSecurityFromWord(s.text(0)).value_or(MailSecurity::None);
        settings.hasPassword = s.integer(1) != 0;
    }
    return settings;
}

void MailServerSecurity::write(Connection &connection) const
{
    transfersecuritytables::ensure(connection);
    Statement s(connection,
        QStringLiteral("INSERT INTO MailServerSecurity (Id, Security, HasPassword) "
                       "VALUES (1, ?1, ?2) ON CONFLICT (Id) DO UPDATE SET "
                       "Security = excluded.Security, HasPassword = excluded.HasPassword"));
    s.bindText(1, securityWord(security));
    s.bindInteger(2, hasPassword ? 1 : 0);
    s.exec();
}

FtpAccountSecurity FtpAccountSecurity::read(Connection &connection, qint64 account)
{
    FtpAccountSecurity settings;
    if (account <= 0 || !connection.hasTable(QStringLiteral("FTPAccountSecurity")))
        return settings;
    Statement s(connection,
        QStringLiteral("SELECT Security, HasPassword FROM FTPAccountSecurity WHERE Account = ?1"));
    Statement::Reset done(s);
    s.bindInteger(1, account);
    if (s.step()) {
        settings.security = ftpSecurityFromWord(s.text(0)).value_or(FtpSecurity::None);
        settings.hasPassword = s.integer(1) != 0;
    }
    return settings;
}

void FtpAccountSecurity::write(Connection &connection, qint64 account) const
{
    transfersecuritytables::ensure(connection);
    Statement s(connection,
        QStringLiteral("INSERT INTO FTPAccountSecurity (Account, Security, HasPassword) "
                       "VALUES (?1, ?2, ?3) ON CONFLICT (Account) DO UPDATE SET "
                       "Security = excluded.Security, HasPassword = excluded.HasPassword"));
    s.bindInteger(1, account);
    s.bindText(2, securityWord(security));
    s.bindInteger(3, hasPassword ? 1 : 0);
    s.exec();
}
