#pragma once

#include <QByteArray>
#include <QSet>

// The mount points below a folder: each is another drive, with a storage of its own, so a
// walk of the folder does not enter them.
class MountTable {
public:
    // Reads the process's mount table; `root` is a path without a trailing delimiter (the
    // root file system is the empty path).
    static MountTable below(const QByteArray &root);

    bool contains(const QByteArray &path) const
    {
        return !m_points.isEmpty() && m_points.contains(path);
    }

private:
    QSet<QByteArray> m_points;
};
