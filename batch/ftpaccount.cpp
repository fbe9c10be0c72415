#include "batch/ftpaccount.h"

#include "batch/keyring.h"
#include "core/controlescape.h"
#include "store/recordset.h"

FtpAccount FtpAccount::fromRecord(const RecordSet &accounts)
{
    FtpAccount a;
    a.host = accounts.asString(QStringLiteral("Host"));
    a.port = accounts.asString(QStringLiteral("Port"));
    a.userId = accounts.asString(QStringLiteral("UserID"));
    a.password = accounts.asString(QStringLiteral("Password"));
    a.useProxyServer = accounts.asBool(QStringLiteral("UseProxyServer"));
    a.proxyServer = accounts.asString(QStringLiteral("ProxyServer"));
    a.proxyPort = accounts.asString(QStringLiteral("ProxyPort"));
    a.directory = accounts.asString(QStringLiteral("Directory"));
    // A row being inserted has no key yet, and so no settings.
    if (accounts.state() != RecordSet::State::Insert)
        a.recId = accounts.rowId();
    const FtpAccountSecurity settings = FtpAccountSecurity::read(accounts.connection(), a.recId);
    a.security = settings.security;
    a.hasPassword = settings.hasPassword;
    return a;
}

QString FtpAccount::passwordKey() const
{
    return Keyring::passwordKey(QStringLiteral("ftp"), userId, host);
}

int portNumber(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok && n >= 1 && n <= 65535 ? n : 0;
}

namespace {

bool blank(const QString &text)
{
    return text.trimmed().isEmpty();
}

// The checks of a send and of a save, one list in one order.
FtpFault faultOf(const FtpAccount &a, bool saving)
{
    using F = FtpField;
    if (blank(a.host) || hasControlCharacters(a.host))
        return { F::Host, QStringLiteral("Servidor inválido!") };
    if (portNumber(a.port) == 0)
        return { F::Port, QStringLiteral("Porta inválida!") };
    if (blank(a.userId) || hasControlCharacters(a.userId))
        return { F::UserId, QStringLiteral("Usuário inválido!") };
    if (hasControlCharacters(a.password))
        return { F::Password, QStringLiteral("Senha inválida!") };
    const bool proxy = a.useProxyServer;
    if ((proxy && blank(a.proxyServer))
        || ((proxy || saving) && hasControlCharacters(a.proxyServer)))
        return { F::ProxyServer, QStringLiteral("Servidor Proxy inválido!") };
    // A port that is not a number is not saved even while the proxy is off.
    if ((proxy || (saving && !blank(a.proxyPort))) && portNumber(a.proxyPort) == 0)
        return { F::ProxyPort, QStringLiteral("Porta Proxy inválida!") };
    if (hasControlCharacters(a.directory))
        return { F::Directory, QStringLiteral("Diretório inválido!") };
    return {};
}

} // namespace

QString FtpAccount::firstFault() const
{
    return faultOf(*this, false).text;
}

FtpFault FtpAccount::saveFault(const QString &profile) const
{
    if (blank(profile))
        return { FtpField::Profile, QStringLiteral("Nome inválido!") };
    return faultOf(*this, true);
}
