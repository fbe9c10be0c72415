#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

#include <atomic>

// What the "Duplicatas" window lists: the finder's groups with, for each picture, the disk it
// lives on and whether that disk is connected. Made away from the window thread, on a
// connection of its own to the catalogue file, so a long confirmation of large files never
// holds the window; reads only.
class DuplicateReport {
public:
    struct Picture {
        qint64 picture = 0;
        qint64 storage = 0; // 0: none
        QString storageName;
        QString folder; // FullPath as catalogued
        QString fileName;
        bool online = true;
        QString offlineText; // which disk to connect, when offline
    };
    struct Group {
        QList<Picture> pictures;
    };
    struct Request {
        QString catalogue; // the catalogue file
        bool similar = false;
        int distance = 6;
    };

    QString catalogue; // the file the report was made of
    bool similar = false;
    QList<Group> groups;
    QString error; // the engine's text when the report could not be made
    bool cancelled = false;

    int pictureCount() const;

    // Runs the finder on its own connection; never throws (a failure is in `error`). A
    // cancel asked meanwhile is seen between the finder's steps.
    static DuplicateReport make(const Request &request, const std::atomic_bool *cancel = nullptr);
};

Q_DECLARE_METATYPE(DuplicateReport)
