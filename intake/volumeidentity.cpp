#include "intake/volumeidentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <blkid/blkid.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Labels are bytes; nearly always UTF-8, else an old code page read as Latin-1.
QString textOf(const char *data)
{
    const QByteArray bytes(data);
    const QString utf8 = QString::fromUtf8(bytes);
    if (utf8.contains(QChar::ReplacementCharacter) && !bytes.contains("\xEF\xBF\xBD"))
        return QString::fromLatin1(bytes);
    return utf8;
}

// udev writes names with \xHH in place of blanks, slashes and anything unsafe.
QString decodeUdev(const QByteArray &encoded)
{
    QByteArray out;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded.at(i) == '\\' && i + 3 < encoded.size() && encoded.at(i + 1) == 'x') {
            bool ok = false;
            const int code = encoded.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += encoded.at(i);
    }
    return textOf(out.constData());
}

QByteArray readSmall(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(4096).trimmed();
}

QString sysfsOf(dev_t device)
{
    return QStringLiteral("/sys/dev/block/%1:%2").arg(major(device)).arg(minor(device));
}

VolumeIdentity fromLoop(dev_t device)
{
    const QString loop = sysfsOf(device) + QStringLiteral("/loop/");
    QByteArray backing = readSmall(loop + QStringLiteral("backing_file"));
    if (backing.isEmpty())
        return {};
    // A backing file removed while attached is named with this mark; the name is not its.
    if (backing.endsWith(" (deleted)"))
        return {};
    const qint64 offset = readSmall(loop + QStringLiteral("offset")).toLongLong();
    const qint64 size = readSmall(loop + QStringLiteral("sizelimit")).toLongLong();
    return VolumeIdentity::probe(QFile::decodeName(backing), offset, size);
}

VolumeIdentity fromUdev(dev_t device)
{
    QFile file(QStringLiteral("/run/udev/data/b%1:%2").arg(major(device)).arg(minor(device)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    VolumeIdentity id;
    QString plainLabel;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("E:ID_FS_UUID="))
            id.uuid = QString::fromUtf8(line.mid(13));
        else if (line.startsWith("E:ID_FS_TYPE="))
            id.type = QString::fromUtf8(line.mid(13));
        else if (line.startsWith("E:ID_FS_LABEL_ENC="))
            id.label = decodeUdev(line.mid(18));
        else if (line.startsWith("E:ID_FS_LABEL="))
            plainLabel = QString::fromUtf8(line.mid(14));
    }
    if (id.label.isEmpty())
        id.label = plainLabel;
    return id;
}

VolumeIdentity fromDeviceNode(dev_t device)
{
    for (const QByteArray &line :
        readSmall(sysfsOf(device) + QStringLiteral("/uevent")).split('\n')) {
        if (!line.startsWith("DEVNAME="))
            continue;
        const QByteArray node = "/dev/" + line.mid(8);
        struct stat st;
        // The node must be the device itself, not a name another device took since.
        if (::stat(node.constData(), &st) != 0 || !S_ISBLK(st.st_mode) || st.st_rdev != device)
            return {};
        return VolumeIdentity::probe(QFile::decodeName(node));
    }
    return {};
}

// The names udev's links give the device in /dev/disk/by-uuid and by-label.
QString linkNameOf(const QString &folder, dev_t device)
{
    const QDir dir(folder);
    for (const QString &name :
        dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        struct stat st;
        if (::stat(QFile::encodeName(dir.filePath(name)).constData(), &st) == 0
            && S_ISBLK(st.st_mode) && st.st_rdev == device)
            return decodeUdev(QFile::encodeName(name));
    }
    return QString();
}

} // namespace

bool VolumeIdentity::isOptical(const QString &type)
{
    return type == QLatin1String("iso9660") || type == QLatin1String("udf");
}

bool VolumeIdentity::sameVolume(const VolumeIdentity &other) const
{
    if (!isValid() || uuid.compare(other.uuid, Qt::CaseInsensitive) != 0)
        return false;
    if (isOptical(type) || isOptical(other.type))
        return type == other.type && label == other.label;
    return true;
}

VolumeIdentity VolumeIdentity::probe(const QString &path, qint64 offset, qint64 size)
{
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: a drive without a medium, or a FIFO under the name, answers at once.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return {};
    struct stat st;
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
        ::close(fd);
        return {};
    }
    VolumeIdentity id;
    if (blkid_probe probe = blkid_new_probe()) {
        if (blkid_probe_set_device(probe, fd, offset, size) == 0) {
            blkid_probe_enable_superblocks(probe, 1);
            blkid_probe_set_superblocks_flags(
                probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
            // File systems only: RAID and crypto members carry no files to catalogue.
            blkid_probe_filter_superblocks_usage(probe, BLKID_FLTR_ONLYIN, BLKID_USAGE_FILESYSTEM);
            if (blkid_do_safeprobe(probe) == 0) {
                const char *value = nullptr;
                if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0)
                    id.type = QString::fromUtf8(value);
                if (blkid_probe_lookup_value(probe, "UUID", &value, nullptr) == 0)
                    id.uuid = QString::fromUtf8(value);
                if (blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0)
                    id.label = textOf(value);
            }
        }
        blkid_free_probe(probe);
    }
    ::close(fd);
    return id;
}

VolumeIdentity VolumeIdentity::ofDevice(dev_t device)
{
    if (major(device) == 0)
        return {};
    for (auto source : { fromLoop, fromUdev, fromDeviceNode }) {
        const VolumeIdentity id = source(device);
        if (id.isValid())
            return id;
    }
    VolumeIdentity id;
    id.uuid = linkNameOf(QStringLiteral("/dev/disk/by-uuid"), device);
    if (id.isValid())
        id.label = linkNameOf(QStringLiteral("/dev/disk/by-label"), device);
    return id;
}
