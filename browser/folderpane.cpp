#include "browser/folderpane.h"

#include "browser/foldertreemodel.h"
#include "store/dberror.h"
#include "widgets/named.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

FolderPane::FolderPane(Connection &connection, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet12"));
    m_model = new FolderTreeModel(connection, this);
    m_model->setIcons(style()->standardIcon(QStyle::SP_DriveHDIcon),
        style()->standardIcon(QStyle::SP_DirIcon), style()->standardIcon(QStyle::SP_FileIcon));
    m_tree = named(new QTreeView(this), "TreeView3");
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setTextElideMode(Qt::ElideRight);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tree);

    m_menu = named(new QMenu(this), "PopupMenu3");
    m_addToBatch = m_menu->addAction(QStringLiteral("Inserir no Lote"));
    m_addToBatch->setObjectName(QStringLiteral("InserirnoLote3"));
    m_menu->addSeparator();
    QAction *expand = m_menu->addAction(QStringLiteral("Expandir"));
    expand->setObjectName(QStringLiteral("Expandir3"));
    QAction *collapse = m_menu->addAction(QStringLiteral("Contrair"));
    collapse->setObjectName(QStringLiteral("Contrair3"));
    connect(m_addToBatch, &QAction::triggered, this, [this] {
        const QModelIndex index = selectedIndex();
        if (!index.isValid())
            return;
        QVector<qint64> keys;
        try {
            keys = m_model->picturesUnder(index);
        } catch (const DbError &e) {
            emit failed(e.message());
            return;
        }
        emit addToBatchRequested(keys);
    });
    connect(expand, &QAction::triggered, this, [this] {
        if (selectedIndex().isValid())
            m_tree->expand(selectedIndex());
    });
    connect(collapse, &QAction::triggered, this, [this] {
        if (selectedIndex().isValid())
            m_tree->collapse(selectedIndex());
    });
    connect(m_tree, &QWidget::customContextMenuRequested, this, &FolderPane::openMenu);
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_quiet)
            emit nodeActivated();
    });
    connect(m_model, &FolderTreeModel::readFailed, this, &FolderPane::failed);
}

QModelIndex FolderPane::selectedIndex() const
{
    const QModelIndexList rows = m_tree->selectionModel()->selectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

void FolderPane::selectIndex(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    m_quiet = true;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        m_tree->expand(p);
    m_tree->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_tree->scrollTo(index);
    m_quiet = false;
}

void FolderPane::clearSelection()
{
    m_quiet = true;
    m_tree->selectionModel()->clearSelection();
    m_tree->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
    m_quiet = false;
}

void FolderPane::openMenu(const QPoint &pos)
{
    const QModelIndex index = m_tree->indexAt(pos);
    if (index.isValid() && index != selectedIndex()) {
        m_quiet = true;
        m_tree->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_quiet = false;
    }
    emit contextMenuOpening();
    m_addToBatch->setEnabled(selectedIndex().isValid());
    m_menu->popup(m_tree->viewport()->mapToGlobal(pos));
}
