#include "intake/thumbnailfile.h"

#include "core/ownedtemporary.h"
#include "intake/jpegconv.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Creates path exclusively and writes bytes to it; 0 or the errno of the failure.
int writeNew(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    int failure = 0;
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0 && failure == 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno != EINTR) {
            failure = errno;
        } else if (n > 0) {
            data += n;
            left -= n;
        }
    }
    // Some file systems report a full disk only when the file is closed.
    if (::close(fd) != 0 && failure == 0 && errno != EINTR)
        failure = errno;
    if (failure != 0)
        ::unlink(path.constData());
    return failure;
}

} // namespace

QString ThumbnailFile::writeError(const QString &path, const QString &reason)
{
    return QStringLiteral("Não foi possível gravar o arquivo \"%1\". %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

void ThumbnailFile::write(const QString &target, const QByteArray &bytes)
{
    int failure = 0;
    for (int attempt = 0; attempt < 10; ++attempt) {
        const QByteArray temporary = QFile::encodeName(OwnedTemporary::nameFor(target));
        failure = writeNew(temporary, bytes);
        if (failure == EEXIST)
            continue;
        if (failure == 0) {
            // rename(2) replaces the target in one step; QFile::rename refuses to.
            if (std::rename(temporary.constData(), QFile::encodeName(target).constData()) == 0)
                return;
            failure = errno;
            ::unlink(temporary.constData());
        }
        break;
    }
    throw JpegError(writeError(target, systemReason(failure)), 0, JpegError::Where::Destination);
}

bool ThumbnailFile::canWriteIn(const QString &folder, QString *error)
{
    QDir().mkpath(folder);
    const QString probe = QDir(folder).filePath(QStringLiteral("probe"));
    const QByteArray temporary = QFile::encodeName(OwnedTemporary::nameFor(probe));
    const int failure = writeNew(temporary, QByteArray());
    if (failure == 0) {
        ::unlink(temporary.constData());
        return true;
    }
    if (error)
        *error = QStringLiteral("Não foi possível gravar na pasta de miniaturas \"%1\". %2")
                     .arg(QDir::toNativeSeparators(folder), systemReason(failure));
    return false;
}

int ThumbnailFile::removeAbandoned(const QString &folder)
{
    return OwnedTemporary::removeAbandoned(folder);
}
