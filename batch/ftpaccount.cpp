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

QString FtpAccount::firstFault() const
{
    if (host.trimmed().isEmpty() || hasControlCharacters(host))
        return QStringLiteral("Servidor inválido!");
    if (portNumber(port) == 0)
        return QStringLiteral("Porta inválida!");
    if (userId.trimmed().isEmpty() || hasControlCharacters(userId))
        return QStringLiteral("Usuário inválido!");
    if (hasControlCharacters(password))
        return QStringLiteral("Senha inválida!");
    if (useProxyServer) {
        if (proxyServer.trimmed().isEmpty() || hasControlCharacters(proxyServer))
            return QStringLiteral("Servidor Proxy inválido!");
        if (portNumber(proxyPort) == 0)
            return QStringLiteral("Porta Proxy inválida!");
    }
    if (hasControlCharacters(directory))
        return QStringLiteral("Diretório inválido!");
    return QString();
}
