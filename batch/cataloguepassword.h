#pragma once

#include <QString>

// The password of a catalogue on a server, as the keyring keeps it: under
// "postgresql:USER@HOST[:PORT]" (the user libpq would log in as when the location names
// none). Files have none.
namespace cataloguepassword {

QString keyringKey(const QString &location);
// The keyring's password for the location; empty when it holds none or none answers (libpq
// then looks in ~/.pgpass).
QString fromKeyring(const QString &location);

// Stores the password in the keyring under the location's key, replacing what it held;
// the keyring's own text when none answers, empty once stored.
QString keep(const QString &location, const QString &password);

} // namespace cataloguepassword
