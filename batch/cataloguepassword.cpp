#include "batch/cataloguepassword.h"

#include "batch/keyring.h"
#include "store/connection.h"

#include <QUrl>

namespace cataloguepassword {

QString keyringKey(const QString &location)
{
    const QUrl url(location);
    QString user = url.userName();
    if (user.isEmpty())
        user = qEnvironmentVariable("PGUSER", qEnvironmentVariable("USER"));
    const QString host = url.port() > 0 ? url.host() + QLatin1Char(':') + QString::number(url.port())
                                        : url.host();
    return Keyring::passwordKey(QStringLiteral("postgresql"), user, host);
}

QString fromKeyring(const QString &location)
{
    if (!Connection::isServerLocation(location))
        return QString();
    const Keyring::Reply reply = Keyring().read(keyringKey(location));
    return reply.status == Keyring::Status::Ok ? reply.password : QString();
}

} // namespace cataloguepassword
