#pragma once

#include <QString>
#include <functional>

class TDados;

// The drive of a path: the mount point that holds it ("/" for the root file system, other
// mount points without a trailing "/"). A path that does not exist yet is taken by its
// nearest existing parent.
QString driveOfPath(const QString &path);

// Finds the system Storages row of a drive (Unit ignoring case, System true) or adds one
// named by entryText() with surrounding blanks removed, and leaves TStorages standing on it.
// entryText is called only when a row has to be added. A row is added only after a second
// look under the write lock: beforeWrite runs first (a caller's transaction may begin
// there), and without a transaction open the look and the row get one of their own.
// Returns true when a row was added. Throws DbError; a failed post leaves no pending insert
// behind.
bool StorageForDrive(TDados &store, const QString &drive, const std::function<QString()> &entryText,
    const std::function<void()> &beforeWrite = {});
