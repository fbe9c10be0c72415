#pragma once

#include "browser/nodekind.h"

#include <QObject>
#include <memory>

class CatalogBrowser;
class Prompter;
class Query;
class ResultModel;
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
    // A double click, or Enter, on a hit: its picture in the organisation tree.
    void DBGridSearchDblClick(int row);
    // TabSheet1Show, TabSheet2Show and TabSheet4Show: the grid of a page shown (again).
    void statisticsPageShown(NodeKind page);

private:
    void closeSearch();

    CatalogBrowser &m_browser;
    TDados &m_store;
    Prompter &m_prompter;
    std::unique_ptr<SearchResults> ADOQuery1;
    std::unique_ptr<Query> SQLAux;
    std::unique_ptr<ResultModel> m_statistics; // the rows SQLAux gave the grid shown
};
