#include "app/startup.h"
#include "app/tabertura.h"
#include "app/tsplash.h"
#include "app/windowplacement.h"
#include "browser/catalogbrowser.h"
#include "core/inifile.h"
#include "core/scriptedprompter.h"
#include "options/databaselocation.h"
#include "store/query.h"
#include "store/transaction.h"
#include "support/catalogfixture.h"
#include "support/pgserver.h"
#include "support/testsupport.h"
#include "support/windowdriver.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QTableView>
#include <QTreeView>
#include <QtTest>

using testsupport::child;
using testsupport::ProgramFolder;

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void windowsAreCreatedOnceInTheFixedOrder()
    {
        ProgramFolder pf;
        ScriptedPrompter prompter;
        Startup s(pf.paths, &prompter);
        s.createWindows();
        QCOMPARE(s.creationOrder,
            QStringList({ "TSplash", "TAbertura", "TDados", "TRastreamento", "TOpcoes",
                "TBatchProcess", "TMudarColecaoCategoria", "TRemeterArquivosFTP",
                "TRemeterArquivosEmail", "TCopiarArquivosCD", "TViewLog", "TDuplicatas" }));
        QCOMPARE(QApplication::applicationName(), QStringLiteral("Quillomar"));
        QVERIFY(s.splash->isVisible());
        QVERIFY(!s.paths.MainWindowReady);
        // The main window's creation touches no table: nothing was asked or opened.
        QVERIFY(prompter.records().isEmpty());
        QVERIFY(!QFileInfo::exists(pf.paths.databasePath()));
    }

    void mainWindowFrameHasItsSizeCaptionMenuAndThumbnailFolder()
    {
        ProgramFolder pf;
        ScriptedPrompter prompter;
        Startup s(pf.paths, &prompter);
        s.createWindows();
        TAbertura *w = s.Abertura.get();
        QCOMPARE(w->size(), QSize(801, 573));
        QCOMPARE(w->windowTitle(), QStringLiteral("Quillomar version 1.0.0.9"));
        QCOMPARE(s.paths.ProgramVersion, QStringLiteral("1.0.0.9"));
        QVERIFY(QFileInfo(s.paths.ThumbnailFolder).isDir());
        QCOMPARE(s.paths.DatabaseFolder, s.paths.ProgramFolder);
        QCOMPARE(s.paths.DatabaseFileName, QStringLiteral("quillomar.mdb"));
        QVERIFY(!w->browser().selection().treesCurrent());

        const QList<QAction *> top = w->menuBar()->actions();
        // "Duplicatas" (beyond the Part's menu) between the two the Part names.
        QCOMPARE(top.size(), 3);
        QCOMPARE(top[0]->text(), QStringLiteral("Opções"));
        QCOMPARE(top[1]->text(), QStringLiteral("Duplicatas"));
        QCOMPARE(top[2]->text(), QStringLiteral("Ajuda"));
        const QList<QAction *> help = child<QMenu>(w, "Ajuda1")->actions();
        QCOMPARE(help.size(), 3);
        QCOMPARE(help[0]->text(), QStringLiteral("Marveth Home Page"));
        QVERIFY(help[1]->isSeparator());
        QCOMPARE(help[2]->text(), QStringLiteral("Sobre"));
    }

    void qtsOwnDialogsSpeakPortuguese()
    {
        ProgramFolder pf;
        ScriptedPrompter prompter;
        Startup s(pf.paths, &prompter);
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Sim"));
        QCOMPARE(box.button(QMessageBox::No)->text(), QStringLiteral("&Não"));
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancelar"));
        // The folder picker as the scan dialog opens it.
        QFileDialog picker;
        picker.setOption(QFileDialog::DontUseNativeDialog);
        picker.setFileMode(QFileDialog::Directory);
        QCOMPARE(child<QLabel>(&picker, "lookInLabel")->text(), QStringLiteral("Procurar em:"));
    }

    void statusPanelsKeepTheirWidthsAtEveryResize()
    {
        ProgramFolder pf;
        ScriptedPrompter prompter;
        Startup s(pf.paths, &prompter);
        s.createWindows();
        TAbertura *w = s.Abertura.get();
        w->show();
        for (QSize size : { QSize(801, 573), QSize(1200, 700), QSize(950, 620) }) {
            w->resize(size);
            QTRY_COMPARE(w->width(), size.width());
            const int client = w->statusBar()->contentsRect().width();
            QCOMPARE(child<QLabel>(w, "StatusPanel0")->width(), 100);
            QCOMPARE(child<QLabel>(w, "StatusPanel1")->width(), client - 200);
            QCOMPARE(child<QLabel>(w, "StatusPanel2")->width(), 100);
        }
        // A count wider than 100 pixels widens panel 0 rather than being cut.
        auto *count = child<QLabel>(w, "StatusPanel0");
        w->setPanelText(0, QStringLiteral("1000000 imagens"));
        QVERIFY(count->fontMetrics().horizontalAdvance(count->text())
            <= count->contentsRect().width() - 2 * count->margin());
        QCOMPARE(child<QLabel>(w, "StatusPanel1")->width(),
            w->statusBar()->contentsRect().width() - count->width() - 100);
        w->setPanelText(0, QStringLiteral("3 imagens"));
        QCOMPARE(count->width(), 100);
        QVERIFY(child<QLabel>(w, "StatusPanel0")->alignment() & Qt::AlignHCenter);
        QVERIFY(child<QLabel>(w, "StatusPanel1")->alignment() & Qt::AlignLeft);
        QVERIFY(child<QLabel>(w, "StatusPanel2")->alignment() & Qt::AlignHCenter);
    }

    // The main window opens where, as large as and maximised as it was closed, through a
    // section of its own of the configuration file; the catalogue's keys stay as written.
    void mainWindowRemembersItsPlacement()
    {
        CatalogFixture catalogue;
        ProgramFolder &pf = catalogue.folder;
        const QByteArray database = "[DATABASE]\r\nPATH="
            + QFile::encodeName(pf.paths.ProgramFolder) + "\r\nFILENAME=quillomar.mdb\r\n";
        QVERIFY(testsupport::writeFile(pf.paths.ConfigFile, database));
        const auto run = [&](const std::function<void(TAbertura *)> &use) {
            ScriptedPrompter prompter;
            Startup s(pf.paths, &prompter);
            s.createWindows();
            TAbertura *w = s.Abertura.get();
            w->show();
            QTRY_VERIFY(w->startupLoaded());
            use(w);
            w->close();
        };
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect chosen(
            screen.left() + 40, screen.top() + 50, screen.width() - 90, screen.height() - 80);
        run([&](TAbertura *w) {
            QCOMPARE(w->size(), TAbertura::DesignSize);
            w->setGeometry(chosen);
            QTRY_COMPARE(w->geometry(), chosen);
        });
        const QString ini = QString::fromUtf8(testsupport::readFile(pf.paths.ConfigFile));
        QVERIFY2(ini.startsWith(QString::fromUtf8(database)), qPrintable(ini));
        QVERIFY(ini.contains("[MAINWINDOW]"));
        run([&](TAbertura *w) {
            QCOMPARE(w->geometry(), chosen);
            QVERIFY(!w->isMaximized());
            w->showMaximized();
            QTRY_VERIFY(w->isMaximized());
        });
        run([&](TAbertura *w) {
            QVERIFY(w->isMaximized());
            w->showNormal();
            QTRY_COMPARE(w->geometry(), chosen);
            w->showMaximized();
        });
        QVERIFY(QString::fromUtf8(testsupport::readFile(pf.paths.ConfigFile))
                    .startsWith(QString::fromUtf8(database)));

        // A place off every screen (a monitor unplugged since): the window opens on the
        // primary screen, and no larger than it.
        IniFile(pf.paths.ConfigFile)
            .writeStrings(WindowPlacement::Section,
                { { "LEFT", "-30000" }, { "TOP", "20000" }, { "WIDTH", "90000" },
                    { "HEIGHT", QString::number(screen.height() - 100) }, { "MAXIMIZED", "0" } });
        run([&](TAbertura *w) {
            // (The offscreen platform draws a frame of a few pixels around it.)
            QVERIFY(screen.contains(w->geometry().topLeft()));
            QVERIFY(w->width() <= screen.width());
            QCOMPARE(w->height(), screen.height() - 100);
        });
    }

    void placementIsKeptOnAScreenOrMovedOntoThePrimary()
    {
        const QRect primary(0, 0, 1280, 1024);
        const QRect right(1280, 0, 1920, 1080);
        const QSize design(801, 573);
        const QList<QRect> screens { primary, right };
        // On the second screen, or partly off it: kept.
        QCOMPARE(WindowPlacement::onScreen(QRect(1500, 100, 900, 600), screens, design),
            QRect(1500, 100, 900, 600));
        QCOMPARE(WindowPlacement::onScreen(QRect(-400, 100, 900, 600), screens, design),
            QRect(-400, 100, 900, 600));
        // Its title bar above the screen: brought down; taller than the screen: shrunk.
        QCOMPARE(WindowPlacement::onScreen(QRect(100, -10, 900, 2000), screens, design),
            QRect(100, 0, 900, 1024));
        // Off every screen: centred on the primary; nothing valid: the design size.
        const QRect off = WindowPlacement::onScreen(QRect(5000, 3000, 900, 600), screens, design);
        QCOMPARE(off.size(), QSize(900, 600));
        QCOMPARE(off.center(), primary.center());
        QCOMPARE(WindowPlacement::onScreen(QRect(), screens, design).size(), design);
        // Only the top band counts: a window whose top lies below every screen is lost.
        QVERIFY(primary.contains(
            WindowPlacement::onScreen(QRect(100, 1020, 900, 600), screens, design)));
    }

    void startupWithoutCatalogueAbortsAndEndsTheProgram()
    {
        ProgramFolder pf;
        ScriptedPrompter prompter;
        Startup s(pf.paths, &prompter);
        s.createWindows();
        QSignalSpy reloads(s.Abertura.get(), &TAbertura::LoadTrees);
        QSignalSpy done(s.Abertura.get(), &TAbertura::startupLoadingDone);
        s.Abertura->show();
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.first().first().toBool(), false);
        QVERIFY(s.endRequested());
        QVERIFY(reloads.isEmpty());
        QVERIFY(!s.paths.MainWindowReady);
        const QList<ScriptedPrompter::Record> boxes = prompter.boxes();
        QVERIFY(!boxes.isEmpty());
        const ScriptedPrompter::Record last = boxes.last();
        QCOMPARE(last.text, QStringLiteral("Banco de dados não conectado."));
        QCOMPARE(last.icon, Prompter::Icon::Error);
        QCOMPARE(last.buttons, Prompter::Buttons(Prompter::Abort));
        // The beep comes right before the box.
        const QList<ScriptedPrompter::Record> all = prompter.records();
        QCOMPARE(all.at(all.size() - 2).kind, ScriptedPrompter::Kind::Beep);
        // The loading runs once, whatever activations follow.
        s.Abertura->FormActivate();
        QCOMPARE(done.count(), 1);
    }

    void databaseLocationPanelComparesExactText()
    {
        ProgramFolder pf;
        ScriptedPrompter prompter;
        Startup s(pf.paths, &prompter);
        s.createWindows();
        TAbertura *w = s.Abertura.get();
        w->ShowDatabaseLocation();
        QCOMPARE(w->panelText(2), QStringLiteral("BD LOCAL"));
        s.paths.DatabaseFolder = s.paths.ProgramFolder + "/";
        w->ShowDatabaseLocation();
        QCOMPARE(w->panelText(2), QStringLiteral("BD NÃO LOCAL"));
        s.paths.DatabaseFolder = s.paths.ProgramFolder;
        s.paths.DatabaseFileName = "outro.mdb";
        w->ShowDatabaseLocation();
        QCOMPARE(w->panelText(2), QStringLiteral("BD NÃO LOCAL"));
    }

    void aCatalogueOnAServerIsSetInTheOptionsAndNamesItsServer()
    {
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        QVERIFY2(pg.isRunning(), qPrintable(pg.error()));
        const QString server = pg.createDatabase("inicio");
        Schema::createCatalogue(server, compiledVersion());
        ProgramFolder pf;
        // As "Aplicar" keeps the options' path: blanks around it are no part of it.
        QCOMPARE(saveDatabaseLocation(pf.paths, "  " + server + " "), QString());
        IniFile ini(pf.paths.ConfigFile);
        QCOMPARE(joinPath(ini.readString("DATABASE", "PATH", QString()),
                     ini.readString("DATABASE", "FILENAME", QString())),
            server);

        ProgramPaths paths = pf.paths;
        paths.DatabaseFolder = paths.ProgramFolder;
        paths.DatabaseFileName = paths.defaultDatabaseName();
        ScriptedPrompter prompter;
        Startup s(paths, &prompter);
        s.createWindows();
        QSignalSpy loaded(s.Abertura.get(), &TAbertura::startupLoadingDone);
        s.Abertura->show();
        QTRY_COMPARE(loaded.count(), 1);
        QVERIFY2(loaded.first().first().toBool(), qPrintable(prompter.boxTexts().join('\n')));
        QCOMPARE(s.Abertura->panelText(1),
            QStringLiteral("Provider=PostgreSQL; 127.0.0.1:%1").arg(pg.port()));
        QCOMPARE(s.Abertura->panelText(2), QStringLiteral("BD NÃO LOCAL"));

        // Another client's commit shows in the open window's tree by itself.
        auto *tree = child<QTreeView>(s.Abertura.get(), "TreeView1");
        auto shown = [tree](const QString &name) {
            return !tree->model()
                        ->match(tree->model()->index(0, 0), Qt::DisplayRole, name, 1,
                            Qt::MatchExactly | Qt::MatchRecursive)
                        .isEmpty();
        };
        QVERIFY(shown("(undefined)"));
        QVERIFY(!shown("Chegou agora"));
        Connection other;
        other.openFile(server);
        {
            Transaction t(other);
            other.exec("INSERT INTO Collections (Name, System) VALUES ('Chegou agora', FALSE)");
            t.commit();
        }
        QTRY_VERIFY(shown("Chegou agora"));
        QCOMPARE(s.Abertura->panelText(1),
            QStringLiteral("Provider=PostgreSQL; 127.0.0.1:%1").arg(pg.port()));

        // The counts of the page shown follow the pictures another client adds.
        qint64 undefinedKey = 0;
        {
            Query q(other);
            q.setSql("SELECT RecId FROM Collections WHERE System = TRUE");
            q.open();
            undefinedKey = q.asInt("RecId");
        }
        testsupport::clickNode(tree,
            static_cast<const CatalogTree *>(tree->model())
                ->indexOfCode(QStringLiteral("N1=%1").arg(undefinedKey)));
        auto *counts = child<QTableView>(s.Abertura.get(), "DBGrid1");
        const auto countShown = [counts] {
            const QAbstractItemModel *m = counts->model();
            return m && m->rowCount() > 0 ? m->index(0, 1).data().toLongLong() : -1;
        };
        QTRY_COMPARE(countShown(), 0);
        {
            Transaction t(other);
            other.exec("INSERT INTO Pictures (Collection, Category, Location, Name, FileName, "
                       "FullPath, Created, Review) SELECT C.Collection, C.RecId, "
                       "(SELECT MIN(RecId) FROM Storages), 'Nova', 'nova.jpg', '/x/', "
                       "CURRENT_TIMESTAMP, TRUE FROM Categories C WHERE C.System = TRUE");
            t.commit();
        }
        QTRY_COMPARE(countShown(), 1);

        // While a record is being edited nothing is read again; once the edit ends it is.
        auto *refresh = child<QTimer>(s.Abertura.get(), "RefreshTimer");
        QSignalSpy reloads(s.Abertura.get(), &TAbertura::LoadTrees);
        s.Abertura->browser().selection().setEditInProgress(true);
        {
            Transaction t(other);
            other.exec("INSERT INTO Collections (Name, System) VALUES ('Durante a edição', FALSE)");
            t.commit();
        }
        QTRY_COMPARE(refresh->interval(), 1000); // came, and was put off
        QCOMPARE(reloads.count(), 0);
        QVERIFY(!shown("Durante a edição"));
        s.Abertura->browser().selection().setEditInProgress(false);
        QTRY_VERIFY(shown("Durante a edição"));
        QCOMPARE(reloads.count(), 1);

        // Another client committing without pause (a long review) does not hold the
        // reload back until it stops.
        int streamed = 0;
        QTimer stream;
        QObject::connect(&stream, &QTimer::timeout, [&] {
            Transaction t(other);
            other.exec(QStringLiteral("INSERT INTO Collections (Name, System) VALUES ('Fluxo %1', "
                                      "FALSE)")
                           .arg(++streamed));
            t.commit();
        });
        stream.start(20);
        QTRY_VERIFY_WITH_TIMEOUT(shown("Fluxo 1"), 10000);
        QVERIFY(stream.isActive());
        stream.stop();
    }

    void anEditSavedWhileTheServerIsDownStaysOnThePage()
    {
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        QVERIFY2(pg.isRunning(), qPrintable(pg.error()));
        const QString server = pg.createDatabase("queda");
        Schema::createCatalogue(server, compiledVersion());
        qint64 trips = 0;
        {
            Connection other;
            other.openFile(server);
            other.exec("INSERT INTO Collections (Name, System) VALUES ('Viagens', FALSE)");
            Query q(other);
            q.setSql("SELECT RecId FROM Collections WHERE Name = 'Viagens'");
            q.open();
            trips = q.asInt("RecId");
            q.close();
        }
        ProgramFolder pf;
        QCOMPARE(saveDatabaseLocation(pf.paths, server), QString());
        ProgramPaths paths = pf.paths;
        paths.DatabaseFolder = paths.ProgramFolder;
        paths.DatabaseFileName = paths.defaultDatabaseName();
        ScriptedPrompter prompter;
        Startup s(paths, &prompter);
        s.createWindows();
        QSignalSpy loaded(s.Abertura.get(), &TAbertura::startupLoadingDone);
        s.Abertura->show();
        QTRY_COMPARE(loaded.count(), 1);
        QVERIFY2(loaded.first().first().toBool(), qPrintable(prompter.boxTexts().join('\n')));

        auto *tree = child<QTreeView>(s.Abertura.get(), "TreeView1");
        testsupport::clickNode(tree,
            static_cast<const CatalogTree *>(tree->model())
                ->indexOfCode(QStringLiteral("N1=%1").arg(trips)));
        child<QAction>(s.Abertura.get(), "Editar1")->trigger();
        auto *name = child<QLineEdit>(s.Abertura.get(), "DBEdit1");
        QVERIFY(name->isEnabled());
        name->setFocus();
        name->selectAll();
        QTest::keyClicks(name, "Viagens longas");

        // The server goes down before the save: it is told in Portuguese, and what was typed
        // stays on the page to be saved later. (What was committed is on disk first, as a
        // server that commits synchronously keeps it; the test's server does not.)
        pg.exec(testsupport::PgServer::databaseOf(server), "CHECKPOINT");
        pg.stop();
        const auto restart = qScopeGuard([&pg] { pg.start(); });
        prompter.clear();
        testsupport::clickNavigator(s.Abertura.get(), "DBNavigator1", "nbPost");
        QCOMPARE(prompter.boxTexts().size(), 1);
        QVERIFY2(prompter.boxTexts().first().startsWith(
                     "Não foi possível conectar ao servidor do catálogo")
                || prompter.boxTexts().first().startsWith(
                    "A conexão com o servidor do catálogo caiu"),
            qPrintable(prompter.boxTexts().first()));
        QCOMPARE(name->text(), QStringLiteral("Viagens longas"));
        QVERIFY(s.Abertura->browser().selection().editing());

        // Back, the same save goes through.
        QVERIFY(pg.start());
        prompter.clear();
        testsupport::clickNavigator(s.Abertura.get(), "DBNavigator1", "nbPost");
        QCOMPARE(prompter.boxTexts().join("|"), QString());
        QVERIFY(!s.Abertura->browser().selection().editing());
        Connection after;
        after.openFile(server);
        Query q(after);
        q.setSql(QStringLiteral("SELECT Name FROM Collections WHERE RecId = %1").arg(trips));
        q.open();
        QCOMPARE(q.asString("Name"), QStringLiteral("Viagens longas"));
        q.close();
    }

    void splashClosesOnlyOnceTheMainWindowIsReady()
    {
        ProgramFolder pf;
        ProgramPaths paths = pf.paths;
        TSplash splash(paths);
        auto *Timer1 = child<QTimer>(&splash, "Timer1");
        auto *Image1 = child<QLabel>(&splash, "Image1");
        splash.show();
        QVERIFY(Timer1->isActive());
        QCOMPARE(Timer1->interval(), 2000);

        // Neither a click nor a tick closes it before the main window is ready.
        QTest::mouseClick(Image1, Qt::LeftButton);
        splash.Timer1Timer();
        QVERIFY(splash.isVisible());
        QVERIFY(Timer1->isActive());

        paths.MainWindowReady = true;
        splash.Timer1Timer();
        QVERIFY(!splash.isVisible());

        // As the about window: thirty seconds, or a click.
        splash.show();
        QCOMPARE(Timer1->interval(), 30000);
        QVERIFY(Timer1->isActive());
        QTest::mouseClick(Image1, Qt::LeftButton);
        QVERIFY(!splash.isVisible());
        QVERIFY(!Timer1->isActive());

        QCOMPARE(Image1->pixmap().size(), QSize(455, 195));
    }

    void aboutShowsTheSplashWithoutReloading()
    {
        CatalogFixture catalogue;
        const qint64 collection = catalogue.collection("Viagens");
        const qint64 picture = catalogue.picture(collection, catalogue.category(collection, "Roma"),
            catalogue.storage("Disco"), "forum");
        ScriptedPrompter prompter;
        Startup s(catalogue.folder.paths, &prompter);
        s.createWindows();
        QSignalSpy loaded(s.Abertura.get(), &TAbertura::startupLoadingDone);
        s.Abertura->show();
        QTRY_COMPARE(loaded.count(), 1);
        // A picture in the batch, as "Inserir no Lote" puts it there.
        auto *tree = child<QTreeView>(s.Abertura.get(), "TreeView1");
        testsupport::clickNode(tree,
            static_cast<const CatalogTree *>(tree->model())
                ->indexOfCode(QStringLiteral("N3=%1").arg(picture)));
        child<QAction>(s.Abertura.get(), "InserirnoLote1")->trigger();
        QCOMPARE(s.Abertura->batchList(), QList<qint64>({ picture }));
        s.splash->hide();
        QSignalSpy reloads(s.Abertura.get(), &TAbertura::LoadTrees);
        child<QAction>(s.Abertura.get(), "Sobre1")->trigger();
        QVERIFY(s.splash->isVisible());
        QCOMPARE(child<QTimer>(s.splash.get(), "Timer1")->interval(), 30000);
        QCOMPARE(reloads.count(), 0);
        QCOMPARE(s.Abertura->batchList(), QList<qint64>({ picture }));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
