#pragma once

#include <QString>

#include <functional>
#include <vector>

// The stale thumbnails a scan deletes. The thumbnail folder is listed once at the start, so
// that the many files whose pictures have no thumbnail cost no failing unlink each.
class ThumbnailSweep {
public:
    // nameOf: the thumbnail file of a key (the store's GetThumbnailName).
    explicit ThumbnailSweep(std::function<QString(qint64)> nameOf);

    void remove(qint64 recId);

private:
    std::function<QString(qint64)> m_nameOf;
    std::vector<qint64> m_keys; // keys that have a thumbnail file, sorted
};
