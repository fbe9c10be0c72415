#pragma once

#include <QString>

class Connection;
class ThumbnailStore;

// A whole catalogue copied into a new one, from either engine to either engine: every row
// of the catalogue's tables and of the extra tables the source holds (volume identities,
// fingerprints, transfer security), keys included, in one transaction on the target, so a
// failure leaves the target as it was made. The target keeps an identity of its own, so
// the two never share a thumbnail folder; the thumbnails go where each engine keeps them
// (ThumbnailStore).
namespace CatalogueCopy {

// Copies the rows of `from` into `to`, a catalogue just made (its reference rows are
// replaced by the source's). Returns the rows copied. Throws DbError.
qint64 copyRows(Connection &from, Connection &to);

// Copies the thumbnails of one catalogue into another: those `from` keeps fetched into its
// folder, the files copied into `to`'s folder (made when missing) each whole under its name,
// and given to `to` where it keeps them itself. Returns the thumbnails copied. Throws
// DbError.
int copyThumbnails(ThumbnailStore &from, ThumbnailStore &to);

} // namespace CatalogueCopy
