#include "app/startup.h"

#include "app/batchcontroller.h"
#include "app/tabertura.h"
#include "app/tsplash.h"
#include "batch/cataloguepassword.h"
#include "batch/tbatchprocess.h"
#include "batch/tcopiararquivoscd.h"
#include "batch/tmudarcolecaocategoria.h"
#include "batch/tremeterarquivosemail.h"
#include "batch/tremeterarquivosftp.h"
#include "batch/tviewlog.h"
#include "browser/catalogbrowser.h"
#include "browser/nodekind.h"
#include "core/appconstants.h"
#include "core/errorboundary.h"
#include "core/qttranslation.h"
#include "intake/picturefilter.h"
#include "intake/picturepreview.h"
#include "intake/trastreamento.h"
#include "maintenance/browserqueries.h"
#include "maintenance/recordeditor.h"
#include "maintenance/tduplicatas.h"
#include "options/topcoes.h"
#include "store/tdados.h"

#include <QApplication>
#include <QUrl>

Startup::Startup(const ProgramPaths &p, Prompter *prompter, DesktopShell *desktop)
    : paths(p), m_prompter(prompter ? prompter : &m_boxes), m_desktop(desktop ? desktop : &m_system)
{
    // Qt's own dialogs and buttons speak Portuguese like the rest of the program.
    installQtTranslation();
}

Startup::~Startup()
{
    // Windows go in the reverse order of their creation; the store closes with the program.
    Duplicatas.reset();
    ViewLog.reset();
    CopiarArquivosCD.reset();
    RemeterArquivosEmail.reset();
    RemeterArquivosFTP.reset();
    MudarColecaoCategoria.reset();
    BatchProcess.reset();
    Opcoes.reset();
    Rastreamento.reset();
    if (Dados)
        Dados->CloseDatabaseAll();
    Dados.reset();
    Abertura.reset();
    if (splash)
        splash->hide();
    splash.reset();
}

void Startup::createWindows()
{
    paths.MainWindowReady = false;
    splash = std::make_unique<TSplash>(paths);
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();
    creationOrder << splash->objectName();

    QApplication::setApplicationName(appconst::ApplicationTitle);

    Abertura = std::make_unique<TAbertura>(paths, *m_prompter, *m_desktop);
    m_boxes.setParent(Abertura.get());
    creationOrder << Abertura->objectName();
    Dados = std::make_unique<TDados>(paths, *m_prompter);
    Dados->setPasswordSource(&cataloguepassword::fromKeyring);
    Dados->setPasswordKeeper(&cataloguepassword::keep);
    creationOrder << Dados->objectName();
    // The main window's trees and pages come with the store, before the dialogs.
    Abertura->setStore(*Dados);
    Rastreamento = std::make_unique<TRastreamento>(*Dados, *m_prompter, Abertura.get());
    creationOrder << Rastreamento->objectName();
    Opcoes = std::make_unique<TOpcoes>(*Dados, *m_prompter, Abertura.get());
    creationOrder << Opcoes->objectName();
    BatchProcess = std::make_unique<TBatchProcess>(*Dados, *m_prompter, Abertura.get());
    creationOrder << BatchProcess->objectName();
    MudarColecaoCategoria
        = std::make_unique<TMudarColecaoCategoria>(*Dados, *m_prompter, Abertura.get());
    creationOrder << MudarColecaoCategoria->objectName();
    RemeterArquivosFTP
        = std::make_unique<TRemeterArquivosFTP>(*Dados, *m_prompter, eventLog, Abertura.get());
    creationOrder << RemeterArquivosFTP->objectName();
    RemeterArquivosEmail
        = std::make_unique<TRemeterArquivosEmail>(*Dados, *m_prompter, eventLog, Abertura.get());
    creationOrder << RemeterArquivosEmail->objectName();
    CopiarArquivosCD
        = std::make_unique<TCopiarArquivosCD>(*Dados, *m_prompter, eventLog, Abertura.get());
    creationOrder << CopiarArquivosCD->objectName();
    ViewLog = std::make_unique<TViewLog>(eventLog, Abertura.get());
    creationOrder << ViewLog->objectName();
    Duplicatas = std::make_unique<TDuplicatas>(*Dados, *m_prompter, Abertura.get());
    creationOrder << Duplicatas->objectName();

    wireBatch();
    wireDuplicates();
    CatalogBrowser &browser = Abertura->browser();
    QObject::connect(Rastreamento.get(), &TRastreamento::treesCurrentChanged, &browser,
        [&browser](bool current) { browser.selection().setTreesCurrent(current); });
    QObject::connect(&browser, &CatalogBrowser::scanRequested, Rastreamento.get(),
        guarded(*m_prompter, [this] { Rastreamento->exec(); }));
    wirePicturePreview();
    Editor = new RecordEditor(browser, *Dados, *m_prompter, Abertura.get());
    QObject::connect(Editor, &RecordEditor::LoadPicture, Preview,
        guarded(*m_prompter, [this] { Preview->LoadPicture(); }));
    // The search and the statistics grids; owned by the main window, whose queries they are.
    new BrowserQueries(browser, *Dados, *m_prompter, Abertura.get());
    Abertura->setSplash(*splash);
    Abertura->setOptionsDialog(*Opcoes);
    QObject::connect(Abertura.get(), &TAbertura::endProgramRequested, Abertura.get(), [this] {
        m_endRequested = true;
        Abertura->close();
        QCoreApplication::exit(1);
    });
}

// The batch dialog, its four operation dialogs and the main window's batch.
void Startup::wireBatch()
{
    using Button = TBatchProcess::OperationButton;
    BatchProcess->setOperation(Button::ChangeCollection, *MudarColecaoCategoria);
    BatchProcess->setOperation(Button::Ftp, *RemeterArquivosFTP);
    BatchProcess->setOperation(Button::Email, *RemeterArquivosEmail);
    BatchProcess->setOperation(Button::Copy, *CopiarArquivosCD);
    for (TransferDialog *transfer : std::initializer_list<TransferDialog *> {
             RemeterArquivosFTP.get(), RemeterArquivosEmail.get(), CopiarArquivosCD.get() })
        QObject::connect(
            transfer, &TransferDialog::showLogRequested, ViewLog.get(), &TViewLog::ShowLog);
    Abertura->setBatchDialog(*BatchProcess);
}

// The "Duplicatas" window, opened from the main menu: a double click selects the picture in
// the trees as a search hit does (its node found by its code), and what it sends goes into
// the main window's batch.
void Startup::wireDuplicates()
{
    TDuplicatas *window = Duplicatas.get();
    QObject::connect(Abertura.get(), &TAbertura::duplicatesRequested, window, [window] {
        window->show();
        window->raise();
        window->activateWindow();
    });
    CatalogBrowser *b = &Abertura->browser();
    QObject::connect(
        window, &TDuplicatas::pictureActivated, b, guarded(*m_prompter, [this, b](qint64 picture) {
            using Tree = TreePane::Tree;
            const QString code = NodeCode { NodeKind::Picture, picture }.text();
            if (!b->selection().treesCurrent() && b->TreeView2Nodes().indexOfCode(code) < 0
                && b->TreeView1Nodes().indexOfCode(code) < 0)
                b->LoadTrees();
            // The location tree tells the disk; a picture of no storage is only in the other.
            Tree tree = Tree::Location;
            int node = b->TreeView2Nodes().indexOfCode(code);
            if (node < 0) {
                tree = Tree::Organisation;
                node = b->TreeView1Nodes().indexOfCode(code);
            }
            if (node < 0)
                return;
            b->setActiveTree(tree);
            b->selectNode(tree, node, true);
            b->TreeViewClick(tree == Tree::Location ? CatalogBrowser::Sender::LocationTree
                                                    : CatalogBrowser::Sender::OrganisationTree);
            Abertura->raise();
        }));
    BatchController *batch = &Abertura->batchController();
    QObject::connect(window, &TDuplicatas::addToBatchRequested, window,
        guarded(*m_prompter, [batch, window](const QList<qint64> &pictures) {
            window->batchAdded(batch->addPictures(pictures), int(pictures.size()));
        }));
}

// The picture page's preview, the enlarge button and the open-picture dialog's filter.
void Startup::wirePicturePreview()
{
    CatalogBrowser *b = &Abertura->browser();
    Prompter &prompter = *m_prompter;
    Preview
        = new PicturePreview(*Dados, prompter, *m_desktop, b->thumbnailViewSize(), Abertura.get());
    QObject::connect(Preview, &PicturePreview::statusTextChanged, Abertura.get(),
        [this](const QString &text) { Abertura->setPanelText(1, text); });
    QObject::connect(
        Preview, &PicturePreview::smallPreviewCleared, b, &CatalogBrowser::clearSmallPreview);
    QObject::connect(
        Preview, &PicturePreview::smallPreviewShown, b, &CatalogBrowser::showSmallPreview);
    QObject::connect(
        Preview, &PicturePreview::enlargeButtonChanged, b, &CatalogBrowser::setEnlargeButton);
    QObject::connect(
        Preview, &PicturePreview::enlargementShown, b, &CatalogBrowser::showEnlargement);
    QObject::connect(
        Preview, &PicturePreview::enlargementHidden, b, &CatalogBrowser::hideEnlargement);
    QObject::connect(Preview, &PicturePreview::factsShown, b, &CatalogBrowser::showPhotoFacts);
    QObject::connect(b, &CatalogBrowser::mapRequested, b,
        guarded(prompter, [this](const QUrl &url) {
            // Unlike the default applications of the Parts, a map that does not open is told.
            if (!m_desktop->openUrl(url)) {
                m_prompter->beep();
                m_prompter->error(QStringLiteral("Não foi possível abrir o mapa no navegador:\r")
                    + url.toString());
            }
        }));
    QObject::connect(b, &CatalogBrowser::thumbnailRequested, Preview,
        guarded(prompter, [this] { Preview->ShowThumbnail(); }));
    QObject::connect(b, &CatalogBrowser::thumbnailCleared, Preview,
        guarded(prompter, [this] { Preview->clearThumbnail(); }));
    QObject::connect(b, &CatalogBrowser::enlargeRequested, Preview,
        guarded(prompter, [this](const QSize &box) { Preview->BitBtn1Click(box); }));
    // A filter that cannot be read leaves the last one; the loading goes on to the trees.
    QObject::connect(Abertura.get(), &TAbertura::BuildPictureFilter, b,
        guarded(prompter,
            [this, b] { b->setOpenPictureFilter(PictureFilter::build(Dados->Conexao)); }));
}

int Startup::run()
{
    if (!Abertura)
        createWindows();
    Abertura->show();
    const int rc = QApplication::exec();
    splash->hide();
    return m_endRequested ? 1 : rc;
}
