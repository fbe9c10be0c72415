// The thumbnail grids of the main window and its "Pastas" tree: the CatalogBrowser's part
// that goes beyond the two catalogue trees and their detail pages.
#include "browser/catalogbrowser.h"

#include "browser/datestree.h"
#include "browser/folderpane.h"
#include "browser/gridkeys.h"
#include "browser/foldertreemodel.h"
#include "browser/thumbnailgridmodel.h"
#include "browser/thumbnailgridpage.h"
#include "core/errorboundary.h"
#include "core/prompter.h"
#include "store/dberror.h"
#include "store/tdados.h"
#include "widgets/pagecontrol.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <QTreeView>

namespace {

bool hasGrid(NodeKind kind)
{
    return kind == NodeKind::Collection || kind == NodeKind::Category
        || kind == NodeKind::Storage;
}

} // namespace

void CatalogBrowser::buildGridPages()
{
    // The detail pages keep their page control as it is: the grids show in place of its
    // pages, chosen by two buttons at the right end of its tab row.
    m_gridPage = new ThumbnailGridPage(QStringLiteral("TabSheet13"), QStringLiteral("Thumbnail"));
    m_searchGridPage
        = new ThumbnailGridPage(QStringLiteral("TabSheet14"), QStringLiteral("SearchThumbnail"));
    m_viewButtons = new QWidget;
    auto *buttons = new QHBoxLayout(m_viewButtons);
    buttons->setContentsMargins(0, 0, 2, 1);
    buttons->setSpacing(2);
    const auto button = [&](const char *name, const QString &caption, View view) {
        auto *b = new QToolButton(m_viewButtons);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(caption);
        b->setCheckable(true);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        buttons->addWidget(b);
        connect(b, &QToolButton::clicked, this, guarded(m_prompter, [this, view](bool on) {
            if (view == View::Thumbnails)
                m_preferGrid = on;
            setActiveView(on ? view : View::Record);
        }));
        return b;
    };
    m_gridButton = button("ThumbnailsButton", QStringLiteral("Miniaturas"), View::Thumbnails);
    m_searchGridButton = button(
        "SearchThumbnailsButton", QStringLiteral("Miniaturas da Pesquisa"), View::SearchThumbnails);
    m_pages->addOverlay(m_gridPage);
    m_pages->addOverlay(m_searchGridPage);
    m_pages->setCornerWidget(m_viewButtons);
    offerView(View::Thumbnails, false);
    offerView(View::SearchThumbnails, false);
    // A tab chosen brings the pages back: the next nodes open on their pages again.
    connect(m_pages, &PageControl::overlayClosed, this, [this] {
        m_preferGrid = false;
        offerView(View::Record, true);
    });
    for (ThumbnailGridPage *page : { m_gridPage, m_searchGridPage }) {
        connect(page, &ThumbnailGridPage::addToBatchRequested, this,
            &CatalogBrowser::addKeysToBatchRequested);
        connect(&page->model(), &ThumbnailGridModel::thumbnailMissing, this,
            &CatalogBrowser::thumbnailMissing);
        connect(&page->model(), &ThumbnailGridModel::readFailed, this,
            [this](const QString &message) { emit statusTextChanged(message); });
    }
    connect(m_gridPage, &ThumbnailGridPage::pictureActivated, this,
        guarded(m_prompter, [this](qint64 key) { showGridPicture(m_gridSource.sender, key); }));
    // As a double click on the hit: the organisation tree shows the picture.
    connect(m_searchGridPage, &ThumbnailGridPage::pictureActivated, this,
        guarded(m_prompter,
            [this](qint64 key) { showGridPicture(Sender::OrganisationTree, key, true); }));

    m_folders = new FolderPane(m_store.Conexao);
    m_folderTab = m_trees->addExtraTab(m_folders, QStringLiteral("Pastas"));
    connect(m_folders, &FolderPane::nodeActivated, this,
        guarded(m_prompter, [this] { TreeViewClick(Sender::FolderTree); }));
    connect(m_folders, &FolderPane::contextMenuOpening, this, guarded(m_prompter, [this] {
        TreeViewClick(Sender::FolderTree);
        UpdateControlStates();
    }));
    connect(m_folders, &FolderPane::addToBatchRequested, this,
        &CatalogBrowser::addKeysToBatchRequested);
    connect(m_folders, &FolderPane::failed, this, &CatalogBrowser::showError);
    connect(m_trees, &TreePane::extraTabChosen, this,
        guarded(m_prompter, [this](int index) { FolderTabChange(index); }));
}

void CatalogBrowser::thumbnailMade(qint64 key)
{
    m_gridPage->model().reload(key);
    m_searchGridPage->model().reload(key);
}

void CatalogBrowser::setOfflineStorages(const QSet<qint64> &storages)
{
    m_gridPage->model().setOfflineStorages(storages);
    m_searchGridPage->model().setOfflineStorages(storages);
}

void CatalogBrowser::FolderTabChange(int index)
{
    if (index == m_folderTab && m_selection.treesCurrent())
        TreeViewClick(Sender::FolderTree);
}

// The grid page is offered beside the page of a node that has pictures below it; it stays
// the active page when it was (the person went on from grid to grid), and is the only page
// of a folder.
void CatalogBrowser::followGrid(Sender sender, int node, bool gridWasActive)
{
    GridSource source;
    if ((sender == Sender::OrganisationTree || sender == Sender::LocationTree) && node >= 0) {
        const CatalogTree &model = m_trees->model(
            sender == Sender::LocationTree ? TreePane::Tree::Location : TreePane::Tree::Organisation);
        if (hasGrid(model.kind(node)))
            source = { sender, model.nodeCode(node), {} };
    } else if (sender == Sender::FolderTree) {
        const QModelIndex index = m_folders->selectedIndex();
        if (index.isValid() && m_folders->model().kind(index) != FolderTreeModel::Kind::Picture)
            source = { sender, m_folders->model().code(index), m_folders->model().path(index) };
    } else if (sender == Sender::DatesTree) {
        // A year, month or day of "Datas" (or "Sem data"); a picture has no grid.
        const QModelIndex index = m_trees->selectedIndex(TreePane::Tree::Dates);
        if (index.isValid() && !m_dates->nodeCode(index).isValid())
            source = { sender, {}, index.data().toString() + QLatin1Char('/') + m_dates->period(index) };
    } else if (sender == Sender::Navigator) {
        return; // a record navigator keeps the pages as they are
    }
    const bool changed = source.sender != m_gridSource.sender || source.code != m_gridSource.code
        || source.folder != m_gridSource.folder;
    m_gridSource = source;
    const bool shown = source.sender != Sender::Other;
    if (changed || !shown) {
        m_gridStale = shown;
        if (!shown)
            m_gridPage->clear();
    }
    offerView(View::Thumbnails, shown);
    offerView(View::SearchThumbnails, m_searchOpen);
    if (shown && (gridWasActive || m_preferGrid || !source.code.isValid()))
        setActiveView(View::Thumbnails);
    else if (activeView() != View::SearchThumbnails || !m_searchOpen || source.code.isValid())
        setActiveView(View::Record);
    if (activeView() == View::Thumbnails && m_gridStale)
        fillGrid();
}

void CatalogBrowser::treeSelectionCleared(TreePane::Tree tree)
{
    if (m_gridSource.sender != senderOf(tree))
        return;
    m_gridSource = {};
    m_gridPage->clear();
    offerView(View::Thumbnails, false);
}

void CatalogBrowser::folderTabLeft()
{
    if (m_gridSource.sender != Sender::FolderTree && m_gridSource.sender != Sender::DatesTree)
        return;
    if (m_gridSource.sender == Sender::FolderTree)
        m_folders->clearSelection();
    m_gridSource = {};
    m_gridPage->clear();
    offerView(View::Thumbnails, false);
}

CatalogBrowser::View CatalogBrowser::activeView() const
{
    if (m_pages->overlay() == m_gridPage)
        return View::Thumbnails;
    return m_pages->overlay() == m_searchGridPage ? View::SearchThumbnails : View::Record;
}

void CatalogBrowser::setActiveView(View view)
{
    if (!isViewOffered(view))
        return;
    m_pages->showOverlay(view == View::Thumbnails ? m_gridPage
            : view == View::SearchThumbnails      ? m_searchGridPage
                                                  : nullptr);
    if (view == View::Thumbnails && m_gridStale)
        fillGrid();
    offerView(View::Record, true);
}

bool CatalogBrowser::isViewOffered(View view) const
{
    switch (view) {
    case View::Thumbnails: return !m_gridButton->isHidden();
    case View::SearchThumbnails: return !m_searchGridButton->isHidden();
    case View::Record: break;
    }
    return true;
}

// Offers a grid or takes it back (the pages come back if it was on show); the buttons show
// which view is on.
void CatalogBrowser::offerView(View view, bool offered)
{
    if (view == View::Thumbnails)
        m_gridButton->setHidden(!offered);
    else if (view == View::SearchThumbnails)
        m_searchGridButton->setHidden(!offered);
    if (!isViewOffered(activeView()))
        m_pages->hideOverlay();
    m_gridButton->setChecked(activeView() == View::Thumbnails);
    m_searchGridButton->setChecked(activeView() == View::SearchThumbnails);
    m_viewButtons->setHidden(m_gridButton->isHidden() && m_searchGridButton->isHidden());
    m_pages->cornerChanged();
}

void CatalogBrowser::fillGrid()
{
    m_gridStale = false;
    QVector<qint64> keys;
    try {
        m_gridPage->setCatalogue(m_store.Conexao.filePath(), m_store.thumbnailFolder());
        if (m_gridSource.sender == Sender::FolderTree) {
            keys = m_folders->model().picturesUnder(m_folders->selectedIndex());
        } else if (m_gridSource.sender == Sender::DatesTree) {
            keys = GridKeys::below(*m_dates, m_trees->selectedIndex(TreePane::Tree::Dates));
        } else if (m_gridSource.sender != Sender::Other) {
            const CatalogTree &model = m_trees->model(m_gridSource.sender == Sender::LocationTree
                    ? TreePane::Tree::Location
                    : TreePane::Tree::Organisation);
            keys = GridKeys::below(model, model.indexOf(m_gridSource.code.kind, m_gridSource.code.key));
        }
    } catch (const DbError &e) {
        m_gridPage->clear();
        showError(e.message());
        return;
    }
    m_gridPage->showKeys(std::move(keys));
}

// After the trees were read again: the "Pastas" tree is read again too (its storage found
// again), and a grid shows its node's pictures as they are now.
void CatalogBrowser::reloadFolders()
{
    try {
        m_searchGridPage->setCatalogue(m_store.Conexao.filePath(), m_store.thumbnailFolder());
        const QModelIndex selected = m_folders->selectedIndex();
        const NodeCode kept = selected.isValid() ? m_folders->model().code(selected) : NodeCode();
        m_folders->model().reload();
        if (kept.kind == NodeKind::Storage)
            m_folders->selectIndex(m_folders->model().storageIndex(kept.key));
    } catch (const DbError &e) {
        m_folders->model().clear();
        showError(e.message());
    }
    // A folder or a date is not found again after a reload: its grid goes.
    const bool lost = (m_gridSource.sender == Sender::FolderTree && !m_folders->selectedIndex().isValid())
        || (m_gridSource.sender == Sender::DatesTree
            && !m_trees->selectedIndex(TreePane::Tree::Dates).isValid());
    if (lost) {
        m_gridSource = {};
        m_gridPage->clear();
        offerView(View::Thumbnails, false);
        return;
    }
    if (m_gridSource.sender != Sender::Other) {
        m_gridStale = true;
        if (activeView() == View::Thumbnails)
            fillGrid();
    }
}

// A double click or Enter on a thumbnail selects the picture in the tree of the grid's
// node and shows its page, as a click on it there does.
void CatalogBrowser::showGridPicture(Sender source, qint64 key, bool expand)
{
    if (source == Sender::DatesTree) {
        const QModelIndex picture = m_dates->indexOfPicture(key);
        if (!picture.isValid())
            return;
        m_trees->selectIndex(TreePane::Tree::Dates, picture);
        TreeViewClick(Sender::DatesTree);
        return;
    }
    if (source == Sender::FolderTree) {
        QModelIndex under = m_folders->selectedIndex();
        if (m_folders->model().kind(under) == FolderTreeModel::Kind::Picture)
            under = under.parent();
        const QModelIndex picture = m_folders->model().locatePicture(under, key);
        if (!picture.isValid())
            return;
        m_folders->selectIndex(picture);
        TreeViewClick(Sender::FolderTree);
        return;
    }
    if (source != Sender::OrganisationTree && source != Sender::LocationTree)
        return;
    const TreePane::Tree tree = source == Sender::LocationTree
        ? TreePane::Tree::Location
        : TreePane::Tree::Organisation;
    const int node = m_trees->model(tree).indexOf(NodeKind::Picture, key);
    if (node < 0)
        return;
    setActiveTree(tree);
    selectNode(tree, node, expand);
    TreeViewClick(source);
}
