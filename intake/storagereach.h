#pragma once

#include "intake/mountedvolumes.h"
#include "intake/volumeidentity.h"

#include <QHash>
#include <QString>

class Connection;

// Whether a storage's disk is connected, and where: decided from the volume identity recorded
// for it and the mount table, never from whether its mount point folder is there (a folder
// such as /media/ana/FOTOS often stays behind when the disk is pulled out).
class StorageReach {
public:
    struct Storage {
        qint64 recId = 0;
        QString name;
        QString unit;
        bool system = false; // made for a drive (by a scan or a relinking)
        VolumeIdentity identity; // not valid: none recorded
    };
    struct State {
        bool online = false;
        // Where the storage's files are now: its Unit, or the mount point its disk has now
        // when that differs (the storage moves there at its next scan).
        QString mountPoint;
    };

    // Reads the mount table now.
    StorageReach();
    explicit StorageReach(MountedVolumes mounted) : m_mounted(std::move(mounted)) { }

    // A storage with an identity is online while its volume is mounted somewhere. Without
    // one: a storage made for a drive while its Unit is a mount point now (or the root); one
    // added by hand, which may name any folder, while that folder is there.
    State stateOf(const Storage &storage) const;

    // Every storage of the catalogue with its identity, by key.
    static QHash<qint64, Storage> readStorages(Connection &connection);
    // The storage of that key; recId 0 when there is none.
    static Storage readStorage(Connection &connection, qint64 recId);

    // The picture's file path as it is reached now: a FullPath under the storage's Unit with
    // that Unit replaced by where the disk is mounted now.
    static QString reachablePath(const QString &fullPath, const QString &unit, const State &state);

    // What a window tells instead of opening a picture whose disk is not connected.
    static QString connectDiskMessage(const Storage &storage);
    // What a window shows beside a storage whose disk is not connected: which disk, by its
    // label (or the storage's name), its type and UUID when known, and where it was mounted.
    static QString disconnectedText(const Storage &storage);
    // The storages of the catalogue whose disk is not connected now, each with its
    // disconnectedText(): one look at the mount table for them all. Throws DbError.
    QHash<qint64, QString> offlineStorages(Connection &connection) const;

    // A picture's file as "Ampliar", "Visualizar" and the outside viewer reach it: where it
    // is now, or, when its storage's disk is not connected, the message to show instead.
    struct PictureFile {
        bool online = true;
        QString path; // the file now (online)
        QString message; // "Conecte o disco «...» para abrir esta imagem." (offline)
    };
    PictureFile pictureFile(Connection &connection, qint64 location, const QString &fullPath,
        const QString &fileName) const;

    const MountedVolumes &mounted() const { return m_mounted; }

private:
    MountedVolumes m_mounted;
};
