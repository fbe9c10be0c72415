#pragma once

class Connection;

// The Formats rows of what the program now reads, brought into a catalogue made before it
// read them: the formats of phones and cameras (HEIC, AVIF, WebP, the RAW formats), in use
// and drawn by the program, and TIFF marked as drawn by the program itself. Written by the
// first write that needs them (the scan, `thumbs`, the options dialog's apply), never on
// opening; the Used marks a person chose are never changed, and no row is removed.
namespace FormatUpgrade {

// True when a row is missing or TIFF is not yet marked as drawn. Reads only.
bool needed(Connection &connection);
// Writes what is missing inside the caller's transaction; true when anything was written.
// Throws DbError.
bool apply(Connection &connection);
// For a caller outside any transaction: applies in a short transaction of its own when
// needed and the catalogue can be written; true when anything was written. Throws DbError.
bool ensure(Connection &connection);

} // namespace FormatUpgrade
