#include "app/startup.h"
#include "app/tabertura.h"
#include "batch/tbatchprocess.h"
#include "batch/tmudarcolecaocategoria.h"
#include "browser/catalogbrowser.h"
#include "core/scriptedprompter.h"
#include "store/query.h"
#include "store/tdados.h"
#include "support/catalogfixture.h"
#include "support/windowdriver.h"
#include "widgets/pagecontrol.h"

#include <QAction>
#include <QComboBox>
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

    // Keys above 2^31 (and above 2^32) travel whole from the tree through the batch to the
    // statement: no other picture is moved, and nothing ends the program.
    void batchKeysAre64Bit()
    {
        CatalogFixture f;
        ScriptedPrompter prompter;
        const qint64 trips = f.collection("Viagens");
        const qint64 rome = f.category(trips, "Roma");
        const qint64 paris = f.category(trips, "Paris");
        const qint64 one = f.picture(trips, rome, 0, "um");
        const qint64 two = f.picture(trips, rome, 0, "dois");
        QCOMPARE(two, 2);
        const auto pictureWithKey = [&](qint64 key, const char *name) {
            f.exec("INSERT INTO Pictures (RecId, Collection, Category, Name, FileName, FullPath) "
                   "VALUES (:K, :C, :A, :N, :N, '/fotos/')",
                { { "K", key }, { "C", trips }, { "A", rome }, { "N", name } });
        };
        const qint64 past32 = 4294967298LL; // 2^32 + 2: cut to 32 bits it is picture 2
        const qint64 past31 = 3000000000LL; // above 2^31, below 2^32: negative as an int
        pictureWithKey(past32, "grande");
        pictureWithKey(past31, "media");

        Startup app(f.folder.paths, &prompter);
        app.createWindows();
        QSignalSpy loaded(app.Abertura.get(), &TAbertura::startupLoadingDone);
        app.Abertura->show();
        QTRY_COMPARE(loaded.count(), 1);
        TAbertura *w = app.Abertura.get();
        auto *tree1 = child<QTreeView>(w, "TreeView1");
        const auto node = [&](qint64 key) {
            return static_cast<const CatalogTree *>(tree1->model())
                ->indexOfCode(QStringLiteral("N3=%1").arg(key));
        };
        for (const qint64 key : { past32, past31 }) {
            testsupport::clickNode(tree1, node(key));
            child<QAction>(w, "InserirnoLote1")->trigger();
        }
        QCOMPARE(QList<qint64>(w->batchList().cbegin(), w->batchList().cend()),
            (QList<qint64> { past32, past31 }));

        QDialog *batch = app.BatchProcess.get();
        QDialog *change = app.MudarColecaoCategoria.get();
        QStringList listed;
        QTimer::singleShot(0, batch, [&] {
            auto *list = child<QListWidget>(batch, "CheckListBox1");
            for (int i = 0; i < list->count(); ++i)
                listed << list->item(i)->text();
            QTimer::singleShot(0, change, [&] {
                auto *collection = child<QComboBox>(change, "DBLookupComboBox1");
                collection->setFocus();
                QTest::keyClick(collection, Qt::Key_Home);
                while (collection->currentText() != "Viagens")
                    QTest::keyClick(collection, Qt::Key_Down);
                auto *category = child<QComboBox>(change, "DBLookupComboBox2");
                category->setCurrentIndex(category->findText("Paris"));
                QTest::mouseClick(child<QPushButton>(change, "BitBtn1"), Qt::LeftButton);
            });
            QTest::mouseClick(child<QPushButton>(batch, "BitBtn1"), Qt::LeftButton);
        });
        QTest::mouseClick(child<QToolButton>(w, "ToolButton4"), Qt::LeftButton);
        listed.sort();
        QCOMPARE(listed, QStringList({ "grande", "media" }));
        QCOMPARE(
            prompter.boxTexts(), QStringList({ "Confirmar a operação?", "Mudança efetuada!" }));
        QVERIFY(w->batchList().isEmpty());

        Query q(app.Dados->Conexao);
        q.setSql("SELECT RecId FROM Pictures WHERE Category = :C ORDER BY RecId");
        q.setParam("C", paris);
        q.open();
        QList<qint64> moved;
        for (; !q.eof(); q.next())
            moved << q.asInt("RecId");
        q.close();
        QCOMPARE(moved, (QList<qint64> { past31, past32 }));
        Q_UNUSED(one);
    }
};

QTEST_MAIN(TestBatchMainWindow)
#include "test_batchmainwindow.moc"
