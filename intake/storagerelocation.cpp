#include "intake/storagerelocation.h"

#include "store/connection.h"
#include "store/statement.h"

QString StorageRelocation::prefixOf(const QString &unit)
{
    return unit.endsWith(QLatin1Char('/')) ? unit : unit + QLatin1Char('/');
}

qint64 StorageRelocation::move(
    Connection &connection, qint64 storage, const QString &from, const QString &to)
{
    Statement unit(connection, QStringLiteral("UPDATE Storages SET Unit = :NEW WHERE RecId = :ID"));
    unit.bind(QStringLiteral("NEW"), to);
    unit.bind(QStringLiteral("ID"), storage);
    unit.exec();

    // Compared as bytes: on this system folders that differ in letter case are different
    // folders, though the column ignores case. substr() leaves %, _ and the like alone.
    Statement pictures(connection,
        QStringLiteral(
            "UPDATE Pictures SET FullPath = CASE WHEN FullPath = :OLD COLLATE BINARY"
            " THEN :NEWP ELSE :NEWP || substr(FullPath, length(:OLDP) + 1) END"
            " WHERE Location = :ID AND (substr(FullPath, 1, length(:OLDP)) = :OLDP COLLATE BINARY"
            " OR FullPath = :OLD COLLATE BINARY)"));
    pictures.bind(QStringLiteral("OLD"), from);
    pictures.bind(QStringLiteral("OLDP"), prefixOf(from));
    pictures.bind(QStringLiteral("NEWP"), prefixOf(to));
    pictures.bind(QStringLiteral("ID"), storage);
    return pictures.exec();
}
