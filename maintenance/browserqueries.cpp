#include "maintenance/browserqueries.h"

#include "browser/catalogbrowser.h"
#include "core/errorboundary.h"
#include "core/prompter.h"
#include "maintenance/catalogstatistics.h"
#include "maintenance/searchresults.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/query.h"
#include "store/resultmodel.h"
#include "store/tdados.h"

using Page = CatalogBrowser::Page;
using Tree = TreePane::Tree;

BrowserQueries::BrowserQueries(
    CatalogBrowser &browser, TDados &store, Prompter &prompter, QObject *parent)
    : QObject(parent), m_browser(browser), m_store(store), m_prompter(prompter)
{
    // Made on the open connection when needed, gone before it closes.
    connect(&store.Conexao, &Connection::aboutToClose, this, [this] { SQLAux.reset(); });
    connect(&browser, &CatalogBrowser::searchRequested, this,
        guarded(prompter, [this] { ToolButton3Click(); }));
    connect(&browser, &CatalogBrowser::searchHitActivated, this,
        guarded(prompter, [this](int row) { DBGridSearchDblClick(row); }));
    connect(&browser, &CatalogBrowser::statisticsRequested, this,
        guarded(prompter, [this](NodeKind page) { statisticsPageShown(page); }));
}

// The grids let go of rows that go with this (a view forgets a model destroyed under it);
// the browser may be gone already when the window closes.
BrowserQueries::~BrowserQueries() = default;

void BrowserQueries::closeSearch()
{
    m_browser.setSearchResults(nullptr);
    ADOQuery1.reset();
}

void BrowserQueries::ToolButton3Click()
{
    // The window is made ready before the question, so it stays so when the person cancels.
    for (Tree tree : { Tree::Organisation, Tree::Location }) {
        m_browser.clearTreeSelection(tree);
        m_browser.collapseTree(tree);
    }
    for (Page page : { Page::Collection, Page::Category, Page::Picture, Page::Storage })
        m_browser.setPageVisible(page, false);
    m_browser.setActiveTree(Tree::Organisation);
    m_browser.setPageVisible(Page::ImageEnlargement, false);
    m_browser.setPageVisible(Page::WebEnlargement, false);
    // A hidden page is not left on show ("Pesquisa" stays if it was the one).
    if (m_browser.activePage() != Page::Search)
        m_browser.setActivePage(Page::None);

    const std::optional<QString> typed = m_prompter.inputText(
        QStringLiteral("Procurar imagem"), QStringLiteral("Procurar por..."), QString());
    if (!typed)
        return;

    closeSearch();
    auto results = std::make_unique<SearchResults>(m_store.Conexao, *typed);
    // A failure keeps the page's visibility; its grid stays empty.
    results->open();
    results->setHeaderData(1, Qt::Horizontal, QStringLiteral("Coleção"));
    results->setHeaderData(2, Qt::Horizontal, QStringLiteral("Categoria"));
    results->setHeaderData(3, Qt::Horizontal, QStringLiteral("Imagem"));

    if (results->isEmpty()) {
        m_browser.setPageVisible(Page::Search, false);
        m_prompter.beep();
        m_prompter.message(CatalogSearch::noHitMessage(*typed));
        return;
    }
    ADOQuery1 = std::move(results);
    // Told once the grid is done with its scrolling: a box inside the grid's fetch would
    // run an event loop in the middle of the view's work.
    connect(
        ADOQuery1.get(), &SearchResults::fetchFailed, this,
        [this](const QString &message) { m_prompter.error(message); }, Qt::QueuedConnection);

    m_browser.setActivePage(Page::None);
    for (Page page : { Page::Collection, Page::Category, Page::Picture, Page::Storage,
             Page::ImageEnlargement, Page::WebEnlargement, Page::Search })
        m_browser.setPageVisible(page, false);
    m_browser.setSearchResults(ADOQuery1.get());
    m_browser.setPageVisible(Page::Search, true);
    m_browser.clearTreeSelection(Tree::Organisation);
    m_browser.clearTreeSelection(Tree::Location);
    m_browser.selection().clear();
    m_browser.setActivePage(Page::Search);
    m_browser.UpdateControlStates();
}

void BrowserQueries::DBGridSearchDblClick(int row)
{
    if (!ADOQuery1)
        return;
    const QString code = QStringLiteral("N3=%1").arg(ADOQuery1->recId(row));
    const int node = m_browser.TreeView1Nodes().indexOfCode(code);
    if (node < 0)
        return;
    m_browser.selectNode(Tree::Organisation, node, true);
    m_browser.TreeViewClick(CatalogBrowser::Sender::OrganisationTree);
}

void BrowserQueries::statisticsPageShown(NodeKind page)
{
    if (m_browser.selection().kind() != page)
        return;
    RecordSet *table = page == NodeKind::Collection ? &m_store.TCollections
        : page == NodeKind::Category                ? &m_store.TCategories
        : page == NodeKind::Storage                 ? &m_store.TStorages
                                                    : nullptr;
    if (!table)
        return;
    std::unique_ptr<ResultModel> rows;
    if (!SQLAux)
        SQLAux = std::make_unique<Query>(m_store.Conexao);
    try {
        rows.reset(CatalogStatistics::run(*SQLAux, page, table->asInt(QStringLiteral("RecId"))));
    } catch (const DbError &e) {
        // The grid empties and keeps its visibility.
        m_browser.setStatistics(page, nullptr);
        m_statistics.reset();
        m_prompter.error(e.message());
        return;
    }
    m_browser.setStatistics(page, rows.get());
    m_statistics = std::move(rows);
}
