#pragma once

#include <QString>

#include <QList>

#include <functional>
#include <memory>
#include <vector>

class ThumbnailStore;

// The stale thumbnails a scan deletes. The thumbnail folder is listed once at the start, so
// that the many files whose pictures have no thumbnail cost no failing unlink each; so are
// the thumbnails the catalogue keeps itself (a server's), deleted many at once in the
// scan's transaction.
class ThumbnailSweep {
public:
    // nameOf: the thumbnail file of a key (the store's GetThumbnailName); kept: where the
    // catalogue keeps its thumbnails, if anywhere but the folder. Throws DbError.
    explicit ThumbnailSweep(
        std::function<QString(qint64)> nameOf, std::unique_ptr<ThumbnailStore> kept = {});
    ~ThumbnailSweep();

    // Throws DbError.
    void remove(qint64 recId);
    // Deletes what remove() left for later. Throws DbError.
    void flush();

private:
    std::function<QString(qint64)> m_nameOf;
    std::vector<qint64> m_keys; // keys that have a thumbnail file, sorted
    std::unique_ptr<ThumbnailStore> m_kept;
    std::vector<qint64> m_keptKeys; // keys the catalogue has a thumbnail of, sorted
    QList<qint64> m_forget; // of those, the ones to delete
};
