#include "intake/drivelist.h"

#include "intake/mountedvolumes.h"
#include "intake/storagefordrive.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>

namespace {

QString withoutTrailingDelimiter(QString root)
{
    while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root;
}

bool isPseudo(const QStorageInfo &volume)
{
    static const QByteArray pseudoTypes[] = { "proc", "sysfs", "devtmpfs", "devpts", "cgroup",
        "cgroup2", "securityfs", "debugfs", "tracefs", "pstore", "bpf", "mqueue", "hugetlbfs",
        "configfs", "fusectl", "autofs", "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs" };
    const QByteArray type = volume.fileSystemType();
    for (const QByteArray &t : pseudoTypes) {
        if (type == t)
            return true;
    }
    const QString root = volume.rootPath();
    for (const char *prefix : { "/proc", "/sys", "/dev", "/run/user", "/snap" }) {
        const QString p = QString::fromLatin1(prefix);
        if (root == p || root.startsWith(p + QLatin1Char('/')))
            return true;
    }
    return false;
}

// The label the file system carries (read by libblkid, so also where no udev names it), else
// the one the system knows, else the mount point.
QString labelOf(const QStorageInfo &volume, const MountedVolumes &mounted)
{
    const QString root = withoutTrailingDelimiter(volume.rootPath());
    const QString label = mounted.identityAt(root).label.trimmed();
    if (!label.isEmpty())
        return label;
    const QString name = volume.name();
    return name.isEmpty() ? root : name;
}

} // namespace

QList<DriveList::Drive> DriveList::mountedDrives()
{
    QList<Drive> drives;
    const MountedVolumes mounted = MountedVolumes::current();
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() || isPseudo(volume))
            continue;
        const QString root = withoutTrailingDelimiter(volume.rootPath());
        // Bind mounts of single files (as containers have) are not places to scan.
        if (!QFileInfo(root).isDir())
            continue;
        if (std::any_of(
                drives.cbegin(), drives.cend(), [&](const Drive &d) { return d.root == root; }))
            continue;
        drives.append({ root, labelOf(volume, mounted) });
    }
    std::sort(drives.begin(), drives.end(), [](const Drive &a, const Drive &b) {
        if ((a.root == QLatin1String("/")) != (b.root == QLatin1String("/")))
            return a.root == QLatin1String("/");
        return a.root < b.root;
    });
    if (drives.isEmpty() || drives.first().root != QLatin1String("/"))
        drives.prepend({ QStringLiteral("/"), displayName(QStringLiteral("/")) });
    return drives;
}

QString DriveList::displayName(const QString &drive)
{
    const QStorageInfo volume(drive.isEmpty() ? QStringLiteral("/") : drive);
    if (!volume.isValid())
        return drive;
    return labelOf(volume, MountedVolumes::current());
}

DriveList::Drive DriveList::driveOfFolder(const QString &folder)
{
    const QString root = driveOfPath(folder);
    return { root, displayName(root) };
}

QString DriveList::pathOf(const QString &drive)
{
    return drive.endsWith(QLatin1Char('/')) ? drive : drive + QLatin1Char('/');
}
