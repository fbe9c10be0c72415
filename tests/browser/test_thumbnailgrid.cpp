#include "app/startup.h"
#include "app/tabertura.h"
#include "batch/tbatchprocess.h"
#include "browser/catalogbrowser.h"
#include "browser/datestree.h"
#include "browser/foldertree.h"
#include "browser/gridkeys.h"
#include "intake/picturefactstable.h"
#include "browser/foldertreemodel.h"
#include "browser/thumbnailgridmodel.h"
#include "browser/thumbnailgridpage.h"
#include "core/scriptedprompter.h"
#include "store/tdados.h"
#include "support/catalogfixture.h"
#include "support/windowdriver.h"
#include "widgets/pagecontrol.h"

#include <QAction>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QWheelEvent>
#include <QtTest>

using testsupport::child;
using Page = CatalogBrowser::Page;
using View = CatalogBrowser::View;

namespace {

// A picture in a folder, reviewed (so that its thumbnail file counts).
qint64 picture(const CatalogFixture &f, qint64 collection, qint64 category, qint64 storage,
    const QString &name, const QString &folder)
{
    return f.exec(QStringLiteral(
                      "INSERT INTO Pictures (Collection, Category, Location, Name, FileName, "
                      "FullPath, FileSize, Created, Modified, FileType, Review) VALUES (:C, :K, "
                      ":L, :N, :F, :P, 1234, '2020-01-02T03:04:06', '2020-01-02T03:04:06', 'jpg', FALSE)"),
        { { "C", collection }, { "K", category },
            { "L", storage > 0 ? QVariant(storage) : QVariant() }, { "N", name },
            { "F", name + ".jpg" }, { "P", folder } });
}

qint64 storage(const CatalogFixture &f, const QString &name, const QString &unit)
{
    return f.exec("INSERT INTO Storages (Name, Unit, System) VALUES (:N, :U, FALSE)",
        { { "N", name }, { "U", unit } });
}

// A thumbnail file of the picture, as the store names them.
void thumbnail(TDados &store, qint64 key, QColor colour, QSize size = { 135, 101 })
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QDir().mkpath(store.thumbnailFolder());
    QVERIFY(image.save(store.GetThumbnailName(key), "JPEG"));
}

struct Window {
    CatalogFixture &f;
    ScriptedPrompter prompter;
    Startup app;
    TAbertura *w = nullptr;

    explicit Window(CatalogFixture &fixture) : f(fixture), app(fixture.folder.paths, &prompter)
    {
        app.createWindows();
        QSignalSpy loaded(app.Abertura.get(), &TAbertura::startupLoadingDone);
        app.Abertura->show();
        if (!QTest::qWaitFor([&] { return loaded.count() == 1; }, 20000))
            qFatal("the main window did not load");
        w = app.Abertura.get();
    }
    CatalogBrowser &browser() const { return w->browser(); }
    PageControl *pages() const { return child<PageControl>(w, "PageControl2"); }
    QListView *grid() const { return child<QListView>(w, "ThumbnailGrid"); }
    ThumbnailGridModel *model() const { return static_cast<ThumbnailGridModel *>(grid()->model()); }
    void clickNode(const char *tree, NodeKind kind, qint64 key) const
    {
        auto *view = child<QTreeView>(w, tree);
        testsupport::clickNode(
            view, static_cast<const CatalogTree *>(view->model())->indexOf(kind, key));
    }
    QVector<qint64> treeChildren(const char *tree, NodeKind kind, qint64 key) const
    {
        auto *view = child<QTreeView>(w, tree);
        auto *m = static_cast<const CatalogTree *>(view->model());
        const QModelIndex parent = m->modelIndex(m->indexOf(kind, key));
        QVector<qint64> keys;
        for (int r = 0; r < m->rowCount(parent); ++r)
            keys << m->key(m->absoluteIndex(m->index(r, 0, parent)));
        return keys;
    }
    // Clicks the button of a grid view at the end of the pages' tab row.
    void clickView(View view) const
    {
        auto *button = child<QToolButton>(w,
            view == View::Thumbnails ? "ThumbnailsButton" : "SearchThumbnailsButton");
        QVERIFY(button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QList<qint64> batch() const { return { w->batchList().cbegin(), w->batchList().cend() }; }
};

QModelIndex childNamed(QAbstractItemModel *m, const QModelIndex &parent, const QString &name)
{
    if (m->canFetchMore(parent))
        m->fetchMore(parent);
    for (int r = 0; r < m->rowCount(parent); ++r)
        if (m->index(r, 0, parent).data().toString() == name)
            return m->index(r, 0, parent);
    return {};
}

// A double click as a person makes it: a click, then the second press.
void doubleClick(QListView *grid, int row)
{
    const QPoint at = grid->visualRect(grid->model()->index(row, 0)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
}

QStringList childNames(QAbstractItemModel *m, const QModelIndex &parent)
{
    if (m->canFetchMore(parent))
        m->fetchMore(parent);
    QStringList names;
    for (int r = 0; r < m->rowCount(parent); ++r)
        names << m->index(r, 0, parent).data().toString();
    return names;
}

} // namespace

class TestThumbnailGrid : public QObject {
    Q_OBJECT
private slots:
    // A category's grid lists its pictures as the tree does (Portuguese name order), reads
    // names and thumbnails off the window thread, and a picture without a thumbnail is
    // read and drawn as a placeholder.
    void categoryGridFollowsTheTreeAndReadsLazily()
    {
        CatalogFixture f;
        const qint64 trips = f.collection("Viagens");
        const qint64 rome = f.category(trips, "Roma");
        const qint64 paris = f.category(trips, "Paris");
        const qint64 disk = storage(f, "Disco", "/media/FOTOS");
        QVector<qint64> romeKeys;
        for (const char *name : { "zebra", "Árvore", "abelha", "Água", "Avião" })
            romeKeys << picture(f, trips, rome, disk, QString::fromUtf8(name), "/media/FOTOS/");
        const qint64 tower = picture(f, trips, paris, disk, "torre", "/media/FOTOS/");
        Window win(f);
        thumbnail(*win.app.Dados, romeKeys[0], Qt::red);
        thumbnail(*win.app.Dados, romeKeys[3], Qt::blue, { 101, 135 });

        // A collection: beside its page, not instead of it; its pictures category by category.
        win.clickNode("TreeView1", NodeKind::Collection, trips);
        QVERIFY(win.browser().isViewOffered(View::Thumbnails));
        QCOMPARE(win.browser().activePage(), Page::Collection);
        QCOMPARE(win.browser().activeView(), View::Record);
        // The detail pages themselves are as they were: only the collection's.
        QCOMPARE(testsupport::visiblePages(win.pages()), QList<int>({ int(Page::Collection) }));
        win.clickView(View::Thumbnails);
        QCOMPARE(win.browser().activeView(), View::Thumbnails);
        QVector<qint64> collectionOrder = win.treeChildren("TreeView1", NodeKind::Category, paris);
        collectionOrder += win.treeChildren("TreeView1", NodeKind::Category, rome);
        QCOMPARE(win.model()->keys(), collectionOrder);

        // The next node keeps the grid on show, in the tree's order.
        win.clickNode("TreeView1", NodeKind::Category, rome);
        QCOMPARE(win.browser().activeView(), View::Thumbnails);
        const QVector<qint64> treeOrder = win.treeChildren("TreeView1", NodeKind::Category, rome);
        QCOMPARE(treeOrder.size(), 5);
        QCOMPARE(win.model()->keys(), treeOrder);
        QCOMPARE(win.model()->rowCount(), 5);

        ThumbnailGridModel *m = win.model();
        QTRY_VERIFY(m->isCached(4) && m->isIdle());
        const auto row = [&](qint64 key) { return int(treeOrder.indexOf(key)); };
        QCOMPARE(m->index(row(romeKeys[0])).data().toString(), "zebra");
        QVERIFY(m->index(row(romeKeys[0])).data(ThumbnailGridModel::HasThumbnailRole).toBool());
        const QPixmap tall = m->index(row(romeKeys[3])).data(Qt::DecorationRole).value<QPixmap>();
        QCOMPARE(tall.size(), QSize(101, 135));
        QVERIFY(m->index(row(romeKeys[2])).data(ThumbnailGridModel::LoadedRole).toBool());
        QVERIFY(!m->index(row(romeKeys[2])).data(ThumbnailGridModel::HasThumbnailRole).toBool());
        QCOMPARE(child<QLabel>(win.w, "ThumbnailCount")->text(), "5 imagens");

        // Two steps smaller at most; the thumbnails are read again at the smaller size.
        auto *size = child<QSlider>(win.w, "ThumbnailSize");
        QCOMPARE(size->maximum() - size->minimum(), 2);
        size->setValue(size->minimum());
        QTRY_VERIFY(m->isCached(row(romeKeys[3])) && m->isIdle());
        const QPixmap small = m->index(row(romeKeys[3])).data(Qt::DecorationRole).value<QPixmap>();
        QCOMPARE(small.height(), 81);

        // A storage of the location tree: its pictures in that tree's order.
        testsupport::clickTab(child<PageControl>(win.w, "PageControl1"), 1);
        win.clickNode("TreeView2", NodeKind::Storage, disk);
        QCOMPARE(win.model()->keys(), win.treeChildren("TreeView2", NodeKind::Storage, disk));
        QVERIFY(win.model()->keys().contains(tower));

        // The tab of the page brings the pages back, and the next node opens on its page.
        QCOMPARE(win.browser().activeView(), View::Thumbnails);
        testsupport::clickTab(win.pages(), int(Page::Storage));
        QCOMPARE(win.browser().activeView(), View::Record);
        QCOMPARE(win.browser().activePage(), Page::Storage);
        QVERIFY(!child<QToolButton>(win.w, "ThumbnailsButton")->isChecked());
        win.clickNode("TreeView2", NodeKind::Storage, disk);
        QCOMPARE(win.browser().activeView(), View::Record);
        win.clickView(View::Thumbnails);
        QCOMPARE(win.browser().activeView(), View::Thumbnails);
        QVERIFY(child<QToolButton>(win.w, "ThumbnailsButton")->isChecked());

        // A picture node has no grid.
        win.clickNode("TreeView2", NodeKind::Picture, tower);
        QVERIFY(!win.browser().isViewOffered(View::Thumbnails));
        QCOMPARE(win.browser().activePage(), Page::Picture);
        QCOMPARE(win.browser().activeView(), View::Record);
        // Without a grid its button goes.
        QVERIFY(!child<QToolButton>(win.w, "ThumbnailsButton")->isVisible());
    }

    // A picture without a thumbnail gets one made in the background when its file is there:
    // its details are recorded as its first showing records them, and the grid shows it.
    void missingThumbnailsAreMadeInTheBackground()
    {
        CatalogFixture f;
        const qint64 trips = f.collection("Viagens");
        const qint64 rome = f.category(trips, "Roma");
        const QString folder = f.folder.dir.path() + "/fotos";
        QDir().mkpath(folder);
        QImage photo(800, 600, QImage::Format_RGB32);
        photo.fill(Qt::darkGreen);
        QVERIFY(photo.save(folder + "/grande.jpg", "JPEG"));
        const qint64 large = picture(f, trips, rome, 0, "grande", folder + "/");
        const qint64 gone = picture(f, trips, rome, 0, "sumida", folder + "/");
        f.exec("UPDATE Pictures SET Review = TRUE, FileName = Name || '.jpg'");
        Window win(f);
        QVERIFY(!QFile::exists(win.app.Dados->GetThumbnailName(large)));
        win.clickNode("TreeView1", NodeKind::Category, rome);
        win.clickView(View::Thumbnails);
        ThumbnailGridModel *m = win.model();
        const int row = int(m->keys().indexOf(large));
        QTRY_VERIFY(m->isCached(row)
            && m->index(row).data(ThumbnailGridModel::HasThumbnailRole).toBool());
        QCOMPARE(m->index(row).data(Qt::DecorationRole).value<QPixmap>().size(), QSize(135, 101));
        Connection c;
        c.openFile(f.path);
        Statement s(c, QStringLiteral("SELECT Review, Width, Height FROM Pictures WHERE RecId = :K"));
        s.bind(QStringLiteral("K"), large);
        QVERIFY(s.step());
        QCOMPARE(s.integer(0), 0);
        QCOMPARE(s.integer(1), 800);
        QCOMPARE(s.integer(2), 600);
        s.reset();
        // The picture whose file is missing keeps its placeholder, and no box was shown.
        const int missing = int(m->keys().indexOf(gone));
        QVERIFY(m->index(missing).data(ThumbnailGridModel::LoadedRole).toBool());
        QVERIFY(!m->index(missing).data(ThumbnailGridModel::HasThumbnailRole).toBool());
        QVERIFY(win.prompter.boxes().isEmpty());
    }

    // A picture whose disk is not connected keeps its thumbnail, with the mark, and no
    // thumbnail is made for one that has none.
    void offlinePicturesAreMarked()
    {
        CatalogFixture f;
        const qint64 trips = f.collection("Viagens");
        const qint64 rome = f.category(trips, "Roma");
        const QString here = f.folder.dir.path() + "/aqui";
        QDir().mkpath(here);
        const qint64 connected = storage(f, "Pasta", here);
        const qint64 pulled = storage(f, "Disco guardado", "/nao/existe/disco");
        const qint64 a = picture(f, trips, rome, connected, "a", here + "/");
        const qint64 b = picture(f, trips, rome, pulled, "b", "/nao/existe/disco/");
        const qint64 c = picture(f, trips, rome, pulled, "c", "/nao/existe/disco/");
        f.exec("UPDATE Pictures SET Review = TRUE WHERE Name = 'c'");
        Window win(f);
        thumbnail(*win.app.Dados, a, Qt::red);
        thumbnail(*win.app.Dados, b, Qt::blue);
        win.clickNode("TreeView1", NodeKind::Category, rome);
        win.clickView(View::Thumbnails);
        ThumbnailGridModel *m = win.model();
        QCOMPARE(m->keys(), (QVector<qint64> { a, b, c }));
        QTRY_VERIFY(m->isCached(2) && m->isIdle());
        QVERIFY(!m->index(0).data(ThumbnailGridModel::OfflineRole).toBool());
        QVERIFY(m->index(1).data(ThumbnailGridModel::OfflineRole).toBool());
        QVERIFY(m->index(1).data(ThumbnailGridModel::HasThumbnailRole).toBool());
        QCOMPARE(m->index(1).data(Qt::ToolTipRole).toString(), "b\nDisco não conectado");
        QVERIFY(m->index(2).data(ThumbnailGridModel::OfflineRole).toBool());
        QVERIFY(!QFile::exists(win.app.Dados->GetThumbnailName(c)));
        QVERIFY(win.prompter.boxes().isEmpty());
    }

    // A day of the "Datas" tree: its pictures in the order taken; a year: its days' in order.
    void dayNodesGiveTheirPicturesInTheTreesOrder()
    {
        CatalogFixture f;
        const qint64 col = f.collection("Família");
        const qint64 cat = f.category(col, "Viagens");
        const auto photo = [&](const QString &name, const QString &taken) {
            const qint64 id = f.picture(col, cat, 0, name);
            Connection c;
            c.openFile(f.path);
            PictureFactsTable::Entry e;
            e.picture = id;
            e.drawn = PictureFactsTable::Drawn::Larger;
            e.facts.taken = PictureFactsTable::takenOf(taken, QVariant());
            PictureFactsTable::Writer(c).record(e);
            return id;
        };
        const qint64 evening = photo("zebra", "2019-07-04T18:00:00");
        const qint64 morning = photo("praia", "2019-07-04T09:15:00");
        const qint64 august = photo("abelha", "2019-08-01T10:00:00");
        const qint64 other = photo("neve", "2020-01-01T10:00:00");
        Connection c;
        c.openFile(f.path);
        DatesTree dates(c);
        dates.reload();
        const QModelIndex year = dates.index(0, 0);
        QCOMPARE(dates.period(year), "2019");
        QCOMPARE(GridKeys::below(dates, year), (QVector<qint64> { morning, evening, august }));
        const QModelIndex july = dates.index(0, 0, year);
        const QModelIndex day = dates.index(0, 0, july);
        QCOMPARE(dates.period(day), "2019-07-04");
        QCOMPARE(GridKeys::below(dates, day), (QVector<qint64> { morning, evening }));
        QCOMPARE(GridKeys::below(dates, dates.index(1, 0)), (QVector<qint64> { other }));
        c.close();

        // In the window: a day of the "Datas" tab has no page of its own, its grid at once,
        // and a double click shows the picture in that tree.
        Window win(f);
        auto *tabs = child<PageControl>(win.w, "PageControl1");
        auto *view = child<QTreeView>(win.w, "TreeViewDatas");
        testsupport::clickTab(tabs, tabs->indexOf(view->parentWidget()));
        QAbstractItemModel *m = view->model();
        const QModelIndex y2019 = m->index(0, 0);
        view->expand(y2019);
        if (m->canFetchMore(y2019))
            m->fetchMore(y2019);
        const QModelIndex jul = m->index(0, 0, y2019);
        view->expand(jul);
        if (m->canFetchMore(jul))
            m->fetchMore(jul);
        const QModelIndex fourth = m->index(0, 0, jul);
        view->scrollTo(fourth);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(fourth).center());
        QCOMPARE(win.browser().activeView(), View::Thumbnails);
        QVERIFY(win.browser().selection().isEmpty());
        QCOMPARE(win.model()->keys(), (QVector<qint64> { morning, evening }));
        doubleClick(win.grid(), 1);
        QCOMPARE(win.browser().selection().node(), (NodeCode { NodeKind::Picture, evening }));
        QCOMPARE(win.browser().activePage(), Page::Picture);
    }

    // Only the rows on show are read: a category of thousands of pictures holds a screenful.
    void onlyTheRowsOnShowAreRead()
    {
        CatalogFixture f;
        const qint64 trips = f.collection("Viagens");
        const qint64 many = f.category(trips, "Muitas");
        {
            Connection c;
            c.openFile(f.path);
            c.beginTransaction();
            Statement s(c,
                QStringLiteral("INSERT INTO Pictures (Collection, Category, Name, FileName, "
                               "FullPath, Review) VALUES (:C, :K, :N, :N, '/x/', FALSE)"));
            for (int i = 0; i < 3000; ++i) {
                Statement::Reset done(s);
                s.bind(QStringLiteral("C"), trips);
                s.bind(QStringLiteral("K"), many);
                s.bind(QStringLiteral("N"), QStringLiteral("foto %1").arg(i, 5, 10, QLatin1Char('0')));
                s.exec();
            }
            c.commit();
        }
        Window win(f);
        win.clickNode("TreeView1", NodeKind::Category, many);
        win.clickView(View::Thumbnails);
        ThumbnailGridModel *m = win.model();
        QCOMPARE(m->rowCount(), 3000);
        QTRY_VERIFY(m->isCached(0) && m->isIdle());
        int cached = 0;
        for (int r = 0; r < m->rowCount(); ++r)
            cached += m->isCached(r) ? 1 : 0;
        QVERIFY2(cached > 0 && cached < 300, qPrintable(QString::number(cached)));
        QVERIFY(!m->isCached(2999));
        // The last rows are read once the grid reaches them.
        QTest::keyClick(win.grid(), Qt::Key_End);
        QTRY_VERIFY(m->isCached(2999));
        QCOMPARE(win.grid()->currentIndex().row(), 2999);
        QTest::keyClick(win.grid(), Qt::Key_Home);
        QCOMPARE(win.grid()->currentIndex().row(), 0);
        QTest::keyClick(win.grid(), Qt::Key_Right);
        QCOMPARE(win.grid()->currentIndex().row(), 1);
        const int perRow = win.grid()->viewport()->width() / win.grid()->gridSize().width();
        QTest::keyClick(win.grid(), Qt::Key_Down);
        QCOMPARE(win.grid()->currentIndex().row(), 1 + perRow);
        QTest::keyClick(win.grid(), Qt::Key_PageDown);
        QVERIFY(win.grid()->currentIndex().row() > 1 + perRow);
        QCOMPARE((win.grid()->currentIndex().row() - 1) % perRow, 0);
    }

    // Ctrl, Shift and Ctrl+A select; "Inserir no Lote" adds each key once and the status bar
    // tells how many pictures the batch holds; a double click shows the picture's page.
    void selectionGoesToTheBatchOnce()
    {
        CatalogFixture f;
        const qint64 trips = f.collection("Viagens");
        const qint64 rome = f.category(trips, "Roma");
        for (const char *name : { "a", "b", "c", "d", "e" })
            picture(f, trips, rome, 0, name, "/fotos/");
        Window win(f);
        win.clickNode("TreeView1", NodeKind::Category, rome);
        win.clickView(View::Thumbnails);
        QListView *grid = win.grid();
        ThumbnailGridModel *m = win.model();
        const QVector<qint64> keys = m->keys();
        auto *insert = child<QToolButton>(win.w, "ThumbnailInsert");
        QVERIFY(!insert->isEnabled());

        const auto clickRow = [&](int r, Qt::KeyboardModifiers mods) {
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods,
                grid->visualRect(m->index(r)).center());
        };
        clickRow(1, {});
        clickRow(3, Qt::ShiftModifier); // b, c, d
        clickRow(0, Qt::ControlModifier); // and a
        QTest::mouseClick(insert, Qt::LeftButton);
        QCOMPARE(win.batch(), (QList<qint64> { keys[0], keys[1], keys[2], keys[3] }));
        QCOMPARE(win.w->panelText(1), "4 imagens inseridas no lote, que tem agora 4 imagens.");

        // The rubber band: from the empty space right of the first row across its first two.
        const QRect first = grid->visualRect(m->index(0));
        const QRect second = grid->visualRect(m->index(1));
        QVERIFY(grid->viewport()->width() > grid->visualRect(m->index(2)).right() + 8
            || grid->visualRect(m->index(2)).top() > first.top());
        const QPoint from(grid->viewport()->width() - 4, first.top() + 2);
        QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(grid->viewport(), QPoint(second.center().x(), first.center().y()));
        QTest::mouseMove(grid->viewport(), QPoint(first.center().x(), first.center().y() + 4));
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {},
            QPoint(first.center().x(), first.center().y() + 4));
        QVERIFY(grid->selectionModel()->isSelected(m->index(0)));
        QVERIFY(grid->selectionModel()->isSelected(m->index(1)));
        QVERIFY(!grid->selectionModel()->isSelected(m->index(m->rowCount() - 1))
            || grid->visualRect(m->index(m->rowCount() - 1)).top() == first.top());

        // Ctrl and the wheel make the thumbnails smaller, down to two steps.
        auto *size = child<QSlider>(win.w, "ThumbnailSize");
        QCOMPARE(size->value(), size->maximum());
        for (int i = 0; i < 3; ++i) {
            QWheelEvent wheel(QPointF(20, 20), grid->viewport()->mapToGlobal(QPointF(20, 20)),
                QPoint(), QPoint(0, -120), Qt::NoButton, Qt::ControlModifier,
                Qt::NoScrollPhase, false);
            QApplication::sendEvent(grid->viewport(), &wheel);
        }
        QCOMPARE(size->value(), size->minimum());
        QCOMPARE(grid->gridSize().width(), ThumbnailGridPage::kSides[0] + 12);
        size->setValue(size->maximum());

        // Everything: only the one not yet there is added.
        QTest::keySequence(grid, QKeySequence::SelectAll);
        QCOMPARE(child<QLabel>(win.w, "ThumbnailCount")->text(), "5 imagens, 5 selecionadas");
        QTest::mouseClick(insert, Qt::LeftButton);
        QCOMPARE(win.batch(), (QList<qint64> { keys[0], keys[1], keys[2], keys[3], keys[4] }));
        QCOMPARE(win.w->panelText(1), "1 imagem inserida no lote, que tem agora 5 imagens.");
        child<QAction>(win.w, "ThumbnailInsertAll")->trigger();
        QCOMPARE(win.batch().size(), 5);
        QCOMPARE(win.w->panelText(1), "Nenhuma imagem nova no lote, que tem 5 imagens.");

        // The tree's own item, on a picture, says so too.
        win.clickNode("TreeView1", NodeKind::Category, rome);
        doubleClick(grid, 2);
        QCOMPARE(win.browser().selection().node(), (NodeCode { NodeKind::Picture, keys[2] }));
        QCOMPARE(win.browser().activePage(), Page::Picture);
        QVERIFY(win.pages()->isPageVisible(int(Page::Picture)));
        QCOMPARE(win.browser().selectedNode(TreePane::Tree::Organisation),
            win.browser().TreeView1Nodes().indexOf(NodeKind::Picture, keys[2]));
        child<QAction>(win.w, "InserirnoLote1")->trigger();
        QCOMPARE(win.w->panelText(1), "Nenhuma imagem nova no lote, que tem 5 imagens.");

        // Enter does what the double click does.
        win.clickNode("TreeView1", NodeKind::Category, rome);
        win.clickView(View::Thumbnails);
        grid->setFocus();
        grid->setCurrentIndex(m->index(4));
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(win.browser().selection().node(), (NodeCode { NodeKind::Picture, keys[4] }));
    }

    // The "Pastas" tab: storage, folders of the paths below its Unit level by level, then
    // pictures; a folder's grid holds every picture below it in the tree's order, and the
    // tree's "Inserir no Lote" adds them.
    void folderTreeByLevels()
    {
        CatalogFixture f;
        const qint64 col = f.collection("Fotos");
        const qint64 cat = f.category(col, "Todas");
        const qint64 disk = storage(f, "Disco", "/media/FOTOS");
        const qint64 top = picture(f, col, cat, disk, "topo", "/media/FOTOS/");
        const qint64 y2019 = picture(f, col, cat, disk, "ano", "/media/FOTOS/2019");
        const qint64 beach2 = picture(f, col, cat, disk, "praia 2", "/media/FOTOS/2019/Férias/");
        const qint64 beach1 = picture(f, col, cat, disk, "Praia 1", "/media/FOTOS/2019/Férias/");
        const qint64 snow = picture(f, col, cat, disk, "neve", "/media/FOTOS/2019/abril/");
        const qint64 other = picture(f, col, cat, disk, "fora", "/home/ana");
        const qint64 y2020 = picture(f, col, cat, disk, "novo", "/media/FOTOS/2020/");
        Window win(f);
        auto *tabs = child<PageControl>(win.w, "PageControl1");
        const int pastas = tabs->indexOf(child<QWidget>(win.w, "TabSheet12"));
        QVERIFY(pastas > 1);
        testsupport::clickTab(tabs, pastas);
        QCOMPARE(tabs->activePageIndex(), pastas);
        auto *tree = child<QTreeView>(win.w, "TreeView3");
        auto *folders = static_cast<FolderTreeModel *>(tree->model());
        const QModelIndex storageNode = childNamed(folders, {}, "Disco");
        QVERIFY(storageNode.isValid());
        // Nothing is read below a storage until it is opened.
        QVERIFY(folders->canFetchMore(storageNode));
        QCOMPARE(childNames(folders, storageNode),
            QStringList({ "2019", "2020", "home", "topo" }));
        const QModelIndex nineteen = childNamed(folders, storageNode, "2019");
        QVERIFY(folders->canFetchMore(nineteen));
        QCOMPARE(childNames(folders, nineteen), QStringList({ "abril", "Férias", "ano" }));
        QCOMPARE(childNames(folders, childNamed(folders, nineteen, QString::fromUtf8("Férias"))),
            QStringList({ "Praia 1", "praia 2" }));
        QCOMPARE(folders->path(nineteen), "/media/FOTOS/2019");

        // A folder: no detail page, its grid at once, every picture below it.
        tree->expand(storageNode);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(nineteen).center());
        QCOMPARE(win.browser().activeView(), View::Thumbnails);
        QVERIFY(win.browser().selection().isEmpty());
        QCOMPARE(win.model()->keys(), (QVector<qint64> { snow, beach1, beach2, y2019 }));

        // The storage: its page and a grid in the same depth-first order.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(storageNode).center());
        QCOMPARE(win.browser().selection().node(), (NodeCode { NodeKind::Storage, disk }));
        QVERIFY(win.pages()->isPageVisible(int(Page::Storage)));
        QCOMPARE(win.model()->keys(),
            (QVector<qint64> { snow, beach1, beach2, y2019, y2020, other, top }));

        // The pop-up's "Inserir no Lote" on a folder adds what is below it.
        tree->setCurrentIndex(nineteen);
        child<QAction>(win.w, "InserirnoLote3")->trigger();
        QCOMPARE(win.batch(), (QList<qint64> { snow, beach1, beach2, y2019 }));
        QCOMPARE(win.w->panelText(1), "4 imagens inseridas no lote, que tem agora 4 imagens.");

        // Opening the batch leaves the folder's grid, as it leaves the detail pages.
        QTimer::singleShot(0, win.app.BatchProcess.get(), [&] { win.app.BatchProcess->reject(); });
        QTest::mouseClick(child<QToolButton>(win.w, "ToolButton4"), Qt::LeftButton);
        QVERIFY(!win.browser().isViewOffered(View::Thumbnails));
        QCOMPARE(win.browser().activeView(), View::Record);
        testsupport::clickTab(tabs, pastas);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(nineteen).center());
        QCOMPARE(win.browser().activeView(), View::Thumbnails);

        // A double click in the folder's grid opens the folders down to the picture.
        QCOMPARE(win.model()->keys().indexOf(beach2), 2);
        QListView *grid = win.grid();
        doubleClick(grid, 2);
        QCOMPARE(win.browser().selection().node(), (NodeCode { NodeKind::Picture, beach2 }));
        QCOMPARE(win.browser().activePage(), Page::Picture);
        const QModelIndex selected = tree->selectionModel()->selectedRows().value(0);
        QCOMPARE(folders->code(selected), (NodeCode { NodeKind::Picture, beach2 }));
        QCOMPARE(selected.parent().data().toString(), QString::fromUtf8("Férias"));
    }

    // `tree --folders` prints the same tree (TREE 3), names escaped; `tree` is as it was.
    void cliPrintsTheFolderTree()
    {
        CatalogFixture f;
        const qint64 col = f.collection("Fotos");
        const qint64 cat = f.category(col, "Todas");
        const qint64 disk = storage(f, "Disco", "/media/FOTOS/");
        const qint64 empty = storage(f, "Arquivo", "/srv");
        const qint64 top = picture(f, col, cat, disk, "topo", "/media/FOTOS");
        const qint64 tab = picture(f, col, cat, disk, "a\tb", "/media/FOTOS/2019/x\ty/");
        const qint64 plain = picture(f, col, cat, disk, "b", "/media/FOTOS/2019/");
        picture(f, col, cat, 0, "sem local", "/tmp/");
        QProcess p;
        p.start(testsupport::binDir() + "/quillomar-cli",
            { "--catalogue", f.path, "tree", "--folders" });
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QStringList lines
            = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines,
            QStringList({ QString("3\t0\tN4=%1\tArquivo").arg(empty),
                QString("3\t0\tN4=%1\tDisco").arg(disk),
                QString("3\t1\tN5=%1:/media/FOTOS/2019\t2019").arg(disk),
                QString("3\t2\tN5=%1:/media/FOTOS/2019/x\\ty\tx\\ty").arg(disk),
                QString("3\t3\tN3=%1\ta\\tb").arg(tab), QString("3\t2\tN3=%1\tb").arg(plain),
                QString("3\t1\tN3=%1\ttopo").arg(top) }));

        // Without the option, the two trees only.
        QProcess q;
        q.start(testsupport::binDir() + "/quillomar-cli", { "--catalogue", f.path, "tree" });
        QVERIFY(q.waitForFinished(60000));
        const QString both = QString::fromUtf8(q.readAllStandardOutput());
        QVERIFY(!both.contains("\n3\t") && !both.startsWith("3\t"));
        QVERIFY(both.contains(QString("2\t0\tN4=%1\tDisco\n").arg(disk)));

        // The window's tree is built by the same logic.
        Connection c;
        c.openFile(f.path);
        FolderTree t;
        t.read(c, { disk, "Disco", "/media/FOTOS/" });
        QCOMPARE(t.count(), 3);
        QCOMPARE(t.folder(t.folderOf("/media/FOTOS/2019/")).name, "2019");
        const QVector<FolderTree::Picture> expected
            = { { tab, "a\tb" }, { plain, "b" }, { top, "topo" } };
        QCOMPARE(t.pictures(c, 0, true), expected);
        c.close();
    }

    // The search's grid shows the hits in the grid's order and adds them all at once.
    void searchGridShowsTheHits()
    {
        CatalogFixture f;
        const qint64 trips = f.collection("Viagens");
        const qint64 rome = f.category(trips, "Roma");
        const qint64 b = picture(f, trips, rome, 0, "praia b", "/fotos/");
        const qint64 a = picture(f, trips, rome, 0, "praia a", "/fotos/");
        picture(f, trips, rome, 0, "montanha", "/fotos/");
        Window win(f);
        win.prompter.answerText(QStringLiteral("praia"));
        QTest::mouseClick(child<QToolButton>(win.w, "ToolButton3"), Qt::LeftButton);
        QCOMPARE(win.browser().activePage(), Page::Search);
        QCOMPARE(win.browser().activeView(), View::Record);
        QVERIFY(win.browser().isViewOffered(View::SearchThumbnails));
        QVERIFY(!win.browser().isViewOffered(View::Thumbnails));
        auto *grid = child<QListView>(win.w, "SearchThumbnailGrid");
        auto *m = static_cast<ThumbnailGridModel *>(grid->model());
        QCOMPARE(m->keys(), (QVector<qint64> { a, b }));
        child<QAction>(win.w, "SearchThumbnailInsertAll")->trigger();
        QCOMPARE(win.batch(), (QList<qint64> { a, b }));
        QCOMPARE(win.w->panelText(1), "2 imagens inseridas no lote, que tem agora 2 imagens.");
    }
};

QTEST_MAIN(TestThumbnailGrid)
#include "test_thumbnailgrid.moc"
