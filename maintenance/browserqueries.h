#pragma once

#include "browser/nodekind.h"

#include <QObject>
#include <memory>

class CatalogBrowser;
class Prompter;
class Query;
class ResultModel;
class SearchNarrowingDialog;
class SearchResults;
class TDados;

// The main window's own queries: the catalogue search behind "Procurar no Catálogo" with
// its page "Pesquisa" (ADOQuery1), and the statistics grid of the collection, category and
// storage pages (SQLAux). The hits stay listed as they were read until the next search.
class BrowserQueries : public QObject {
    Q_OBJECT
public:
    BrowserQueries(
        CatalogBrowser &browser, TDados &store, Prompter &prompter, QObject *parent = nullptr);
    ~BrowserQueries() override;

    // "Procurar no Catálogo".
    void ToolButton3Click();
    // "Procurar por data e câmera...": the search in its own dialog, narrowed by the date
    // the photos were taken and their camera; it starts from the last search.
    void narrowedSearch();
    // A double click, or Enter, on a hit: its picture in the organisation tree.
    void DBGridSearchDblClick(int row);
    // TabSheet1Show, TabSheet2Show and TabSheet4Show: the grid of a page shown (again).
    void statisticsPageShown(NodeKind page);

private:
    void closeSearch();
    // The window made ready for a search, before anything is asked.
    void prepareForSearch();
    // The hits listed on the page "Pesquisa", made the active page.
    void showResults(std::unique_ptr<SearchResults> results);

    CatalogBrowser &m_browser;
    TDados &m_store;
    Prompter &m_prompter;
    std::unique_ptr<SearchResults> ADOQuery1;
    std::unique_ptr<Query> SQLAux;
    std::unique_ptr<ResultModel> m_statistics; // the rows SQLAux gave the grid shown
    SearchNarrowingDialog *m_narrowingDialog;
};
