#include "browser/datestree.h"
#include "intake/picturefactstable.h"
#include "store/transaction.h"
#include "support/catalogfixture.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <optional>

namespace {

// A picture and, when `taken` is given, the facts of its examination saying when.
qint64 photo(const CatalogFixture &f, qint64 collection, qint64 category, const QString &name,
    const QString &taken)
{
    const qint64 id = f.picture(collection, category, 0, name);
    if (taken.isNull())
        return id;
    Connection c;
    c.openFile(f.path);
    PictureFactsTable::Entry e;
    e.picture = id;
    e.drawn = PictureFactsTable::Drawn::Larger;
    if (!taken.isEmpty())
        e.facts.taken = PictureFactsTable::takenOf(taken, QVariant());
    PictureFactsTable::Writer(c).record(e);
    return id;
}

QStringList texts(const QAbstractItemModel &m, const QModelIndex &parent = {})
{
    QStringList out;
    for (int r = 0; r < m.rowCount(parent); ++r)
        out << m.index(r, 0, parent).data().toString();
    return out;
}

QModelIndex child(const QAbstractItemModel &m, const QModelIndex &parent, const QString &text)
{
    for (int r = 0; r < m.rowCount(parent); ++r)
        if (m.index(r, 0, parent).data().toString() == text)
            return m.index(r, 0, parent);
    return {};
}

} // namespace

class TestDatesTree : public QObject {
    Q_OBJECT
private slots:
    void yearsMonthsDaysAndPicturesAsTheyAreOpened()
    {
        CatalogFixture f;
        const qint64 col = f.collection("Família");
        const qint64 cat = f.category(col, "Viagens");
        const qint64 late = photo(f, col, cat, "zebra", "2019-07-04T18:00:00");
        const qint64 early = photo(f, col, cat, "praia", "2019-07-04T09:15:00.250");
        const qint64 same = photo(f, col, cat, "Água", "2019-07-04T18:00:00");
        photo(f, col, cat, "natal", "2019-12-25T20:00:00");
        photo(f, col, cat, "festa", "2019-07-20T10:00:00");
        photo(f, col, cat, "antiga", "1998-02-01T12:00:00");
        const qint64 blank = photo(f, col, cat, "sem data", ""); // examined, no date said
        const qint64 unseen = photo(f, col, cat, "ainda não", QString()); // not examined yet
        const qint64 orphanless = f.picture(col, cat, 0, "Ébano");

        Connection c;
        c.openFile(f.path);
        DatesTree tree(c);
        tree.reload();
        QCOMPARE(texts(tree), QStringList({ "1998 (1)", "2019 (5)", "Sem data (3)" }));
        const QModelIndex y2019 = tree.index(1, 0);
        QCOMPARE(tree.level(y2019), DatesTree::Level::Year);
        QCOMPARE(tree.period(y2019), QStringLiteral("2019"));
        QCOMPARE(tree.count(y2019), 5);
        QVERIFY(!tree.nodeCode(y2019).isValid());
        // Nothing below a year is read until it is opened.
        QVERIFY(tree.hasChildren(y2019));
        QCOMPARE(tree.rowCount(y2019), 0);
        QVERIFY(tree.canFetchMore(y2019));
        QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
        tree.fetchMore(y2019);
        QVERIFY(!tree.canFetchMore(y2019));
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.first().at(0).value<QModelIndex>(), y2019);
        // From here the tester reads the model and opens every level (it cannot watch the
        // reset of a model that reads its levels as they are opened: it opens them while the
        // reset is being told).
        std::optional<QAbstractItemModelTester> tester(
            std::in_place, &tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(texts(tree, y2019), QStringList({ "Julho (4)", "Dezembro (1)" }));
        const QModelIndex july = child(tree, y2019, "Julho (4)");
        QCOMPARE(tree.period(july), QStringLiteral("2019-07"));
        tree.fetchMore(july);
        QCOMPARE(texts(tree, july), QStringList({ "04/07/2019 (3)", "20/07/2019 (1)" }));
        const QModelIndex day = tree.index(0, 0, july);
        QCOMPARE(tree.level(day), DatesTree::Level::Day);
        tree.fetchMore(day);
        // In the order they were taken; of the same moment, by name in Portuguese order.
        QCOMPARE(texts(tree, day), QStringList({ "praia", "Água", "zebra" }));
        const QModelIndex first = tree.index(0, 0, day);
        QCOMPARE(tree.level(first), DatesTree::Level::Picture);
        QCOMPARE(tree.nodeCode(first).text(), QStringLiteral("N3=%1").arg(early));
        QCOMPARE(tree.index(1, 0, day).data(DatesTree::CodeRole).toString(),
            QStringLiteral("N3=%1").arg(same));
        QCOMPARE(tree.nodeCode(tree.index(2, 0, day)).key, late);
        QVERIFY(!tree.hasChildren(first));
        QCOMPARE(tree.parent(first), day);
        QCOMPARE(tree.parent(day), july);

        // The pictures without a date: examined or not, and with no facts at all.
        const QModelIndex undated = tree.index(2, 0);
        QCOMPARE(tree.level(undated), DatesTree::Level::Undated);
        tree.fetchMore(undated);
        QCOMPARE(texts(tree, undated), QStringList({ "ainda não", "Ébano", "sem data" }));

        // A picture found from elsewhere, its levels read on the way.
        DatesTree again(c);
        again.reload();
        const QModelIndex found = again.indexOfPicture(late);
        QVERIFY(found.isValid());
        QCOMPARE(again.nodeCode(found).key, late);
        QCOMPARE(again.period(again.parent(found)), QStringLiteral("2019-07-04"));
        QCOMPARE(again.nodeCode(again.indexOfPicture(unseen)).key, unseen);
        QCOMPARE(again.nodeCode(again.indexOfPicture(blank)).key, blank);
        QCOMPARE(again.nodeCode(again.indexOfPicture(orphanless)).key, orphanless);
        QVERIFY(!again.indexOfPicture(99999).isValid());

        // A deleted picture is gone at the next reload, with its facts.
        f.exec(QStringLiteral("DELETE FROM Pictures WHERE RecId = %1").arg(early));
        tester.reset();
        tree.reload();
        QCOMPARE(texts(tree), QStringList({ "1998 (1)", "2019 (4)", "Sem data (3)" }));
    }

    void aCatalogueWithoutFactsHasOnlyPicturesWithoutADate()
    {
        CatalogFixture f;
        const qint64 col = f.collection("C");
        const qint64 cat = f.category(col, "K");
        f.picture(col, cat, 0, "b");
        f.picture(col, cat, 0, "a");
        Connection c;
        c.openFile(f.path);
        DatesTree tree(c);
        tree.reload();
        {
            QAbstractItemModelTester tester(
                &tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
            QCOMPARE(texts(tree), QStringList({ "Sem data (2)" }));
            tree.fetchMore(tree.index(0, 0));
            QCOMPARE(texts(tree, tree.index(0, 0)), QStringList({ "a", "b" }));
        }
        // An empty catalogue: an empty tree.
        f.exec("DELETE FROM Pictures");
        tree.reload();
        QCOMPARE(tree.rowCount(), 0);
        // The connection closing leaves nothing that would read it.
        c.close();
        QCOMPARE(tree.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDatesTree)
#include "test_datestree.moc"
