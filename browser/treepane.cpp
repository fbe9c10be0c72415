#include "browser/treepane.h"

#include "browser/datestree.h"
#include "widgets/pagecontrol.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
// Small drawn icons for the nodes: a box for collections and storages, a folder for
// categories, a framed landscape for pictures. Offline (a disk not connected): the box grey
// with a red stroke across, the picture in greys.
QIcon nodeIcon(int kind, bool offline = false)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (kind == 0) {
        p.setPen(offline ? QColor(120, 120, 120) : QColor(60, 60, 90));
        p.setBrush(offline ? QColor(200, 200, 200) : QColor(90, 130, 200));
        p.drawRoundedRect(QRectF(1.5, 3.5, 13, 10), 2, 2);
        p.setBrush(offline ? QColor(235, 235, 235) : QColor(200, 220, 250));
        p.drawRect(QRectF(4.5, 6.5, 7, 2));
        if (offline) {
            p.setPen(QPen(QColor(200, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(2, 14), QPointF(14, 2));
        }
    } else if (kind == 1) {
        p.setPen(QColor(150, 110, 30));
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawRect(QRectF(1.5, 2.5, 6, 2));
    } else {
        p.setPen(offline ? QColor(150, 150, 150) : QColor(70, 70, 70));
        p.setBrush(offline ? QColor(245, 245, 245) : QColor(Qt::white));
        p.drawRect(QRectF(1.5, 2.5, 13, 11));
        p.setPen(Qt::NoPen);
        p.setBrush(offline ? QColor(175, 175, 175) : QColor(60, 150, 90));
        const QPointF hill[] = { { 2, 13 }, { 7, 7 }, { 10, 10 }, { 12, 8 }, { 14, 13 } };
        p.drawPolygon(hill, 5);
        p.setBrush(offline ? QColor(205, 205, 205) : QColor(240, 170, 60));
        p.drawEllipse(QPointF(11, 5.5), 1.5, 1.5);
    }
    return QIcon(pm);
}

QAction *menuItem(QMenu *menu, const QString &text, const char *name)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}
} // namespace

TreePane::TreePane(QWidget *parent) : QWidget(parent)
{
    m_icons = { nodeIcon(0), nodeIcon(1), nodeIcon(2) };
    m_organisation.setIcons(m_icons);
    m_location.setIcons(m_icons);
    m_location.setOfflineIcons({ nodeIcon(0, true), nodeIcon(1, true), nodeIcon(2, true) });

    m_tabs = new PageControl(this);
    m_tabs->setObjectName(QStringLiteral("PageControl1"));
    m_tree1 = makeTree("TabSheet5", "TreeView1", &m_organisation);
    m_tree2 = makeTree("TabSheet6", "TreeView2", &m_location);
    m_tabs->addPage(m_tree1->parentWidget(), QStringLiteral("Organização"));
    m_tabs->addPage(m_tree2->parentWidget(), QStringLiteral("Localização"));
    m_tabs->setActivePageIndex(int(Tree::Organisation));
    connect(m_tabs, &PageControl::tabClicked, this, [this](int index) {
        const bool dates = m_tree3 && index == m_tabs->indexOf(m_tree3->parentWidget());
        if (index > int(Tree::Location) && !dates)
            emit extraTabChosen(index);
        else
            emit tabChosen(treeOfTab(index));
    });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
    setMinimumWidth(160);
    buildMenu();
}

QTreeView *TreePane::makeTree(
    const char *sheetName, const char *treeName, QAbstractItemModel *model)
{
    auto *sheet = new QWidget(m_tabs);
    sheet->setObjectName(QString::fromLatin1(sheetName));
    auto *tree = new QTreeView(sheet);
    tree->setObjectName(QString::fromLatin1(treeName));
    tree->setModel(model);
    tree->setHeaderHidden(true);
    tree->setUniformRowHeights(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setAllColumnsShowFocus(true);
    tree->setTextElideMode(Qt::ElideRight);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    tree->setExpandsOnDoubleClick(false);
    tree->installEventFilter(this);
    auto *l = new QVBoxLayout(sheet);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(tree);
    connect(tree, &QTreeView::clicked, this, [this, tree] { emit nodeActivated(treeOf(tree)); });
    connect(tree, &QTreeView::doubleClicked, this, [this] { m_edit->trigger(); });
    connect(tree, &QTreeView::collapsed, this,
        [this, tree](const QModelIndex &index) { nodeCollapsed(treeOf(tree), index); });
    connect(tree, &QWidget::customContextMenuRequested, this,
        [this, tree](const QPoint &pos) { openContextMenu(tree, pos); });
    return tree;
}

void TreePane::buildMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("PopupMenu2"));
    m_edit = menuItem(m_menu, QStringLiteral("Editar"), "Editar1");
    QFont bold = m_edit->font();
    bold.setBold(true);
    m_edit->setFont(bold);
    m_menu->setDefaultAction(m_edit);
    m_addToBatch = menuItem(m_menu, QStringLiteral("Inserir no Lote"), "InserirnoLote1");
    m_delete = menuItem(m_menu, QStringLiteral("Excluir"), "Excluir1");
    m_menu->addSeparator();
    QAction *expand = menuItem(m_menu, QStringLiteral("Expandir"), "Expandir1");
    QAction *expandAll = menuItem(m_menu, QStringLiteral("Expandir Tudo"), "ExpandirTudo1");
    m_menu->addSeparator();
    QAction *collapse = menuItem(m_menu, QStringLiteral("Contrair"), "Contrair1");
    QAction *collapseAll = menuItem(m_menu, QStringLiteral("Contrair Tudo"), "ContrairTudo1");
    connect(m_edit, &QAction::triggered, this, &TreePane::editRequested);
    connect(m_addToBatch, &QAction::triggered, this, &TreePane::addToBatchRequested);
    connect(m_delete, &QAction::triggered, this, &TreePane::deleteRequested);
    connect(expand, &QAction::triggered, this, &TreePane::expandSelected);
    connect(expandAll, &QAction::triggered, this, [this] { view(activeTree())->expandAll(); });
    connect(collapse, &QAction::triggered, this, &TreePane::collapseSelected);
    connect(collapseAll, &QAction::triggered, this, &TreePane::collapseEverything);
}

void TreePane::addDatesTree(DatesTree &model)
{
    if (m_tree3)
        return;
    model.setIcons(m_icons);
    m_tree3 = makeTree("TabSheetDatas", "TreeViewDatas", &model);
    // A date is opened, never edited: a double click opens it as the arrow does.
    m_tree3->setExpandsOnDoubleClick(true);
    m_tabs->addPage(m_tree3->parentWidget(), QStringLiteral("Datas"));
}

QTreeView *TreePane::view(Tree tree) const
{
    switch (tree) {
    case Tree::Organisation: return m_tree1;
    case Tree::Location: return m_tree2;
    case Tree::Dates: return m_tree3;
    }
    return m_tree1;
}

TreePane::Tree TreePane::treeOf(const QObject *view) const
{
    if (view && view == m_tree3)
        return Tree::Dates;
    return view == m_tree2 ? Tree::Location : Tree::Organisation;
}

TreePane::Tree TreePane::treeOfTab(int index) const
{
    if (m_tree3 && index >= 0 && index == m_tabs->indexOf(m_tree3->parentWidget()))
        return Tree::Dates;
    return index == int(Tree::Location) ? Tree::Location : Tree::Organisation;
}

void TreePane::setActiveTree(Tree tree)
{
    if (QTreeView *v = view(tree))
        m_tabs->setActivePageIndex(m_tabs->indexOf(v->parentWidget()));
}

int TreePane::addExtraTab(QWidget *sheet, const QString &caption)
{
    return m_tabs->addPage(sheet, caption);
}

int TreePane::activeTab() const
{
    return m_tabs->activePageIndex();
}

void TreePane::setActiveTab(int index)
{
    m_tabs->setActivePageIndex(index);
}

TreePane::Tree TreePane::activeTree() const
{
    return treeOfTab(m_tabs->activePageIndex());
}

QModelIndex TreePane::selectedIndex(Tree tree) const
{
    QTreeView *v = view(tree);
    if (!v || !v->selectionModel())
        return {};
    const QModelIndexList rows = v->selectionModel()->selectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

void TreePane::selectIndex(Tree tree, const QModelIndex &index)
{
    QTreeView *v = view(tree);
    if (!v || !index.isValid())
        return;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        v->expand(p);
    v->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    v->scrollTo(index);
}

int TreePane::selectedNode(Tree tree) const
{
    if (tree == Tree::Dates)
        return -1;
    const QModelIndex index = selectedIndex(tree);
    return index.isValid() ? model(tree).absoluteIndex(index) : -1;
}

void TreePane::selectNode(Tree tree, int absolute, bool expand)
{
    QTreeView *v = view(tree);
    const QModelIndex index = model(tree).modelIndex(absolute);
    if (!index.isValid())
        return;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        v->expand(p);
    v->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (expand)
        v->expand(index);
    v->scrollTo(index);
}

void TreePane::clearSelection(Tree tree)
{
    if (!view(tree))
        return;
    QItemSelectionModel *selection = view(tree)->selectionModel();
    selection->clearSelection();
    selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
}

void TreePane::collapseAll(Tree tree)
{
    if (!view(tree))
        return;
    view(tree)->collapseAll();
    keepSelectionVisible(tree);
}

void TreePane::setMenuStates(bool haveSelection, bool pictureSelected)
{
    m_edit->setEnabled(haveSelection);
    m_delete->setEnabled(haveSelection);
    m_addToBatch->setEnabled(pictureSelected);
}

void TreePane::openContextMenu(QTreeView *tree, const QPoint &pos)
{
    const QModelIndex index = tree->indexAt(pos);
    if (index.isValid())
        tree->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    emit contextMenuOpening(treeOf(tree));
    m_menu->popup(tree->viewport()->mapToGlobal(pos));
}

// A release counts only when the tree received its press: the release of the key that
// closed a box, or of a Tab pressed in another control, must not run the handling again.
bool TreePane::eventFilter(QObject *watched, QEvent *event)
{
    if (!watched || (watched != m_tree1 && watched != m_tree2 && watched != m_tree3))
        return QWidget::eventFilter(watched, event);
    const Tree tree = treeOf(watched);
    QSet<int> &pressed = m_pressed[int(tree)];
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat())
            pressed.insert(key->key());
        break;
    }
    case QEvent::KeyRelease: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat() && pressed.remove(key->key()) && selectedIndex(tree).isValid())
            emit nodeActivated(tree);
        break;
    }
    case QEvent::FocusOut: pressed.clear(); break;
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

// As native trees do: closing a node that holds the selected one selects it instead, so
// the selection (and its page) never stays on a hidden node.
void TreePane::nodeCollapsed(Tree tree, const QModelIndex &index)
{
    const QModelIndex selected = selectedIndex(tree);
    for (QModelIndex p = selected.parent(); p.isValid(); p = p.parent()) {
        if (p == index) {
            view(tree)->selectionModel()->setCurrentIndex(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            emit nodeActivated(tree);
            return;
        }
    }
}

// After a collapse of everything, the selection moves to its top-level node, quietly: the
// caller runs the selection handling itself.
void TreePane::keepSelectionVisible(Tree tree)
{
    QModelIndex top = selectedIndex(tree);
    if (!top.isValid() || !top.parent().isValid())
        return;
    while (top.parent().isValid())
        top = top.parent();
    view(tree)->selectionModel()->setCurrentIndex(
        top, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TreePane::expandSelected()
{
    const Tree tree = activeTree();
    const QModelIndex node = selectedIndex(tree);
    if (node.isValid())
        view(tree)->expand(node);
}

void TreePane::collapseSelected()
{
    const Tree tree = activeTree();
    const QModelIndex node = selectedIndex(tree);
    if (node.isValid())
        view(tree)->collapse(node);
}

void TreePane::collapseEverything()
{
    clearSelection(Tree::Organisation);
    clearSelection(Tree::Location);
    clearSelection(Tree::Dates);
    emit selectionCleared();
    collapseAll(activeTree());
}
