#include "intake/mountedvolumes.h"

#include <QFile>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

QString withoutTrailingDelimiter(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

QByteArray MountedVolumes::unescape(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int code = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field.at(i);
    }
    return out;
}

MountedVolumes MountedVolumes::current()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return fromMountInfo(file.readAll());
}

MountedVolumes MountedVolumes::fromMountInfo(const QByteArray &text)
{
    MountedVolumes table;
    for (const QByteArray &line : text.split('\n')) {
        // ID PARENT MAJ:MIN ROOT POINT OPTIONS [TAGS...] - TYPE SOURCE SUPEROPTIONS
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        Volume v;
        v.root = unescape(fields.at(3));
        v.mountPoint = withoutTrailingDelimiter(QFile::decodeName(unescape(fields.at(4))));
        const qsizetype dash = fields.indexOf("-", 6);
        QByteArray source;
        if (dash > 0 && dash + 2 < fields.size()) {
            v.type = QString::fromUtf8(fields.at(dash + 1));
            source = unescape(fields.at(dash + 2));
        }
        const QList<QByteArray> numbers = fields.at(2).split(':');
        if (numbers.size() == 2)
            v.device = makedev(numbers.at(0).toUInt(), numbers.at(1).toUInt());
        // Some file systems (btrfs) give their mounts a number of their own: the device is
        // the one the source names.
        if (major(v.device) == 0) {
            struct stat st;
            v.device = source.startsWith("/dev/") && ::stat(source.constData(), &st) == 0
                    && S_ISBLK(st.st_mode)
                ? st.st_rdev
                : 0;
        }
        table.m_volumes.append(v);
    }
    return table;
}

bool MountedVolumes::isMountPoint(const QString &path) const
{
    const QString point = withoutTrailingDelimiter(path);
    for (const Volume &v : m_volumes) {
        if (v.mountPoint == point)
            return true;
    }
    return false;
}

VolumeIdentity MountedVolumes::identityOf(const Volume &volume) const
{
    if (volume.device == 0)
        return {};
    auto it = m_identities.constFind(volume.device);
    if (it == m_identities.cend()) {
        VolumeIdentity id = VolumeIdentity::ofDevice(volume.device);
        if (id.isValid() && id.type.isEmpty())
            id.type = volume.type;
        it = m_identities.insert(volume.device, id);
    }
    return *it;
}

VolumeIdentity MountedVolumes::identityAt(const QString &mountPoint) const
{
    const QString point = withoutTrailingDelimiter(mountPoint);
    // The last mount at a point hides the ones below it.
    for (auto it = m_volumes.crbegin(); it != m_volumes.crend(); ++it) {
        if (it->mountPoint == point)
            return it->root == "/" ? identityOf(*it) : VolumeIdentity();
    }
    return {};
}

QString MountedVolumes::mountPointOf(const VolumeIdentity &identity) const
{
    if (!identity.isValid())
        return QString();
    for (const Volume &v : m_volumes) {
        if (v.root != "/" || v.device == 0)
            continue;
        // Only the mount that is visible at its point counts.
        if (identityAt(v.mountPoint).sameVolume(identity))
            return v.mountPoint;
    }
    return QString();
}
