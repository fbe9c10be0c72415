#include "app/batchcontroller.h"

#include "batch/tbatchprocess.h"
#include "browser/catalogbrowser.h"
#include "core/errorboundary.h"
#include "core/prompter.h"

BatchController::BatchController(QList<qint64> &batchList, CatalogBrowser &browser,
    TBatchProcess &dialog, Prompter &prompter, QObject *parent)
    : QObject(parent),
      m_batchList(batchList),
      m_browser(browser),
      m_dialog(dialog),
      m_prompter(prompter)
{
    connect(&browser, &CatalogBrowser::addToBatchRequested, this,
        guarded(prompter, [this] { InserirLote1Click(); }));
    connect(&browser, &CatalogBrowser::batchRequested, this,
        guarded(prompter, [this] { ToolButton4Click(); }));
}

void BatchController::InserirLote1Click()
{
    const SelectionState &s = m_browser.selection();
    if (s.kind() != NodeKind::Picture)
        return;
    const qint64 key = s.key();
    if (!m_batchList.contains(key))
        m_batchList.append(key);
}

void BatchController::ToolButton4Click()
{
    if (m_batchList.isEmpty()) {
        m_prompter.beep();
        m_prompter.error(QStringLiteral("Lote vazio!\rClique o botão direito do mouse sobre um "
                                        "nome de imagem a inserir no lote."));
        return;
    }
    using Tree = TreePane::Tree;
    using Page = CatalogBrowser::Page;
    for (const Tree tree : { Tree::Organisation, Tree::Location }) {
        m_browser.clearTreeSelection(tree);
        m_browser.collapseTree(tree);
    }
    for (const Page page : { Page::Collection, Page::Category, Page::Picture, Page::Storage,
             Page::ImageEnlargement, Page::WebEnlargement })
        m_browser.setPageVisible(page, false);
    // A hidden page must not stay on show as the active one.
    if (!m_browser.isPageVisible(m_browser.activePage()))
        m_browser.setActivePage(Page::None);
    m_browser.setActiveTree(Tree::Organisation);

    m_dialog.setBatchKeys(PictureKeys(m_batchList.cbegin(), m_batchList.cend()));
    if (m_dialog.exec() == QDialog::Accepted) {
        m_batchList.clear();
        m_browser.LoadTrees();
    }
}
