#pragma once

#include <QString>

class Connection;

// The catalogue's own identity: a random UUID kept in a table of its own, one row. What
// belongs to a catalogue outside its file (its thumbnails) is tied to it rather than to the
// file's path, so it follows the catalogue when the file is moved or copied. A catalogue made
// before the table existed gets it at its first write that needs it, never on opening.
namespace CatalogueIdentity {

// The identity in its lower-case text form ("1b4e28ba-2fa1-11d2-883f-0016d3cca427"); empty
// when the catalogue has none (no table, no row, or a value that is not a UUID). Reads only.
QString read(Connection &connection);

// The identity, written first when the catalogue has none, in a transaction of its own (a
// value that is not a UUID is replaced). Throws DbError; the connection must not be inside
// a transaction, so that an identity once returned is committed.
QString ensure(Connection &connection);

// The table and its row, for a new catalogue inside the creating transaction.
void create(Connection &connection);

// The canonical text of a UUID; empty when text is not one.
QString canonical(const QString &text);

} // namespace CatalogueIdentity
