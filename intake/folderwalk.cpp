#include "intake/folderwalk.h"

#include "core/progresssink.h"
#include "intake/directorylisting.h"
#include "intake/mounttable.h"
#include "intake/scannames.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

void walkFolders(QList<QByteArray> &folders, ProgressSink &progress, SkippedNames &skipped)
{
    if (folders.isEmpty())
        return;
    const MountTable mounts = MountTable::below(folders.constFirst());
    for (qsizetype i = 0; i < folders.size(); ++i) {
        if (progress.cancelRequested())
            return;
        const QByteArray folder = folders.at(i);
        // The scanned folder itself may be reached through a link; nothing below it is.
        DirectoryListing listing(folder,
            i == 0 ? DirectoryListing::Links::Follow : DirectoryListing::Links::DoNotFollow);
        while (const dirent *entry = listing.next()) {
            const char *name = entry->d_name;
            if (name[0] != '.') {
                bool isDirectory = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN) {
                    struct stat st;
                    isDirectory = fstatat(listing.fd(), name, &st, AT_SYMLINK_NOFOLLOW) == 0
                        && S_ISDIR(st.st_mode);
                }
                if (isDirectory) {
                    const size_t length = std::strlen(name);
                    QByteArray path;
                    path.reserve(folder.size() + qsizetype(length) + 1);
                    path += folder;
                    path += '/';
                    path.append(name, qsizetype(length));
                    if (!scannames::isValidUtf8(name, length))
                        skipped.add(SkippedNames::Reason::NotUtf8, path);
                    else if (path.size() > scannames::pathLimit)
                        skipped.add(SkippedNames::Reason::TooLong, path);
                    else if (!mounts.contains(path)) // another drive, with its own storage
                        folders.append(path);
                }
            }
            progress.pump();
            if (progress.cancelRequested())
                break;
        }
    }
}
