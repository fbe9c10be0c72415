#pragma once

#include "intake/volumeidentity.h"

#include <QHash>
#include <QList>

class Connection;

// The volume identity of each storage made for a drive, in a table of its own keyed by the
// storage and deleted with it. A catalogue made before the table gets it with the first
// identity written; opening never writes, and a catalogue without it has no identities.
namespace StorageVolumes {

// The identity recorded for the storage; not valid when it has none.
VolumeIdentity read(Connection &connection, qint64 storage);
// Every recorded identity by storage.
QHash<qint64, VolumeIdentity> readAll(Connection &connection);
// The storages recorded for that volume, lowest key first.
QList<qint64> storagesOf(Connection &connection, const VolumeIdentity &identity);
// Records (or replaces) the storage's identity; runs in the caller's transaction when one
// is open. Throws DbError.
void record(Connection &connection, qint64 storage, const VolumeIdentity &identity);
// Makes the table and its index when the catalogue lacks them (a copied catalogue).
void createTable(Connection &connection);

} // namespace StorageVolumes
