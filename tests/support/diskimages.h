#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <unistd.h>

// Real file systems in image files, made with the system's own tools, and loop mounts of
// them that a test undoes whatever it asserted.
namespace diskimages {

// Runs a tool; true when it ended with status 0.
inline bool tool(const QString &program, const QStringList &args, QString *output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return false;
    if (output)
        *output = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline bool sizedFile(const QString &path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.resize(size);
}

inline bool ext4Image(const QString &path, const QString &label, const QString &uuid)
{
    return sizedFile(path, 16 << 20)
        && tool(QStringLiteral("mkfs.ext4"), { "-q", "-F", "-L", label, "-U", uuid, path });
}

inline bool vfatImage(const QString &path, const QString &label, const QString &serial)
{
    return sizedFile(path, 8 << 20)
        && tool(QStringLiteral("mkfs.vfat"), { "-n", label, "-i", serial, path });
}

inline bool isoImage(const QString &path, const QString &volumeId, const QString &folder)
{
    return tool(QStringLiteral("genisoimage"), { "-quiet", "-V", volumeId, "-o", path, folder });
}

// Loop mounts made by a test, undone when it ends, whatever it asserted.
class LoopMounts {
public:
    LoopMounts() = default;
    LoopMounts(const LoopMounts &) = delete;
    LoopMounts &operator=(const LoopMounts &) = delete;
    ~LoopMounts()
    {
        for (auto it = m_points.crbegin(); it != m_points.crend(); ++it)
            tool(QStringLiteral("umount"), { *it });
    }
    // Empty when mounted; else why not (no permission, no loop devices).
    QString mount(const QString &image, const QString &point, bool readOnly = false)
    {
        QDir().mkpath(point);
        QString out;
        const QString options = readOnly ? QStringLiteral("loop,ro") : QStringLiteral("loop");
        if (!tool(QStringLiteral("mount"), { "-o", options, image, point }, &out))
            return out.trimmed().isEmpty() ? QStringLiteral("mount failed") : out.trimmed();
        m_points.append(point);
        return QString();
    }
    bool unmount(const QString &point)
    {
        if (!tool(QStringLiteral("umount"), { point }))
            return false;
        m_points.removeAll(point);
        return true;
    }

private:
    QStringList m_points;
};

// The reason a file system of that type cannot be loop-mounted here, or empty when it can.
inline QString mountRefusal(const QString &type = QStringLiteral("ext4"))
{
    if (::geteuid() != 0)
        return QStringLiteral("mounting a disk image needs the superuser");
    if (!QFileInfo::exists(QStringLiteral("/dev/loop-control"))
        && !QFileInfo::exists(QStringLiteral("/dev/loop0")))
        return QStringLiteral("this system has no loop devices");
    QFile known(QStringLiteral("/proc/filesystems"));
    if (known.open(QIODevice::ReadOnly)) {
        bool found = false;
        for (const QByteArray &line : known.readAll().split('\n'))
            found = found || line.split('\t').last().trimmed() == type.toLatin1();
        if (!found)
            return QStringLiteral("the kernel cannot mount %1 file systems").arg(type);
    }
    return QString();
}

} // namespace diskimages
