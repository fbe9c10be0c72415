#pragma once

#include <QMainWindow>
#include <QStringList>
#include <functional>

class CatalogBrowser;
class QLabel;
class ProgramPaths;
class Prompter;
class TDados;
class TOpcoes;
class TSplash;

// The main window: caption, status bar, main menu, start-up loading and the catalogue's
// reopening after the options dialog; the trees and detail pages live inside it.
class TAbertura : public QMainWindow {
    Q_OBJECT
public:
    TAbertura(ProgramPaths &paths, Prompter &prompter, QWidget *parent = nullptr);
    // The size the window opens at when no earlier run left one.
    static constexpr QSize DesignSize { 801, 573 };
    ~TAbertura() override;

    // Windows created after this one, handed over by the start-up sequence.
    void setStore(TDados *store);
    void setSplash(TSplash *splash) { m_splash = splash; }
    void setOptionsDialog(TOpcoes *options) { m_options = options; }

    // The texts of status bar panels 0 to 2.
    QString panelText(int index) const;
    void setPanelText(int index, const QString &text);

    void FormCreate();
    void FormActivate();
    void FormClose();
    void ShowDatabaseLocation();
    void Opcoes1Click();
    void MarvethHomePage1Click();
    void Sobre1Click();

    // Pieces that the browser and the picture preview fill in; each runs as soon as set.
    std::function<void()> LoadTrees;
    std::function<void()> BuildPictureFilter;
    // Called when the start-up loading gives up; the start-up sequence ends the program.
    std::function<void()> onEndProgram;

    bool startupLoaded() const { return m_loaded; }
    // Picture keys in the order they were added (RecId values are 64-bit).
    QList<qint64> BatchList;
    // The trees, detail pages and selection state, for the start-up wiring.
    CatalogBrowser &browser() const { return *m_browser; }

signals:
    void startupLoadingDone(bool ok);

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

    ProgramPaths &m_paths;
    Prompter &m_prompter;
    TDados *m_store = nullptr;
    TSplash *m_splash = nullptr;
    TOpcoes *m_options = nullptr;
    CatalogBrowser *m_browser = nullptr;
    QLabel *m_panels[3] = { nullptr, nullptr, nullptr };
    bool m_activatedOnce = false;
    bool m_loaded = false;
    QRect m_normalGeometry;
};
