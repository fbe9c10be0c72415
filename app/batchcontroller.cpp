#include "app/batchcontroller.h"

#include "batch/tbatchprocess.h"
#include "browser/catalogbrowser.h"
#include "core/errorboundary.h"
#include "core/prompter.h"

#include <QSet>

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
    connect(&browser, &CatalogBrowser::addKeysToBatchRequested, this,
        guarded(prompter, [this](const QVector<qint64> &keys) { addPictures(keys); }));
    connect(&browser, &CatalogBrowser::batchRequested, this,
        guarded(prompter, [this] { ToolButton4Click(); }));
}

void BatchController::InserirLote1Click()
{
    const SelectionState &s = m_browser.selection();
    if (s.kind() != NodeKind::Picture)
        return;
    const qint64 key = s.key();
    const bool added = !m_batchList.contains(key);
    if (added)
        m_batchList.append(key);
    emit batchStatus(additionText(added ? 1 : 0, m_batchList.size()));
}

int BatchController::addPictures(const QList<qint64> &pictures)
{
    // A set: a node of a hundred thousand pictures goes in at once.
    QSet<qint64> held(m_batchList.cbegin(), m_batchList.cend());
    int added = 0;
    for (const qint64 key : pictures) {
        if (key <= 0 || held.contains(key))
            continue;
        held.insert(key);
        m_batchList.append(key);
        ++added;
    }
    emit batchStatus(additionText(added, m_batchList.size()));
    return added;
}

QString BatchController::additionText(int added, qsizetype held)
{
    const QString total = held == 1 ? QStringLiteral("1 imagem") : QStringLiteral("%1 imagens").arg(held);
    if (added == 0)
        return QStringLiteral("Nenhuma imagem nova no lote, que tem %1.").arg(total);
    if (added == 1)
        return QStringLiteral("1 imagem inserida no lote, que tem agora %1.").arg(total);
    return QStringLiteral("%1 imagens inseridas no lote, que tem agora %2.").arg(added).arg(total);
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
    for (const Tree tree : { Tree::Organisation, Tree::Location, Tree::Dates }) {
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
