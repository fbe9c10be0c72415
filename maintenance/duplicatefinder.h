#pragma once

#include "intake/storagereach.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class Connection;
struct ContentFingerprint;

// The pictures that live more than once in the catalogue, from their recorded fingerprints:
// exact copies (the same size and the same bytes) and, when asked, similar pictures (their
// perceptual hashes within a distance: a resized or recompressed copy). Pictures of disks
// that are not connected are included; a fingerprint of a file changed since it was taken is
// not used. Reads only.
class DuplicateFinder {
public:
    struct Member {
        qint64 picture = 0;
        qint64 storage = 0; // 0: none
        QString storageName;
        QString fullPath; // as catalogued
        QString fileName;
        bool online = false; // its storage's disk is connected
    };
    using Group = QList<Member>;

    static constexpr int kMaxDistance = 16;

    DuplicateFinder(Connection &connection, const StorageReach &reach);

    // Groups of exact copies. A member whose bytes were fingerprinted only in samples is
    // confirmed over its whole file when its disk is connected; one that cannot be read
    // then is left out, and one whose disk is away joins the copies its samples match
    // unless they fall into several groups.
    QList<Group> exactGroups();
    // Groups of pictures within `distance` bits of one another, exact copies included.
    QList<Group> similarGroups(int distance);

    // Reads a whole file for a confirmation (tests count the reads).
    std::function<std::optional<ContentFingerprint>(const QString &path)> readWhole;

private:
    struct Row;
    Member describe(const Row &row) const;

    Connection &m_connection;
    const StorageReach &m_reach;
    QHash<qint64, StorageReach::Storage> m_storages;
    QHash<qint64, StorageReach::State> m_states;
};
