#include "batch/filecopy.h"

#include "core/ownedtemporary.h"
#include "intake/picturefile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Closes a descriptor when the copy leaves its scope, whatever the road.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int release()
    {
        const int r = ::close(fd);
        fd = -1;
        return r;
    }
};

// Every byte of `in` into `out`: in the kernel when it can, by reading and writing when
// the file systems do not allow that. 0 or the errno of the failure.
int copyBytes(int in, int out, off_t size)
{
    off_t done = 0;
    bool kernel = true;
    while (kernel && done < size) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(size - done), 0);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP
            && errno != EPERM)
            return errno;
        kernel = false;
    }
    if (::lseek(in, done, SEEK_SET) < 0 || ::lseek(out, done, SEEK_SET) < 0)
        return errno;
    static constexpr size_t chunk = 1 << 20;
    QByteArray buffer(chunk, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;
        for (ssize_t put = 0; put < got;) {
            const ssize_t w = ::write(out, buffer.constData() + put, size_t(got - put));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            put += w;
        }
    }
}

} // namespace

QString copyFileReplacing(const QString &source, const QString &target)
{
    const QByteArray to = QFile::encodeName(target);
    const auto failure = [&](int error) {
        return QStringLiteral("Falha ao copiar %1 para %2: %3")
            .arg(source, target, systemText(error));
    };

    // Regular files only, opened without waiting: a FIFO would block the copy for good and a
    // device such as /dev/zero would never end it.
    QFile input;
    QString openError;
    switch (PictureFile::open(source, input, &openError)) {
    case PictureFile::Status::Opened: break;
    case PictureFile::Status::NotRegular:
        return PictureFile::openError(source, PictureFile::notRegularError());
    case PictureFile::Status::Missing:
    case PictureFile::Status::Failed: return openError;
    }
    const int in = input.handle();
    struct stat s { };
    if (::fstat(in, &s) != 0)
        return failure(errno);
    struct stat t { };
    if (::stat(to.constData(), &t) == 0 && t.st_dev == s.st_dev && t.st_ino == s.st_ino)
        return QStringLiteral("%1 não copiado: o destino é o próprio arquivo").arg(source);

    const QByteArray temporary = QFile::encodeName(OwnedTemporary::nameFor(target));
    // Published before it exists, so that an ending signal never leaves it behind.
    const OwnedTemporary published(temporary);
    Descriptor out;
    out.fd
        = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, s.st_mode & 0777);
    if (out.fd < 0)
        return failure(errno);

    int error = copyBytes(in, out.fd, s.st_size);
    // The copy keeps the source's times: a later scan knows a file by its name and time.
    const struct timespec times[2] = { s.st_atim, s.st_mtim };
    if (!error && ::futimens(out.fd, times) != 0)
        error = errno;
    if (out.release() != 0 && !error)
        error = errno;
    if (!error && std::rename(temporary.constData(), to.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.constData());
        return failure(error);
    }
    return QString();
}
