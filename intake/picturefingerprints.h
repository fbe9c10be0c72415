#pragma once

#include "intake/contentfingerprint.h"

#include <QDateTime>
#include <memory>
#include <optional>

class Connection;
class QImage;
class Statement;

// The fingerprints of each reviewed picture, in a table of their own keyed by the picture and
// deleted with it: what its bytes are (ContentFingerprint) and what it looks like (a
// perceptual hash of its thumbnail). A catalogue gets the table with the first fingerprint
// written; opening never writes, and a catalogue without it has no fingerprints.
namespace PictureFingerprints {

struct Entry {
    qint64 picture = 0;
    ContentFingerprint content;
    std::optional<quint64> perceptual;
    // The picture's Modified when its file was read: a fingerprint of a file changed since
    // (a rescan moves Modified) is not taken for the file's.
    QDateTime modified;
};

// The entry of a picture as the review has it: the file's bytes when it read them whole,
// else the samples read from `path`; the perceptual hash of its thumbnail (or of the picture
// as drawn) when there is one.
Entry entryOf(qint64 picture, const QDateTime &modified, const QString &path,
    const QByteArray *wholeFile, const QImage &thumbnail);

// Records fingerprints; the table and its indexes are made by the first one. Runs in the
// caller's transaction (the review's writer holds one over many pictures) or, without one,
// commits each. Throws DbError.
class Writer {
public:
    explicit Writer(Connection &connection);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    void record(const Entry &entry);

private:
    Connection &m_connection;
    std::unique_ptr<Statement> m_put;
};

// One entry, for a single picture.
void record(Connection &connection, const Entry &entry);

// True when the catalogue holds the table.
bool exists(Connection &connection);
// Makes the table and its indexes when the catalogue lacks them (a copied catalogue).
void createTable(Connection &connection);

} // namespace PictureFingerprints
