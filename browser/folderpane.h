#pragma once

#include <QModelIndex>
#include <QVector>
#include <QWidget>

class Connection;
class FolderTreeModel;
class QAction;
class QMenu;
class QTreeView;

// The "Pastas" tab (TabSheet12): the tree TreeView3 of storages, the folders of their
// pictures and the pictures, with its pop-up menu PopupMenu3 ("Inserir no Lote" adds the
// node's pictures, every level below it included; "Expandir" and "Contrair").
class FolderPane : public QWidget {
    Q_OBJECT
public:
    explicit FolderPane(Connection &connection, QWidget *parent = nullptr);

    FolderTreeModel &model() const { return *m_model; }
    QTreeView *tree() const { return m_tree; }
    QModelIndex selectedIndex() const;
    // Selects a node (its parents expanded) without telling anyone.
    void selectIndex(const QModelIndex &index);
    void clearSelection();

signals:
    // The selection handling should run for this tree: a click, or a key moved the node.
    void nodeActivated();
    // A right click selected the node under the mouse; the pop-up opens right after.
    void contextMenuOpening();
    void addToBatchRequested(const QVector<qint64> &keys);
    // A level could not be read.
    void failed(const QString &message);

private:
    void openMenu(const QPoint &pos);

    FolderTreeModel *m_model;
    QTreeView *m_tree;
    QMenu *m_menu;
    QAction *m_addToBatch;
    bool m_quiet = false;
};
