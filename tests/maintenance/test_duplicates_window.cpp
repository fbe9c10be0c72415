#include "app/startup.h"
#include "app/tabertura.h"
#include "browser/catalogbrowser.h"
#include "core/scriptedprompter.h"
#include "intake/contentfingerprint.h"
#include "intake/picturefingerprints.h"
#include "maintenance/tduplicatas.h"
#include "store/connection.h"
#include "store/tdados.h"
#include "store/transaction.h"
#include "support/catalogfixture.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"
#include "support/windowdriver.h"
#include "widgets/pagecontrol.h"

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using testsupport::child;

namespace {

// The main window over a catalogue whose pictures live on two storages: one whose folder is
// there, and a drive's whose disk is not connected (its mount point folder left behind).
struct Window {
    CatalogFixture f;
    QTemporaryDir files;
    ScriptedPrompter prompter;
    std::unique_ptr<Startup> app;
    qint64 collection = 0, category = 0, here = 0, away = 0;
    qint64 first = 0, copy = 0, copyAway = 0, look = 0, lookAlike = 0, single = 0;
    const QString modified = QStringLiteral("2020-01-02T03:04:06");

    Window()
    {
        collection = f.collection("Fotos");
        category = f.category(collection, "Todas");
        here = f.exec("INSERT INTO Storages (Name, Unit, System) VALUES ('Aqui', :U, 0)",
            { { "U", files.path() } });
        away = f.exec("INSERT INTO Storages (Name, Unit, System) VALUES ('Externo', :U, 1)",
            { { "U", files.filePath("montagem") } });
        QDir(files.path()).mkpath("montagem");
        const QByteArray bytes = samples::jpeg(300, 200);
        const QByteArray mountains = samples::jpeg(320, 200);
        const QByteArray smaller = samples::jpeg(160, 100);
        const QByteArray river = samples::jpeg(200, 200);
        first = picture(here, "a", "praia.jpg", bytes);
        copy = picture(here, "b", "praia copia.jpg", bytes);
        copyAway = picture(away, "montagem/2019", "praia.jpg", bytes);
        look = picture(here, "c", "serra.jpg", mountains);
        lookAlike = picture(here, "c", "serra pequena.jpg", smaller);
        single = picture(here, "d", "rio.jpg", river);
        Connection c;
        c.openFile(f.path);
        Transaction t(c);
        PictureFingerprints::Writer writer(c);
        for (const auto &[id, data, hash] : { std::tuple { first, bytes, 0xF0F0ull },
                 std::tuple { copy, bytes, 0xF0F0ull }, std::tuple { copyAway, bytes, 0xF0F0ull },
                 std::tuple { look, mountains, 0x0FFFull },
                 std::tuple { lookAlike, smaller, 0x0FFCull },
                 std::tuple { single, river, 0xFFFF0000ull } }) {
            PictureFingerprints::Entry e;
            e.picture = id;
            e.content = ContentFingerprint::ofBytes(data);
            e.perceptual = hash;
            e.modified = QDateTime::fromString(modified, Qt::ISODate);
            writer.record(e);
        }
        t.commit();
        c.close();

        app = std::make_unique<Startup>(f.folder.paths, &prompter);
        app->createWindows();
        QSignalSpy done(app->Abertura.get(), &TAbertura::startupLoadingDone);
        app->Abertura->show();
        QTRY_COMPARE(done.count(), 1);
        QVERIFY(done.first().first().toBool());
    }
    qint64 picture(
        qint64 storage, const QString &folder, const QString &name, const QByteArray &bytes)
    {
        const QString dir = files.filePath(folder);
        QDir().mkpath(dir);
        if (storage == here)
            testsupport::writeFile(dir + "/" + name, bytes);
        return f.exec("INSERT INTO Pictures (Collection, Category, Location, Name, FileName,"
                      " FullPath, FileSize, Created, Modified, FileType, Review) VALUES (:C, :K,"
                      " :L, :N, :N, :P, :S, :M, :M, 'jpg', 0)",
            { { "C", collection }, { "K", category }, { "L", storage }, { "N", name },
                { "P", dir + "/" }, { "S", qint64(bytes.size()) }, { "M", modified } });
    }

    TDuplicatas &window() { return *app->Duplicatas; }
    template<typename T> T *control(const char *name)
    {
        return child<T>(&window(), QString::fromLatin1(name));
    }
    QTreeView *groups() { return control<QTreeView>("TreeView1"); }
    QAbstractItemModel *model() { return groups()->model(); }
    // The pictures of each group, by key.
    QList<QList<qint64>> keys()
    {
        QList<QList<qint64>> out;
        for (int g = 0; g < model()->rowCount(); ++g) {
            const QModelIndex group = model()->index(g, 0);
            QList<qint64> k;
            for (int r = 0; r < model()->rowCount(group); ++r)
                k << model()->index(r, 0, group).data(Qt::UserRole).toLongLong();
            out << k;
        }
        return out;
    }
    QModelIndex member(int group, qint64 key)
    {
        const QModelIndex g = model()->index(group, 0);
        for (int r = 0; r < model()->rowCount(g); ++r)
            if (model()->index(r, 0, g).data(Qt::UserRole).toLongLong() == key)
                return model()->index(r, 0, g);
        return {};
    }
    // Opens the window from the main menu and waits for its first search.
    void open()
    {
        QSignalSpy finished(&window(), &TDuplicatas::searchFinished);
        child<QAction>(app->Abertura.get(), "Duplicatas1")->trigger();
        QVERIFY(window().isVisible());
        // The search runs on a worker: the window is back at once, telling it works.
        QVERIFY(window().searching());
        QVERIFY(!control<QPushButton>("BitBtn1")->isEnabled());
        QVERIFY(control<QProgressBar>("Animate1")->isVisible());
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!window().searching());
        QVERIFY(control<QPushButton>("BitBtn1")->isEnabled());
        QVERIFY(!control<QProgressBar>("Animate1")->isVisible());
    }
};

} // namespace

class TestDuplicatesWindow : public QObject {
    Q_OBJECT
private slots:
    void groupsListEachCopyWithItsStorageFolderAndDisk()
    {
        Window w;
        QVERIFY(w.app->Dados->prepareThumbnailFolder().size() > 0);
        QVERIFY(
            testsupport::writeFile(w.app->Dados->GetThumbnailName(w.copy), samples::jpeg(135, 90)));
        w.open();
        QCOMPARE(w.window().windowTitle(), QStringLiteral("Duplicatas"));
        QCOMPARE(w.keys(), QList<QList<qint64>>({ { w.first, w.copy, w.copyAway } }));
        const QModelIndex group = w.model()->index(0, 0);
        QCOMPARE(group.data().toString(),
            QStringLiteral("Grupo 1: 3 cópias idênticas, 1 em disco não conectado"));
        QVERIFY(w.groups()->isFirstColumnSpanned(0, QModelIndex()));
        QCOMPARE(w.control<QStatusBar>("StatusBar1")->currentMessage(),
            QStringLiteral("1 grupo, 3 imagens"));

        const QModelIndex onDisk = w.member(0, w.copy);
        QCOMPARE(onDisk.data().toString(), QStringLiteral("praia copia.jpg"));
        QCOMPARE(onDisk.siblingAtColumn(1).data().toString(), QStringLiteral("Aqui"));
        QCOMPARE(onDisk.siblingAtColumn(2).data().toString(), w.files.filePath("b") + "/");
        QCOMPARE(onDisk.siblingAtColumn(2).data(Qt::ToolTipRole).toString(),
            w.files.filePath("b") + "/");
        QCOMPARE(onDisk.siblingAtColumn(3).data().toString(), QStringLiteral("conectado"));
        QVERIFY(!onDisk.data(Qt::ForegroundRole).isValid());
        // Its thumbnail, fitted into the row.
        const QPixmap thumb = onDisk.data(Qt::DecorationRole).value<QPixmap>();
        QVERIFY(!thumb.isNull());
        QCOMPARE(thumb.size(), QSize(48, 48));
        QVERIFY(!w.member(0, w.first).data(Qt::DecorationRole).isValid()); // it has none

        // The copy on the disk in the drawer is listed, marked.
        const QModelIndex drawer = w.member(0, w.copyAway);
        QCOMPARE(drawer.siblingAtColumn(1).data().toString(), QStringLiteral("Externo"));
        QCOMPARE(drawer.siblingAtColumn(3).data().toString(), QStringLiteral("não conectado"));
        QCOMPARE(drawer.data(Qt::ForegroundRole).value<QBrush>(),
            QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text));
        QVERIFY2(
            drawer.data(Qt::ToolTipRole).toString().startsWith("Disco «Externo» não conectado"),
            qPrintable(drawer.data(Qt::ToolTipRole).toString()));

        // Similar pictures too, within the distance asked.
        QSignalSpy finished(&w.window(), &TDuplicatas::searchFinished);
        QVERIFY(!w.control<QSpinBox>("SpinEdit1")->isEnabled());
        w.control<QCheckBox>("CheckBox1")->click();
        QVERIFY(w.control<QSpinBox>("SpinEdit1")->isEnabled());
        w.control<QSpinBox>("SpinEdit1")->setValue(1);
        testsupport::click(&w.window(), "BitBtn1");
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(w.keys(), QList<QList<qint64>>({ { w.first, w.copy, w.copyAway } }));
        w.control<QSpinBox>("SpinEdit1")->setValue(2);
        testsupport::click(&w.window(), "BitBtn1");
        QTRY_COMPARE(finished.count(), 2);
        QCOMPARE(w.keys(),
            QList<QList<qint64>>({ { w.first, w.copy, w.copyAway }, { w.look, w.lookAlike } }));
        QCOMPARE(w.model()->index(1, 0).data().toString(),
            QStringLiteral("Grupo 2: 2 imagens parecidas"));
        QCOMPARE(w.model()->index(0, 0).data().toString(),
            QStringLiteral("Grupo 1: 3 imagens parecidas, 1 em disco não conectado"));
        QVERIFY(w.prompter.boxes().isEmpty());
    }

    void aDoubleClickSelectsThePictureInTheLocationTree()
    {
        Window w;
        w.open();
        QTreeView *groups = w.groups();
        const QModelIndex drawer = w.member(0, w.copyAway);
        groups->scrollTo(drawer);
        QSignalSpy activated(&w.window(), &TDuplicatas::pictureActivated);
        const QPoint at = groups->visualRect(drawer).center();
        QTest::mouseClick(groups->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(groups->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(activated.count(), 1);
        CatalogBrowser &b = w.app->Abertura->browser();
        QCOMPARE(b.selection().kind(), NodeKind::Picture);
        QCOMPARE(b.selection().key(), w.copyAway);
        QCOMPARE(b.activeTree(), TreePane::Tree::Location);
        const int node = b.selectedNode(TreePane::Tree::Location);
        QCOMPARE(b.TreeView2Nodes().code(node), QString("N3=%1").arg(w.copyAway));
        QCOMPARE(b.TreeView2Nodes().code(b.TreeView2Nodes().parentOf(node)),
            QString("N4=%1").arg(w.away));
        QCOMPARE(w.app->Dados->TPictures.asInt("RecId"), w.copyAway);
        QVERIFY(b.isPageVisible(CatalogBrowser::Page::Picture));

        // Enter on a picture does the same.
        groups->setCurrentIndex(w.member(0, w.first));
        QTest::keyClick(groups, Qt::Key_Return);
        QCOMPARE(b.selection().key(), w.first);
        QCOMPARE(b.TreeView2Nodes().code(b.selectedNode(TreePane::Tree::Location)),
            QString("N3=%1").arg(w.first));
        QVERIFY(w.prompter.boxes().isEmpty());
    }

    void aGroupOrASelectionGoesIntoTheBatchOnce()
    {
        Window w;
        w.open();
        QTreeView *groups = w.groups();
        QVERIFY(!w.control<QPushButton>("BitBtn2")->isEnabled());
        QVERIFY(!w.control<QPushButton>("BitBtn3")->isEnabled());
        // One picture of the group chosen: the whole group goes in.
        groups->setCurrentIndex(w.member(0, w.copy));
        QVERIFY(w.control<QPushButton>("BitBtn2")->isEnabled());
        testsupport::click(&w.window(), "BitBtn2");
        QCOMPARE(w.app->Abertura->batchList(), QList<qint64>({ w.first, w.copy, w.copyAway }));
        QCOMPARE(w.control<QStatusBar>("StatusBar1")->currentMessage(),
            QStringLiteral("3 imagens inseridas no lote."));
        testsupport::click(&w.window(), "BitBtn2");
        QCOMPARE(w.app->Abertura->batchList(), QList<qint64>({ w.first, w.copy, w.copyAway }));
        QCOMPARE(w.control<QStatusBar>("StatusBar1")->currentMessage(),
            QStringLiteral("0 imagens inseridas no lote (3 já estavam nele)."));

        // A selection: the pictures chosen, once each, beside what the batch had.
        QItemSelectionModel *selection = groups->selectionModel();
        selection->clearSelection();
        w.control<QCheckBox>("CheckBox1")->click();
        w.control<QSpinBox>("SpinEdit1")->setValue(2);
        QSignalSpy finished(&w.window(), &TDuplicatas::searchFinished);
        testsupport::click(&w.window(), "BitBtn1");
        QTRY_COMPARE(finished.count(), 1);
        selection->select(
            w.member(1, w.lookAlike), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->select(
            w.member(0, w.first), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(w.control<QPushButton>("BitBtn3")->isEnabled());
        testsupport::click(&w.window(), "BitBtn3");
        QCOMPARE(w.app->Abertura->batchList(),
            QList<qint64>({ w.first, w.copy, w.copyAway, w.lookAlike }));
        QCOMPARE(w.control<QStatusBar>("StatusBar1")->currentMessage(),
            QStringLiteral("1 imagem inserida no lote (1 já estava nele)."));
        QVERIFY(w.prompter.boxes().isEmpty());
    }
};

QTEST_MAIN(TestDuplicatesWindow)
#include "test_duplicates_window.moc"
