#pragma once

#include <QList>
#include <QString>

// The mounted volumes offered by the drive picker, each with the text that names a new
// storage: the volume's label, or its mount point when it has none.
class DriveList {
public:
    struct Drive {
        QString root; // the drive, as driveOfPath gives it
        QString displayName; // the picker's entry text
    };

    // The root file system first, then the other real volumes by mount point; pseudo file
    // systems (proc, sysfs, cgroups, devices) are left out.
    static QList<Drive> mountedDrives();
    // The entry text of a drive, also for one that mountedDrives() leaves out.
    static QString displayName(const QString &drive);
    // The drive that holds a folder (typed or picked) and the entry text the picker shows
    // for it, which names a new storage of a drive without a label.
    static Drive driveOfFolder(const QString &folder);
    // The path the picker stands on for a drive: the drive with a trailing delimiter.
    static QString pathOf(const QString &drive);
};
