#include "app/startup.h"

#include "app/batchcontroller.h"
#include "app/tabertura.h"
#include "app/tsplash.h"
#include "batch/tbatchprocess.h"
#include "batch/tcopiararquivoscd.h"
#include "batch/tmudarcolecaocategoria.h"
#include "batch/tremeterarquivosemail.h"
#include "batch/tremeterarquivosftp.h"
#include "batch/tviewlog.h"
#include "browser/catalogbrowser.h"
#include "core/appconstants.h"
#include "core/qttranslation.h"
#include "intake/picturefilter.h"
#include "intake/picturepreview.h"
#include "intake/trastreamento.h"
#include "maintenance/browserqueries.h"
#include "maintenance/recordeditor.h"
#include "options/topcoes.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <QApplication>
#include <QPushButton>

Startup::Startup(const ProgramPaths &p, Prompter *prompter)
    : paths(p), m_prompter(prompter ? prompter : &m_boxes)
{
    // Qt's own dialogs and buttons speak Portuguese like the rest of the program.
    installQtTranslation();
}

Startup::~Startup()
{
    // Windows go in the reverse order of their creation; the store closes with the program.
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

    Abertura = std::make_unique<TAbertura>(paths, *m_prompter);
    m_boxes.setParent(Abertura.get());
    creationOrder << Abertura->objectName();
    Dados = std::make_unique<TDados>(paths, *m_prompter);
    creationOrder << Dados->objectName();
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

    Abertura->setStore(Dados.get());
    wireBatch();
    CatalogBrowser &browser = Abertura->browser();
    QObject::connect(Rastreamento.get(), &TRastreamento::treesCurrentChanged, &browser,
        [&browser](bool current) { browser.selection().setTreesCurrent(current); });
    QObject::connect(&browser, &CatalogBrowser::scanRequested, Rastreamento.get(),
        [this] { Rastreamento->exec(); });
    wirePicturePreview();
    Editor = new RecordEditor(browser, *Dados, *m_prompter, Abertura.get());
    Editor->LoadPicture = [this] { Preview->LoadPicture(); };
    // The search and the statistics grids; owned by the main window, whose queries they are.
    new BrowserQueries(browser, *Dados, *m_prompter, Abertura.get());
    Abertura->setSplash(splash.get());
    Abertura->setOptionsDialog(Opcoes.get());
    Abertura->onEndProgram = [this] {
        m_endRequested = true;
        Abertura->close();
        QCoreApplication::exit(1);
    };
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
    auto *batch = new BatchController(
        Abertura->BatchList, Abertura->browser(), *BatchProcess, *m_prompter, Abertura.get());
    batch->LoadTrees = [this] { Abertura->LoadTrees(); };
}

// The picture page's preview, the enlarge button and the open-picture dialog's filter.
void Startup::wirePicturePreview()
{
    CatalogBrowser *b = &Abertura->browser();
    const PreviewWidgets widgets = b->previewWidgets();
    PicturePreview::Controls controls;
    controls.PageControl3 = widgets.thumbnailTabs;
    controls.Image1 = widgets.image;
    controls.WebBrowser1 = widgets.webView;
    controls.BitBtn1 = widgets.enlargeButton;
    controls.PageControl2 = widgets.detailPages;
    controls.TabSheet9 = widgets.imageEnlargementPage;
    controls.TabSheet10 = widgets.webEnlargementPage;
    controls.Image2 = widgets.imageEnlargement;
    controls.WebBrowser2 = widgets.webEnlargement;
    Preview = new PicturePreview(controls, *Dados, *m_prompter, Abertura.get());
    Preview->setStatusText = [this](const QString &text) { Abertura->setPanelText(1, text); };
    // The details land in the row being edited only while there is one: a cancel shows the
    // picture again before the editing flags are cleared.
    Preview->editInProgress = [this] {
        return Dados->TPictures.isEditing();
    };
    QObject::connect(
        b, &CatalogBrowser::thumbnailRequested, Preview, &PicturePreview::ShowThumbnail);
    QObject::connect(
        b, &CatalogBrowser::thumbnailCleared, Preview, &PicturePreview::clearThumbnail);
    QObject::connect(
        widgets.enlargeButton, &QPushButton::clicked, Preview, &PicturePreview::BitBtn1Click);
    Abertura->BuildPictureFilter = [this, b] {
        try {
            b->setOpenPictureFilter(PictureFilter::build(Dados->Conexao));
        } catch (const DbError &e) {
            m_prompter->error(e.message());
        }
    };
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
