#include "app/startup.h"
#include "app/tabertura.h"
#include "app/tsplash.h"
#include "browser/catalogbrowser.h"
#include "core/scriptedprompter.h"
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
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
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
                "TRemeterArquivosEmail", "TCopiarArquivosCD", "TViewLog" }));
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
        QCOMPARE(top.size(), 2);
        QCOMPARE(top[0]->text(), QStringLiteral("Opções"));
        QCOMPARE(top[1]->text(), QStringLiteral("Ajuda"));
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
        QVERIFY(child<QLabel>(w, "StatusPanel0")->alignment() & Qt::AlignHCenter);
        QVERIFY(child<QLabel>(w, "StatusPanel1")->alignment() & Qt::AlignLeft);
        QVERIFY(child<QLabel>(w, "StatusPanel2")->alignment() & Qt::AlignHCenter);
    }

    void startupWithoutCatalogueAbortsAndEndsTheProgram()
    {
        ProgramFolder pf;
        ScriptedPrompter prompter;
        Startup s(pf.paths, &prompter);
        s.createWindows();
        bool reloaded = false;
        s.Abertura->LoadTrees = [&] { reloaded = true; };
        QSignalSpy done(s.Abertura.get(), &TAbertura::startupLoadingDone);
        s.Abertura->show();
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.first().first().toBool(), false);
        QVERIFY(s.endRequested());
        QVERIFY(!reloaded);
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

    void splashClosesOnlyOnceTheMainWindowIsReady()
    {
        ProgramFolder pf;
        ProgramPaths paths = pf.paths;
        TSplash splash(paths);
        splash.show();
        QVERIFY(splash.Timer1->isActive());
        QCOMPARE(splash.Timer1->interval(), 2000);

        // Neither a click nor a tick closes it before the main window is ready.
        QTest::mouseClick(splash.Image1, Qt::LeftButton);
        splash.Timer1Timer();
        QVERIFY(splash.isVisible());
        QVERIFY(splash.Timer1->isActive());

        paths.MainWindowReady = true;
        splash.Timer1Timer();
        QVERIFY(!splash.isVisible());

        // As the about window: thirty seconds, or a click.
        splash.show();
        QCOMPARE(splash.Timer1->interval(), 30000);
        QVERIFY(splash.Timer1->isActive());
        QTest::mouseClick(splash.Image1, Qt::LeftButton);
        QVERIFY(!splash.isVisible());
        QVERIFY(!splash.Timer1->isActive());

        QCOMPARE(splash.Image1->pixmap().size(), QSize(455, 195));
    }

    void aboutShowsTheSplashWithoutReloading()
    {
        ProgramFolder pf;
        ScriptedPrompter prompter;
        Startup s(pf.paths, &prompter);
        s.createWindows();
        s.splash->hide();
        int reloads = 0;
        s.Abertura->LoadTrees = [&] { ++reloads; };
        s.Abertura->BatchList = { 1, 2, 3 };
        s.paths.MainWindowReady = true;
        child<QAction>(s.Abertura.get(), "Sobre1")->trigger();
        QVERIFY(s.splash->isVisible());
        QCOMPARE(s.splash->Timer1->interval(), 30000);
        QCOMPARE(reloads, 0);
        QCOMPARE(s.Abertura->BatchList, QList<int>({ 1, 2, 3 }));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
