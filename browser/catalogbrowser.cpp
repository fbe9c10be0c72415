#include "browser/catalogbrowser.h"

#include "browser/catalogtoolbar.h"
#include "browser/categorypage.h"
#include "browser/collectionpage.h"
#include "browser/folderpane.h"
#include "browser/foldertreemodel.h"
#include "browser/datestree.h"
#include "browser/picturepage.h"
#include "browser/searchpage.h"
#include "browser/storagepage.h"
#include "browser/storepositioner.h"
#include "browser/thumbnailgridpage.h"
#include "browser/treeloader.h"
#include "core/errorboundary.h"
#include "core/eventpump.h"
#include "core/prompter.h"
#include "intake/mountwatcher.h"
#include "intake/storagereach.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/tdados.h"
#include "widgets/pagecontrol.h"
#include "widgets/pictureview.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>

namespace {
using Page = CatalogBrowser::Page;

// The kind of record a page shows (none for the other pages).
NodeKind kindOf(Page page)
{
    switch (page) {
    case Page::Collection: return NodeKind::Collection;
    case Page::Category: return NodeKind::Category;
    case Page::Picture: return NodeKind::Picture;
    case Page::Storage: return NodeKind::Storage;
    default: return NodeKind::None;
    }
}

// The detail page of a kind of record.
Page pageOf(NodeKind kind)
{
    switch (kind) {
    case NodeKind::Collection: return Page::Collection;
    case NodeKind::Category: return Page::Category;
    case NodeKind::Picture: return Page::Picture;
    case NodeKind::Storage: return Page::Storage;
    case NodeKind::None: break;
    }
    return Page::None;
}
} // namespace

CatalogBrowser::CatalogBrowser(TDados &store, Prompter &prompter, QWidget *parent)
    : QWidget(parent),
      m_store(store),
      m_prompter(prompter),
      m_positioner(std::make_unique<StorePositioner>(store))
{
    setObjectName(QStringLiteral("CatalogBrowser"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_toolBar = new CatalogToolBar(this);
    layout->addWidget(m_toolBar);
    connect(m_toolBar, &CatalogToolBar::insertRequested, this, &CatalogBrowser::insertRequested);
    connect(m_toolBar, &CatalogToolBar::scanClicked, this,
        guarded(prompter, [this] { ToolButton2Click(); }));
    connect(m_toolBar, &CatalogToolBar::searchClicked, this, &CatalogBrowser::searchRequested);
    connect(m_toolBar, &CatalogToolBar::narrowedSearchClicked, this,
        &CatalogBrowser::narrowedSearchRequested);
    connect(m_toolBar, &CatalogToolBar::batchClicked, this, &CatalogBrowser::batchRequested);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter, 1);
    m_trees = new TreePane(splitter);
    m_dates = new DatesTree(store.Conexao, this);
    m_trees->addDatesTree(*m_dates);
    // Told once the view is done expanding: a box inside its fetch would run an event loop
    // in the middle of the view's work.
    connect(
        m_dates, &DatesTree::loadFailed, this, [this](const QString &m) { showError(m); },
        Qt::QueuedConnection);
    buildPages();
    splitter->addWidget(m_trees);
    splitter->addWidget(m_pages);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({ 260, 540 });

    connect(m_trees, &TreePane::nodeActivated, this,
        guarded(prompter, [this](TreePane::Tree tree) { TreeViewClick(senderOf(tree)); }));
    connect(m_trees, &TreePane::tabChosen, this,
        guarded(prompter, [this](TreePane::Tree tree) { PageControl1Change(tree); }));
    connect(m_trees, &TreePane::contextMenuOpening, this,
        guarded(prompter, [this](TreePane::Tree tree) { contextMenuOpening(tree); }));
    connect(m_trees, &TreePane::selectionCleared, this,
        guarded(prompter, [this] { TreeViewClick(Sender::Other); }));
    connect(m_trees, &TreePane::editRequested, this, &CatalogBrowser::editRequested);
    connect(m_trees, &TreePane::addToBatchRequested, this, &CatalogBrowser::addToBatchRequested);
    connect(
        m_trees, &TreePane::deleteRequested, this, guarded(prompter, [this] { Excluir1Click(); }));

    // No detail page at first, nor the extra pages.
    for (int i = 0; i < m_pages->count(); ++i)
        m_pages->setPageVisible(i, false);
    m_pages->setActivePageIndex(-1);
    for (RecordPage *page : recordPages())
        page->bind(store);
    connect(&store.Conexao, &Connection::aboutToClose, this, &CatalogBrowser::catalogueClosing);
    // A disk plugged in or pulled out shows at once, without a reload of the trees.
    connect(new MountWatcher(this), &MountWatcher::mountsChanged, this, guarded(prompter, [this] {
        if (m_store.Conexao.isOpen())
            markOfflineStorages();
    }));
    UpdateControlStates();
}

CatalogBrowser::~CatalogBrowser() = default;

void CatalogBrowser::buildPages()
{
    m_pages = new PageControl(this);
    m_pages->setObjectName(QStringLiteral("PageControl2"));
    m_collectionPage = new CollectionPage(m_prompter);
    m_categoryPage = new CategoryPage(m_prompter);
    m_picturePage = new PicturePage(m_prompter);
    m_storagePage = new StoragePage(m_prompter);
    for (RecordPage *page : recordPages()) {
        const NodeKind kind = page->kind();
        page->setNavigatorHooks(
            [this, kind](DBNavigator::Button b) { return navigatorBefore(kind, b); },
            [this, kind](DBNavigator::Button b) { navigatorAfter(kind, b); });
        m_pages->addPage(page, QStringLiteral("Detalhes"));
    }
    auto enlargement = [this](const char *pageName, const char *viewName, PictureView *&view) {
        auto *page = new QWidget;
        page->setObjectName(QString::fromLatin1(pageName));
        view = new PictureView(page);
        view->setObjectName(QString::fromLatin1(viewName));
        view->setAlignment(Qt::AlignCenter);
        view->setFitting(true);
        (new QVBoxLayout(page))->addWidget(view);
        m_pages->addPage(page, QStringLiteral("Ampliação"));
        return page;
    };
    m_imageEnlargementPage = enlargement("TabSheet9", "Image2", m_imageEnlargement);
    m_webEnlargementPage = enlargement("TabSheet10", "WebBrowser2", m_webEnlargement);
    m_searchPage = new SearchPage;
    m_pages->addPage(m_searchPage, QStringLiteral("Pesquisa"));
    buildGridPages();

    connect(m_pages, &PageControl::pageShown, this,
        guarded(m_prompter, [this](int index) { pageShown(index); }));
    connect(m_searchPage, &SearchPage::hitActivated, this, &CatalogBrowser::searchHitActivated);
    connect(m_picturePage, &PicturePage::locateFileRequested, this,
        &CatalogBrowser::locateFileRequested);
    connect(m_picturePage, &PicturePage::collectionPicked, this,
        &CatalogBrowser::pictureCollectionPicked);
    connect(m_picturePage, &PicturePage::mapRequested, this, &CatalogBrowser::mapRequested);
    connect(m_picturePage, &PicturePage::enlargeClicked, this, [this] {
        const QScreen *screen = m_imageEnlargement->screen();
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        const QSize box = screen ? screen->availableSize() : QSize(1920, 1080);
        emit enlargeRequested(box.expandedTo(m_imageEnlargement->size()).expandedTo(QSize(1, 1)));
    });
}

QList<RecordPage *> CatalogBrowser::recordPages() const
{
    return { m_collectionPage, m_categoryPage, m_picturePage, m_storagePage };
}

RecordPage *CatalogBrowser::recordPage(NodeKind kind) const
{
    const int i = int(kind) - 1;
    return i >= 0 && i < 4 ? recordPages().at(i) : nullptr;
}

// Keys name nothing in the catalogue opened next (or another record): nothing stays
// selected or shown.
void CatalogBrowser::catalogueClosing()
{
    m_shown = {};
    m_selection.clear();
    m_trees->clearSelection(TreePane::Tree::Organisation);
    m_trees->clearSelection(TreePane::Tree::Location);
    m_trees->clearSelection(TreePane::Tree::Dates);
    hideRecordPages();
}

void CatalogBrowser::showError(const QString &message)
{
    m_prompter.error(message);
}

void CatalogBrowser::selectNode(TreePane::Tree tree, int absolute, bool expand)
{
    m_trees->selectNode(tree, absolute, expand);
}

void CatalogBrowser::clearTreeSelection(TreePane::Tree tree)
{
    m_trees->clearSelection(tree);
    treeSelectionCleared(tree);
}

void CatalogBrowser::collapseTree(TreePane::Tree tree)
{
    m_trees->collapseAll(tree);
}

void CatalogBrowser::setActiveTree(TreePane::Tree tree)
{
    m_trees->setActiveTree(tree);
    folderTabLeft();
}

CatalogBrowser::Page CatalogBrowser::activePage() const
{
    return Page(m_pages->activePageIndex());
}

bool CatalogBrowser::isPageVisible(Page page) const
{
    return m_pages->isPageVisible(int(page));
}

void CatalogBrowser::setPageVisible(Page page, bool visible)
{
    m_pages->setPageVisible(int(page), visible);
}

void CatalogBrowser::setActivePage(Page page)
{
    m_pages->setActivePageIndex(int(page));
}

void CatalogBrowser::performNavigatorAction(NodeKind page, DBNavigator::Button button)
{
    if (RecordPage *p = recordPage(page))
        p->performAction(button);
}

void CatalogBrowser::RenameTreeNode(
    TreePane::Tree tree, NodeKind kind, const QString &name, qint64 key)
{
    CatalogTree &model = m_trees->model(tree);
    const int node = model.indexOf(kind, key);
    if (node >= 0)
        model.rename(node, name);
}

void CatalogBrowser::showThumbnail()
{
    if (isPageVisible(Page::Picture) && pageRecordPresent(NodeKind::Picture))
        emit thumbnailRequested();
}

void CatalogBrowser::hideRecordPages()
{
    for (Page p : { Page::Collection, Page::Category, Page::Picture, Page::Storage,
             Page::ImageEnlargement, Page::WebEnlargement })
        setPageVisible(p, false);
    if (!isPageVisible(activePage()))
        setActivePage(Page::None);
}

bool CatalogBrowser::pageRecordPresent(NodeKind page, bool *failed)
{
    if (m_shown.kind != page)
        return false;
    try {
        return m_positioner->standOn(m_shown);
    } catch (const DbError &e) {
        // Whether it is there cannot be told: the page stays as it is.
        showError(e.message());
        if (failed)
            *failed = true;
        return true;
    }
}

bool CatalogBrowser::checkShownPages()
{
    for (RecordPage *page : recordPages()) {
        if (!isPageVisible(pageOf(page->kind())) || page->isEditing())
            continue;
        if (!pageRecordPresent(page->kind())) {
            // A page without a record of its own (an insert cancelled with nothing selected)
            // just goes; one whose record left the catalogue takes the selection with it.
            dropShownPages(m_shown.kind == page->kind());
            return false;
        }
    }
    return true;
}

void CatalogBrowser::dropShownPages(bool recordGone)
{
    m_shown = {};
    hideRecordPages();
    if (recordGone) {
        m_selection.clear();
        m_trees->clearSelection(TreePane::Tree::Organisation);
        m_trees->clearSelection(TreePane::Tree::Location);
        m_trees->clearSelection(TreePane::Tree::Dates);
        if (!(m_inNavigatorAction && m_reloadedInAction))
            LoadTrees();
    }
    UpdateControlStates();
}

void CatalogBrowser::showRecordPage(NodeKind kind)
{
    for (Page p : { Page::Collection, Page::Category, Page::Picture, Page::Storage })
        setPageVisible(p, kindOf(p) == kind);
    setActivePage(pageOf(kind));
}

void CatalogBrowser::refreshPictureCategories()
{
    m_picturePage->setCategoriesTied(m_positioner->categoriesTied());
}

bool CatalogBrowser::focusField(NodeKind page, const QString &column)
{
    RecordPage *p = recordPage(page);
    return p && p->focusColumn(column);
}

void CatalogBrowser::setStatistics(NodeKind page, QAbstractItemModel *rows)
{
    // One count at a time: the other grids' rows are gone with the previous one.
    for (RecordPage *p : recordPages())
        if (p->kind() != page)
            p->hideStatistics();
    if (RecordPage *p = recordPage(page))
        p->setStatistics(rows);
}

void CatalogBrowser::setSearchResults(QAbstractItemModel *results)
{
    m_searchPage->setResults(results);
    m_searchOpen = results != nullptr;
    m_searchGridPage->showHits(results);
    offerView(View::SearchThumbnails, m_searchOpen);
    if (m_searchOpen) { // the search leaves no node selected; its hits show in their grid
        followGrid(Sender::Other, -1, false);
        setActiveView(View::Record);
    }
}

QString CatalogBrowser::unitPath() const
{
    return m_storagePage->unitPath();
}

QSize CatalogBrowser::thumbnailViewSize() const
{
    return m_picturePage->previewSize();
}

void CatalogBrowser::clearSmallPreview()
{
    m_picturePage->clearPreview();
}

void CatalogBrowser::showSmallPreview(PreviewTab tab, const PreviewPicture &picture)
{
    m_picturePage->showPreview(tab, picture);
}

void CatalogBrowser::setEnlargeButton(const QString &caption)
{
    m_picturePage->setEnlargeButton(caption);
}

void CatalogBrowser::showEnlargement(PreviewTab page, const PreviewPicture &picture)
{
    const Page shown = page == PreviewTab::Web ? Page::WebEnlargement : Page::ImageEnlargement;
    PictureView *view = page == PreviewTab::Web ? m_webEnlargement : m_imageEnlargement;
    setPageVisible(shown, true);
    if (!picture.movie.isEmpty())
        view->showMovie(picture.movie, picture.movieSize);
    else
        view->showImage(picture.image);
    setActivePage(shown);
}

void CatalogBrowser::hideEnlargement(PreviewTab page)
{
    const bool web = page == PreviewTab::Web;
    setPageVisible(web ? Page::WebEnlargement : Page::ImageEnlargement, false);
    (web ? m_webEnlargement : m_imageEnlargement)->clearPicture();
}

void CatalogBrowser::showPhotoFacts(const PhotoFactsText::Block &facts)
{
    m_picturePage->showFacts(facts);
}

bool CatalogBrowser::navigatorBefore(NodeKind page, DBNavigator::Button button)
{
    RecordPage *p = recordPage(page);
    const bool editing = p && p->recordSet() && p->recordSet()->state() == RecordSet::State::Edit;
    m_postingInsert = button == DBNavigator::nbPost && p && p->recordSet()
        && p->recordSet()->state() == RecordSet::State::Insert;
    // Only the page's own record is edited, saved or deleted, and only while it exists.
    const bool needsRecord = button == DBNavigator::nbEdit || button == DBNavigator::nbDelete
        || (button == DBNavigator::nbPost && editing);
    bool lookFailed = false;
    if (needsRecord && !pageRecordPresent(page, &lookFailed)) {
        const bool gone = m_shown.kind == page;
        if (editing) {
            m_prompter.beep();
            m_prompter.error(QStringLiteral(
                "O registro não existe mais no catálogo.\rA edição foi descartada."));
            // The cancel ends the edit and its transaction; its own check drops the page.
            p->performAction(DBNavigator::nbCancel);
        }
        if (m_shown.isValid() || isPageVisible(pageOf(page)))
            dropShownPages(gone);
        return false;
    }
    // The catalogue could not be asked (a server that is down) and that was told: the
    // action waits, what is on the page stays for the next try.
    if (lookFailed)
        return false;
    if (m_hooks.beforeAction)
        return m_hooks.beforeAction(page, button);
    // Deleting asks its questions and refuses system rows; until those rules are in
    // place, the delete button and "Excluir" delete nothing.
    return button != DBNavigator::nbDelete;
}

void CatalogBrowser::navigatorAfter(NodeKind page, DBNavigator::Button button)
{
    const bool outer = !m_inNavigatorAction;
    if (outer) {
        m_inNavigatorAction = true;
        m_reloadedInAction = false;
    }
    if (m_hooks.afterAction)
        m_hooks.afterAction(page, button);
    if (!outer)
        return;
    m_inNavigatorAction = false;
    if (button == DBNavigator::nbPost && m_postingInsert) {
        // The new record is what the page shows now, though no node is selected for it.
        RecordSet *set = recordPage(page)->recordSet();
        if (set->state() == RecordSet::State::Browse)
            m_shown = { page, set->rowId() };
    }
    m_postingInsert = false;
    if (button == DBNavigator::nbPost || button == DBNavigator::nbDelete)
        for (RecordPage *p : recordPages())
            p->invalidateLookupLists();
    if (checkShownPages())
        UpdateControlStates();
}

void CatalogBrowser::Excluir1Click()
{
    performNavigatorAction(m_selection.kind(), DBNavigator::nbDelete);
}

void CatalogBrowser::LoadTrees()
{
    emit statusTextChanged(QStringLiteral("Carregando a base de dados..."));
    EventPump::pumpNow();

    TDados &d = m_store;
    TreeLoader::Selection sel;
    sel.treesCurrent = m_selection.treesCurrent();
    sel.kind = m_selection.kind();
    auto current = [](RecordSet &set) -> qint64 {
        try {
            return set.isOpen() && !set.isEmpty() ? set.asInt(QStringLiteral("RecId")) : 0;
        } catch (const DbError &) {
            return 0;
        }
    };
    sel.collection = current(d.TCollections);
    sel.category = current(d.TCategories);
    sel.picture = current(d.TPictures);
    sel.storage = current(d.TStorages);
    TreeLoader::Found found;
    try {
        TreeLoader::loadOrganisation(d, m_trees->model(TreePane::Tree::Organisation), sel, found);
        markOfflineStorages();
        TreeLoader::loadLocation(d, m_trees->model(TreePane::Tree::Location), sel, found);
    } catch (const DbError &e) {
        // The trees keep what was read; the selection state stays as it was.
        emit statusTextChanged(QString());
        showError(e.message());
        return;
    }
    if (found.node1 >= 0)
        m_trees->selectNode(TreePane::Tree::Organisation, found.node1, found.expand1);
    if (found.node2 >= 0)
        m_trees->selectNode(TreePane::Tree::Location, found.node2, found.expand2);
    loadDatesTree(sel.treesCurrent && sel.kind == NodeKind::Picture ? sel.picture : 0);
    m_selection.setTreesCurrent(true);
    reloadFolders();
    for (RecordPage *page : recordPages())
        page->invalidateLookupLists();
    if (m_inNavigatorAction)
        m_reloadedInAction = true;
    if (m_inNavigatorAction || checkShownPages()) {
        UpdateControlStates();
        // The counts shown are read again with the trees: pictures come and go with them.
        const NodeKind statistics = kindOf(activePage());
        if (!m_inNavigatorAction && statistics != NodeKind::None && statistics != NodeKind::Picture)
            emit statisticsRequested(statistics);
    }
    emit statusTextChanged(QString());
    EventPump::pumpNow();
}

// Which disks are not connected is decided once per load, for each storage at once: one
// look at the mount table, never one per picture.
void CatalogBrowser::markOfflineStorages()
{
    QHash<qint64, QString> offline;
    if (m_store.Conexao.isOpen())
        offline = StorageReach().offlineStorages(m_store.Conexao);
    setOfflineStorages(QSet<qint64>(offline.keyBegin(), offline.keyEnd()));
    m_trees->model(TreePane::Tree::Location).setOfflineStorages(std::move(offline));
}

void CatalogBrowser::TreeViewClick(Sender sender)
{
    emit statusTextChanged(QString());

    if (m_selection.editing() && sender != Sender::Navigator) {
        m_prompter.beep();
        if (!m_prompter.confirm(QStringLiteral("Cancelar a edição corrente?")))
            return;
        for (RecordPage *page : recordPages())
            if (page->isEditing())
                page->performAction(DBNavigator::nbCancel);
        m_selection.setInsertInProgress(false);
        m_selection.setEditInProgress(false);
    }

    // A statistics page shown here is filled at the end, once the store stands on the new
    // record (filled at once, it would count the previous record's rows).
    m_inSelectionHandling = true;
    // The record of the sender's selected node; none for a date of "Datas" or a folder of
    // "Pastas", which are no records.
    NodeCode picked;
    int node = -1;
    if (sender == Sender::DatesTree) {
        picked = m_dates->nodeCode(m_trees->selectedIndex(TreePane::Tree::Dates));
    } else if (sender == Sender::FolderTree) {
        picked = m_folders->model().code(m_folders->selectedIndex());
    } else if (sender == Sender::OrganisationTree || sender == Sender::LocationTree) {
        const TreePane::Tree tree = sender == Sender::LocationTree ? TreePane::Tree::Location
                                                                   : TreePane::Tree::Organisation;
        node = m_trees->selectedNode(tree);
        if (node >= 0)
            picked = m_trees->model(tree).nodeCode(node);
    }
    const bool gridWasActive = activeView() == View::Thumbnails;
    if (picked.isValid()) {
        m_selection.select(picked);
        m_shown = picked;
        // Only the node's own detail page shows.
        const Page page = pageOf(picked.kind);
        for (Page p : { Page::Collection, Page::Category, Page::Picture, Page::Storage })
            setPageVisible(p, p == page);
        setActivePage(page);
    } else if (sender != Sender::Navigator) {
        m_selection.clear();
        m_shown = {};
        emit statusTextChanged(QString());
        for (Page p : { Page::Collection, Page::Category, Page::Picture, Page::Storage })
            setPageVisible(p, false);
        if (kindOf(activePage()) != NodeKind::None)
            setActivePage(Page::None);
    }

    setPageVisible(Page::ImageEnlargement, false);
    setPageVisible(Page::WebEnlargement, false);
    if (activePage() == Page::ImageEnlargement || activePage() == Page::WebEnlargement)
        setActivePage(Page::None);
    setPageVisible(Page::Search, m_searchOpen);
    followGrid(sender, node, gridWasActive);
    m_inSelectionHandling = false;

    bool found = true;
    if (!m_selection.isEmpty()) {
        try {
            found = m_positioner->positionOn(m_selection.node());
            if (found && m_selection.kind() == NodeKind::Picture && m_shown == m_selection.node())
                emit thumbnailRequested();
        } catch (const DbError &e) {
            showError(e.message());
        }
    }
    // A node whose record another program deleted shows no other record's page: the page
    // goes and the trees are read again. Inside a navigator action its end checks.
    if (!m_inNavigatorAction && (!found || !checkShownPages())) {
        if (!found)
            dropShownPages(true);
        return;
    }
    UpdateControlStates();

    // The statistics page shown, newly or again, shows the record now current.
    const NodeKind statistics = kindOf(activePage());
    if (statistics != NodeKind::None && statistics != NodeKind::Picture)
        emit statisticsRequested(statistics);
}

void CatalogBrowser::pageShown(int index)
{
    const NodeKind kind = kindOf(Page(index));
    if (!m_inSelectionHandling && kind != NodeKind::None && kind != NodeKind::Picture)
        emit statisticsRequested(kind);
}

void CatalogBrowser::UpdateControlStates()
{
    TDados *d = &m_store;
    // Closed after a failed reopening, or not yet opened.
    const bool haveStore = d->TPictures.isOpen();
    try {
        if (haveStore) {
            const bool tieChanged = m_positioner->tieCategories(d->TPictures.isEditing());
            const bool follow = isPageVisible(Page::Picture);
            if (follow)
                m_positioner->followPicture();
            // After the collections moved to the picture's: a tied list is that collection's.
            if (tieChanged || (follow && m_positioner->categoriesTied()))
                m_picturePage->setCategoriesTied(m_positioner->categoriesTied());
        }
    } catch (const DbError &e) {
        showError(e.message());
    }

    bool haveCollections = false, haveCategories = false;
    if (haveStore) {
        try {
            haveCollections = !d->TCollections.isEmpty();
            haveCategories = !d->TCategories.isEmpty();
        } catch (const DbError &) {
        }
    }
    m_toolBar->setStates(!m_selection.editing(), haveCollections, haveCategories);
    m_trees->setMenuStates(!m_selection.isEmpty(), m_selection.kind() == NodeKind::Picture);

    if (haveStore) {
        try {
            emit pictureCountChanged(
                QString::number(d->TPictures.recordCount()) + QStringLiteral(" imagens"));
        } catch (const DbError &) {
        }
    }

    for (RecordPage *page : recordPages())
        page->updateControlStates();

    if (haveStore && d->TPictures.state() == RecordSet::State::Insert) {
        m_picturePage->hideThumbnail();
        emit thumbnailCleared();
    }
    if (haveStore && d->TStorages.isOpen()) {
        try {
            m_storagePage->showUnit(d->TStorages.asString(QStringLiteral("Unit")));
        } catch (const DbError &) {
            m_storagePage->showUnit(QString());
        }
    }
}

CatalogBrowser::Sender CatalogBrowser::senderOf(TreePane::Tree tree)
{
    switch (tree) {
    case TreePane::Tree::Organisation: return Sender::OrganisationTree;
    case TreePane::Tree::Location: return Sender::LocationTree;
    case TreePane::Tree::Dates: return Sender::DatesTree;
    }
    return Sender::OrganisationTree;
}

void CatalogBrowser::loadDatesTree(qint64 selectedPicture)
{
    try {
        m_dates->reload();
        if (selectedPicture > 0) {
            const QModelIndex node = m_dates->indexOfPicture(selectedPicture);
            if (node.isValid())
                m_trees->selectIndex(TreePane::Tree::Dates, node);
        }
    } catch (const DbError &e) {
        // The two trees of the catalogue stand; "Datas" stays empty until the next load.
        showError(e.message());
    }
}

void CatalogBrowser::PageControl1Change(TreePane::Tree tree)
{
    if (!m_selection.treesCurrent())
        return;
    TreeViewClick(senderOf(tree));
}

void CatalogBrowser::contextMenuOpening(TreePane::Tree tree)
{
    TreeViewClick(senderOf(tree));
    UpdateControlStates();
}

void CatalogBrowser::ToolButton2Click()
{
    m_trees->collapseAll(TreePane::Tree::Organisation);
    m_trees->collapseAll(TreePane::Tree::Location);
    m_trees->collapseAll(TreePane::Tree::Dates);
    TreeViewClick(Sender::Other);
    emit scanRequested();
    if (!m_selection.treesCurrent())
        LoadTrees();
}
