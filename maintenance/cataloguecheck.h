#pragma once

#include <QList>
#include <QString>

class Connection;

// A health check of a catalogue and its thumbnail folder: the engine's integrity and
// foreign-key checks, thumbnails that belong to no picture, temporary files a killed
// writer left behind, and pictures whose file is missing, counted per storage. A storage
// whose disk is not connected is offline (StorageReach): its pictures are not missing, only
// out of reach.
class CatalogueCheck {
public:
    enum class Kind {
        Integrity, // a line of PRAGMA integrity_check
        ForeignKey, // a row that names a missing parent
        OrphanThumbnail, // a thumbnail file whose picture is not in the catalogue
        LeftoverTemporary, // a thumbnail writer's temporary whose process has ended
        MissingFiles, // pictures of one storage whose file is not there
        OfflineStorage, // a storage whose drive is not mounted
    };
    struct Finding {
        Kind kind = Kind::Integrity;
        QString table; // ForeignKey: the child table, and `parent` the table it names
        QString parent;
        qint64 key = 0; // the row (ForeignKey), the storage (MissingFiles, OfflineStorage)
        QString name; // the storage's name
        QString path; // the file (thumbnails, temporaries), the unit (OfflineStorage)
        QString text; // Integrity: the engine's message
        qint64 count = 0; // pictures missing or out of reach
        bool repaired = false; // removed by repair()
    };

    CatalogueCheck(Connection &connection, const QString &thumbnailFolder)
        : m_connection(connection), m_thumbnails(thumbnailFolder)
    {
    }

    // Runs every check; reads, never writes. Throws DbError.
    QList<Finding> run();
    // Removes the orphan thumbnails and leftover temporaries among the findings (never a
    // row) and marks them; returns how many files went.
    static int repair(QList<Finding> &findings);

private:
    void checkEngine(QList<Finding> &out);
    void checkThumbnails(QList<Finding> &out);
    void checkPictureFiles(QList<Finding> &out);

    Connection &m_connection;
    QString m_thumbnails;
};
