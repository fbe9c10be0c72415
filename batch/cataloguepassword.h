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

} // namespace cataloguepassword
