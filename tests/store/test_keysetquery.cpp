#include "store/keysetquery.h"

#include <QtTest>

// The SQL of the record set's moves, without a catalogue file.
class TestKeysetQuery : public QObject {
    Q_OBJECT

private slots:
    void movesSeekFromTheKeyWithTheFilterAndTheMaster()
    {
        using D = KeysetQuery::Direction;
        KeysetQuery q;
        q.setTable(QStringLiteral("Pic\"s"), { "RecId", "Name", "Size" });
        q.setSortColumns({ "Name", "Size" });
        q.setFilter(QStringLiteral("  Size > :MIN "), { { "MIN", 10 } });
        q.setMaster(QStringLiteral("Category"));
        q.setMasterValue(7);

        QVariantMap binds;
        QCOMPARE(q.selectSql(QString(), binds, D::Backward),
            QStringLiteral("SELECT rowid, \"RecId\", \"Name\", \"Size\" FROM \"Pic\"\"s\" WHERE "
                           "(Size > :MIN) AND \"Category\" = :qm_master "
                           "ORDER BY \"Name\" DESC, \"Size\" DESC, rowid DESC LIMIT 1"));
        QCOMPARE(binds, QVariantMap({ { "MIN", 10 }, { "qm_master", 7 } }));

        const KeysetQuery::Try seek = q.forwardSeek({ "b", 3 }, 42);
        QVERIFY(seek.sql.contains(
            "AND (\"Name\", \"Size\", rowid) > (:qm_k0, :qm_k1, :qm_rowid) ORDER BY \"Name\", "
            "\"Size\", rowid LIMIT 1"));
        QCOMPARE(seek.binds.value("qm_k0"), QVariant("b"));
        QCOMPARE(seek.binds.value("qm_rowid"), QVariant(qint64(42)));

        // A null sorts first: backward from ("b", null) there is nothing more within "b"; the
        // rows before come from a smaller name, then from a null name.
        const QVariantList key { "b", QVariant() };
        const QList<KeysetQuery::Try> same = q.adjacentTries(D::Backward, key, 42, 2);
        QCOMPARE(same.size(), 1);
        QVERIFY(same[0].sql.contains(
            "\"Name\" = :qm_k0 AND \"Size\" IS NULL AND rowid < :qm_rowid ORDER BY rowid DESC"));
        QVERIFY(q.adjacentTries(D::Backward, key, 42, 1).isEmpty());
        const QList<KeysetQuery::Try> before = q.adjacentTries(D::Backward, key, 42, 0);
        QCOMPARE(before.size(), 2);
        QVERIFY(before[0].sql.contains("AND \"Name\" < :qm_r ORDER BY \"Name\" DESC"));
        QVERIFY(before[1].sql.contains("AND \"Name\" IS NULL ORDER BY \"Name\" DESC"));
        QCOMPARE(before[0].binds.value("qm_master"), QVariant(7));
        // Forward from a null size: the first non-null size of the same name.
        const QList<KeysetQuery::Try> after = q.adjacentTries(D::Forward, key, 42, 1);
        QCOMPARE(after.size(), 1);
        QVERIFY(after[0].sql.contains(
            "\"Name\" = :qm_k0 AND \"Size\" IS NOT NULL ORDER BY \"Size\", rowid"));

        binds.clear();
        QCOMPARE(q.locateCondition(
                     { "Name", "Size", "Note" }, { "Ana", 3, QVariant() }, false, binds),
            QStringLiteral("\"Name\" = :qm_l0 AND \"Name\" = :qm_l0 COLLATE BINARY AND "
                           "\"Size\" = :qm_l1 AND \"Note\" IS NULL"));
        QCOMPARE(q.locateCondition({ "Name" }, { "Ana" }, true, binds),
            QStringLiteral("\"Name\" = :qm_l0 COLLATE NOCASE"));
    }
};

QTEST_APPLESS_MAIN(TestKeysetQuery)
#include "test_keysetquery.moc"
