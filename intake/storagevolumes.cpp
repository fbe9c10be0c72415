#include "intake/storagevolumes.h"

#include "store/connection.h"
#include "store/statement.h"

namespace {

const QString tableName = QStringLiteral("StorageVolumes");

VolumeIdentity identityOf(const Statement &row, int first)
{
    VolumeIdentity id;
    id.type = row.text(first);
    id.uuid = row.text(first + 1);
    id.label = row.text(first + 2);
    return id;
}

} // namespace

VolumeIdentity StorageVolumes::read(Connection &connection, qint64 storage)
{
    if (!connection.hasTable(tableName))
        return {};
    Statement look(connection,
        QStringLiteral("SELECT FileSystem, Uuid, Label FROM StorageVolumes WHERE Storage = :S"));
    Statement::Reset done(look);
    look.bind(QStringLiteral("S"), storage);
    return look.step() ? identityOf(look, 0) : VolumeIdentity();
}

QHash<qint64, VolumeIdentity> StorageVolumes::readAll(Connection &connection)
{
    QHash<qint64, VolumeIdentity> all;
    if (!connection.hasTable(tableName))
        return all;
    Statement look(
        connection, QStringLiteral("SELECT Storage, FileSystem, Uuid, Label FROM StorageVolumes"));
    Statement::Reset done(look);
    while (look.step())
        all.insert(look.integer(0), identityOf(look, 1));
    return all;
}

QList<qint64> StorageVolumes::storagesOf(Connection &connection, const VolumeIdentity &identity)
{
    QList<qint64> keys;
    if (!identity.isValid() || !connection.hasTable(tableName))
        return keys;
    Statement look(connection,
        QStringLiteral("SELECT Storage, FileSystem, Uuid, Label FROM StorageVolumes"
                       " WHERE Uuid = :U COLLATE NOCASE ORDER BY Storage"));
    Statement::Reset done(look);
    look.bind(QStringLiteral("U"), identity.uuid);
    while (look.step()) {
        if (identityOf(look, 1).sameVolume(identity))
            keys.append(look.integer(0));
    }
    return keys;
}

void StorageVolumes::createTable(Connection &connection)
{
    connection.exec(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS StorageVolumes ("
        " Storage INTEGER NOT NULL PRIMARY KEY REFERENCES Storages (RecId) ON DELETE CASCADE,"
        " FileSystem VARCHAR(32),"
        " Uuid VARCHAR(128) NOT NULL,"
        " Label VARCHAR(255))"));
    connection.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS StorageVolumes_Uuid"
                                   " ON StorageVolumes (Uuid COLLATE NOCASE)"));
}

void StorageVolumes::record(Connection &connection, qint64 storage, const VolumeIdentity &identity)
{
    createTable(connection);
    Statement put(connection,
        QStringLiteral("INSERT INTO StorageVolumes (Storage, FileSystem, Uuid, Label)"
                       " VALUES (:S, :T, :U, :L) ON CONFLICT (Storage) DO UPDATE SET"
                       " FileSystem = excluded.FileSystem, Uuid = excluded.Uuid,"
                       " Label = excluded.Label"));
    put.bind(QStringLiteral("S"), storage);
    put.bind(QStringLiteral("T"), identity.type.isEmpty() ? QVariant() : QVariant(identity.type));
    put.bind(QStringLiteral("U"), identity.uuid);
    put.bind(QStringLiteral("L"), identity.label.isEmpty() ? QVariant() : QVariant(identity.label));
    put.exec();
}
