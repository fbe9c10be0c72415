#pragma once

#include <QString>

class Connection;

// A whole catalogue copied into a new one, from either engine to either engine: every row
// of the catalogue's tables and of the extra tables the source holds (volume identities,
// fingerprints, transfer security), keys included, in one transaction on the target, so a
// failure leaves the target as it was made. The target keeps an identity of its own, so
// the two never share a thumbnail folder; the thumbnails are copied as files.
namespace CatalogueCopy {

// Copies the rows of `from` into `to`, a catalogue just made (its reference rows are
// replaced by the source's). Returns the rows copied. Throws DbError.
qint64 copyRows(Connection &from, Connection &to);

// Copies the thumbnail files of one catalogue's folder into another's (made when missing),
// each whole under its name. Returns the files copied.
int copyThumbnails(const QString &fromFolder, const QString &toFolder);

} // namespace CatalogueCopy
