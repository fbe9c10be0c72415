#pragma once

#include <QHash>
#include <QString>
#include <QVector>

class Connection;

// The folders of one storage's pictures, built from their FullPath, as the "Pastas" tab and
// `quillomar-cli tree --folders` show them: the levels below the storage's Unit, each
// folder's subfolders in Portuguese name order, then its pictures in name order. A path
// outside the Unit (a disk moved without a rescan) hangs its levels from the storage too.
// Folder paths are compared as the file system does, letter case included.
class FolderTree {
public:
    struct Storage {
        qint64 key = 0;
        QString name;
        QString unit;
    };
    struct Folder {
        QString name; // the last level of its path
        QString path; // without a trailing delimiter ("/" for the root of the file system)
        int parent = -1;
        QVector<int> children; // subfolders, in name order
        qint64 pictures = 0; // directly in it
    };
    struct Picture {
        qint64 key = 0;
        QString name;
        bool operator==(const Picture &) const = default;
    };

    // Every storage, in Portuguese name order (the location tree's order). Throws DbError.
    static QVector<Storage> storages(Connection &connection);

    // Reads the folders of a storage's pictures (one statement, no picture rows). Folder 0 is
    // the storage itself. Throws DbError.
    void read(Connection &connection, const Storage &storage);
    // Builds from folder paths and their picture counts, as read() does.
    void build(const Storage &storage, const QVector<QPair<QString, qint64>> &paths);

    const Storage &storage() const { return m_storage; }
    int count() const { return int(m_folders.size()); }
    const Folder &folder(int i) const { return m_folders[i]; }
    // The folder of a picture's FullPath; -1 when the path was not read.
    int folderOf(const QString &fullPath) const;
    // Depth of a folder below the storage (the storage's own pictures: 0).
    int depth(int folder) const;

    // The pictures of a folder in the tree's order: its own, or with every subfolder's,
    // depth-first (subfolders before a folder's own pictures, as the tree lists them).
    // Throws DbError.
    QVector<Picture> pictures(Connection &connection, int folder, bool subfolders) const;

    // The pictures of each folder, by folder, in name order (the whole storage in one
    // statement). Throws DbError.
    QVector<QVector<Picture>> picturesByFolder(Connection &connection) const;

    // A folder's node code: "N5=", the storage's key, ":" and the folder's path.
    static QString folderCode(qint64 storage, const QString &path);

    // The path as folders are named: no trailing delimiter, except "/" itself.
    static QString normalised(const QString &path);

private:
    struct Row {
        Picture picture;
        int folder;
    };
    // The pictures of a folder (and its subfolders), each with its folder, in name order.
    QVector<Row> readRows(Connection &connection, int folder, bool subfolders) const;
    int ensureFolder(const QString &path);
    int childNamed(int parent, const QString &name, const QString &path);
    // Rank of each folder in depth-first order, subfolders before pictures.
    QVector<int> depthFirstRanks() const;

    Storage m_storage;
    QString m_root; // the Unit, normalised
    QVector<Folder> m_folders;
    QHash<QString, int> m_byPath;
};
