#pragma once

#include <QByteArray>

#include <dirent.h>
#include <sys/types.h>

// Device and inode: what names a folder whatever path reaches it.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool valid = false;
    bool operator==(const FileId &other) const
    {
        return valid && other.valid && device == other.device && inode == other.inode;
    }
};

// The FileId of a path, following links; invalid when it cannot be read.
FileId fileIdOf(const QByteArray &path);

// One folder opened for listing, closed by the destructor whatever way its reader leaves.
class DirectoryListing {
public:
    enum class Links { Follow, DoNotFollow };

    // `path` without a trailing delimiter (the root file system is the empty path). A folder
    // that cannot be opened lists nothing.
    DirectoryListing(const QByteArray &path, Links links);
    ~DirectoryListing();
    DirectoryListing(const DirectoryListing &) = delete;
    DirectoryListing &operator=(const DirectoryListing &) = delete;

    bool isOpen() const { return m_dir != nullptr; }
    // The descriptor for calls relative to the folder (fstatat).
    int fd() const { return m_fd; }
    FileId id() const;
    // The next entry, "." and ".." included; null at the end.
    const dirent *next();

private:
    DIR *m_dir = nullptr;
    int m_fd = -1;
};
