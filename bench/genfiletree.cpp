#include "genfiletree.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace genfiletree {

namespace {

// One in every twenty files per extension; three in four are pictures of some kind.
const char *const extensions[20]
    = { ".jpg", ".jpg", ".jpg", ".jpg", ".JPG", ".jpg", ".jpeg", ".png", ".png", ".gif", ".bmp",
          ".tif", ".TIFF", ".ico", ".jpg", ".txt", ".xml", ".mp4", ".db", "" };
bool isPicture(int index)
{
    const QByteArray e = extensions[index % 20];
    return !(e == ".txt" || e == ".xml" || e == ".mp4" || e == ".db" || e.isEmpty());
}

QList<QByteArray> folderPaths(const QByteArray &root, int folders)
{
    QList<QByteArray> out;
    const int perTop = 50; // the top folder and its 49 subfolders
    for (int i = 0; out.size() < folders; ++i) {
        const QByteArray top = root + "/album" + QByteArray::number(i).rightJustified(3, '0');
        out << top;
        for (int j = 1; j < perTop && out.size() < folders; ++j)
            out << top + "/rolo" + QByteArray::number(j).rightJustified(2, '0');
    }
    return out;
}

} // namespace

Result expected(int files, int folders)
{
    Result r;
    r.files = files;
    r.folders = folders;
    for (int i = 0; i < files; ++i)
        r.pictures += isPicture(i);
    return r;
}

Result make(const QString &root, int files, int folders)
{
    Result r;
    QDir().mkpath(root);
    const QList<QByteArray> dirs = folderPaths(QFile::encodeName(root), folders);
    for (const QByteArray &d : dirs) {
        if (::mkdir(d.constData(), 0755) != 0 && errno != EEXIST)
            return r;
    }
    const time_t base = 1262304000; // 2010-01-01
    for (int i = 0; i < files; ++i) {
        const QByteArray &dir = dirs.at(i % dirs.size());
        const QByteArray path
            = dir + "/IMG_" + QByteArray::number(i).rightJustified(6, '0') + extensions[i % 20];
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return Result();
        const bool sized = ::ftruncate(fd, off_t((qint64(i) * 7919) % 5000000)) == 0;
        ::close(fd);
        const struct timespec times[2]
            = { { base + time_t(i) * 2, 0 }, { base + time_t(i) * 2, 0 } };
        if (!sized || ::utimensat(AT_FDCWD, path.constData(), times, 0) != 0)
            return Result();
    }
    r = expected(files, folders);
    return r;
}

} // namespace genfiletree
