#pragma once

#include "batch/eventlog.h"
#include "core/programpaths.h"
#include "widgets/messageboxprompter.h"
#include "widgets/systemdesktopshell.h"

#include <QStringList>
#include <memory>

class TAbertura;
class TBatchProcess;
class TCopiarArquivosCD;
class TDados;
class TMudarColecaoCategoria;
class TOpcoes;
class PicturePreview;
class RecordEditor;
class TRastreamento;
class TRemeterArquivosEmail;
class TRemeterArquivosFTP;
class TSplash;
class TViewLog;
class Prompter;

// The start-up sequence: splash, every window once in a fixed order, the message loop.
class Startup {
public:
    // With no prompter given, the program's message boxes are used; with no desktop, the
    // desktop's own default applications.
    explicit Startup(
        const ProgramPaths &paths, Prompter *prompter = nullptr, DesktopShell *desktop = nullptr);
    ~Startup();

    // Shows the splash and creates every window; run() then shows the main window.
    void createWindows();
    int run();

    ProgramPaths paths;
    QStringList creationOrder; // objectName of each window, as created
    // The program's one event log: the transfer dialogs write it, the log window shows it.
    EventLog eventLog;

    std::unique_ptr<TSplash> splash;
    std::unique_ptr<TAbertura> Abertura;
    std::unique_ptr<TDados> Dados;
    std::unique_ptr<TRastreamento> Rastreamento;
    std::unique_ptr<TOpcoes> Opcoes;
    std::unique_ptr<TBatchProcess> BatchProcess;
    std::unique_ptr<TMudarColecaoCategoria> MudarColecaoCategoria;
    std::unique_ptr<TRemeterArquivosFTP> RemeterArquivosFTP;
    std::unique_ptr<TRemeterArquivosEmail> RemeterArquivosEmail;
    std::unique_ptr<TCopiarArquivosCD> CopiarArquivosCD;
    std::unique_ptr<TViewLog> ViewLog;
    // The picture page's preview, owned by the main window.
    PicturePreview *Preview = nullptr;
    RecordEditor *Editor = nullptr; // record editing and deletion on the detail pages

    Prompter &prompter() { return *m_prompter; }
    bool endRequested() const { return m_endRequested; }

private:
    void wirePicturePreview();
    void wireBatch();

    MessageBoxPrompter m_boxes;
    Prompter *m_prompter;
    SystemDesktopShell m_system;
    DesktopShell *m_desktop;
    bool m_endRequested = false;
};
