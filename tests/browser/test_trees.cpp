#include "browser/catalogtree.h"
#include "browser/lookuplists.h"
#include "browser/treeloader.h"
#include "support/catalogfixture.h"
#include "core/scriptedprompter.h"
#include "store/tdados.h"

#include <QtTest>
#include <sqlite3.h>

namespace {
// Walks the model as a view does (rows under parents), independent of the arrays' order.
void walk(const CatalogTree &tree, const QModelIndex &parent, QStringList &codes,
    QList<int> &depths, int depth)
{
    for (int r = 0; r < tree.rowCount(parent); ++r) {
        const QModelIndex i = tree.index(r, 0, parent);
        codes << tree.data(i, Qt::UserRole).toString();
        depths << depth;
        walk(tree, i, codes, depths, depth + 1);
    }
}

struct Loaded {
    CatalogTree org;
    CatalogTree loc;
    TreeLoader::Found found;
};

void load(TDados &store, Loaded &l, const TreeLoader::Selection &sel = {})
{
    TreeLoader::loadOrganisation(store, l.org, sel, l.found);
    TreeLoader::loadLocation(store, l.loc, sel, l.found);
}

QStringList lines(const CatalogTree &t)
{
    QStringList out;
    for (int i = 0; i < t.count(); ++i)
        out << QString::number(t.depth(i)) + " " + t.code(i) + " " + t.name(i);
    return out;
}
} // namespace

class TestTrees : public QObject {
    Q_OBJECT
private slots:
    void defaultCatalogueGivesTheSystemNodes()
    {
        CatalogFixture f;
        ScriptedPrompter prompter;
        TDados store(f.folder.paths, prompter);
        QVERIFY(store.OpenDatabaseAll());
        Loaded l;
        load(store, l);
        QCOMPARE(lines(l.org),
            QStringList({ QString("0 N1=%1 (undefined)").arg(store.DefaultCollectionId),
                QString("1 N2=%1 (undefined)").arg(store.DefaultCategoryId) }));
        QCOMPARE(l.loc.count(), 1);
        QCOMPARE(l.loc.name(0), QStringLiteral("(local)"));
        QVERIFY(l.loc.code(0).startsWith("N4="));
        QCOMPARE(l.org.icon(0), quint8(0));
        QCOMPARE(l.org.icon(1), quint8(1));
        QCOMPARE(l.loc.icon(0), quint8(0));
        QCOMPARE(TreeLoader::organisationSql().join(""),
            QStringLiteral(
                "SELECT S1.*, Pictures.RecId AS ComRec, Pictures.Name AS ComNam FROM "
                "(SELECT Collections.RecId AS ColRec, Collections.Name AS ColNam, "
                "Categories.RecId AS CatRec, Categories.Name AS CatNam FROM Collections "
                "LEFT JOIN Categories ON Collections.RecId = Categories.Collection) AS S1 "
                "LEFT JOIN Pictures ON S1.CatRec = Pictures.Category ORDER BY 2, 4, 6"));
        QVERIFY(store.SQLTmp.sql().contains("ORDER BY 2, 4"));
        QVERIFY(!store.SQLTmp.isOpen());
    }

    void leavesAndPicturesWithoutStorage()
    {
        CatalogFixture f;
        const qint64 lonely = f.collection("Ana sem categorias");
        const qint64 trips = f.collection("Viagens");
        const qint64 empty = f.category(trips, "Vazia");
        const qint64 rome = f.category(trips, "Roma");
        const qint64 disk = f.storage("Disco 2");
        const qint64 spare = f.storage("Sobra");
        const qint64 p1 = f.picture(trips, rome, disk, "coliseu");
        const qint64 p2 = f.picture(trips, rome, 0, "forum sem local");
        ScriptedPrompter prompter;
        TDados store(f.folder.paths, prompter);
        QVERIFY(store.OpenDatabaseAll());
        Loaded l;
        load(store, l);
        const QStringList org = lines(l.org);
        QVERIFY(org.contains(QString("0 N1=%1 Ana sem categorias").arg(lonely)));
        const int lonelyNode = l.org.indexOfCode(QString("N1=%1").arg(lonely));
        QCOMPARE(l.org.childCount(lonelyNode), 0);
        QCOMPARE(l.org.childCount(l.org.indexOfCode(QString("N2=%1").arg(empty))), 0);
        QVERIFY(org.contains(QString("2 N3=%1 forum sem local").arg(p2)));
        QCOMPARE(l.loc.indexOfCode(QString("N3=%1").arg(p2)), -1);
        const int diskNode = l.loc.indexOfCode(QString("N4=%1").arg(disk));
        QCOMPARE(l.loc.childCount(diskNode), 1);
        QCOMPARE(l.loc.code(diskNode + 1), QString("N3=%1").arg(p1));
        QCOMPARE(l.loc.childCount(l.loc.indexOfCode(QString("N4=%1").arg(spare))), 0);
        // Collection, category and picture names sort the organisation tree; the table was
        // not empty, so no default collection was added.
        QCOMPARE(l.org.name(0), QStringLiteral("Ana sem categorias"));
        const int tripsNode = l.org.indexOfCode(QString("N1=%1").arg(trips));
        QCOMPARE(l.org.name(tripsNode + 1), QStringLiteral("Roma"));
        QCOMPARE(l.org.name(tripsNode + 4), QStringLiteral("Vazia"));
    }

    void nodeListMatchesAbsoluteIndexWhenNamesCollide()
    {
        CatalogFixture f;
        // Two collections of one name whose rows interleave by category name.
        const qint64 a1 = f.collection("Família");
        const qint64 a2 = f.collection("Família");
        const qint64 c11 = f.category(a1, "a");
        const qint64 c21 = f.category(a2, "b");
        const qint64 c12 = f.category(a1, "c");
        f.picture(a1, c11, 0, "x");
        f.picture(a2, c21, 0, "y");
        f.picture(a1, c12, 0, "z");
        f.picture(a1, c12, 0, "z");
        ScriptedPrompter prompter;
        TDados store(f.folder.paths, prompter);
        QVERIFY(store.OpenDatabaseAll());
        Loaded l;
        load(store, l);
        QStringList viewCodes;
        QList<int> viewDepths;
        walk(l.org, {}, viewCodes, viewDepths, 0);
        QCOMPARE(viewCodes.size(), l.org.count());
        for (int i = 0; i < l.org.count(); ++i) {
            QCOMPARE(viewCodes[i], l.org.code(i));
            QCOMPARE(viewDepths[i], l.org.depth(i));
            QCOMPARE(l.org.absoluteIndex(l.org.modelIndex(i)), i);
        }
        // The interleaving makes the first collection appear twice, each with its own rows.
        int seen = 0;
        for (int i = 0; i < l.org.count(); ++i)
            seen += l.org.code(i) == QString("N1=%1").arg(a1);
        QCOMPARE(seen, 2);
        // Two pictures of one name in one category stay two nodes.
        QCOMPARE(l.org.childCount(l.org.indexOfCode(QString("N2=%1").arg(c12))), 2);
    }

    void namesSortInPortugueseOrderInTreesAndPickers()
    {
        CatalogFixture f;
        const QStringList typed = { "Zebra", "abelha", "Ébano", "Avião", "Árvore", "Água" };
        const QStringList expected = { "abelha", "Água", "Árvore", "Avião", "Ébano", "Zebra" };
        const qint64 col = f.collection("Nomes");
        QList<qint64> collections;
        for (const QString &n : typed) {
            collections << f.collection(n);
            f.category(col, n);
            f.storage(n);
        }
        const qint64 cat = f.category(col, "Fotos");
        for (const QString &n : typed + QStringList { "água", "Agua", "agua" })
            f.picture(col, cat, 0, n);
        // Names equal but for case interleave their rows; lower case comes first.
        const qint64 upper = f.collection("Viagens");
        const qint64 lower = f.collection("viagens");
        f.category(upper, "a");
        const qint64 b = f.category(lower, "b");
        f.category(upper, "c");
        ScriptedPrompter prompter;
        TDados store(f.folder.paths, prompter);
        QVERIFY(store.OpenDatabaseAll());
        Loaded l;
        load(store, l);

        auto names = [](const CatalogTree &t, int parent, NodeKind kind) {
            QStringList out;
            for (int i = 0; i < t.count(); ++i)
                if (t.parentOf(i) == parent && t.kind(i) == kind)
                    out << t.name(i);
            return out;
        };
        QCOMPARE(names(l.org, -1, NodeKind::Collection),
            QStringList({ "abelha", "Água", "Árvore", "Avião", "Ébano", "Nomes", "viagens",
                "Viagens", "Zebra" }));
        const int colNode = l.org.indexOfCode(QString("N1=%1").arg(col));
        const QStringList categories
            = { "abelha", "Água", "Árvore", "Avião", "Ébano", "Fotos", "Zebra" };
        QCOMPARE(names(l.org, colNode, NodeKind::Category), categories);
        QCOMPARE(names(l.org, l.org.indexOfCode(QString("N2=%1").arg(cat)), NodeKind::Picture),
            QStringList({ "abelha", "agua", "Agua", "água", "Água", "Árvore", "Avião", "Ébano",
                "Zebra" }));
        QCOMPARE(names(l.loc, -1, NodeKind::Storage), expected);
        QCOMPARE(l.org.code(l.org.indexOfCode(QString("N1=%1").arg(lower)) + 1),
            QString("N2=%1").arg(b));
        const int upperNode = l.org.indexOfCode(QString("N1=%1").arg(upper));
        QCOMPARE(l.org.childCount(upperNode), 2);

        // The pickers of the detail pages list the same names in the same order.
        QStringList collectionsOffered, storagesOffered;
        for (const LookupItem &item : LookupLists::collections(store.Conexao))
            collectionsOffered << item.text;
        for (const LookupItem &item : LookupLists::storages(store.Conexao))
            storagesOffered << item.text;
        QCOMPARE(collectionsOffered, names(l.org, -1, NodeKind::Collection));
        QCOMPARE(storagesOffered, expected);
        QStringList categoriesOfNomes;
        for (const LookupItem &item : LookupLists::categories(store.Conexao))
            if (item.text != "a" && item.text != "b" && item.text != "c")
                categoriesOfNomes << item.text;
        QCOMPARE(categoriesOfNomes, categories);
    }

    void namesWithAnyCharactersKeepTheTreeWhole()
    {
        CatalogFixture f;
        const qint64 col = f.collection("Nomes");
        const qint64 cat = f.category(col, "Todos");
        // A server holds names within their declared width and in valid UTF-8 only.
        const QString longName(f.onServer() ? 251 : 5000, QChar('m')); // + ".jpg"
        const QStringList names
            = { "", "linha\num\nnovo", "tab\there", "עברית ושלום", "aspas \"'%_\\", longName };
        for (const QString &n : names)
            f.picture(col, cat, 0, n);
        // A name that is not valid UTF-8, as a file name may be.
        if (!f.onServer()) {
            f.exec(QString("INSERT INTO Pictures (Collection, Category, Name, Review) VALUES (%1, "
                           "%2, CAST(x'ff41fe' AS TEXT), 1)")
                       .arg(col)
                       .arg(cat));
        }
        const int odd = f.onServer() ? 0 : 1;
        ScriptedPrompter prompter;
        TDados store(f.folder.paths, prompter);
        QVERIFY(store.OpenDatabaseAll());
        Loaded l;
        load(store, l);
        const int catNode = l.org.indexOfCode(QString("N2=%1").arg(cat));
        QCOMPARE(l.org.childCount(catNode), names.size() + odd);
        QStringList got;
        for (int i = catNode + 1; i <= catNode + names.size() + odd; ++i)
            got << l.org.name(i);
        for (const QString &n : names)
            QVERIFY2(got.contains(n), qPrintable(n.left(40)));
        if (odd) {
            QVERIFY(got.contains(QString::fromUtf8("\xff"
                                                   "A"
                                                   "\xfe")));
        }
        for (int i = catNode + 1; i <= catNode + names.size() + odd; ++i) {
            const QString shown = l.org.data(l.org.modelIndex(i)).toString();
            QVERIFY(!shown.contains('\n') && !shown.contains('\t'));
            QVERIFY(shown.size() <= 1025);
        }
    }

    void reloadFindsTheSelectionOnlyWhileTreesAreCurrent()
    {
        CatalogFixture f;
        const qint64 b = f.collection("B coleção");
        const qint64 cat = f.category(b, "Única");
        const qint64 pic = f.picture(b, cat, 0, "foto");
        ScriptedPrompter prompter;
        TDados store(f.folder.paths, prompter);
        QVERIFY(store.OpenDatabaseAll());
        f.exec(QString("UPDATE Collections SET Name = 'ZZ renomeada' WHERE RecId = %1").arg(b));

        TreeLoader::Selection sel;
        sel.treesCurrent = true;
        sel.kind = NodeKind::Collection;
        sel.collection = b;
        Loaded l;
        load(store, l, sel);
        QVERIFY(l.found.node1 >= 0);
        QCOMPARE(l.org.code(l.found.node1), QString("N1=%1").arg(b));
        QCOMPARE(l.org.name(l.found.node1), QStringLiteral("ZZ renomeada"));
        QVERIFY(l.found.expand1);
        QCOMPARE(l.found.node2, -1);

        sel.kind = NodeKind::Picture;
        sel.picture = pic;
        f.exec(QString(
            "UPDATE Pictures SET Location = (SELECT MIN(RecId) FROM Storages) WHERE RecId = %1")
                   .arg(pic));
        Loaded both;
        load(store, both, sel);
        QCOMPARE(both.org.code(both.found.node1), QString("N3=%1").arg(pic));
        QCOMPARE(both.loc.code(both.found.node2), QString("N3=%1").arg(pic));
        QVERIFY(!both.found.expand1 && !both.found.expand2);

        sel.treesCurrent = false;
        Loaded none;
        load(store, none, sel);
        QCOMPARE(none.found.node1, -1);
        QCOMPARE(none.found.node2, -1);
    }

    void engineErrorKeepsWhatWasRead()
    {
        CatalogFixture f;
        ScriptedPrompter prompter;
        TDados store(f.folder.paths, prompter);
        QVERIFY(store.OpenDatabaseAll());
        Loaded l;
        load(store, l);
        QCOMPARE(l.org.count(), 2);
        f.exec("ALTER TABLE Pictures RENAME COLUMN Category TO Elsewhere");
        bool threw = false;
        try {
            TreeLoader::loadOrganisation(store, l.org, {}, l.found);
        } catch (const DbError &e) {
            threw = true;
            QVERIFY2(e.message().contains("Category", Qt::CaseInsensitive), qPrintable(e.message()));
        }
        QVERIFY(threw);
        QCOMPARE(l.org.rowCount(), 0);
    }

    void structureStaysSmallPerNode()
    {
        CatalogTree t;
        t.beginLoad();
        int parent = -1;
        for (int i = 0; i < 100000; ++i) {
            if (i % 1000 == 0)
                parent = t.append(-1, NodeKind::Collection, i, u"c", 0);
            else
                t.append(parent, NodeKind::Picture, i, u"p", 2);
        }
        t.endLoad();
        QVERIFY2(t.structureBytes() / t.count() < 64,
            qPrintable(QString::number(t.structureBytes() / t.count())));
        QCOMPARE(t.rowCount(), 100);
        QCOMPARE(t.rowCount(t.modelIndex(0)), 999);
    }
};

QTEST_GUILESS_MAIN(TestTrees)
#include "test_trees.moc"
