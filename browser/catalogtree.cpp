#include "browser/catalogtree.h"

#include <QGuiApplication>
#include <QPalette>

CatalogTree::CatalogTree(QObject *parent) : QAbstractItemModel(parent) { }

void CatalogTree::beginLoad()
{
    beginResetModel();
    m_loading = true;
    m_key.clear();
    m_parent.clear();
    m_textStart.clear();
    m_textLength.clear();
    m_kind.clear();
    m_icon.clear();
    m_names.clear();
    m_row.clear();
    m_childStart.clear();
    m_childCount.clear();
    m_children.clear();
    m_topLevel.clear();
}

void CatalogTree::reserve(int nodes)
{
    m_key.reserve(nodes);
    m_parent.reserve(nodes);
    m_textStart.reserve(nodes);
    m_textLength.reserve(nodes);
    m_kind.reserve(nodes);
    m_icon.reserve(nodes);
}

int CatalogTree::append(int parent, NodeKind kind, qint64 key, QStringView name, quint8 icon)
{
    return appendShared(parent, kind, key, m_names.append(name), icon);
}

int CatalogTree::appendShared(
    int parent, NodeKind kind, qint64 key, TextArena::Span name, quint8 icon)
{
    const int i = int(m_key.size());
    m_key.append(key);
    m_parent.append(parent);
    m_textStart.append(name.start);
    m_textLength.append(name.length);
    m_kind.append(quint8(kind));
    m_icon.append(icon);
    return i;
}

namespace {
// Copying a million nodes to save a few unused slots costs more than the slots.
template<typename Array> void trim(Array &array)
{
    if (array.capacity() > array.size() + array.size() / 8 + 64)
        array.squeeze();
}
} // namespace

void CatalogTree::endLoad()
{
    m_childrenBuilt = false;
    for (QVector<qint32> *a : { &m_row, &m_childStart, &m_childCount, &m_children, &m_topLevel })
        a->clear();
    trim(m_key);
    trim(m_parent);
    trim(m_textStart);
    trim(m_textLength);
    trim(m_kind);
    trim(m_icon);
    m_loading = false;
    endResetModel();
}

void CatalogTree::clear()
{
    beginLoad();
    endLoad();
}

// Children in one array, grouped by parent, each group in creation order.
void CatalogTree::buildChildren()
{
    const int n = count();
    m_childCount.fill(0, n);
    m_row.resize(n);
    m_topLevel.clear();
    for (int i = 0; i < n; ++i) {
        const int p = m_parent[i];
        if (p < 0) {
            m_row[i] = int(m_topLevel.size());
            m_topLevel.append(i);
        } else {
            m_row[i] = m_childCount[p]++;
        }
    }
    m_childStart.resize(n);
    int offset = 0;
    for (int i = 0; i < n; ++i) {
        m_childStart[i] = offset;
        offset += m_childCount[i];
    }
    m_children.resize(offset);
    for (int i = 0; i < n; ++i) {
        const int p = m_parent[i];
        if (p >= 0)
            m_children[m_childStart[p] + m_row[i]] = i;
    }
    m_topLevel.squeeze();
    m_childrenBuilt = true;
}

int CatalogTree::depth(int i) const
{
    int d = 0;
    for (int p = m_parent[i]; p >= 0; p = m_parent[p])
        ++d;
    return d;
}

int CatalogTree::childCount(int i) const
{
    ensureChildren();
    return i < m_childCount.size() ? m_childCount[i] : 0;
}

int CatalogTree::indexOf(NodeKind kind, qint64 key) const
{
    const int n = count();
    for (int i = 0; i < n; ++i)
        if (m_key[i] == key && m_kind[i] == quint8(kind))
            return i;
    return -1;
}

void CatalogTree::rename(int absolute, QStringView name)
{
    if (absolute < 0 || absolute >= count())
        return;
    // The old text stays in the arena until the next load; a rename is rare.
    const TextArena::Span span = m_names.append(name);
    m_textStart[absolute] = span.start;
    m_textLength[absolute] = span.length;
    if (m_loading)
        return;
    const QModelIndex index = modelIndex(absolute);
    emit dataChanged(index, index, { Qt::DisplayRole, Qt::ToolTipRole });
}

void CatalogTree::setOfflineStorages(QHash<qint64, QString> storages)
{
    if (storages == m_offlineStorages)
        return;
    m_offlineStorages = std::move(storages);
    if (m_loading || count() == 0)
        return;
    // Every row may have changed its look: one signal for the whole model.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

QString CatalogTree::offlineText(int i) const
{
    if (m_offlineStorages.isEmpty() || i < 0 || i >= count())
        return QString();
    int storage = -1;
    if (kind(i) == NodeKind::Storage)
        storage = i;
    else if (kind(i) == NodeKind::Picture && m_parent[i] >= 0
        && kind(m_parent[i]) == NodeKind::Storage)
        storage = m_parent[i];
    if (storage < 0)
        return QString();
    const auto found = m_offlineStorages.constFind(m_key[storage]);
    return found == m_offlineStorages.cend() ? QString() : *found;
}

int CatalogTree::indexOfCode(QStringView text) const
{
    const NodeCode c = NodeCode::parse(text);
    return c.isValid() ? indexOf(c.kind, c.key) : -1;
}

QModelIndex CatalogTree::modelIndex(int absolute) const
{
    if (absolute < 0 || absolute >= count() || m_loading)
        return QModelIndex();
    ensureChildren();
    return createIndex(m_row[absolute], 0, quintptr(absolute));
}

int CatalogTree::absoluteIndex(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return -1;
    return int(index.internalId());
}

qsizetype CatalogTree::structureBytes() const
{
    ensureChildren();
    return m_key.capacity() * qsizetype(sizeof(qint64))
        + (m_parent.capacity() + m_row.capacity() + m_childStart.capacity()
              + m_childCount.capacity() + m_children.capacity() + m_topLevel.capacity())
        * qsizetype(sizeof(qint32))
        + (m_textStart.capacity() + m_textLength.capacity()) * qsizetype(sizeof(quint32))
        + (m_kind.capacity() + m_icon.capacity());
}

QModelIndex CatalogTree::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || m_loading)
        return QModelIndex();
    ensureChildren();
    if (!parent.isValid()) {
        if (row >= m_topLevel.size())
            return QModelIndex();
        return createIndex(row, 0, quintptr(m_topLevel[row]));
    }
    const int p = absoluteIndex(parent);
    if (p < 0 || row >= m_childCount[p])
        return QModelIndex();
    return createIndex(row, 0, quintptr(m_children[m_childStart[p] + row]));
}

QModelIndex CatalogTree::parent(const QModelIndex &child) const
{
    const int i = absoluteIndex(child);
    if (i < 0)
        return QModelIndex();
    const int p = m_parent[i];
    if (p < 0)
        return QModelIndex();
    ensureChildren();
    return createIndex(m_row[p], 0, quintptr(p));
}

int CatalogTree::rowCount(const QModelIndex &parent) const
{
    if (m_loading)
        return 0;
    ensureChildren();
    if (!parent.isValid())
        return int(m_topLevel.size());
    if (parent.column() != 0)
        return 0;
    const int p = absoluteIndex(parent);
    return p < 0 ? 0 : m_childCount[p];
}

int CatalogTree::columnCount(const QModelIndex &) const
{
    return 1;
}

bool CatalogTree::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant CatalogTree::data(const QModelIndex &index, int role) const
{
    const int i = absoluteIndex(index);
    if (i < 0)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        // Line breaks and tabs of a name would break the row; show them as blanks.
        QString text = name(i);
        for (QChar &ch : text)
            if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r') || ch == QLatin1Char('\t')
                || ch == QChar(0x2028) || ch == QChar(0x2029))
                ch = QLatin1Char(' ');
        if (role == Qt::DisplayRole && text.size() > 1024)
            text = text.left(1024) + QChar(0x2026);
        if (role == Qt::ToolTipRole) {
            if (const QString offline = offlineText(i); !offline.isNull())
                text += QLatin1Char('\n') + offline;
        }
        return text;
    }
    case Qt::DecorationRole:
        if (isOffline(i) && m_icon[i] < m_offlineIcons.size())
            return m_offlineIcons[m_icon[i]];
        if (m_icon[i] < m_icons.size())
            return m_icons[m_icon[i]];
        return QVariant();
    case Qt::ForegroundRole:
        if (isOffline(i))
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return QVariant();
    case Qt::UserRole: return code(i);
    default: return QVariant();
    }
}

Qt::ItemFlags CatalogTree::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
