#include "store/catalogueidentity.h"

#include "store/cataloguelocks.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/statement.h"
#include "store/transaction.h"

#include <QUuid>

namespace {

const QString tableName = QStringLiteral("CatalogueIdentity");

// One row at most: its key can only be 1.
const QString createSql = QStringLiteral("CREATE TABLE IF NOT EXISTS CatalogueIdentity ("
                                         " Id INTEGER PRIMARY KEY CHECK (Id = 1),"
                                         " Uuid CHAR(36) NOT NULL)");

QString stored(Connection &connection)
{
    if (!connection.hasTable(tableName))
        return QString();
    Statement look(connection, QStringLiteral("SELECT Uuid FROM CatalogueIdentity WHERE Id = 1"));
    Statement::Reset done(look);
    if (!look.step() || look.isNull(0))
        return QString();
    return look.text(0);
}

QString fresh()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

void write(Connection &connection, const QString &uuid)
{
    connection.exec(createSql);
    Statement put(connection,
        QStringLiteral("INSERT INTO CatalogueIdentity (Id, Uuid) VALUES (1, :U) "
                       "ON CONFLICT (Id) DO UPDATE SET Uuid = excluded.Uuid"));
    put.bind(QStringLiteral("U"), uuid);
    put.exec();
}

} // namespace

QString CatalogueIdentity::canonical(const QString &text)
{
    const QUuid uuid = QUuid::fromString(text.trimmed());
    if (uuid.isNull())
        return QString();
    return uuid.toString(QUuid::WithoutBraces);
}

QString CatalogueIdentity::read(Connection &connection)
{
    return canonical(stored(connection));
}

QString CatalogueIdentity::ensure(Connection &connection)
{
    if (const QString known = read(connection); !known.isEmpty())
        return known;
    Transaction transaction(connection);
    CatalogueLocks::setup(connection);
    // Another process may have given it one since the look above: look again holding the lock.
    QString uuid = read(connection);
    if (uuid.isEmpty()) {
        uuid = fresh();
        write(connection, uuid);
    }
    transaction.commit();
    return uuid;
}

void CatalogueIdentity::create(Connection &connection)
{
    write(connection, fresh());
}
