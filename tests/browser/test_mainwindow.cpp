#include "app/startup.h"
#include "app/tabertura.h"
#include "browser/catalogbrowser.h"
#include "core/scriptedprompter.h"
#include "intake/storagevolumes.h"
#include "intake/trastreamento.h"
#include "intake/volumeidentity.h"
#include "options/topcoes.h"
#include "store/connection.h"
#include "store/query.h"
#include "store/tdados.h"
#include "options/databaselocation.h"
#include "support/catalogfixture.h"
#include "support/diskimages.h"
#include "support/windowdriver.h"
#include "widgets/dbcontrols.h"
#include "widgets/pagecontrol.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

using testsupport::child;

namespace {
// The main window over a small catalogue, started as the program starts.
struct Window {
    CatalogFixture f;
    ScriptedPrompter prompter;
    std::unique_ptr<Startup> app;
    qint64 trips = 0, rome = 0, paris = 0, disk = 0, coliseum = 0, forum = 0, louvre = 0;

    Window()
    {
        trips = f.collection("Viagens");
        rome = f.category(trips, "Roma");
        paris = f.category(trips, "Paris");
        disk = f.storage("Disco externo");
        coliseum = f.picture(trips, rome, disk, "coliseu");
        forum = f.picture(trips, rome, disk, "forum");
        louvre = f.picture(trips, paris, disk, "louvre");
        app = std::make_unique<Startup>(f.folder.paths, &prompter);
        app->createWindows();
        QSignalSpy done(app->Abertura.get(), &TAbertura::startupLoadingDone);
        app->Abertura->show();
        QTRY_COMPARE(done.count(), 1);
        QVERIFY(done.first().first().toBool());
    }
    TAbertura &main() { return *app->Abertura; }
    CatalogBrowser &b() { return main().browser(); }
    TDados &store() { return *app->Dados; }
    template<typename T = QWidget> T *find(const char *name)
    {
        return child<T>(&main(), QString::fromLatin1(name));
    }
    QTreeView *tree1() { return find<QTreeView>("TreeView1"); }
    QTreeView *tree2() { return find<QTreeView>("TreeView2"); }
    PageControl *pages() { return find<PageControl>("PageControl2"); }
    QAction *action(const char *name) { return find<QAction>(name); }
    int node(QTreeView *tree, const QString &code)
    {
        return static_cast<const CatalogTree *>(tree->model())->indexOfCode(code);
    }
    int node(QTreeView *tree, const char *level, qint64 key)
    {
        return node(tree, QString("%1=%2").arg(level).arg(key));
    }
    void click(QTreeView *tree, int absolute) { testsupport::clickNode(tree, absolute); }
    QList<int> visiblePages() { return testsupport::visiblePages(pages()); }
    int selectedNode(QTreeView *tree)
    {
        const QModelIndexList rows = tree->selectionModel()->selectedRows();
        return rows.isEmpty()
            ? -1
            : static_cast<const CatalogTree *>(tree->model())->absoluteIndex(rows.first());
    }
};
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startupLoadsTheTreesAndTheStatusBar()
    {
        Window w;
        QVERIFY(w.app->paths.MainWindowReady);
        QVERIFY(w.b().selection().treesCurrent());
        QCOMPARE(w.main().panelText(0), QStringLiteral("3 imagens"));
        if (w.f.onServer()) {
            QCOMPARE(w.main().panelText(1),
                QStringLiteral("Provider=PostgreSQL; 127.0.0.1:%1")
                    .arg(testsupport::PgServer::instance().port()));
            QCOMPARE(w.main().panelText(2), QStringLiteral("BD NÃO LOCAL"));
        } else {
            QCOMPARE(w.main().panelText(1),
                QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0; ") + w.app->paths.SystemName);
            QCOMPARE(w.main().panelText(2), QStringLiteral("BD LOCAL"));
        }
        QVERIFY(w.node(w.tree1(), "N3", w.louvre) > 0);
        QVERIFY(w.visiblePages().isEmpty());
        QCOMPARE(w.pages()->activePageIndex(), -1);
        QVERIFY(!w.find<QPushButton>("BitBtn1")->isEnabled());
        QCOMPARE(w.find<PageControl>("PageControl1")->activePageIndex(), 0);
        QVERIFY(w.prompter.boxes().isEmpty());
    }

    void clickingAPictureInTheLocationTreePositionsItsParents()
    {
        Window w;
        QSignalSpy shown(&w.b(), &CatalogBrowser::thumbnailRequested);
        testsupport::clickTab(w.find<PageControl>("PageControl1"), 1);
        w.click(w.tree2(), w.node(w.tree2(), "N3", w.louvre));
        QCOMPARE(w.b().selection().kind(), NodeKind::Picture);
        QCOMPARE(w.b().selection().key(), w.louvre);
        QCOMPARE(w.visiblePages(), QList<int>({ 2 }));
        QCOMPARE(w.pages()->activePageIndex(), 2);
        QCOMPARE(w.store().TPictures.asInt("RecId"), w.louvre);
        QCOMPARE(w.store().TCategories.asInt("RecId"), w.paris);
        QCOMPARE(w.store().TCollections.asInt("RecId"), w.trips);
        QCOMPARE(w.store().TStorages.asInt("RecId"), w.disk);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(w.find<QLineEdit>("DBEdit3")->text(), QStringLiteral("louvre"));
        QCOMPARE(w.find<QComboBox>("DBLookupComboBox3")->currentText(), QStringLiteral("Paris"));
        QCOMPARE(
            w.find<QComboBox>("DBLookupComboBox7")->currentText(), QStringLiteral("Disco externo"));
        QVERIFY(w.action("InserirnoLote1")->isEnabled());
        QVERIFY(w.action("Editar1")->isEnabled());
        // Browsing: nothing on the page can be edited, the navigator offers edit and delete.
        QVERIFY(!w.find("DBEdit3")->isEnabled());
        QVERIFY(!w.find("DBCheckBox4")->isEnabled());
        QWidget *navigator = w.find("DBNavigator3");
        QVERIFY(child<QToolButton>(navigator, "nbEdit")->isEnabled());
        QVERIFY(!child<QToolButton>(navigator, "nbPost")->isEnabled());

        // A storage node of the same tree: page 3.
        w.click(w.tree2(), w.node(w.tree2(), "N4", w.disk));
        QCOMPARE(w.visiblePages(), QList<int>({ 3 }));
        QCOMPARE(w.pages()->activePageIndex(), 3);
        QCOMPARE(w.find<QLineEdit>("DBEdit10")->text(), QStringLiteral("Disco externo"));
        QVERIFY(!w.action("InserirnoLote1")->isEnabled());
    }

    void anotherProcessesScanCommitsWhileAPictureIsShown()
    {
        Window w;
        w.click(w.tree1(), w.node(w.tree1(), "N3", w.coliseum));
        QCOMPARE(w.find<QLineEdit>("DBEdit3")->text(), QStringLiteral("coliseu"));
        QTemporaryDir pictures;
        for (const char *name : { "a.jpg", "b.jpg" })
            QVERIFY(testsupport::writeFile(pictures.filePath(name), QByteArray()));
        // The window keeps running its events meanwhile; none of them may leave a read open.
        QProcess scan;
        QSignalSpy finished(&scan, &QProcess::finished);
        scan.start(testsupport::binDir() + "/quillomar-cli",
            { "--catalogue", w.f.path, "scan", pictures.path(), "--collection",
                QString::number(w.trips), "--category", QString::number(w.rome) });
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, 120000);
        QCOMPARE(scan.readAllStandardError(), QByteArray());
        QCOMPARE(scan.exitCode(), 0);
        QCOMPARE(w.store().Conexao.steppingStatements(), 0);
        Connection c;
        c.openFile(w.f.path);
        Query q(c);
        q.setSql("SELECT count(*) AS n FROM Pictures");
        q.open();
        QCOMPARE(q.asInt("n"), 5);
    }

    void organisationTreePagesFollowTheDepth()
    {
        Window w;
        QTreeView *t = w.tree1();
        w.click(t, w.node(t, "N1", w.trips));
        QCOMPARE(w.visiblePages(), QList<int>({ 0 }));
        QCOMPARE(w.find<QLineEdit>("DBEdit1")->text(), QStringLiteral("Viagens"));
        QVERIFY(!w.action("InserirnoLote1")->isEnabled());
        w.click(t, w.node(t, "N2", w.rome));
        QCOMPARE(w.visiblePages(), QList<int>({ 1 }));
        QCOMPARE(w.pages()->activePageIndex(), 1);
        QCOMPARE(w.store().TCategories.asInt("RecId"), w.rome);
        QCOMPARE(w.find<QLineEdit>("DBEdit2")->text(), QStringLiteral("Roma"));
        QCOMPARE(w.find<QComboBox>("DBLookupComboBox1")->currentText(), QStringLiteral("Viagens"));

        // The same node again refreshes its page's statistics; a newly shown page is filled
        // too, once, and only after the store stands on the new record.
        QList<std::pair<NodeKind, qint64>> refreshed;
        connect(&w.b(), &CatalogBrowser::statisticsRequested, this, [&](NodeKind page) {
            refreshed.append({ page,
                page == NodeKind::Collection ? w.store().TCollections.asInt("RecId")
                                             : w.store().TCategories.asInt("RecId") });
        });
        w.click(t, w.node(t, "N2", w.rome));
        QCOMPARE(
            refreshed, (QList<std::pair<NodeKind, qint64>> { { NodeKind::Category, w.rome } }));
        w.click(t, w.node(t, "N1", w.trips));
        QCOMPARE(refreshed.size(), 2);
        QCOMPARE(refreshed.last(), std::make_pair(NodeKind::Collection, w.trips));

        // The keyboard follows the selection like clicks.
        t->setFocus();
        QTest::keyClick(t, Qt::Key_Down);
        QCOMPARE(w.b().selection().kind(), NodeKind::Category);
    }

    void tabChangeTakesTheOtherTreesSelection()
    {
        Window w;
        auto *trees = w.find<PageControl>("PageControl1");
        w.click(w.tree1(), w.node(w.tree1(), "N3", w.coliseum));
        QCOMPARE(w.b().selection().key(), w.coliseum);
        // No node selected in the location tree: switching empties the selection.
        testsupport::clickTab(trees, 1);
        QCOMPARE(w.b().selection().kind(), NodeKind::None);
        QVERIFY(w.visiblePages().isEmpty());
        w.click(w.tree2(), w.node(w.tree2(), "N4", w.disk));
        testsupport::clickTab(trees, 0);
        QCOMPARE(w.b().selection().kind(), NodeKind::Picture);
        QCOMPARE(w.b().selection().key(), w.coliseum);
        QCOMPARE(w.visiblePages(), QList<int>({ 2 }));
    }

    void pendingEditAsksBeforeTheSelectionMoves()
    {
        Window w;
        QTreeView *t = w.tree1();
        w.click(t, w.node(t, "N1", w.trips));
        testsupport::clickNavigator(&w.main(), "DBNavigator1", "nbEdit");
        w.b().selection().setEditInProgress(true);
        w.b().UpdateControlStates();
        auto *name = w.find<QLineEdit>("DBEdit1");
        QVERIFY(name->isEnabled());
        QCOMPARE(name->palette().color(QPalette::Base), QColor(255, 251, 240));
        QVERIFY(!w.find("ToolButton1")->isEnabled());
        QVERIFY(!w.find("ToolButton2")->isEnabled());
        QVERIFY(!w.find("DBCheckBox1")->isEnabled());
        QVERIFY(child<QToolButton>(w.find("DBNavigator1"), "nbPost")->isEnabled());

        // No: the edit and the page stay.
        w.prompter.answerButton(Prompter::No);
        w.click(t, w.node(t, "N2", w.rome));
        QCOMPARE(w.prompter.boxTexts().last(), QStringLiteral("Cancelar a edição corrente?"));
        QCOMPARE(
            w.prompter.boxes().last().buttons, Prompter::Buttons(Prompter::Yes) | Prompter::No);
        QCOMPARE(w.b().selection().kind(), NodeKind::Collection);
        QCOMPARE(w.store().TCollections.state(), RecordSet::State::Edit);
        // A navigator as sender does not ask.
        const int asked = w.prompter.boxes().size();
        w.b().TreeViewClick(CatalogBrowser::Sender::Navigator);
        QCOMPARE(w.prompter.boxes().size(), asked);
        // Yes: the edit is cancelled and the new node selected.
        w.prompter.answerButton(Prompter::Yes);
        w.click(t, w.node(t, "N2", w.rome));
        QCOMPARE(w.store().TCollections.state(), RecordSet::State::Browse);
        QVERIFY(!w.b().selection().editInProgress());
        QCOMPARE(w.b().selection().kind(), NodeKind::Category);
        QVERIFY(w.find("ToolButton1")->isEnabled());
        QVERIFY(!name->isEnabled());
    }

    void keyReleasesWithoutTheirPressInTheTreeDoNotAskAgain()
    {
        Window w;
        QTreeView *t = w.tree1();
        w.click(t, w.node(t, "N1", w.trips));
        testsupport::clickNavigator(&w.main(), "DBNavigator1", "nbEdit");
        w.b().selection().setEditInProgress(true);
        t->setFocus();
        // Down in the tree asks; No keeps the edit.
        w.prompter.answerButton(Prompter::No);
        QTest::keyClick(t, Qt::Key_Down);
        QCOMPARE(w.prompter.boxTexts().count("Cancelar a edição corrente?"), 1);
        // The Escape that closed the box, and a Tab pressed elsewhere, end in the tree.
        QTest::keyRelease(t, Qt::Key_Escape);
        QTest::keyPress(w.find("DBEdit1"), Qt::Key_Tab);
        QTest::keyRelease(t, Qt::Key_Tab);
        QCOMPARE(w.prompter.boxTexts().count("Cancelar a edição corrente?"), 1);
        QCOMPARE(w.store().TCollections.state(), RecordSet::State::Edit);
        // A key pressed and released in the tree still follows the selection.
        w.prompter.answerButton(Prompter::Yes);
        QTest::keyClick(t, Qt::Key_Up);
        QCOMPARE(w.prompter.boxTexts().count("Cancelar a edição corrente?"), 2);
        QCOMPARE(w.store().TCollections.state(), RecordSet::State::Browse);
    }

    void collapsingTheSelectedNodesParentSelectsIt()
    {
        Window w;
        QTreeView *t = w.tree1();
        auto *m = static_cast<CatalogTree *>(t->model());
        w.click(t, w.node(t, "N3", w.forum));
        QCOMPARE(w.visiblePages(), QList<int>({ 2 }));
        // The person closes the category with the branch mark left of its name.
        const QModelIndex rome = m->modelIndex(w.node(t, "N2", w.rome));
        const QRect row = t->visualRect(rome);
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {},
            QPoint(row.left() - t->indentation() / 2, row.center().y()));
        QVERIFY(!t->isExpanded(rome));
        QCOMPARE(w.selectedNode(t), w.node(t, "N2", w.rome));
        QCOMPARE(w.b().selection().kind(), NodeKind::Category);
        QCOMPARE(w.b().selection().key(), w.rome);
        QCOMPARE(w.visiblePages(), QList<int>({ 1 }));
        QCOMPARE(w.store().TCategories.asInt("RecId"), w.rome);
        QVERIFY(!w.action("InserirnoLote1")->isEnabled());
        // Closing a node elsewhere leaves the selection alone.
        const QModelIndex paris = m->modelIndex(w.node(t, "N2", w.paris));
        t->expand(paris);
        t->collapse(paris);
        QCOMPARE(w.b().selection().key(), w.rome);
        // While an edit is pending, closing the collection asks once.
        testsupport::clickNavigator(&w.main(), "DBNavigator2", "nbEdit");
        w.b().selection().setEditInProgress(true);
        w.prompter.answerButton(Prompter::No);
        const QRect trips = t->visualRect(m->modelIndex(w.node(t, "N1", w.trips)));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {},
            QPoint(trips.left() - t->indentation() / 2, trips.center().y()));
        QCOMPARE(w.prompter.boxTexts(), QStringList { "Cancelar a edição corrente?" });
        QCOMPARE(w.store().TCategories.state(), RecordSet::State::Edit);
    }

    void editingAPictureOffersOnlyItsCollectionsCategories()
    {
        Window w;
        const qint64 other = w.f.collection("Outra");
        w.f.category(other, "Alheia");
        w.store().TCategories.requery();
        QTreeView *t = w.tree1();
        w.click(t, w.node(t, "N3", w.forum));
        testsupport::clickNavigator(&w.main(), "DBNavigator3", "nbEdit");
        w.b().selection().setEditInProgress(true);
        w.b().UpdateControlStates();
        QCOMPARE(w.store().TCategories.recordCount(), 2);
        auto *categories = w.find<DBLookupComboBox>("DBLookupComboBox3");
        QTest::mouseClick(categories, Qt::LeftButton);
        categories->hidePopup();
        QStringList offered;
        for (int i = 0; i < categories->count(); ++i)
            offered << categories->itemText(i);
        QCOMPARE(offered.size(), 2);
        QVERIFY(!offered.contains("Alheia"));
        QVERIFY(w.find("DBEdit3")->isEnabled());
        QVERIFY(!w.find("DBEdit4")->isEnabled());
        testsupport::clickNavigator(&w.main(), "DBNavigator3", "nbCancel");
        w.b().selection().setEditInProgress(false);
        w.b().UpdateControlStates();
        QCOMPARE(w.store().TCategories.recordCount(), 3);
        QCOMPARE(w.store().TCategories.sort(), QStringLiteral("Collection;Name"));
    }

    void popupItemsExpandCollapseAndClearTheSelection()
    {
        Window w;
        QTreeView *t = w.tree1();
        const int trips = w.node(t, "N1", w.trips);
        w.action("ContrairTudo1")->trigger();
        w.click(t, trips);
        t->collapseAll();
        w.action("Expandir1")->trigger();
        auto *m = static_cast<CatalogTree *>(t->model());
        QVERIFY(t->isExpanded(m->modelIndex(trips)));
        QVERIFY(!t->isExpanded(m->modelIndex(w.node(t, "N2", w.rome))));
        w.action("Contrair1")->trigger();
        QVERIFY(!t->isExpanded(m->modelIndex(trips)));
        w.action("ExpandirTudo1")->trigger();
        QVERIFY(t->isExpanded(m->modelIndex(w.node(t, "N2", w.rome))));

        w.action("ContrairTudo1")->trigger();
        QCOMPARE(w.selectedNode(w.tree1()), -1);
        QCOMPARE(w.selectedNode(w.tree2()), -1);
        QCOMPARE(w.b().selection().kind(), NodeKind::None);
        QVERIFY(w.visiblePages().isEmpty());
        QVERIFY(!t->isExpanded(m->modelIndex(trips)));
        QVERIFY(!w.action("Editar1")->isEnabled());
        QVERIFY(!w.action("Excluir1")->isEnabled());
    }

    void reloadReselectsARenamedCollectionAtItsNewPlace()
    {
        Window w;
        QTreeView *t = w.tree1();
        w.click(t, w.node(t, "N1", w.trips));
        w.f.exec(QString("UPDATE Collections SET Name = '(aaa) primeira' WHERE RecId = %1")
                     .arg(w.trips));
        w.store().TCollections.refresh();
        w.b().LoadTrees();
        const int n = w.selectedNode(t);
        QCOMPARE(w.b().TreeView1Nodes().code(n), QString("N1=%1").arg(w.trips));
        QCOMPARE(n, 0);
        auto *m = static_cast<CatalogTree *>(t->model());
        QVERIFY(t->isExpanded(m->modelIndex(n)));
        QCOMPARE(w.main().panelText(1), QString());
    }

    void rightClickSelectsTheNodeUnderTheMouseBeforeThePopup()
    {
        Window w;
        QTreeView *t = w.tree1();
        w.click(t, w.node(t, "N1", w.trips));
        QVERIFY(!w.action("InserirnoLote1")->isEnabled());
        auto *m = static_cast<CatalogTree *>(t->model());
        const QModelIndex pic = m->modelIndex(w.node(t, "N3", w.forum));
        t->expand(pic.parent());
        t->scrollTo(pic);
        const QPoint pos = t->visualRect(pic).center();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, pos, t->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(t->viewport(), &menu);
        QCOMPARE(w.b().selection().kind(), NodeKind::Picture);
        QCOMPARE(w.b().selection().key(), w.forum);
        QVERIFY(w.action("InserirnoLote1")->isEnabled());
        auto *popup = w.find<QMenu>("PopupMenu2");
        QTRY_VERIFY(popup->isVisible());
        popup->close();
    }

    void optionsReopenTheCatalogueOnlyWhenItsLocationChanged()
    {
        Window w;
        TAbertura &main = w.main();
        QSignalSpy filterSpy(&main, &TAbertura::BuildPictureFilter);
        QSignalSpy reloadSpy(&main, &TAbertura::LoadTrees);
        const auto filters = [&] { return filterSpy.count(); };
        const auto reloads = [&] { return reloadSpy.count(); };

        // Closed without a change: the store stays open, the filter is rebuilt once.
        QTimer::singleShot(0, w.app->Opcoes.get(), &QDialog::reject);
        w.action("Opcoes1")->trigger();
        QCOMPARE(filters(), 1);
        QCOMPARE(reloads(), 0);
        QVERIFY(w.store().connected());
        QCOMPARE(main.panelText(2),
            w.f.onServer() ? QStringLiteral("BD NÃO LOCAL") : QStringLiteral("BD LOCAL"));

        // Another catalogue chosen in the dialog: closed, reopened, trees and panel follow.
        CatalogFixture other;
        other.collection("Só no outro");
        QTimer::singleShot(0, w.app->Opcoes.get(), [&] {
            if (other.onServer()) {
                // As the dialog keeps a server location: in the configuration too.
                QCOMPARE(saveDatabaseLocation(w.app->paths, other.path), QString());
            } else {
                w.app->paths.DatabaseFolder = QFileInfo(other.path).absolutePath() + "/";
                w.app->paths.DatabaseFileName = QFileInfo(other.path).fileName();
            }
            w.app->Opcoes->reject();
        });
        w.action("Opcoes1")->trigger();
        QCOMPARE(reloads(), 1);
        QCOMPARE(filters(), 3);
        QCOMPARE(main.panelText(2), QStringLiteral("BD NÃO LOCAL"));
        QCOMPARE(w.b().TreeView1Nodes().name(0), QStringLiteral("Só no outro"));
    }

    void scanFromTheToolBarReloadsTheTreesWithTheNewPictures()
    {
        Window w;
        QTemporaryDir photos;
        QImage img(40, 30, QImage::Format_RGB32);
        img.fill(Qt::red);
        QVERIFY(img.save(photos.filePath("praia.jpg")));
        QVERIFY(img.save(photos.filePath("nota.txt"), "PNG"));
        TRastreamento *dialog = w.app->Rastreamento.get();
        QTimer::singleShot(0, dialog, [&] {
            child<QLineEdit>(dialog, "Edit1")->setText(photos.path());
            // This catalogue has no system collection, so none is preselected.
            dialog->setCollectionKey(w.trips);
            dialog->setCategoryKey(w.rome);
            w.prompter.answerButton(Prompter::Yes); // "Confirmar a execução?"
            QTest::mouseClick(child<QPushButton>(dialog, "BitBtn2"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(dialog, "BitBtn3"), Qt::LeftButton);
        });
        QTest::mouseClick(w.find("ToolButton2"), Qt::LeftButton);
        QVERIFY2(w.prompter.boxTexts().contains(QStringLiteral("Execução encerrada!")),
            qPrintable(w.prompter.boxTexts().join(" | ")));
        QVERIFY(w.b().selection().treesCurrent());
        bool found = false;
        const CatalogTree &t = w.b().TreeView1Nodes();
        for (int i = 0; i < t.count(); ++i)
            found
                = found || (t.kind(i) == NodeKind::Picture && t.name(i) == QStringLiteral("praia"));
        QVERIFY(found);
        QCOMPARE(w.main().panelText(0), QStringLiteral("4 imagens"));
        QVERIFY(w.visiblePages().isEmpty());
    }

    // A drive's storage whose disk is not connected (its mount point folder stayed behind)
    // and its pictures show offline in the location tree: greyed, another icon, a tool tip
    // naming the disk; the names stay. The next load decides again.
    void aStorageWhoseDiskIsNotConnectedShowsOffline()
    {
        CatalogFixture f;
        QTemporaryDir left;
        const qint64 trips = f.collection("Viagens");
        const qint64 rome = f.category(trips, "Roma");
        const qint64 here = f.storage("Disco interno"); // a folder that is there
        const qint64 away
            = f.exec("INSERT INTO Storages (Name, Unit, System) VALUES ('Fotos antigas', :U, TRUE)",
                { { "U", left.path() } });
        {
            Connection c;
            c.openFile(f.path);
            VolumeIdentity disk;
            disk.type = "ext4";
            disk.uuid = "0b9a5f1e-6c2d-4c4b-9a53-9a0e8b7e1c11";
            disk.label = "FOTOS_2019";
            StorageVolumes::record(c, away, disk);
        }
        const qint64 coliseum = f.picture(trips, rome, here, "coliseu");
        const qint64 beach = f.picture(trips, rome, away, "praia");
        ScriptedPrompter prompter;
        Startup app(f.folder.paths, &prompter);
        app.createWindows();
        QSignalSpy done(app.Abertura.get(), &TAbertura::startupLoadingDone);
        app.Abertura->show();
        QTRY_COMPARE(done.count(), 1);

        auto *view = child<QTreeView>(app.Abertura.get(), "TreeView2");
        auto *tree = static_cast<const CatalogTree *>(view->model());
        const auto index = [tree](const char *level, qint64 key) {
            return tree->modelIndex(tree->indexOfCode(QString("%1=%2").arg(level).arg(key)));
        };
        const QModelIndex disk = index("N4", away);
        const QModelIndex onDisk = index("N3", beach);
        const QModelIndex internal = index("N4", here);
        const QModelIndex there = index("N3", coliseum);
        const QBrush grey = QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        const auto iconKey = [](const QModelIndex &i) {
            return i.data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage();
        };

        QCOMPARE(disk.data().toString(), QStringLiteral("Fotos antigas"));
        QCOMPARE(onDisk.data().toString(), QStringLiteral("praia"));
        QCOMPARE(disk.data(Qt::ForegroundRole).value<QBrush>(), grey);
        QCOMPARE(onDisk.data(Qt::ForegroundRole).value<QBrush>(), grey);
        QVERIFY(!internal.data(Qt::ForegroundRole).isValid());
        QVERIFY(!there.data(Qt::ForegroundRole).isValid());
        QVERIFY(iconKey(disk) != iconKey(internal));
        QVERIFY(iconKey(onDisk) != iconKey(there));
        const QString tip = disk.data(Qt::ToolTipRole).toString();
        QVERIFY2(tip.startsWith("Fotos antigas\nDisco «FOTOS_2019» não conectado (ext4, UUID "
                                "0b9a5f1e-6c2d-4c4b-9a53-9a0e8b7e1c11, montado da última vez em "
                     + left.path() + ")"),
            qPrintable(tip));
        QVERIFY(onDisk.data(Qt::ToolTipRole)
                    .toString()
                    .startsWith("praia\nDisco «FOTOS_2019» não conectado"));
        QCOMPARE(internal.data(Qt::ToolTipRole).toString(), QStringLiteral("Disco interno"));
        // The organisation tree tells nothing of disks.
        auto *organisation = static_cast<const CatalogTree *>(
            child<QTreeView>(app.Abertura.get(), "TreeView1")->model());
        QVERIFY(!organisation->isOffline(organisation->indexOfCode(QString("N3=%1").arg(beach))));

        // The storage now names a folder that is there, without a disk of its own: online
        // at the next load.
        f.exec("DELETE FROM StorageVolumes");
        f.exec("UPDATE Storages SET System = FALSE WHERE RecId = :R", { { "R", away } });
        app.Abertura->browser().LoadTrees();
        QVERIFY(!tree->isOffline(tree->indexOfCode(QString("N4=%1").arg(away))));
        QVERIFY(!index("N3", beach).data(Qt::ForegroundRole).isValid());
        QCOMPARE(
            index("N4", away).data(Qt::ToolTipRole).toString(), QStringLiteral("Fotos antigas"));
        QVERIFY(prompter.boxes().isEmpty());
    }

    // A disk pulled out while the window is open greys at once, and shows again when it
    // is plugged in somewhere else: the mount table's changes are watched.
    void aDiskPulledOutOrPluggedInShowsWithoutAReload()
    {
        if (const QString why = diskimages::mountRefusal(); !why.isEmpty())
            QSKIP(qPrintable("Loop mounts are not possible here: " + why));
        CatalogFixture f;
        QTemporaryDir dir;
        const QString image = dir.filePath("fotos.img");
        const QString uuid = QStringLiteral("7a2f4c1e-0d3b-4e5f-8a9b-1c2d3e4f5a6b");
        QVERIFY(diskimages::ext4Image(image, "VIAGENS", uuid));
        diskimages::LoopMounts mounts;
        const QString first = dir.filePath("media/ana/VIAGENS");
        QCOMPARE(mounts.mount(image, first), QString());
        const qint64 disk
            = f.exec("INSERT INTO Storages (Name, Unit, System) VALUES ('VIAGENS', :U, TRUE)",
                { { "U", first } });
        {
            Connection c;
            c.openFile(f.path);
            StorageVolumes::record(c, disk, VolumeIdentity::probe(image));
        }
        ScriptedPrompter prompter;
        Startup app(f.folder.paths, &prompter);
        app.createWindows();
        QSignalSpy done(app.Abertura.get(), &TAbertura::startupLoadingDone);
        app.Abertura->show();
        QTRY_COMPARE(done.count(), 1);
        const CatalogTree &tree = app.Abertura->browser().TreeView2Nodes();
        const auto node = [&tree, disk] { return tree.indexOfCode(QString("N4=%1").arg(disk)); };
        QVERIFY(node() >= 0);
        QVERIFY(!tree.isOffline(node()));

        QVERIFY(mounts.unmount(first));
        QTRY_VERIFY(tree.isOffline(node()));
        QVERIFY(tree.offlineText(node()).startsWith("Disco «VIAGENS» não conectado"));
        QCOMPARE(mounts.mount(image, dir.filePath("run/media/bia/VIAGENS")), QString());
        QTRY_VERIFY(!tree.isOffline(node()));
        QVERIFY(prompter.boxes().isEmpty());
    }

    void engineErrorDuringLoadLeavesTheWindowUsable()
    {
        Window w;
        w.b().selection().setTreesCurrent(false);
        w.store().SQLTmp.close();
        w.f.exec("ALTER TABLE Storages RENAME TO StoragesGone");
        w.b().LoadTrees();
        QVERIFY(!w.prompter.boxes().isEmpty());
        QVERIFY2(w.prompter.boxes().last().text.contains("Storages", Qt::CaseInsensitive),
            qPrintable(w.prompter.boxes().last().text));
        QCOMPARE(w.prompter.boxes().last().icon, Prompter::Icon::Error);
        QVERIFY(!w.b().selection().treesCurrent());
        QVERIFY(w.b().TreeView1Nodes().count() > 0);
        w.f.exec("ALTER TABLE StoragesGone RENAME TO Storages");
        w.b().LoadTrees();
        QVERIFY(w.b().selection().treesCurrent());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
