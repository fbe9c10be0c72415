#pragma once

#include "browser/foldertree.h"
#include "browser/nodekind.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <memory>
#include <vector>

class Connection;

// The "Pastas" tree: each storage, then the folders of its pictures' paths, then the
// pictures. A storage's folders are read when it is first expanded, a folder's pictures
// when it is; nothing is read for a level no one opens.
class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum class Kind : quint8 { Storage, Folder, Picture };

    explicit FolderTreeModel(Connection &connection, QObject *parent = nullptr);
    ~FolderTreeModel() override;

    // Reads the storages again; every opened level closes. Throws DbError.
    void reload();
    void clear();

    Kind kind(const QModelIndex &index) const;
    // The storage's or the picture's record; none for a folder.
    NodeCode code(const QModelIndex &index) const;
    QString name(const QModelIndex &index) const;
    // A folder's path, a storage's Unit.
    QString path(const QModelIndex &index) const;
    // The node's pictures in the tree's order, every level below it included (a picture: its
    // own key). Reads the storage's folders when they were not read yet. Throws DbError.
    QVector<qint64> picturesUnder(const QModelIndex &index);
    // The picture's node among the children of `parent` (read when needed); invalid if none.
    QModelIndex pictureIn(const QModelIndex &parent, qint64 key);
    // The picture's node below `under` (a storage or a folder), its folders read and opened
    // in the model as needed; invalid when it is not there. Throws DbError.
    QModelIndex locatePicture(const QModelIndex &under, qint64 key);
    // The node of the storage of that key; invalid when there is none.
    QModelIndex storageIndex(qint64 key) const;

    // Icons for storages, folders and pictures.
    void setIcons(const QIcon &storage, const QIcon &folder, const QIcon &picture);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // A level could not be read; the node stays without children.
    void readFailed(const QString &message);

private:
    struct Node {
        Kind kind;
        int parent;
        int row;
        int storage; // slot in m_trees
        int folder; // folder of that storage's tree (storages: 0)
        qint64 key;
        QString name;
        QVector<int> children;
        bool fetched = false;
    };
    int nodeOf(const QModelIndex &index) const;
    QModelIndex indexOfNode(int node) const;
    FolderTree &treeOf(int node);
    void fetch(int node);

    Connection &m_connection;
    std::vector<Node> m_nodes;
    QVector<int> m_top;
    std::vector<std::unique_ptr<FolderTree>> m_trees; // by storage slot, read on demand
    QVector<FolderTree::Storage> m_storages;
    QIcon m_icons[3];
};
