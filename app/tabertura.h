#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>

class BatchController;
class CatalogBrowser;
class CatalogueWatch;
class DesktopShell;
class QLabel;
class QTimer;
class ProgramPaths;
class Prompter;
class TBatchProcess;
class TDados;
class TOpcoes;
class TSplash;

// The main window: caption, status bar, main menu, start-up loading and the catalogue's
// reopening after the options dialog; the trees and detail pages live inside it.
class TAbertura : public QMainWindow {
    Q_OBJECT
public:
    TAbertura(
        ProgramPaths &paths, Prompter &prompter, DesktopShell &desktop, QWidget *parent = nullptr);
    // The size the window opens at when no earlier run left one.
    static constexpr QSize DesignSize { 801, 573 };
    ~TAbertura() override;

    // What is made after this window, handed over by the start-up sequence before the
    // window is shown: the store (made after the main window, so that its creation touches
    // no table), the splash, the options and the batch dialogs.
    void setStore(TDados &store);
    void setSplash(TSplash &splash) { m_splash = &splash; }
    void setOptionsDialog(TOpcoes &options) { m_options = &options; }
    void setBatchDialog(TBatchProcess &dialog);

    // The texts of status bar panels 0 to 2.
    QString panelText(int index) const;
    void setPanelText(int index, const QString &text);

    void FormCreate();
    void FormActivate();
    void FormClose();
    void ShowDatabaseLocation();
    void ShowProvider();
    void Opcoes1Click();
    void Duplicatas1Click();
    void MarvethHomePage1Click();
    void Sobre1Click();

    bool startupLoaded() const { return m_loaded; }
    // BatchList: picture keys in the order they were added (RecId values are 64-bit).
    const QList<qint64> &batchList() const { return m_batchList; }
    // The trees, detail pages and selection state, for the start-up wiring.
    CatalogBrowser &browser() const { return *m_browser; }
    // The batch's controller, once the batch dialog is set.
    BatchController &batchController() const { return *m_batchController; }

signals:
    void startupLoadingDone(bool ok);
    // The open-picture dialog's filter is to be built again from the formats in use.
    void BuildPictureFilter();
    // Both trees are to be read again (the browser's LoadTrees).
    void LoadTrees();
    // The start-up loading gave up: the program is to end.
    void endProgramRequested();
    // "Duplicatas": the window of the pictures that live more than once is to be shown.
    void duplicatesRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void layoutStatusPanels();
    void restorePlacement();
    void savePlacement();
    void noteNormalGeometry();
    void runStartupLoading();
    // Another client committed: the trees and the shown records are read again, keeping
    // the selection; never while a record is edited or a dialog is open (tried again then).
    void scheduleRefresh();
    void refreshFromOthers();

    ProgramPaths &m_paths;
    Prompter &m_prompter;
    DesktopShell &m_desktop;
    TDados *m_store = nullptr; // set before the window is shown
    TSplash *m_splash = nullptr;
    TOpcoes *m_options = nullptr;
    CatalogBrowser *m_browser = nullptr; // made with the store
    BatchController *m_batchController = nullptr; // made with the batch dialog
    QLabel *m_panels[3] = { nullptr, nullptr, nullptr };
    CatalogueWatch *m_watch = nullptr;
    QTimer *m_refresh = nullptr; // gathers the notices of one burst of commits
    // Another machine committing all the time (a long review) must not keep the window
    // reloading: the next reload waits twice as long as the last one took.
    QElapsedTimer m_clock;
    qint64 m_quietUntil = 0; // on m_clock
    bool m_activatedOnce = false;
    bool m_loaded = false;
    QRect m_normalGeometry;
    QList<qint64> m_batchList;
};
