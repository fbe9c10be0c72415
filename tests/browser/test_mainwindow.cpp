#include "browser/catalogbrowser.h"
#include "catalogfixture.h"
#include "widgets/dbcontrols.h"
#include "widgets/pagecontrol.h"
#include "core/scriptedprompter.h"
#include "app/startup.h"
#include "app/tabertura.h"
#include "store/tdados.h"
#include "options/topcoes.h"
#include "intake/trastreamento.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

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
    CatalogBrowser &b() { return *app->Abertura->Browser; }
    TDados &store() { return *app->Dados; }
    int node(QTreeView *tree, const QString &code)
    {
        const auto *m = static_cast<const CatalogTree *>(tree->model());
        return m->indexOfCode(code);
    }
    void click(QTreeView *tree, int absolute)
    {
        auto *m = static_cast<CatalogTree *>(tree->model());
        const QModelIndex index = m->modelIndex(absolute);
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
            tree->expand(p);
        tree->scrollTo(index);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(index).center());
    }
    QList<int> visiblePages()
    {
        QList<int> out;
        for (int i = 0; i < b().PageControl2->count(); ++i)
            if (b().PageControl2->isPageVisible(i))
                out << i;
        return out;
    }
};
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startupLoadsTheTreesAndTheStatusBar()
    {
        Window w;
        TAbertura &main = *w.app->Abertura;
        QVERIFY(w.app->paths.MainWindowReady);
        QVERIFY(w.b().TreesCurrent);
        QCOMPARE(main.panelText(0), QStringLiteral("3 imagens"));
        QCOMPARE(main.panelText(1),
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0; ") + w.app->paths.SystemName);
        QCOMPARE(main.panelText(2), QStringLiteral("BD LOCAL"));
        QVERIFY(w.node(w.b().TreeView1, QString("N3=%1").arg(w.louvre)) > 0);
        QVERIFY(w.visiblePages().isEmpty());
        QCOMPARE(w.b().PageControl2->activePageIndex(), -1);
        QVERIFY(!w.b().BitBtn1->isEnabled());
        QCOMPARE(w.b().PageControl1->activePageIndex(), 0);
        QVERIFY(w.prompter.boxes().isEmpty());
    }

    void clickingAPictureInTheLocationTreePositionsItsParents()
    {
        Window w;
        int shown = 0;
        w.b().ShowThumbnail = [&] { ++shown; };
        w.b().PageControl1->setActivePageIndex(1);
        w.click(w.b().TreeView2, w.node(w.b().TreeView2, QString("N3=%1").arg(w.louvre)));
        QCOMPARE(w.b().SelectedNodeKind, QStringLiteral("N3"));
        QCOMPARE(w.b().SelectedNodeKey, QString::number(w.louvre));
        QCOMPARE(w.visiblePages(), QList<int>({ 2 }));
        QCOMPARE(w.b().PageControl2->activePageIndex(), 2);
        QCOMPARE(w.store().TPictures.asInt("RecId"), w.louvre);
        QCOMPARE(w.store().TCategories.asInt("RecId"), w.paris);
        QCOMPARE(w.store().TCollections.asInt("RecId"), w.trips);
        QCOMPARE(w.store().TStorages.asInt("RecId"), w.disk);
        QCOMPARE(shown, 1);
        QCOMPARE(w.b().DBEdit3->text(), QStringLiteral("louvre"));
        QCOMPARE(w.b().DBLookupComboBox3->currentText(), QStringLiteral("Paris"));
        QCOMPARE(w.b().DBLookupComboBox7->currentText(), QStringLiteral("Disco externo"));
        QVERIFY(w.b().InserirnoLote1->isEnabled());
        QVERIFY(w.b().Editar1->isEnabled());
        // Browsing: nothing on the page can be edited, the navigator offers edit and delete.
        QVERIFY(!w.b().DBEdit3->isEnabled());
        QVERIFY(!w.b().DBCheckBox4->isEnabled());
        QVERIFY(w.b().DBNavigator3->button(DBNavigator::nbEdit)->isEnabled());
        QVERIFY(!w.b().DBNavigator3->button(DBNavigator::nbPost)->isEnabled());

        // A storage node of the same tree: page 3.
        w.click(w.b().TreeView2, w.node(w.b().TreeView2, QString("N4=%1").arg(w.disk)));
        QCOMPARE(w.visiblePages(), QList<int>({ 3 }));
        QCOMPARE(w.b().PageControl2->activePageIndex(), 3);
        QCOMPARE(w.b().DBEdit10->text(), QStringLiteral("Disco externo"));
        QVERIFY(!w.b().InserirnoLote1->isEnabled());
    }

    void organisationTreePagesFollowTheDepth()
    {
        Window w;
        QTreeView *t = w.b().TreeView1;
        w.click(t, w.node(t, QString("N1=%1").arg(w.trips)));
        QCOMPARE(w.visiblePages(), QList<int>({ 0 }));
        QCOMPARE(w.b().DBEdit1->text(), QStringLiteral("Viagens"));
        QVERIFY(!w.b().InserirnoLote1->isEnabled());
        w.click(t, w.node(t, QString("N2=%1").arg(w.rome)));
        QCOMPARE(w.visiblePages(), QList<int>({ 1 }));
        QCOMPARE(w.b().PageControl2->activePageIndex(), 1);
        QCOMPARE(w.store().TCategories.asInt("RecId"), w.rome);
        QCOMPARE(w.b().DBEdit2->text(), QStringLiteral("Roma"));
        QCOMPARE(w.b().DBLookupComboBox1->currentText(), QStringLiteral("Viagens"));

        // The same node again refreshes its page's statistics; a new page does not.
        QList<int> refreshed;
        w.b().refreshStatistics = [&](int page) { refreshed << page; };
        w.click(t, w.node(t, QString("N2=%1").arg(w.rome)));
        QCOMPARE(refreshed, QList<int>({ 1 }));
        w.click(t, w.node(t, QString("N1=%1").arg(w.trips)));
        QCOMPARE(refreshed, QList<int>({ 1 }));

        // The keyboard follows the selection like clicks.
        t->setFocus();
        QTest::keyClick(t, Qt::Key_Down);
        QCOMPARE(w.b().SelectedNodeKind, QStringLiteral("N2"));
    }

    void tabChangeTakesTheOtherTreesSelection()
    {
        Window w;
        w.click(w.b().TreeView1, w.node(w.b().TreeView1, QString("N3=%1").arg(w.coliseum)));
        QCOMPARE(w.b().SelectedNodeKey, QString::number(w.coliseum));
        // No node selected in the location tree: switching empties the selection.
        w.b().PageControl1->tabBar()->setCurrentIndex(1);
        QCOMPARE(w.b().SelectedNodeKind, QString());
        QVERIFY(w.visiblePages().isEmpty());
        w.click(w.b().TreeView2, w.node(w.b().TreeView2, QString("N4=%1").arg(w.disk)));
        w.b().PageControl1->tabBar()->setCurrentIndex(0);
        QCOMPARE(w.b().SelectedNodeKind, QStringLiteral("N3"));
        QCOMPARE(w.b().SelectedNodeKey, QString::number(w.coliseum));
        QCOMPARE(w.visiblePages(), QList<int>({ 2 }));
    }

    void pendingEditAsksBeforeTheSelectionMoves()
    {
        Window w;
        QTreeView *t = w.b().TreeView1;
        w.click(t, w.node(t, QString("N1=%1").arg(w.trips)));
        w.b().DBNavigator1->BtnClick(DBNavigator::nbEdit);
        w.b().EditInProgress = true;
        w.b().UpdateControlStates();
        QVERIFY(w.b().DBEdit1->isEnabled());
        QCOMPARE(w.b().DBEdit1->palette().color(QPalette::Base), QColor(255, 251, 240));
        QVERIFY(!w.b().ToolButton1->isEnabled());
        QVERIFY(!w.b().ToolButton2->isEnabled());
        QVERIFY(!w.b().DBCheckBox1->isEnabled());
        QVERIFY(w.b().DBNavigator1->button(DBNavigator::nbPost)->isEnabled());

        // No: the edit and the page stay.
        w.prompter.answerButton(Prompter::No);
        w.click(t, w.node(t, QString("N2=%1").arg(w.rome)));
        QCOMPARE(w.prompter.boxTexts().last(), QStringLiteral("Cancelar a edição corrente?"));
        QCOMPARE(
            w.prompter.boxes().last().buttons, Prompter::Buttons(Prompter::Yes) | Prompter::No);
        QCOMPARE(w.b().SelectedNodeKind, QStringLiteral("N1"));
        QCOMPARE(w.store().TCollections.state(), RecordSet::State::Edit);
        // A navigator as sender does not ask.
        const int asked = w.prompter.boxes().size();
        w.b().TreeViewClick(w.b().DBNavigator1);
        QCOMPARE(w.prompter.boxes().size(), asked);
        // Yes: the edit is cancelled and the new node selected.
        w.prompter.answerButton(Prompter::Yes);
        w.click(t, w.node(t, QString("N2=%1").arg(w.rome)));
        QCOMPARE(w.store().TCollections.state(), RecordSet::State::Browse);
        QVERIFY(!w.b().EditInProgress);
        QCOMPARE(w.b().SelectedNodeKind, QStringLiteral("N2"));
        QVERIFY(w.b().ToolButton1->isEnabled());
        QVERIFY(!w.b().DBEdit1->isEnabled());
    }

    void editingAPictureOffersOnlyItsCollectionsCategories()
    {
        Window w;
        const qint64 other = w.f.collection("Outra");
        w.f.category(other, "Alheia");
        w.store().TCategories.requery();
        QTreeView *t = w.b().TreeView1;
        w.click(t, w.node(t, QString("N3=%1").arg(w.forum)));
        w.b().DBNavigator3->BtnClick(DBNavigator::nbEdit);
        w.b().EditInProgress = true;
        w.b().UpdateControlStates();
        QCOMPARE(w.store().TCategories.recordCount(), 2);
        QStringList offered;
        w.b().DBLookupComboBox3->refreshList();
        for (int i = 0; i < w.b().DBLookupComboBox3->count(); ++i)
            offered << w.b().DBLookupComboBox3->itemText(i);
        QCOMPARE(offered.size(), 2);
        QVERIFY(!offered.contains("Alheia"));
        QVERIFY(w.b().DBEdit3->isEnabled());
        QVERIFY(!w.b().DBEdit4->isEnabled());
        w.b().DBNavigator3->BtnClick(DBNavigator::nbCancel);
        w.b().EditInProgress = false;
        w.b().UpdateControlStates();
        QCOMPARE(w.store().TCategories.recordCount(), 3);
        QCOMPARE(w.store().TCategories.sort(), QStringLiteral("Collection;Name"));
    }

    void popupItemsExpandCollapseAndClearTheSelection()
    {
        Window w;
        QTreeView *t = w.b().TreeView1;
        const int trips = w.node(t, QString("N1=%1").arg(w.trips));
        w.b().ContrairTudo1Click();
        w.click(t, trips);
        t->collapseAll();
        w.b().Expandir1->trigger();
        auto *m = static_cast<CatalogTree *>(t->model());
        QVERIFY(t->isExpanded(m->modelIndex(trips)));
        QVERIFY(!t->isExpanded(m->modelIndex(w.node(t, QString("N2=%1").arg(w.rome)))));
        w.b().Contrair1->trigger();
        QVERIFY(!t->isExpanded(m->modelIndex(trips)));
        w.b().ExpandirTudo1->trigger();
        QVERIFY(t->isExpanded(m->modelIndex(w.node(t, QString("N2=%1").arg(w.rome)))));

        w.b().ContrairTudo1->trigger();
        QCOMPARE(w.b().selectedNode(w.b().TreeView1), -1);
        QCOMPARE(w.b().selectedNode(w.b().TreeView2), -1);
        QCOMPARE(w.b().SelectedNodeKind, QString());
        QVERIFY(w.visiblePages().isEmpty());
        QVERIFY(!t->isExpanded(m->modelIndex(trips)));
        QVERIFY(!w.b().Editar1->isEnabled());
        QVERIFY(!w.b().Excluir1->isEnabled());
    }

    void reloadReselectsARenamedCollectionAtItsNewPlace()
    {
        Window w;
        QTreeView *t = w.b().TreeView1;
        w.click(t, w.node(t, QString("N1=%1").arg(w.trips)));
        w.f.exec(QString("UPDATE Collections SET Name = '(aaa) primeira' WHERE RecId = %1")
                     .arg(w.trips));
        w.store().TCollections.refresh();
        w.b().LoadTrees();
        const int n = w.b().selectedNode(t);
        QCOMPARE(w.b().TreeView1Nodes().code(n), QString("N1=%1").arg(w.trips));
        QCOMPARE(n, 0);
        auto *m = static_cast<CatalogTree *>(t->model());
        QVERIFY(t->isExpanded(m->modelIndex(n)));
        QCOMPARE(w.app->Abertura->panelText(1), QString());
    }

    void rightClickSelectsTheNodeUnderTheMouseBeforeThePopup()
    {
        Window w;
        QTreeView *t = w.b().TreeView1;
        w.click(t, w.node(t, QString("N1=%1").arg(w.trips)));
        QVERIFY(!w.b().InserirnoLote1->isEnabled());
        auto *m = static_cast<CatalogTree *>(t->model());
        const QModelIndex pic = m->modelIndex(w.node(t, QString("N3=%1").arg(w.forum)));
        t->expand(pic.parent());
        t->scrollTo(pic);
        const QPoint pos = t->visualRect(pic).center();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, pos, t->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(t->viewport(), &menu);
        QCOMPARE(w.b().SelectedNodeKind, QStringLiteral("N3"));
        QCOMPARE(w.b().SelectedNodeKey, QString::number(w.forum));
        QVERIFY(w.b().InserirnoLote1->isEnabled());
        QTRY_VERIFY(w.b().PopupMenu2->isVisible());
        w.b().PopupMenu2->close();
    }

    void optionsReopenTheCatalogueOnlyWhenItsLocationChanged()
    {
        Window w;
        TAbertura &main = *w.app->Abertura;
        int filters = 0, reloads = 0;
        main.BuildPictureFilter = [&] { ++filters; };
        const auto load = main.LoadTrees;
        main.LoadTrees = [&] {
            ++reloads;
            load();
        };

        // Closed without a change: the store stays open, the filter is rebuilt once.
        QTimer::singleShot(0, w.app->Opcoes.get(), &QDialog::reject);
        main.Opcoes1->trigger();
        QCOMPARE(filters, 1);
        QCOMPARE(reloads, 0);
        QVERIFY(w.store().connected());
        QCOMPARE(main.panelText(2), QStringLiteral("BD LOCAL"));

        // Another catalogue chosen in the dialog: closed, reopened, trees and panel follow.
        CatalogFixture other;
        other.collection("Só no outro");
        QTimer::singleShot(0, w.app->Opcoes.get(), [&] {
            w.app->paths.DatabaseFolder = QFileInfo(other.path).absolutePath() + "/";
            w.app->paths.DatabaseFileName = QFileInfo(other.path).fileName();
            w.app->Opcoes->reject();
        });
        main.Opcoes1->trigger();
        QCOMPARE(reloads, 1);
        QCOMPARE(filters, 3);
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
            dialog->Edit1->setText(photos.path());
            // This catalogue has no system collection, so none is preselected.
            dialog->setCollectionKey(w.trips);
            dialog->setCategoryKey(w.rome);
            w.prompter.answerButton(Prompter::Yes); // "Confirmar a execução?"
            dialog->BitBtn2Click();
            dialog->BitBtn3Click();
        });
        w.b().ToolButton2->click();
        QVERIFY2(w.prompter.boxTexts().contains(QStringLiteral("Execução encerrada!")),
            qPrintable(w.prompter.boxTexts().join(" | ")));
        QVERIFY(w.b().TreesCurrent);
        bool found = false;
        const CatalogTree &t = w.b().TreeView1Nodes();
        for (int i = 0; i < t.count(); ++i)
            found = found
                || (t.level(i) == CatalogTree::Picture && t.name(i) == QStringLiteral("praia"));
        QVERIFY(found);
        QCOMPARE(w.app->Abertura->panelText(0), QStringLiteral("4 imagens"));
        QVERIFY(w.visiblePages().isEmpty());
    }

    void engineErrorDuringLoadLeavesTheWindowUsable()
    {
        Window w;
        w.b().TreesCurrent = false;
        w.store().SQLTmp.close();
        w.f.exec("ALTER TABLE Storages RENAME TO StoragesGone");
        w.b().LoadTrees();
        QVERIFY(!w.prompter.boxes().isEmpty());
        QVERIFY2(w.prompter.boxes().last().text.contains("Storages"),
            qPrintable(w.prompter.boxes().last().text));
        QCOMPARE(w.prompter.boxes().last().icon, Prompter::Icon::Error);
        QVERIFY(!w.b().TreesCurrent);
        QVERIFY(w.b().TreeView1Nodes().count() > 0);
        w.f.exec("ALTER TABLE StoragesGone RENAME TO Storages");
        w.b().LoadTrees();
        QVERIFY(w.b().TreesCurrent);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
