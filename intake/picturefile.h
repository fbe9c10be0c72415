#pragma once

#include <QFile>
#include <QString>

// Opens a picture's file for reading without ever waiting on it: a name that has become a
// FIFO, a device or a socket would block open() or read() for good, so only regular files
// are taken.
class PictureFile {
public:
    enum class Status { Opened, Missing, NotRegular, Failed };

    // Opens path into file (closed first). Missing covers a path that names nothing, or a
    // folder, as "no file exists at path" does.
    static Status open(const QString &path, QFile &file, QString *error = nullptr);

    // The texts of the failures, in the program's words.
    static QString openError(const QString &path, const QString &reason);
    static QString notRegularError();
};
