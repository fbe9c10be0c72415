#include "startup.h"

#include "appconstants.h"
#include "catalogbrowser.h"
#include "tabertura.h"
#include "tbatchprocess.h"
#include "tcopiararquivoscd.h"
#include "tdados.h"
#include "tmudarcolecaocategoria.h"
#include "topcoes.h"
#include "trastreamento.h"
#include "tremeterarquivosemail.h"
#include "tremeterarquivosftp.h"
#include "tsplash.h"
#include "tviewlog.h"

#include <QApplication>

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
    Rastreamento->setTreesCurrent = [this](bool current) { Abertura->Browser->TreesCurrent = current; };
    Abertura->Browser->showScanDialog = [this] { Rastreamento->exec(); };
    Abertura->setSplash(splash.get());
    Abertura->setOptionsDialog(Opcoes.get());
    Abertura->onEndProgram = [this] {
        m_endRequested = true;
        Abertura->close();
        QCoreApplication::exit(1);
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
