#include "app/startup.h"

#include "core/appconstants.h"
#include "browser/catalogbrowser.h"
#include "store/dberror.h"
#include "intake/picturefilter.h"
#include "intake/picturepreview.h"
#include "app/tabertura.h"
#include "batch/tbatchprocess.h"
#include "batch/tcopiararquivoscd.h"
#include "store/tdados.h"
#include "batch/tmudarcolecaocategoria.h"
#include "options/topcoes.h"
#include "intake/trastreamento.h"
#include "batch/tremeterarquivosemail.h"
#include "batch/tremeterarquivosftp.h"
#include "app/tsplash.h"
#include "batch/tviewlog.h"

#include <QApplication>
#include <QPushButton>

Startup::Startup(const ProgramPaths &p, Prompter *prompter)
    : paths(p), m_prompter(prompter ? prompter : &m_boxes)
{
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
    Rastreamento = std::make_unique<TRastreamento>(Abertura.get());
    creationOrder << Rastreamento->objectName();
    Opcoes = std::make_unique<TOpcoes>(Abertura.get());
    creationOrder << Opcoes->objectName();
    BatchProcess = std::make_unique<TBatchProcess>(Abertura.get());
    creationOrder << BatchProcess->objectName();
    MudarColecaoCategoria = std::make_unique<TMudarColecaoCategoria>(Abertura.get());
    creationOrder << MudarColecaoCategoria->objectName();
    RemeterArquivosFTP = std::make_unique<TRemeterArquivosFTP>(Abertura.get());
    creationOrder << RemeterArquivosFTP->objectName();
    RemeterArquivosEmail = std::make_unique<TRemeterArquivosEmail>(Abertura.get());
    creationOrder << RemeterArquivosEmail->objectName();
    CopiarArquivosCD = std::make_unique<TCopiarArquivosCD>(Abertura.get());
    creationOrder << CopiarArquivosCD->objectName();
    ViewLog = std::make_unique<TViewLog>(Abertura.get());
    creationOrder << ViewLog->objectName();

    Abertura->setStore(Dados.get());
    Rastreamento->setStore(Dados.get());
    Rastreamento->setPrompter(m_prompter);
    Rastreamento->setTreesCurrent
        = [this](bool current) { Abertura->Browser->TreesCurrent = current; };
    Abertura->Browser->showScanDialog = [this] { Rastreamento->exec(); };
    wirePicturePreview();
    Abertura->setSplash(splash.get());
    Abertura->setOptionsDialog(Opcoes.get());
    Abertura->onEndProgram = [this] {
        m_endRequested = true;
        Abertura->close();
        QCoreApplication::exit(1);
    };
}

// The picture page's preview, the enlarge button and the open-picture dialog's filter.
void Startup::wirePicturePreview()
{
    CatalogBrowser *b = Abertura->Browser;
    PicturePreview::Controls controls;
    controls.PageControl3 = b->PageControl3;
    controls.Image1 = b->Image1;
    controls.WebBrowser1 = b->WebBrowser1;
    controls.BitBtn1 = b->BitBtn1;
    controls.PageControl2 = b->PageControl2;
    controls.TabSheet9 = b->TabSheet9;
    controls.TabSheet10 = b->TabSheet10;
    controls.Image2 = b->Image2;
    controls.WebBrowser2 = b->WebBrowser2;
    Preview = new PicturePreview(controls, *Dados, *m_prompter, Abertura.get());
    Preview->setStatusText = [this](const QString &text) { Abertura->setPanelText(1, text); };
    Preview->editInProgress = [b] { return b->InsertInProgress || b->EditInProgress; };
    b->ShowThumbnail = [this] { Preview->ShowThumbnail(); };
    b->clearThumbnail = [this] { Preview->clearThumbnail(); };
    QObject::connect(b->BitBtn1, &QPushButton::clicked, Preview, &PicturePreview::BitBtn1Click);
    Abertura->BuildPictureFilter = [this, b] {
        try {
            b->OpenPictureDialog1Filter = PictureFilter::build(Dados->Conexao);
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
