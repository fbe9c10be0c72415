#include "intake/picturefile.h"

#include <QDir>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString PictureFile::openError(const QString &path, const QString &reason)
{
    return QStringLiteral("Não foi possível abrir o arquivo \"%1\". %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString PictureFile::notRegularError()
{
    return QStringLiteral("O arquivo não é um arquivo comum.");
}

PictureFile::Status PictureFile::open(const QString &path, QFile &file, QString *error)
{
    const auto fail = [error](Status status, const QString &text) {
        if (error)
            *error = text;
        return status;
    };
    file.close();
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        const QString reason = QString::fromLocal8Bit(std::strerror(code));
        if (code == ENOENT || code == ENOTDIR)
            return fail(Status::Missing, openError(path, reason));
        return fail(Status::Failed, openError(path, reason));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return fail(Status::Failed, openError(path, reason));
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail(
            Status::Missing, openError(path, QString::fromLocal8Bit(std::strerror(EISDIR))));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(Status::NotRegular, notRegularError());
    }
    // A regular file never blocks; reads are plain blocking reads from here on.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(Status::Failed, openError(path, file.errorString()));
    }
    return Status::Opened;
}
