#pragma once

#include <QString>

class Connection;

// Moves a storage to another mount point: its Unit, and the FullPath of each of its pictures
// that lies under the old one, with the old mount point replaced by the new at the front.
// Rows keep their keys, so notes, key words, facts and thumbnails stay with them.
namespace StorageRelocation {

// The folder prefix every FullPath under a mount point begins with ("/" for the root,
// otherwise the mount point and "/").
QString prefixOf(const QString &unit);

// Runs in the caller's transaction (the scan's, an edit's) or, without one, as one
// statement each; the caller commits both together. Folders that only share the old mount
// point's name as a prefix ("/media/FOTOS2" for "/media/FOTOS") stay. Returns the pictures
// moved. Throws DbError.
qint64 move(Connection &connection, qint64 storage, const QString &from, const QString &to);

} // namespace StorageRelocation
