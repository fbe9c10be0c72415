#pragma once

#include <QList>
#include <QString>

class Connection;
class StorageReach;

// Every storage with the disk it stands for and whether that disk is connected: what
// `quillomar-cli storages` lists.
namespace StorageOverview {

struct Line {
    qint64 recId = 0;
    QString name;
    QString unit;
    QString label; // the volume's, when its identity is recorded
    QString uuid;
    bool online = false;
    QString mountPoint; // where its disk is now, when online
    qint64 pictures = 0;
};

// By key. Reads only; throws DbError.
QList<Line> lines(Connection &connection, const StorageReach &reach);

} // namespace StorageOverview
