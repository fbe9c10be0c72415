#include "app/tabertura.h"

#include "app/batchcontroller.h"
#include "app/tsplash.h"
#include "app/windowplacement.h"
#include "browser/catalogbrowser.h"
#include "core/appconstants.h"
#include "core/desktopshell.h"
#include "core/errorboundary.h"
#include "core/programpaths.h"
#include "core/prompter.h"
#include "core/versiontools.h"
#include "intake/backgroundreview.h"
#include "options/topcoes.h"
#include "store/cataloguewatch.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <algorithm>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

TAbertura::TAbertura(
    ProgramPaths &paths, Prompter &prompter, DesktopShell &desktop, QWidget *parent)
    : QMainWindow(parent), m_paths(paths), m_prompter(prompter), m_desktop(desktop)
{
    setObjectName(QStringLiteral("TAbertura"));

    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    QAction *options = menuBar()->addAction(QStringLiteral("Opções"));
    options->setObjectName(QStringLiteral("Opcoes1"));
    connect(options, &QAction::triggered, this, guarded(prompter, [this] { Opcoes1Click(); }));
    QAction *duplicates = menuBar()->addAction(QStringLiteral("Duplicatas"));
    duplicates->setObjectName(QStringLiteral("Duplicatas1"));
    duplicates->setToolTip(QStringLiteral("As imagens que estão em mais de um lugar"));
    connect(
        duplicates, &QAction::triggered, this, guarded(prompter, [this] { Duplicatas1Click(); }));
    QMenu *help = menuBar()->addMenu(QStringLiteral("Ajuda"));
    help->setObjectName(QStringLiteral("Ajuda1"));
    QAction *homePage = help->addAction(QStringLiteral("Marveth Home Page"));
    homePage->setObjectName(QStringLiteral("MarvethHomePage1"));
    connect(homePage, &QAction::triggered, this,
        guarded(prompter, [this] { MarvethHomePage1Click(); }));
    help->addSeparator();
    QAction *about = help->addAction(QStringLiteral("Sobre"));
    about->setObjectName(QStringLiteral("Sobre1"));
    connect(about, &QAction::triggered, this, guarded(prompter, [this] { Sobre1Click(); }));

    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    const Qt::Alignment align[3]
        = { Qt::AlignCenter, Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter };
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(bar);
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_panels[i]->setAlignment(align[i]);
        m_panels[i]->setFrameShape(QFrame::StyledPanel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        bar->addWidget(m_panels[i]);
    }

    FormCreate();
}

TAbertura::~TAbertura() = default;

void TAbertura::FormCreate()
{
    resize(DesignSize);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QRect(QPoint(), size()).center());
    m_normalGeometry = geometry();
    restorePlacement();

    m_paths.SystemName = GetWindowsVersionName();
    m_paths.ProgramVersion = GetFileVersion(QCoreApplication::applicationFilePath());
    if (m_paths.ProgramVersion.isEmpty())
        m_paths.ProgramVersion = compiledVersion();
    setWindowTitle(
        QApplication::applicationName() + QStringLiteral(" version ") + m_paths.ProgramVersion);

    m_paths.DatabaseFolder = m_paths.ProgramFolder;
    m_paths.DatabaseFileName = m_paths.defaultDatabaseName();
    m_paths.ensureThumbnailFolder();
    layoutStatusPanels();
}

// The trees and detail pages stand on the store's record sets: they come with it. Their
// selection state starts with TreesCurrent false.
void TAbertura::setStore(TDados &store)
{
    m_store = &store;
    m_browser = new CatalogBrowser(store, m_prompter, this);
    setCentralWidget(m_browser);
    connect(m_browser, &CatalogBrowser::statusTextChanged, this,
        [this](const QString &t) { setPanelText(1, t); });
    connect(m_browser, &CatalogBrowser::pictureCountChanged, this,
        [this](const QString &t) { setPanelText(0, t); });
    connect(this, &TAbertura::LoadTrees, m_browser, &CatalogBrowser::LoadTrees);
    // The grids' missing thumbnails are made in the background.
    auto *review = new BackgroundReview(store, this);
    connect(m_browser, &CatalogBrowser::thumbnailMissing, review, &BackgroundReview::request);
    connect(review, &BackgroundReview::reviewed, m_browser, &CatalogBrowser::thumbnailMade);
    connect(&store.Conexao, &Connection::aboutToClose, review, &BackgroundReview::reset);
    m_watch = new CatalogueWatch(this);
    m_watch->setObjectName(QStringLiteral("CatalogueWatch"));
    m_refresh = new QTimer(this);
    m_refresh->setObjectName(QStringLiteral("RefreshTimer"));
    m_refresh->setSingleShot(true);
    m_clock.start();
    connect(m_watch, &CatalogueWatch::changedElsewhere, this, &TAbertura::scheduleRefresh);
    connect(m_refresh, &QTimer::timeout, this, &TAbertura::refreshFromOthers);
}

void TAbertura::scheduleRefresh()
{
    // A reload already due is not put off by later notices, so a steady stream of commits
    // cannot hold it back for ever.
    if (m_refresh->isActive())
        return;
    constexpr qint64 gatherMs = 100; // the notices of one burst arrive together
    m_refresh->start(int(std::max(gatherMs, m_quietUntil - m_clock.elapsed())));
}

void TAbertura::refreshFromOthers()
{
    if (!m_loaded || !m_store->connected())
        return;
    const SelectionState &selection = m_browser->selection();
    if (selection.editInProgress() || selection.insertInProgress()
        || QApplication::activeModalWidget()) {
        m_refresh->start(1000);
        return;
    }
    const qint64 started = m_clock.elapsed();
    try {
        for (RecordSet *set : { &m_store->TCollections, &m_store->TCategories,
                 &m_store->TPictures, &m_store->TStorages }) {
            if (set->isOpen() && !set->isEditing())
                set->refresh();
        }
    } catch (const DbError &) {
        return; // nobody asked for this reading: the user's next action tells the failure
    }
    emit LoadTrees();
    ShowProvider();
    m_quietUntil = m_clock.elapsed() + 2 * (m_clock.elapsed() - started);
}

void TAbertura::setBatchDialog(TBatchProcess &dialog)
{
    m_batchController = new BatchController(m_batchList, *m_browser, dialog, m_prompter, this);
    connect(m_batchController, &BatchController::batchStatus, this,
        [this](const QString &text) { setPanelText(1, text); });
}

QString TAbertura::panelText(int index) const
{
    return m_panels[index]->text();
}

void TAbertura::setPanelText(int index, const QString &text)
{
    m_panels[index]->setText(text);
    if (index != 1)
        layoutStatusPanels();
}

// Panels 0 and 2 are 100 pixels wide, or as wide as their text when it needs more (a
// catalogue of a million pictures); panel 1 takes the rest.
void TAbertura::layoutStatusPanels()
{
    const auto widthOf = [](QLabel *panel) {
        const int frame = panel->frameWidth() * 2 + panel->margin() * 2 + 8;
        return qMax(100, panel->fontMetrics().horizontalAdvance(panel->text()) + frame);
    };
    const int client = statusBar()->contentsRect().width();
    const int left = widthOf(m_panels[0]);
    const int right = widthOf(m_panels[2]);
    m_panels[0]->setFixedWidth(left);
    m_panels[1]->setFixedWidth(qMax(0, client - left - right));
    m_panels[2]->setFixedWidth(right);
}

void TAbertura::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    layoutStatusPanels();
    noteNormalGeometry();
}

// A window manager may not activate the window (or not at once); the first showing counts.
void TAbertura::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    QTimer::singleShot(0, this, &TAbertura::FormActivate);
}

void TAbertura::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TAbertura::FormActivate()
{
    if (m_activatedOnce)
        return;
    m_activatedOnce = true;
    ErrorBoundary::run(m_prompter, [this] { runStartupLoading(); });
}

void TAbertura::runStartupLoading()
{
    const bool opened = m_store->OpenDatabaseAll() && m_store->connected();
    if (!opened) {
        m_prompter.beep();
        m_prompter.abortBox(QStringLiteral("Banco de dados não conectado."));
        emit startupLoadingDone(false);
        emit endProgramRequested();
        return;
    }
    m_batchList.clear();
    m_browser->selection().setInsertInProgress(false);
    m_browser->selection().setEditInProgress(false);
    emit BuildPictureFilter();
    emit LoadTrees();
    ShowDatabaseLocation();
    m_paths.MainWindowReady = true;
    ShowProvider();
    m_watch->watch(m_store->Conexao);
    m_loaded = true;
    emit startupLoadingDone(true);
}

void TAbertura::ShowProvider()
{
    // A catalogue on a server names its server where a file's names this system.
    const QString server = m_store->serverText();
    setPanelText(1,
        m_store->providerText() + QLatin1Char(' ') + (server.isEmpty() ? m_paths.SystemName : server));
}

void TAbertura::ShowDatabaseLocation()
{
    setPanelText(
        2, m_paths.databaseIsLocal() ? QStringLiteral("BD LOCAL") : QStringLiteral("BD NÃO LOCAL"));
}

void TAbertura::Opcoes1Click()
{
    const QString folder = m_paths.DatabaseFolder;
    const QString file = m_paths.DatabaseFileName;
    m_options->exec();
    if (m_paths.DatabaseFolder != folder || m_paths.DatabaseFileName != file) {
        m_watch->stop();
        m_store->CloseDatabaseAll();
        if (m_store->OpenDatabaseAll()) {
            emit BuildPictureFilter();
            emit LoadTrees();
            ShowDatabaseLocation();
            ShowProvider();
            m_watch->watch(m_store->Conexao);
        }
    }
    if (m_store->connected())
        emit BuildPictureFilter();
}

// Nothing to look for before the catalogue is open.
void TAbertura::Duplicatas1Click()
{
    if (m_store && m_store->connected())
        emit duplicatesRequested();
}

void TAbertura::MarvethHomePage1Click()
{
    showMinimized();
    m_desktop.openUrl(QUrl(appconst::HomePageAddress));
}

void TAbertura::Sobre1Click()
{
    m_splash->show();
    m_splash->raise();
}

void TAbertura::FormClose()
{
    m_batchList.clear();
    savePlacement();
}

// The size, place and maximised state of the last run; the design size the first time.
void TAbertura::restorePlacement()
{
    const std::optional<WindowPlacement> placement = WindowPlacement::read(m_paths.ConfigFile);
    if (!placement)
        return;
    QList<QRect> screens;
    if (QScreen *primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (QScreen *screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            screens << screen->availableGeometry();
    setGeometry(WindowPlacement::onScreen(placement->geometry, screens, DesignSize));
    m_normalGeometry = geometry();
    if (placement->maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

// A window never shown has nothing to remember; a configuration that cannot be written
// costs only the placement, so closing says nothing about it.
void TAbertura::savePlacement()
{
    if (!m_activatedOnce)
        return;
    WindowPlacement placement;
    placement.maximized = isMaximized();
    placement.geometry = placement.maximized ? m_normalGeometry : geometry();
    if (placement.geometry.isValid())
        placement.write(m_paths.ConfigFile);
}

// The geometry the window returns to from maximised: not every platform keeps it.
void TAbertura::noteNormalGeometry()
{
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        m_normalGeometry = geometry();
}

void TAbertura::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    noteNormalGeometry();
}

void TAbertura::closeEvent(QCloseEvent *event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}
