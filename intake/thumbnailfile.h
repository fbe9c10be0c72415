#pragma once

#include <QByteArray>
#include <QString>

// The one writer of thumbnail files. A thumbnail is written under a hidden temporary name
// beside it and renamed into place, so that no one ever sees half a thumbnail: any file
// under a thumbnail's name is taken as the thumbnail. The temporary name carries the
// writing process's id (".00000042.jpg.<pid>.<random>.tmp"), so that the temporaries a
// killed process left behind can be told from those of a process still writing.
// (QSaveFile names its temporaries after the target alone, so their owner cannot be told.)
class ThumbnailFile {
public:
    // Replaces target with bytes in one step. Throws JpegError (destination()) whose text
    // names target and keeps the system's reason; target is then as it was.
    static void write(const QString &target, const QByteArray &bytes);

    // Whether a file can be created in folder (made when missing); *error says why not.
    static bool canWriteIn(const QString &folder, QString *error);

    // Removes the temporaries in folder whose process has ended; returns how many.
    static int removeAbandoned(const QString &folder);

    // The text of a failed write of path, with the system's reason.
    static QString writeError(const QString &path, const QString &reason);
};
