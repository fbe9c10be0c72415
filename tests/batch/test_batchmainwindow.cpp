#include "app/startup.h"
#include "app/tabertura.h"
#include "batch/tbatchprocess.h"
#include "browser/catalogbrowser.h"
#include "support/catalogfixture.h"
#include "core/scriptedprompter.h"
#include "support/windowdriver.h"
#include "widgets/pagecontrol.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

using testsupport::child;

class TestBatchMainWindow : public QObject {
    Q_OBJECT
private slots:
    void insertingAddsEachPictureOnceAndOkEmptiesTheBatch()
    {
        CatalogFixture f;
        ScriptedPrompter prompter;
        const qint64 trips = f.collection("Viagens");
        const qint64 rome = f.category(trips, "Roma");
        const qint64 disk = f.storage("Disco externo");
        const qint64 forum = f.picture(trips, rome, disk, "forum");
        const qint64 coliseum = f.picture(trips, rome, disk, "coliseu");
        Startup app(f.folder.paths, &prompter);
        app.createWindows();
        QSignalSpy loaded(app.Abertura.get(), &TAbertura::startupLoadingDone);
        app.Abertura->show();
        QTRY_COMPARE(loaded.count(), 1);
        TAbertura *w = app.Abertura.get();
        auto *tree1 = child<QTreeView>(w, "TreeView1");
        auto *tree2 = child<QTreeView>(w, "TreeView2");
        QAction *insert = child<QAction>(w, "InserirnoLote1");
        auto *batchButton = child<QToolButton>(w, "ToolButton4");
        const auto node = [](QTreeView *tree, qint64 key) {
            return static_cast<const CatalogTree *>(tree->model())
                ->indexOfCode(QStringLiteral("N3=%1").arg(key));
        };

        // Twice in one tree and once in the other: the picture is in the batch once.
        testsupport::clickNode(tree1, node(tree1, coliseum));
        insert->trigger();
        insert->trigger();
        testsupport::clickTab(child<PageControl>(w, "PageControl1"), 1);
        testsupport::clickNode(tree2, node(tree2, coliseum));
        insert->trigger();
        testsupport::clickNode(tree2, node(tree2, forum));
        insert->trigger();

        QDialog *dialog = app.BatchProcess.get();
        QStringList listed;
        bool pagesHidden = false;
        const auto openBatch = [&](const char *button) {
            QTimer::singleShot(0, dialog, [&, button] {
                auto *list = child<QListWidget>(dialog, "CheckListBox1");
                listed.clear();
                for (int i = 0; i < list->count(); ++i)
                    listed << list->item(i)->text();
                pagesHidden
                    = testsupport::visiblePages(child<PageControl>(w, "PageControl2")).isEmpty()
                    && child<PageControl>(w, "PageControl1")->activePageIndex() == 0;
                QTest::mouseClick(child<QPushButton>(dialog, button), Qt::LeftButton);
            });
            QTest::mouseClick(batchButton, Qt::LeftButton);
        };
        openBatch("BitBtn5"); // cancelled: the batch stays
        QCOMPARE(listed, QStringList({ "forum", "coliseu" }));
        QVERIFY(pagesHidden);
        listed.clear();
        openBatch("BitBtn6"); // "Esvaziar arquivos do Lote"
        QCOMPARE(listed, QStringList({ "forum", "coliseu" }));
        QVERIFY(prompter.boxes().isEmpty());

        QTest::mouseClick(batchButton, Qt::LeftButton);
        QCOMPARE(prompter.boxTexts(),
            QStringList { "Lote vazio!\rClique o botão direito do mouse sobre um nome de imagem "
                          "a inserir no lote." });
        QVERIFY(!dialog->isVisible());
    }
};

QTEST_MAIN(TestBatchMainWindow)
#include "test_batchmainwindow.moc"
