#include "intake/directorylisting.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileId fileIdOf(const QByteArray &path)
{
    struct stat st;
    if (::stat(path.isEmpty() ? "/" : path.constData(), &st) != 0)
        return FileId();
    return { st.st_dev, st.st_ino, true };
}

DirectoryListing::DirectoryListing(const QByteArray &path, Links links)
{
    const int flags
        = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (links == Links::DoNotFollow ? O_NOFOLLOW : 0);
    const int fd = ::open(path.isEmpty() ? "/" : path.constData(), flags);
    if (fd < 0)
        return;
    m_dir = ::fdopendir(fd);
    if (!m_dir) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

DirectoryListing::~DirectoryListing()
{
    if (m_dir)
        ::closedir(m_dir); // closes the descriptor too
}

FileId DirectoryListing::id() const
{
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return FileId();
    return { st.st_dev, st.st_ino, true };
}

const dirent *DirectoryListing::next()
{
    return m_dir ? ::readdir(m_dir) : nullptr;
}
