#include "app/startup.h"
#include "app/tabertura.h"
#include "browser/catalogbrowser.h"
#include "core/scriptedprompter.h"
#include "store/connection.h"
#include "store/statement.h"
#include "store/tdados.h"
#include "support/catalogfixture.h"
#include "support/windowdriver.h"
#include "widgets/pagecontrol.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

using testsupport::child;
using Page = CatalogBrowser::Page;

namespace {

const QString noHit
    = QStringLiteral("Nenhuma imagem encontrada na base de dados contendo a referência \"%1\".");

// The main window over a catalogue the test fills first, started as the program starts.
struct Window {
    CatalogFixture f;
    ScriptedPrompter prompter;
    std::unique_ptr<Startup> app;

    void start()
    {
        app = std::make_unique<Startup>(f.folder.paths, &prompter);
        app->createWindows();
        QSignalSpy done(app->Abertura.get(), &TAbertura::startupLoadingDone);
        app->Abertura->show();
        QTRY_COMPARE(done.count(), 1);
        prompter.clear();
    }
    TAbertura &main() { return *app->Abertura; }
    TDados &store() { return *app->Dados; }
    CatalogBrowser &b() { return main().browser(); }
    template<typename T = QWidget> T *find(const char *name)
    {
        return child<T>(&main(), QString::fromLatin1(name));
    }
    QTableView *grid(const char *name = "DBGridSearch") { return find<QTableView>(name); }
    PageControl *pages() { return find<PageControl>("PageControl2"); }
    QTreeView *tree1() { return find<QTreeView>("TreeView1"); }
    // "Procurar no Catálogo", answering the input box with `text` (nullopt: cancel).
    void search(const std::optional<QString> &text)
    {
        prompter.clear();
        prompter.answerText(text);
        QTest::mouseClick(find<QToolButton>("ToolButton3"), Qt::LeftButton);
    }
    void clickNode(const char *level, qint64 key)
    {
        const auto *model = static_cast<const CatalogTree *>(tree1()->model());
        testsupport::clickNode(tree1(), model->indexOfCode(QString("%1=%2").arg(level).arg(key)));
    }
    // A grid's cells, row by row, the hidden columns left out.
    static QList<QStringList> cells(QTableView *grid)
    {
        QList<QStringList> rows;
        QAbstractItemModel *m = grid->model();
        for (int r = 0; m && r < m->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < m->columnCount(); ++c)
                if (!grid->isColumnHidden(c))
                    row << m->data(m->index(r, c)).toString();
            rows << row;
        }
        return rows;
    }
    static QStringList titles(QTableView *grid)
    {
        QStringList out;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            if (!grid->isColumnHidden(c))
                out << grid->model()->headerData(c, Qt::Horizontal).toString();
        return out;
    }
    QList<int> visiblePages() { return testsupport::visiblePages(pages()); }
    // The boxes shown, as "icon|text".
    QStringList boxes() const
    {
        QStringList out;
        for (const ScriptedPrompter::Record &r : prompter.boxes())
            out << iconName(r.icon) + QLatin1Char('|') + r.text;
        return out;
    }
    void doubleClickRow(QTableView *grid, int row)
    {
        const QModelIndex index = grid->model()->index(row, 1);
        grid->scrollTo(index);
        const QPoint at = grid->visualRect(index).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    }
};

} // namespace

class TestSearch : public QObject {
    Q_OBJECT
private slots:
    void searchListsHitsAndJumpsToThem()
    {
        Window w;
        const qint64 trips = w.f.collection("Viagens");
        const qint64 rome = w.f.category(trips, "Roma");
        const qint64 paris = w.f.category(trips, "Paris");
        const qint64 beaches = w.f.collection("Brasil");
        const qint64 north = w.f.category(beaches, "Nordeste");
        const qint64 disk = w.f.storage("Disco");
        const qint64 coliseum = w.f.picture(trips, rome, disk, "coliseu");
        const qint64 beachRome = w.f.picture(trips, rome, disk, "PRAIA");
        const qint64 beachParis = w.f.picture(trips, paris, disk, "praia");
        const qint64 beachNorth = w.f.picture(beaches, north, disk, "Praia");
        const qint64 bus = w.f.picture(beaches, north, disk, "onibus");
        w.f.exec(QString("UPDATE Pictures SET KeyWords = 'ÔNIBUS LEITO', Notes = 'João' "
                         "WHERE RecId = %1")
                     .arg(bus));
        w.start();
        w.clickNode("N3", coliseum);
        QCOMPARE(w.visiblePages(), QList<int>({ 2 }));

        w.search(QStringLiteral("praia"));
        QCOMPARE(w.prompter.records().size(), 1);
        QCOMPARE(w.prompter.records().first().kind, ScriptedPrompter::Kind::Input);
        QCOMPARE(
            w.prompter.records().first().text, QStringLiteral("Procurar imagem\nProcurar por..."));
        // Same names come by collection, then category.
        QCOMPARE(w.visiblePages(), QList<int>({ int(Page::Search) }));
        QCOMPARE(w.pages()->activePageIndex(), int(Page::Search));
        QTableView *grid = w.grid();
        QCOMPARE(Window::titles(grid), QStringList({ "Coleção", "Categoria", "Imagem" }));
        QCOMPARE(Window::cells(grid),
            QList<QStringList>({ { "Brasil", "Nordeste", "Praia" }, { "Viagens", "Paris", "praia" },
                { "Viagens", "Roma", "PRAIA" } }));
        QVERIFY(grid->isColumnHidden(0));
        const int each = (grid->width() - 17) / 3;
        QCOMPARE(grid->columnWidth(1), each);
        QCOMPARE(grid->columnWidth(2), each);
        QCOMPARE(grid->columnWidth(3), grid->width() - 2 * each - 17);
        QVERIFY(w.b().selection().isEmpty());
        QVERIFY(w.tree1()->selectionModel()->selectedRows().isEmpty());
        QVERIFY(!w.tree1()->isExpanded(w.tree1()->model()->index(0, 0)));
        QCOMPARE(w.store().Conexao.steppingStatements(), 0);

        // A double click selects the hit's picture; the list stays offered.
        w.doubleClickRow(grid, 1);
        QCOMPARE(w.b().selection().kind(), NodeKind::Picture);
        QCOMPARE(w.b().selection().key(), beachParis);
        QCOMPARE(w.pages()->activePageIndex(), int(Page::Picture));
        QVERIFY(w.pages()->isPageVisible(int(Page::Search)));
        QCOMPARE(w.store().TPictures.asInt("RecId"), beachParis);
        // Enter does the same.
        testsupport::clickTab(w.pages(), int(Page::Search));
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(2, 1));
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(w.b().selection().key(), beachRome);
        // The list is what was read: a renamed picture keeps its old name there.
        w.f.exec(QString("UPDATE Pictures SET Name = 'areia' WHERE RecId = %1").arg(beachNorth));
        QCOMPARE(Window::cells(grid).first().last(), QStringLiteral("Praia"));

        // Letter case is folded beyond ASCII; notes and key words count, collection names not.
        w.search(QStringLiteral("ônibus"));
        QCOMPARE(
            Window::cells(w.grid()), QList<QStringList>({ { "Brasil", "Nordeste", "onibus" } }));
        w.search(QStringLiteral("JOÃO"));
        QCOMPARE(Window::cells(w.grid()).size(), 1);
        // A letter typed without its accent finds it with one.
        w.search(QStringLiteral("joao"));
        QCOMPARE(Window::cells(w.grid()).size(), 1);
        // "%" and "_" typed are wildcards.
        w.search(QStringLiteral("co%u"));
        QCOMPARE(Window::cells(w.grid()), QList<QStringList>({ { "Viagens", "Roma", "coliseu" } }));
        QVERIFY(w.boxes().isEmpty());

        // Nothing found: the box, and the previous list is gone with its page.
        for (const QString &text : { QStringLiteral("Viagens"), QStringLiteral("jõao"),
                 QStringLiteral("a'b\"c"), QStringLiteral("x\\y"), QStringLiteral("linha\nnova"),
                 QString(10000, QLatin1Char('z')), QStringLiteral("\uFFFD\U0001F30A") }) {
            w.search(text);
            QCOMPARE(w.prompter.records().size(), 3);
            QCOMPARE(w.prompter.records().at(1).kind, ScriptedPrompter::Kind::Beep);
            QCOMPARE(w.boxes(), QStringList({ QStringLiteral("none|") + noHit.arg(text) }));
            QVERIFY(!w.pages()->isPageVisible(int(Page::Search)));
        }
        // An empty text lists every picture.
        w.search(QStringLiteral(""));
        QCOMPARE(Window::cells(w.grid()).size(), 5);
        // Cancelling leaves the trees collapsed and the details hidden.
        w.clickNode("N3", coliseum);
        w.search(std::nullopt);
        QVERIFY(w.b().selection().isEmpty() || !w.pages()->isPageVisible(int(Page::Picture)));
        for (Page p : { Page::Collection, Page::Category, Page::Picture, Page::Storage })
            QVERIFY(!w.pages()->isPageVisible(int(p)));
        QCOMPARE(w.pages()->activePageIndex(), -1); // no hidden page left on show
        QVERIFY(w.tree1()->selectionModel()->selectedRows().isEmpty());
        QVERIFY(w.boxes().isEmpty());
        // The list is still offered: its tab (the only one, so the tab bar marks it as its
        // current tab) opens it.
        QCOMPARE(w.visiblePages(), QList<int>({ int(Page::Search) }));
        testsupport::clickTab(w.pages(), int(Page::Search));
        QCOMPARE(w.pages()->activePageIndex(), int(Page::Search));
        QCOMPARE(Window::cells(w.grid()).size(), 5);
    }

    void aDeletedHitJumpsNowhereAndEngineErrorsAreShown()
    {
        Window w;
        const qint64 trips = w.f.collection("Viagens");
        const qint64 rome = w.f.category(trips, "Roma");
        const qint64 gone = w.f.picture(trips, rome, 0, "forum");
        w.f.picture(trips, rome, 0, "foro");
        w.start();
        w.search(QStringLiteral("fo"));
        QCOMPARE(Window::cells(w.grid()).size(), 2);
        w.f.exec(QString("DELETE FROM Pictures WHERE RecId = %1").arg(gone));
        w.b().LoadTrees();
        w.doubleClickRow(w.grid(), 1);
        QVERIFY(w.b().selection().isEmpty());
        QCOMPARE(w.pages()->activePageIndex(), int(Page::Search));

        // The engine's failure: its message, the page stays, its grid empty.
        w.f.exec("ALTER TABLE Pictures RENAME COLUMN KeyWords TO Words");
        w.search(QStringLiteral("fo"));
        QCOMPARE(
            w.boxes(), QStringList({ "error|" + w.f.missingColumn("Pictures", "KeyWords") }));
        QVERIFY(w.pages()->isPageVisible(int(Page::Search)));
        QVERIFY(Window::cells(w.grid()).isEmpty());
    }

    // The grid reads its rows a page at a time, in the statement's order across pages, also
    // through names shared by many rows and pictures without a name.
    void theGridReadsPagesAsItScrolls()
    {
        Window w;
        const qint64 a = w.f.collection("A");
        const qint64 b = w.f.collection("b");
        const qint64 ka = w.f.category(a, "k");
        const qint64 kb = w.f.category(b, "K");
        Connection c;
        c.openFile(w.f.path);
        c.beginTransaction();
        {
            Statement insert(c,
                QStringLiteral("INSERT INTO Pictures (Collection, Category, Name, FileName, "
                               "FileType) VALUES (:C, :K, :N, 'f.jpg', 'jpg')"));
            for (int i = 0; i < 700; ++i) {
                const bool first = i % 2 == 0;
                insert.bind("C", first ? a : b);
                insert.bind("K", first ? ka : kb);
                insert.bind("N",
                    i < 210 ? QVariant() : QVariant(QString("n%1").arg(i % 7 == 0 ? 0 : i % 40)));
                insert.exec();
            }
        }
        c.commit();
        QList<qint64> expected;
        {
            Statement all(c,
                QStringLiteral(
                    "SELECT Pictures.RecId FROM Pictures, Categories, Collections WHERE "
                    "Pictures.Collection = Collections.RecId AND Pictures.Category = "
                    "Categories.RecId ORDER BY Pictures.Name COLLATE NOCASE, Collections.Name "
                    "COLLATE NOCASE, Categories.Name COLLATE NOCASE, Pictures.RecId"));
            Statement::Reset done(all);
            while (all.step())
                expected << all.integer(0);
        }
        c.close();
        w.start();
        w.search(QStringLiteral(""));
        QTableView *grid = w.grid();
        QVERIFY(grid->model()->rowCount() < 700);
        QCOMPARE(w.store().Conexao.steppingStatements(), 0);
        while (grid->model()->canFetchMore({})) {
            const int before = grid->model()->rowCount();
            grid->scrollToBottom();
            QTRY_VERIFY(grid->model()->rowCount() > before || !grid->model()->canFetchMore({}));
            QCOMPARE(w.store().Conexao.steppingStatements(), 0);
        }
        QList<qint64> listed;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            listed << grid->model()->data(grid->model()->index(r, 0)).toLongLong();
        QCOMPARE(listed, expected);
        QVERIFY(w.boxes().isEmpty());

        // The engine failing on a later page: its message once; the rows read stay.
        w.search(QStringLiteral(""));
        const int firstPage = w.grid()->model()->rowCount();
        w.f.exec("ALTER TABLE Pictures RENAME COLUMN Notes TO Remarks");
        w.grid()->scrollToBottom();
        QTRY_COMPARE(
            w.boxes(), QStringList({ "error|" + w.f.missingColumn("Pictures", "Notes") }));
        QCOMPARE(w.grid()->model()->rowCount(), firstPage);
        QVERIFY(!w.grid()->model()->canFetchMore({}));
    }

    void statisticsGridsCountForTheSelectedRecord()
    {
        Window w;
        const qint64 trips = w.f.collection("Viagens");
        const qint64 zebra = w.f.category(trips, "Zebra");
        const qint64 water = w.f.category(trips, "Água");
        w.f.category(trips, "abelha");
        const qint64 empty = w.f.collection("Vazia");
        const qint64 other = w.f.collection("Outra");
        const qint64 odd = w.f.category(other, "Estranhas");
        const qint64 disk = w.f.storage("Disco");
        const qint64 bare = w.f.storage("Nada");
        w.f.picture(trips, zebra, disk, "z1");
        w.f.picture(trips, zebra, disk, "z2");
        const qint64 png = w.f.picture(trips, water, disk, "w1");
        w.f.exec(QString("UPDATE Pictures SET FileType = 'png' WHERE RecId = %1").arg(png));
        const qint64 strange = w.f.picture(other, odd, 0, "s1");
        w.f.exec(QString("UPDATE Pictures SET FileType = 'xyz' WHERE RecId = %1").arg(strange));
        w.start();

        // A collection: its categories in Portuguese order, an empty one with 0.
        w.clickNode("N1", trips);
        QTableView *g1 = w.grid("DBGrid1");
        QVERIFY(g1->isVisible());
        QCOMPARE(Window::cells(g1),
            QList<QStringList>({ { "abelha", "0" }, { "Água", "1" }, { "Zebra", "2" } }));
        QCOMPARE(Window::titles(g1), QStringList({ "Categoria", "Imagens" }));
        QCOMPARE(g1->model()->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
            int(Qt::AlignRight | Qt::AlignVCenter));
        const int each = (g1->width() - 17) / 2;
        QCOMPARE(g1->columnWidth(1), each);
        QCOMPARE(g1->columnWidth(0), g1->width() - each - 17);
        // Another collection while the page stays: refreshed; without categories: no grid.
        w.clickNode("N1", other);
        QCOMPARE(Window::cells(g1), QList<QStringList>({ { "Estranhas", "1" } }));
        w.clickNode("N1", empty);
        QVERIFY(!g1->isVisible());

        // A category and a storage: pictures by format; unknown formats are not counted.
        w.clickNode("N2", zebra);
        QTableView *g2 = w.grid("DBGrid2");
        QCOMPARE(Window::cells(g2), QList<QStringList>({ { "Imagem JPEG", "2" } }));
        QCOMPARE(Window::titles(g2), QStringList({ "Formato", "Quantidade" }));
        w.clickNode("N2", odd);
        QVERIFY(!g2->isVisible());
        testsupport::clickTab(w.find<PageControl>("PageControl1"), 1);
        auto *tree2 = w.find<QTreeView>("TreeView2");
        const auto *locations = static_cast<const CatalogTree *>(tree2->model());
        testsupport::clickNode(tree2, locations->indexOfCode(QString("N4=%1").arg(disk)));
        QTableView *g3 = w.grid("DBGrid3");
        QVERIFY(g3->isVisible());
        QList<QStringList> counts = Window::cells(g3);
        std::sort(counts.begin(), counts.end());
        QCOMPARE(counts, QList<QStringList>({ { "Imagem JPEG", "2" }, { "Imagem PNG", "1" } }));
        testsupport::clickNode(tree2, locations->indexOfCode(QString("N4=%1").arg(bare)));
        QVERIFY(!g3->isVisible());

        // The engine's failure: its message; the grid keeps its visibility, empty.
        testsupport::clickNode(tree2, locations->indexOfCode(QString("N4=%1").arg(disk)));
        QVERIFY(g3->isVisible());
        w.f.exec("ALTER TABLE Formats RENAME COLUMN Extension TO Ext");
        testsupport::clickNode(tree2, locations->indexOfCode(QString("N4=%1").arg(bare)));
        QCOMPARE(
            w.boxes(), QStringList({ "error|" + w.f.missingColumn("Formats", "Extension") }));
        QVERIFY(g3->isVisible());
        QVERIFY(Window::cells(g3).isEmpty());
    }
};

QTEST_MAIN(TestSearch)
#include "test_search.moc"
