#include "batch/cataloguepassword.h"

#include "batch/keyring.h"
#include "store/connection.h"

namespace cataloguepassword {

QString keyringKey(const QString &location)
{
    return Keyring::passwordKey(QStringLiteral("postgresql"), Connection::serverUser(location),
        Connection::serverAddress(location));
}

QString fromKeyring(const QString &location)
{
    if (!Connection::isServerLocation(location))
        return QString();
    const Keyring::Reply reply = Keyring().read(keyringKey(location));
    return reply.status == Keyring::Status::Ok ? reply.password : QString();
}

QString keep(const QString &location, const QString &password)
{
    const Keyring::Reply reply = Keyring().write(keyringKey(location), password);
    if (reply.status == Keyring::Status::Ok)
        return QString();
    return reply.error.isEmpty() ? QStringLiteral("nenhum chaveiro respondeu") : reply.error;
}

} // namespace cataloguepassword
