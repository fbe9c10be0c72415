#pragma once

#include "intake/volumeidentity.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>
#include <sys/types.h>

// What is mounted now, read once from the process's mount table: each mount point with the
// device behind it and, asked for, that device's volume identity (probed once per device).
class MountedVolumes {
public:
    struct Volume {
        QString mountPoint; // without a trailing delimiter, except the root "/"
        QByteArray root; // the folder of its file system mounted there ("/" for the whole)
        dev_t device = 0; // 0: no block device (tmpfs, proc, a network share)
        QString type; // the file system type the kernel mounted
    };

    // The mount table of this process now.
    static MountedVolumes current();
    // A table given as /proc/self/mountinfo text (tests).
    static MountedVolumes fromMountInfo(const QByteArray &text);

    const QList<Volume> &volumes() const { return m_volumes; }
    // True when something is mounted exactly at that path.
    bool isMountPoint(const QString &path) const;
    // The identity of the volume mounted at that point; empty when none is mounted there or
    // it has none.
    VolumeIdentity identityAt(const QString &mountPoint) const;
    // Where the volume is mounted whole now (the first such mount point); empty when it is
    // not mounted. A mount of only one of its folders does not count.
    QString mountPointOf(const VolumeIdentity &identity) const;

    // Mount points are written with \ooo escapes for blanks and the like.
    static QByteArray unescape(const QByteArray &field);

private:
    VolumeIdentity identityOf(const Volume &volume) const;

    QList<Volume> m_volumes;
    mutable QHash<dev_t, VolumeIdentity> m_identities;
};
