#pragma once

#include "browser/nodekind.h"
#include "browser/textarena.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QString>
#include <QVector>

// One catalogue tree as flat arrays in creation order (depth-first, parents before
// children), so a million pictures cost tens of bytes each rather than a widget item.
class CatalogTree : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit CatalogTree(QObject *parent = nullptr);

    // Appending happens between beginLoad() and endLoad(); views see one model reset.
    void beginLoad();
    // Adds a node as the last child of `parent` (-1: top level); returns its absolute index.
    int append(int parent, NodeKind kind, qint64 key, QStringView name, quint8 icon);
    // The loader's names, taken over whole (no copy per name); nodes added with
    // appendShared() name their part of them.
    void adoptNames(TextArena &&names) { m_names = std::move(names); }
    int appendShared(int parent, NodeKind kind, qint64 key, TextArena::Span name, quint8 icon);
    void endLoad();
    void clear();
    void reserve(int nodes);

    int count() const { return int(m_key.size()); }
    NodeKind kind(int i) const { return NodeKind(m_kind[i]); }
    qint64 key(int i) const { return m_key[i]; }
    QString name(int i) const { return nameView(i).toString(); }
    QStringView nameView(int i) const { return m_names.view({ m_textStart[i], m_textLength[i] }); }
    quint8 icon(int i) const { return m_icon[i]; }
    int parentOf(int i) const { return m_parent[i]; }
    int depth(int i) const;
    int childCount(int i) const;
    NodeCode nodeCode(int i) const { return { kind(i), m_key[i] }; }
    // The node code as text: level code, "=" and the key, e.g. "N3=1234".
    QString code(int i) const { return nodeCode(i).text(); }
    // Absolute index of the first node with that code, or -1.
    int indexOfCode(QStringView code) const;
    int indexOf(NodeKind kind, qint64 key) const;
    // Gives a node another text in place (views repaint that row only).
    void rename(int absolute, QStringView name);

    QModelIndex modelIndex(int absolute) const;
    int absoluteIndex(const QModelIndex &index) const;

    // Icons by the node's icon index (0 collection/storage, 1 category, 2 picture).
    void setIcons(const QVector<QIcon> &icons) { m_icons = icons; }
    // The same for the nodes of a storage whose disk is not connected.
    void setOfflineIcons(const QVector<QIcon> &icons) { m_offlineIcons = icons; }

    // The storages whose disk is not connected, each with the text that tells which disk:
    // their nodes and their pictures' nodes show greyed, with the offline icon and that
    // text in their tool tip; their names stay. Kept until the next call.
    void setOfflineStorages(QHash<qint64, QString> storages);
    // The node is a storage whose disk is not connected, or one of its pictures.
    bool isOffline(int i) const { return !offlineText(i).isNull(); }
    // The text of the node's disconnected storage; null when it is online.
    QString offlineText(int i) const;

    // Bytes held by the node arrays, without the name text.
    qsizetype structureBytes() const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    // The children arrays serve the views only; built on first use, so that a tree read
    // just to be printed never pays for them.
    void ensureChildren() const
    {
        if (!m_childrenBuilt)
            const_cast<CatalogTree *>(this)->buildChildren();
    }
    void buildChildren();

    // Per node, in creation order.
    QVector<qint64> m_key;
    QVector<qint32> m_parent;
    QVector<quint32> m_textStart;
    QVector<quint32> m_textLength;
    QVector<quint8> m_kind;
    QVector<quint8> m_icon;
    TextArena m_names;
    // Children of every node, built once after a load.
    QVector<qint32> m_row; // position among the parent's children
    QVector<qint32> m_childStart; // into m_children
    QVector<qint32> m_childCount;
    QVector<qint32> m_children;
    QVector<qint32> m_topLevel;
    QVector<QIcon> m_icons;
    QVector<QIcon> m_offlineIcons;
    QHash<qint64, QString> m_offlineStorages;
    bool m_loading = false;
    bool m_childrenBuilt = true;
};
