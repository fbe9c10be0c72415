#pragma once

#include "browser/catalogtree.h"

#include <QSet>
#include <QWidget>

class DatesTree;
class PageControl;
class QAction;
class QMenu;
class QTreeView;

// The left side of the main window: the tabs "Organização" (TreeView1) and "Localização"
// (TreeView2) over the two catalogue trees, and the trees' pop-up menu PopupMenu2. It tells
// its owner in signals when the selection handling should run; "Expandir", "Expandir Tudo"
// and "Contrair" it handles itself.
class TreePane : public QWidget {
    Q_OBJECT
public:
    // The trees, valued by the index of their tab in PageControl1.
    enum class Tree { Organisation = 0, Location = 1, Dates = 2 };
    Q_ENUM(Tree)

    explicit TreePane(QWidget *parent = nullptr);

    CatalogTree &model(Tree tree)
    {
        return tree == Tree::Organisation ? m_organisation : m_location;
    }
    const CatalogTree &model(Tree tree) const
    {
        return tree == Tree::Organisation ? m_organisation : m_location;
    }
    // The tree of the active tab.
    // Shows a tree's tab, as a click on it would, without telling anyone.
    void setActiveTree(Tree tree);
    Tree activeTree() const;

    // The "Datas" tab, after the other two: pictures by the date they were taken. Its
    // picture nodes take part in the selection handling and the pop-up menu as the other
    // trees' do; its dates are groups only.
    void addDatesTree(DatesTree &model);
    // The selected node of any tree (also "Datas"), or an invalid index.
    QModelIndex selectedIndex(Tree tree) const;
    // Selects a node of any tree, showing it, without the selection handling.
    void selectIndex(Tree tree, const QModelIndex &index);

    // Absolute index of a tree's selected node, or -1 (always for "Datas", which has none).
    int selectedNode(Tree tree) const;
    // Selects a node (showing it: its parents are expanded) without the selection handling.
    void selectNode(Tree tree, int absolute, bool expand);
    void clearSelection(Tree tree);
    void collapseAll(Tree tree);

    // "Editar" and "Excluir" need a selection, "Inserir no Lote" a picture.
    void setMenuStates(bool haveSelection, bool pictureSelected);

    // A further tab after the two trees (the "Pastas" tree); returns its tab index. A click
    // on its tab is told by extraTabChosen, not tabChosen.
    int addExtraTab(QWidget *sheet, const QString &caption);
    // The tab index shown (0 and 1: the two trees).
    int activeTab() const;
    void setActiveTab(int index);

signals:
    // The selection handling should run with this tree as sender: a click, a key released
    // in the tree, the selected node's parent collapsed, the tree's tab chosen.
    void nodeActivated(TreePane::Tree tree);
    void tabChosen(TreePane::Tree tree);
    void extraTabChosen(int index);
    // A right click selected the node under the mouse; the pop-up opens right after.
    void contextMenuOpening(TreePane::Tree tree);
    void editRequested();
    void addToBatchRequested();
    void deleteRequested();
    // "Contrair Tudo": both trees lost their selection; they collapse right after.
    void selectionCleared();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Tree treeOfTab(int index) const;
    QTreeView *view(Tree tree) const;
    QTreeView *makeTree(const char *sheetName, const char *treeName, QAbstractItemModel *model);
    void buildMenu();
    void openContextMenu(QTreeView *tree, const QPoint &pos);
    Tree treeOf(const QObject *view) const;
    void expandSelected();
    void collapseSelected();
    void collapseEverything();
    void nodeCollapsed(Tree tree, const QModelIndex &index);
    void keepSelectionVisible(Tree tree);

    CatalogTree m_organisation;
    CatalogTree m_location;
    PageControl *m_tabs;
    QTreeView *m_tree1;
    QTreeView *m_tree2;
    QTreeView *m_tree3 = nullptr; // "Datas", once added
    QVector<QIcon> m_icons;
    QMenu *m_menu;
    QAction *m_edit;
    QAction *m_addToBatch;
    QAction *m_delete;
    // Keys pressed while a tree had the focus, by tree: only their releases count.
    QSet<int> m_pressed[3];
};
