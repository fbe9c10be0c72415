#pragma once

#include <QString>
#include <functional>

class MountedVolumes;
class TDados;
struct VolumeIdentity;

// The drive of a path: the mount point that holds it ("/" for the root file system, other
// mount points without a trailing "/"). A path that does not exist yet is taken by its
// nearest existing parent.
QString driveOfPath(const QString &path);

// What StorageForDrive did.
struct StorageChoice {
    qint64 storage = 0; // the storage TStorages now stands on
    bool added = false; // a new row was added
    bool relocated = false; // a known disk found at a new mount point: the storage moved
    QString formerUnit; // where it was, when relocated
    qint64 movedPictures = 0; // pictures whose FullPath moved with it
};

// Finds the storage of a drive and leaves TStorages standing on it:
//  1. when the volume mounted there has an identity, the storage recorded for that volume,
//     wherever it was mounted before. A known disk now mounted elsewhere has its storage's
//     Unit and the FullPath of each of its pictures moved to the new mount point (pictures
//     keep their keys, and with them notes, key words and thumbnails);
//  2. else the system Storages row whose Unit is the drive (letter case ignored); one that
//     already belongs to another volume does not count, and one without a volume gets this
//     one's identity;
//  3. else a new system row, named after the volume's label, or when it has none by
//     entryText() with surrounding blanks removed; a label already naming another storage
//     gets " (2)", " (3)"... so each disk keeps a name of its own.
// A drive without a readable identity takes steps 2 and 3 exactly as before identities.
// Every write happens after a second look under the write lock: beforeWrite runs first (a
// caller's transaction may begin there), and without a transaction open the writes get one
// of their own. Throws DbError; a failed post leaves no pending insert behind.
StorageChoice StorageForDrive(TDados &store, const QString &drive,
    const std::function<QString()> &entryText, const std::function<void()> &beforeWrite = {});

// The same, with the drive's identity and the mount table given (tests, and callers that
// have read them already).
StorageChoice StorageForDrive(TDados &store, const QString &drive, const VolumeIdentity &identity,
    const MountedVolumes &mounted, const std::function<QString()> &entryText,
    const std::function<void()> &beforeWrite = {});
