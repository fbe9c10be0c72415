#pragma once

#include <QString>
#include <sys/types.h>

// The identity a file system carries in itself, whatever computer or mount point it is on:
// its UUID (for a FAT volume its serial number, for an optical disc its creation time), its
// label (an optical disc's volume id) and its type, as libblkid reads them.
struct VolumeIdentity {
    QString type; // "ext4", "vfat", "iso9660"
    QString uuid; // empty: the volume has no readable identity
    QString label;

    bool isValid() const { return !uuid.isEmpty(); }
    // The same volume: the same UUID; for an optical disc, whose UUID is only the second it
    // was mastered, also the same volume id. A relabelled disk stays the same disk.
    bool sameVolume(const VolumeIdentity &other) const;
    bool operator==(const VolumeIdentity &other) const = default;

    static bool isOptical(const QString &type);

    // Reads the superblock of a device or of a file holding a file system (a disk image),
    // from `offset` on and `size` bytes long (0: to the end). Never waits on a device that
    // does not answer at once; an unreadable one (no permission, no medium) has no identity.
    static VolumeIdentity probe(const QString &path, qint64 offset = 0, qint64 size = 0);

    // The identity of the block device with that number, read without waiting: a loop
    // device through its backing file, then the device itself, then what udev recorded of it
    // (readable by an ordinary user who may not read the device).
    static VolumeIdentity ofDevice(dev_t device);
};
