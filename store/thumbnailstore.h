#pragma once

#include <QList>
#include <QSet>
#include <QString>

#include <memory>

class Connection;

// Where a catalogue keeps its thumbnails, chosen with its engine. A catalogue file has them
// only as files in its thumbnail folder beside the program. A catalogue on a server is seen
// from many machines: it keeps every thumbnail in its own table (PictureThumbnails: the
// picture, when the thumbnail was made, its JPEG bytes; deleted with the picture), and the
// thumbnail folder of each machine becomes a cache of it, filled on demand. A cached copy
// carries the time its thumbnail was made as its modification time, so a copy the server
// has replaced since is known and fetched again.
//
// Every writer of a thumbnail file tells kept(); every reader asks refresh() for the pictures
// it is about to show (many at once: one round trip for the lot) and then reads the files as
// before. On a file every call does nothing.
class ThumbnailStore {
public:
    virtual ~ThumbnailStore() = default;
    ThumbnailStore(const ThumbnailStore &) = delete;
    ThumbnailStore &operator=(const ThumbnailStore &) = delete;

    // The thumbnails of the catalogue open on connection, the machine's own in folder.
    static std::unique_ptr<ThumbnailStore> of(Connection &connection, const QString &folder);

    // The name of a picture's thumbnail file: its key zero-filled to 8 digits.
    static QString fileName(qint64 picture);
    // The picture a file name names; 0 for any other name.
    static qint64 pictureOf(const QString &fileName);
    QString folder() const { return m_folder; }
    QString fileOf(qint64 picture) const;

    // The thumbnail files of these pictures were just written: the catalogue keeps them
    // too. Runs in the caller's transaction when there is one. Throws DbError; the files
    // stay, and keepMissing() gives them to the catalogue later.
    virtual void kept(const QList<qint64> &pictures) { Q_UNUSED(pictures); }
    // The local copies of these pictures made what the catalogue keeps: fetched when
    // missing or made before the catalogue's, removed when the picture has left the
    // catalogue. A copy the catalogue does not have yet stays. Throws DbError.
    virtual void refresh(const QList<qint64> &pictures) { Q_UNUSED(pictures); }
    // The catalogue's thumbnails of these pictures deleted (a rescan's stale ones), in the
    // caller's transaction when there is one. Throws DbError.
    virtual void forget(const QList<qint64> &pictures) { Q_UNUSED(pictures); }
    // The pictures whose thumbnail the catalogue itself keeps (none for a file).
    virtual QSet<qint64> keptPictures() { return {}; }
    // Gives the catalogue every thumbnail file of the folder it lacks (a write cut short,
    // a copied folder) of a picture reviewed; returns how many. Throws DbError.
    virtual int keepMissing() { return 0; }
    // Every thumbnail the catalogue keeps copied into the folder; returns how many.
    int fetchAll();

    // The statement that makes the catalogue's thumbnail table (a server catalogue's).
    static QString tableSql();

    // The thumbnail files in the folder, by picture.
    QSet<qint64> filesPresent() const;

protected:
    ThumbnailStore(Connection &connection, const QString &folder)
        : m_connection(connection), m_folder(folder)
    {
    }

    Connection &m_connection;
    QString m_folder;
};
