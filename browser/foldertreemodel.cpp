#include "browser/foldertreemodel.h"

#include "store/dberror.h"
#include "store/statement.h"

FolderTreeModel::FolderTreeModel(Connection &connection, QObject *parent)
    : QAbstractItemModel(parent), m_connection(connection)
{
}

FolderTreeModel::~FolderTreeModel() = default;

void FolderTreeModel::clear()
{
    beginResetModel();
    m_nodes.clear();
    m_top.clear();
    m_trees.clear();
    m_storages.clear();
    endResetModel();
}

void FolderTreeModel::reload()
{
    QVector<FolderTree::Storage> storages = FolderTree::storages(m_connection);
    beginResetModel();
    m_nodes.clear();
    m_top.clear();
    m_trees.clear();
    m_storages = std::move(storages);
    for (int s = 0; s < m_storages.size(); ++s) {
        m_top.append(int(m_nodes.size()));
        m_nodes.push_back({ Kind::Storage, -1, s, s, 0, m_storages[s].key, m_storages[s].name, {} });
        m_trees.push_back(nullptr);
    }
    endResetModel();
}

void FolderTreeModel::setIcons(const QIcon &storage, const QIcon &folder, const QIcon &picture)
{
    m_icons[0] = storage;
    m_icons[1] = folder;
    m_icons[2] = picture;
}

int FolderTreeModel::nodeOf(const QModelIndex &index) const
{
    return index.isValid() ? int(index.internalId()) : -1;
}

QModelIndex FolderTreeModel::indexOfNode(int node) const
{
    return node < 0 ? QModelIndex() : createIndex(m_nodes[node].row, 0, quintptr(node));
}

FolderTreeModel::Kind FolderTreeModel::kind(const QModelIndex &index) const
{
    return m_nodes[nodeOf(index)].kind;
}

NodeCode FolderTreeModel::code(const QModelIndex &index) const
{
    const int n = nodeOf(index);
    if (n < 0)
        return {};
    const Node &node = m_nodes[n];
    switch (node.kind) {
    case Kind::Storage: return { NodeKind::Storage, node.key };
    case Kind::Picture: return { NodeKind::Picture, node.key };
    case Kind::Folder: break;
    }
    return {};
}

QString FolderTreeModel::name(const QModelIndex &index) const
{
    const int n = nodeOf(index);
    return n < 0 ? QString() : m_nodes[n].name;
}

QString FolderTreeModel::path(const QModelIndex &index) const
{
    const int n = nodeOf(index);
    if (n < 0 || m_nodes[n].kind == Kind::Picture)
        return {};
    if (m_nodes[n].kind == Kind::Storage)
        return m_storages[m_nodes[n].storage].unit;
    return m_trees[m_nodes[n].storage]->folder(m_nodes[n].folder).path;
}

FolderTree &FolderTreeModel::treeOf(int node)
{
    std::unique_ptr<FolderTree> &tree = m_trees[m_nodes[node].storage];
    if (!tree) {
        auto read = std::make_unique<FolderTree>();
        read->read(m_connection, m_storages[m_nodes[node].storage]);
        tree = std::move(read);
    }
    return *tree;
}

QVector<qint64> FolderTreeModel::picturesUnder(const QModelIndex &index)
{
    const int n = nodeOf(index);
    if (n < 0)
        return {};
    if (m_nodes[n].kind == Kind::Picture)
        return { m_nodes[n].key };
    const FolderTree &tree = treeOf(n);
    QVector<qint64> keys;
    const QVector<FolderTree::Picture> pictures
        = tree.pictures(m_connection, m_nodes[n].folder, true);
    keys.reserve(pictures.size());
    for (const FolderTree::Picture &p : pictures)
        keys.append(p.key);
    return keys;
}

QModelIndex FolderTreeModel::pictureIn(const QModelIndex &parent, qint64 key)
{
    const int n = nodeOf(parent);
    if (n < 0 || m_nodes[n].kind == Kind::Picture)
        return {};
    if (!m_nodes[n].fetched)
        fetch(n);
    for (int c : m_nodes[n].children)
        if (m_nodes[c].kind == Kind::Picture && m_nodes[c].key == key)
            return indexOfNode(c);
    return {};
}

QModelIndex FolderTreeModel::locatePicture(const QModelIndex &under, qint64 key)
{
    const int n = nodeOf(under);
    if (n < 0 || m_nodes[n].kind == Kind::Picture)
        return {};
    const FolderTree &tree = treeOf(n);
    QString fullPath;
    {
        Statement s(m_connection, QStringLiteral("SELECT FullPath FROM Pictures WHERE RecId = :K"));
        Statement::Reset done(s);
        s.bind(QStringLiteral("K"), key);
        if (!s.step())
            return {};
        fullPath = s.text(0);
    }
    // The folders from the node down to the picture's.
    QVector<int> chain;
    int f = tree.folderOf(fullPath);
    while (f >= 0 && f != m_nodes[n].folder) {
        chain.prepend(f);
        f = tree.folder(f).parent;
    }
    if (f < 0)
        return {};
    int node = n;
    for (int folder : chain) {
        fetch(node);
        int next = -1;
        for (int c : m_nodes[node].children)
            if (m_nodes[c].kind == Kind::Folder && m_nodes[c].folder == folder)
                next = c;
        if (next < 0)
            return {};
        node = next;
    }
    return pictureIn(indexOfNode(node), key);
}

QModelIndex FolderTreeModel::storageIndex(qint64 key) const
{
    for (int t : m_top)
        if (m_nodes[t].key == key)
            return indexOfNode(t);
    return {};
}

void FolderTreeModel::fetch(int n)
{
    if (m_nodes[n].fetched || m_nodes[n].kind == Kind::Picture)
        return;
    m_nodes[n].fetched = true;
    QVector<FolderTree::Picture> pictures;
    const FolderTree *tree = nullptr;
    try {
        tree = &treeOf(n);
        pictures = tree->pictures(m_connection, m_nodes[n].folder, false);
    } catch (const DbError &e) {
        emit readFailed(e.message());
        return;
    }
    const QVector<int> &folders = tree->folder(m_nodes[n].folder).children;
    const int count = int(folders.size() + pictures.size());
    if (count == 0)
        return;
    const int storage = m_nodes[n].storage;
    beginInsertRows(indexOfNode(n), 0, count - 1);
    int row = 0;
    for (int f : folders) {
        const int child = int(m_nodes.size());
        m_nodes.push_back({ Kind::Folder, n, row++, storage, f, 0, tree->folder(f).name, {} });
        m_nodes[n].children.append(child);
    }
    for (const FolderTree::Picture &p : pictures) {
        const int child = int(m_nodes.size());
        m_nodes.push_back({ Kind::Picture, n, row++, storage, -1, p.key, p.name, {} });
        m_nodes[n].children.append(child);
    }
    endInsertRows();
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    const int p = nodeOf(parent);
    const QVector<int> &children = p < 0 ? m_top : m_nodes[p].children;
    return row < children.size() ? indexOfNode(children[row]) : QModelIndex();
}

QModelIndex FolderTreeModel::parent(const QModelIndex &child) const
{
    const int n = nodeOf(child);
    return n < 0 ? QModelIndex() : indexOfNode(m_nodes[n].parent);
}

int FolderTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const int p = nodeOf(parent);
    return int(p < 0 ? m_top.size() : m_nodes[p].children.size());
}

int FolderTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool FolderTreeModel::hasChildren(const QModelIndex &parent) const
{
    const int p = nodeOf(parent);
    if (p < 0)
        return !m_top.isEmpty();
    const Node &node = m_nodes[p];
    if (node.kind == Kind::Picture)
        return false;
    if (!node.fetched) {
        // A storage not yet opened may have pictures; a folder always has some below it.
        const std::unique_ptr<FolderTree> &tree = m_trees[node.storage];
        if (!tree)
            return true;
        const FolderTree::Folder &f = tree->folder(node.folder);
        return !f.children.isEmpty() || f.pictures > 0;
    }
    return !node.children.isEmpty();
}

bool FolderTreeModel::canFetchMore(const QModelIndex &parent) const
{
    const int p = nodeOf(parent);
    return p >= 0 && !m_nodes[p].fetched && m_nodes[p].kind != Kind::Picture;
}

void FolderTreeModel::fetchMore(const QModelIndex &parent)
{
    const int p = nodeOf(parent);
    if (p >= 0)
        fetch(p);
}

QVariant FolderTreeModel::data(const QModelIndex &index, int role) const
{
    const int n = nodeOf(index);
    if (n < 0)
        return {};
    const Node &node = m_nodes[n];
    if (role == Qt::DisplayRole)
        return node.name;
    if (role == Qt::DecorationRole)
        return m_icons[int(node.kind)];
    return {};
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
