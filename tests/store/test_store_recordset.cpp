#include "store/connection.h"
#include "store/dberror.h"
#include "store/recordset.h"
#include "store/transaction.h"
#include "storetesthelpers.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using storetest::RawDb;

namespace {
QStringList walkForward(RecordSet &rs, const QString &field)
{
    QStringList seen;
    for (rs.first(); !rs.eof(); rs.next())
        seen << (rs.isNull(field) ? QStringLiteral("NULL") : rs.asString(field));
    return seen;
}
QStringList walkBackward(RecordSet &rs, const QString &field)
{
    QStringList seen;
    for (rs.last(); !rs.bof(); rs.prior())
        seen << (rs.isNull(field) ? QStringLiteral("NULL") : rs.asString(field));
    return seen;
}
QStringList reversed(QStringList list)
{
    std::reverse(list.begin(), list.end());
    return list;
}
} // namespace

class TestStoreRecordSet : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<Connection> m_conn;

private slots:
    void initTestCase_data() { storetest::addEngines(); }

    void init()
    {
        static int n = 0;
        m_path = storetest::catalogue(m_dir.path(), QStringLiteral("rs%1.mdb").arg(++n));
        RawDb raw(m_path);
        raw.exec("INSERT INTO Collections (RecId, Name, System) VALUES "
                 "(1, 'Viagens', FALSE), (2, '(undefined)', TRUE), (3, 'família', FALSE), "
                 "(4, NULL, FALSE), (5, 'Família', FALSE), (6, 'Zoo', FALSE), "
                 "(7, 'viagens', FALSE)");
        raw.exec("INSERT INTO Categories (RecId, Collection, Name) VALUES "
                 "(10, 1, 'Praia'), (11, 1, 'Serra'), (12, 3, 'Natal'), (13, 1, 'Cidade'), "
                 "(14, 3, NULL), (15, NULL, 'Solta'), (16, 3, 'Aniversário')");
        raw.exec(
            "INSERT INTO Storages (RecId, Name, Unit, System) VALUES (1, '(local)', '/', TRUE)");
        m_conn = std::make_unique<Connection>();
        m_conn->openFile(m_path);
    }
    void cleanup() { m_conn.reset(); }

    void walksInSortOrderWithTiesAndNulls()
    {
        RecordSet rs(*m_conn, "Collections");
        rs.setSort("Name");
        rs.open();
        RawDb raw(m_path);
        // Nulls sort first on both engines, as SQLite sorts them.
        const QStringList expected = raw.column(
            "SELECT coalesce(Name, 'NULL') FROM Collections ORDER BY Name NULLS FIRST, RecId");
        QCOMPARE(walkForward(rs, "Name"), expected);
        QCOMPARE(walkBackward(rs, "Name"), reversed(expected));
        // Ties in letter case keep the order of their keys.
        QVERIFY(rs.locate("RecId", 3));
        rs.next();
        QCOMPARE(rs.asInt("RecId"), 5);
        rs.prior();
        rs.prior();
        QCOMPARE(rs.asInt("RecId"), 2);

        RecordSet cats(*m_conn, "Categories");
        cats.setSort("Collection;Name");
        cats.open();
        const QStringList byTwo = raw.column("SELECT RecId FROM Categories ORDER BY Collection "
                                             "NULLS FIRST, Name NULLS FIRST, RecId");
        QCOMPARE(walkForward(cats, "RecId"), byTwo);
        QCOMPARE(walkBackward(cats, "RecId"), reversed(byTwo));

        RecordSet plain(*m_conn, "Categories");
        plain.open(); // the catalogue's own order
        QCOMPARE(
            walkForward(plain, "RecId"), raw.column("SELECT RecId FROM Categories ORDER BY RecId"));
    }

    void endsBehaveLikeACursor()
    {
        RecordSet rs(*m_conn, "Collections");
        rs.setSort("Name");
        rs.open();
        QVERIFY(rs.bof());
        QVERIFY(!rs.eof());
        rs.last();
        QVERIFY(rs.eof());
        const qint64 last = rs.rowId();
        rs.next(); // stays on the last row
        QVERIFY(rs.eof());
        QCOMPARE(rs.rowId(), last);
        QCOMPARE(rs.recordCount(), 7);
        QVERIFY(!rs.isEmpty());

        RecordSet empty(*m_conn, "FTPAccounts");
        empty.open();
        QVERIFY(empty.eof() && empty.bof());
        QVERIFY(empty.isEmpty());
        QCOMPARE(empty.recordCount(), 0);
        QVERIFY(empty.value("Host").isNull());
        QVERIFY(!empty.locate("Host", "x"));
        try {
            empty.edit();
            QFAIL("edited nothing");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("Não há registro para esta operação."));
        }
        empty.close();
        try {
            empty.first();
            QFAIL("moved a closed set");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                QStringLiteral(
                    "Não é possível realizar esta operação com o banco de dados fechado."));
        }
    }

    void theCursorReadsTheFileNotACopy()
    {
        RecordSet rs(*m_conn, "Collections");
        rs.setSort("Name");
        rs.open();
        QVERIFY(rs.locate("Name", "Viagens", false));
        RawDb other(m_path);
        other.exec("INSERT INTO Collections (RecId, Name) VALUES (8, 'Viagens2')");
        other.exec("UPDATE Collections SET Notes = 'lida' WHERE RecId = 1");
        QCOMPARE(rs.recordCount(), 8);
        QVERIFY(rs.asString("Notes").isEmpty());
        rs.refresh();
        QCOMPARE(rs.asString("Notes"), QStringLiteral("lida"));
        rs.next();
        QCOMPARE(rs.asInt("RecId"), 7); // "viagens" ties with "Viagens", later key
        rs.next();
        QCOMPARE(rs.asString("Name"), QStringLiteral("Viagens2"));
        // The current row deleted elsewhere: refresh stands on the next one.
        rs.prior();
        other.exec("DELETE FROM Collections WHERE RecId = 7");
        rs.refresh();
        QCOMPARE(rs.asString("Name"), QStringLiteral("Viagens2"));
        other.exec("DELETE FROM Collections WHERE RecId = 8");
        rs.refresh();
        QCOMPARE(rs.asString("Name"), QStringLiteral("Zoo"));
        other.exec("DELETE FROM Collections WHERE RecId = 6");
        rs.refresh(); // nothing after it: the prior row
        QCOMPARE(rs.asString("Name"), QStringLiteral("Viagens"));
    }

    void locateFindsTheFirstMatchInSortOrder()
    {
        RecordSet rs(*m_conn, "Collections");
        rs.setSort("Name");
        rs.open();
        QSignalSpy moved(&rs, &RecordSet::currentChanged);
        // SQLite's NOCASE folds ASCII letters only; the server ignores case over all of Unicode.
        QCOMPARE(rs.locate("Name", "FAMÍLIA", true), storetest::onServer());
        QVERIFY(rs.locate("Name", "FAMíLIA", true));
        QCOMPARE(rs.asInt("RecId"), 3);
        QVERIFY(rs.locate("Name", "Família"));
        QCOMPARE(rs.asInt("RecId"), 5);
        QVERIFY(!rs.locate("Name", "viagenS"));
        QCOMPARE(rs.asInt("RecId"), 5); // a failed locate stays put
        QVERIFY(rs.locate("Name;System", QVariantList { "viagens", false }, true));
        QCOMPARE(rs.asInt("RecId"), 1);
        QVERIFY(rs.locate("System", true));
        QCOMPARE(rs.asString("Name"), QStringLiteral("(undefined)"));
        QVERIFY(rs.locate("Name", QVariant()));
        QCOMPARE(rs.asInt("RecId"), 4);
        QCOMPARE(moved.count(), storetest::onServer() ? 6 : 5);
        QVERIFY(rs.gotoRowId(6));
        QCOMPARE(rs.asString("Name"), QStringLiteral("Zoo"));
        try {
            rs.locate("Nome", "x");
            QFAIL("unknown field");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("Collections: Field 'Nome' not found"));
        }

        // Pictures are found by file name and date, the way the scan looks them up.
        RawDb raw(m_path);
        raw.exec(
            "INSERT INTO Pictures (RecId, Collection, Category, Name, FileName, Created) VALUES "
            "(1, 1, 10, 'a', 'IMG_1.JPG', '2020-05-01T10:00:00'), "
            "(2, 1, 10, 'b', 'img_1.jpg', '2020-05-01T10:00:02')");
        RecordSet pics(*m_conn, "Pictures");
        pics.setSort("Name");
        pics.open();
        const QDateTime created(QDate(2020, 5, 1), QTime(10, 0, 2));
        QVERIFY(pics.locate("FileName;Created", QVariantList { "IMG_1.jpg", created }, true));
        QCOMPARE(pics.asInt("RecId"), 2);
        QVERIFY(!pics.locate("FileName;Created", QVariantList { "IMG_1.jpg", created }, false));
    }

    void detailFollowsItsMaster()
    {
        RecordSet master(*m_conn, "Collections");
        master.setSort("Name");
        RecordSet detail(*m_conn, "Categories");
        detail.setSort("Name");
        detail.setMaster(&master, "RecId", "Collection");
        master.open();
        detail.open();
        QVERIFY(master.locate("RecId", 1));
        QCOMPARE(walkForward(detail, "Name"), QStringList({ "Cidade", "Praia", "Serra" }));
        QCOMPARE(detail.recordCount(), 3);
        QSignalSpy detailMoved(&detail, &RecordSet::currentChanged);
        QVERIFY(master.locate("RecId", 3));
        QVERIFY(detailMoved.count() >= 1);
        QCOMPARE(walkForward(detail, "Name"), QStringList({ "NULL", "Aniversário", "Natal" }));
        QVERIFY(master.locate("RecId", 6));
        QVERIFY(detail.isEmpty());
        QVERIFY(detail.eof());
        // A new detail row takes the master's key before its after-insert hook runs.
        QVariant seen;
        detail.afterInsert = [&](RecordSet &d) { seen = d.value("Collection"); };
        detail.insert();
        QCOMPARE(seen.toLongLong(), 6);
        detail.setValue("Name", "Leões");
        detail.post();
        QCOMPARE(detail.recordCount(), 1);
        RawDb raw(m_path);
        QCOMPARE(raw.scalar("SELECT Collection FROM Categories WHERE Name = 'Leões'"),
            QStringLiteral("6"));

        // An edit pending when the master moves is posted when modified, dropped otherwise.
        detail.edit();
        detail.setValue("Notes", "felinos");
        master.first();
        QCOMPARE(raw.scalar("SELECT Notes FROM Categories WHERE Name = 'Leões'"),
            QStringLiteral("felinos"));
        QCOMPARE(detail.state(), RecordSet::State::Browse);
        QVERIFY(master.locate("RecId", 6));
        detail.edit();
        master.first();
        QCOMPARE(detail.state(), RecordSet::State::Browse);

        // A closed master shows no details; clearing the tie shows them all.
        master.close();
        QVERIFY(detail.isEmpty());
        detail.clearMaster();
        QCOMPARE(detail.recordCount(), 8);
    }

    void filterRestrictsAndKeepsTheCurrentRow()
    {
        RecordSet rs(*m_conn, "Categories");
        rs.setSort("Collection;Name");
        rs.open();
        QVERIFY(rs.locate("Name", "Natal"));
        rs.setFilter("Collection = :COLECAO", { { "COLECAO", 3 } });
        QCOMPARE(rs.asString("Name"), QStringLiteral("Natal"));
        QCOMPARE(rs.recordCount(), 3);
        QCOMPARE(walkForward(rs, "Name"), QStringList({ "NULL", "Aniversário", "Natal" }));
        rs.setFilter("Collection = :COLECAO", { { "COLECAO", 1 } });
        QCOMPARE(rs.asString("Name"), QStringLiteral("Cidade")); // Natal is not shown: first
        QVERIFY(!rs.locate("Name", "Natal"));
        rs.clearFilter();
        QCOMPARE(rs.recordCount(), 7);
        QCOMPARE(rs.asString("Name"), QStringLiteral("Cidade"));
        try {
            rs.setFilter("Nope = :X", { { "X", 1 } });
            QFAIL("a bad filter was taken");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                storetest::onServer() ? QStringLiteral("column \"nope\" does not exist")
                                      : QStringLiteral("no such column: Nope"));
        }
    }

    void editsStayBufferedUntilPost()
    {
        RecordSet rs(*m_conn, "Collections");
        rs.setSort("Name");
        rs.open();
        QVERIFY(rs.locate("RecId", 6));
        try {
            rs.setValue("Notes", "x");
            QFAIL("wrote while browsing");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("O registro não está sendo editado nem incluído."));
        }
        QSignalSpy states(&rs, &RecordSet::stateChanged);
        QSignalSpy changed(&rs, &RecordSet::dataChanged);
        rs.edit();
        rs.setValue("Name", "Zoológico");
        QCOMPARE(rs.asString("Name"), QStringLiteral("Zoológico"));
        QVERIFY(rs.modified());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().first().toString(), QStringLiteral("Name"));
        RawDb raw(m_path);
        QCOMPARE(raw.scalar("SELECT Name FROM Collections WHERE RecId = 6"), QStringLiteral("Zoo"));
        rs.cancel();
        QCOMPARE(rs.asString("Name"), QStringLiteral("Zoo"));
        rs.edit();
        rs.setValue("Name", "Zoológico");
        rs.post();
        QCOMPARE(raw.scalar("SELECT Name FROM Collections WHERE RecId = 6"),
            QStringLiteral("Zoológico"));
        QCOMPARE(rs.state(), RecordSet::State::Browse);
        QCOMPARE(states.count(), 4); // edit, cancel, edit, post

        // Moving while modified posts, as a data-aware control expects.
        rs.edit();
        rs.setValue("Notes", "bichos");
        rs.first();
        QCOMPARE(
            raw.scalar("SELECT Notes FROM Collections WHERE RecId = 6"), QStringLiteral("bichos"));

        // Insert stands on the new row with the key the catalogue gave it.
        rs.insert();
        QVERIFY(rs.isNull("RecId"));
        rs.setValue("Name", "Aves");
        rs.post();
        QCOMPARE(rs.asInt("RecId"), 8);
        rs.next();
        QCOMPARE(rs.asString("Name"), QStringLiteral("família"));
        // Cancelling an insert returns to the row shown before.
        rs.insert();
        rs.setValue("Name", "nunca");
        rs.cancel();
        QCOMPARE(rs.asString("Name"), QStringLiteral("família"));
        QCOMPARE(raw.scalar("SELECT count(*) FROM Collections WHERE Name = 'nunca'"),
            QStringLiteral("0"));
    }

    // An edit in progress holds nothing: another client writes the same row and commits at
    // once; the edit's own save then writes its buffer.
    void anEditTakesNoLockUntilItWrites()
    {
        RecordSet rs(*m_conn, "Collections");
        rs.setSort("Name");
        rs.open();
        QVERIFY(rs.locate("RecId", 6));
        rs.edit();
        rs.setValue("Notes", "minha nota");
        QVERIFY(!m_conn->inTransaction());
        QCOMPARE(m_conn->steppingStatements(), 0);
        Connection other;
        other.openFile(m_path);
        other.setBusyTimeout(100); // a lock held here would fail this at once
        {
            Transaction t(other);
            other.exec("UPDATE Collections SET Name = 'Zoo2' WHERE RecId = 6");
            t.commit();
        }
        rs.post();
        RawDb raw(m_path);
        QCOMPARE(raw.rows("SELECT Name, Notes FROM Collections WHERE RecId = 6"),
            QList<QStringList>({ { "Zoo2", "minha nota" } }));
    }

    void aFieldAnotherUserSavedMeanwhileIsNeverOverwritten()
    {
        RecordSet rs(*m_conn, "Collections");
        rs.setSort("Name");
        rs.open();
        QVERIFY(rs.locate("RecId", 6));
        rs.edit();
        rs.setValue("Name", "Zoológico");
        rs.setValue("Notes", "minha nota");
        // Another user saves the same record's name, then the first one saves.
        RawDb(m_path).exec("UPDATE Collections SET Name = 'Zoo do outro' WHERE RecId = 6");
        try {
            rs.post();
            QFAIL("overwrote what another user saved");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                QStringLiteral("Outro usuário alterou este registro depois que ele foi lido. "
                               "Nada foi gravado: os valores mostrados agora são os que ele "
                               "gravou."));
        }
        // His values are shown, nothing of the edit was written, and the edit is over.
        QCOMPARE(rs.state(), RecordSet::State::Browse);
        QCOMPARE(rs.value("RecId").toLongLong(), 6);
        QCOMPARE(rs.value("Name").toString(), QStringLiteral("Zoo do outro"));
        QVERIFY(rs.value("Notes").isNull());
        QCOMPARE(RawDb(m_path).rows("SELECT Name, Notes FROM Collections WHERE RecId = 6"),
            QList<QStringList>({ { "Zoo do outro", "NULL" } }));
        // Saved again from what is now shown, it goes through.
        rs.edit();
        rs.setValue("Name", "Zoológico");
        rs.post();
        QCOMPARE(RawDb(m_path).scalar("SELECT Name FROM Collections WHERE RecId = 6"),
            QStringLiteral("Zoológico"));
    }

    void aRowGoneSinceItWasReadIsToldInPortuguese()
    {
        RecordSet rs(*m_conn, "Collections");
        rs.setSort("Name");
        rs.open();
        QVERIFY(rs.locate("RecId", 6));
        rs.edit();
        rs.setValue("Name", "Zoológico");
        RawDb(m_path).exec("DELETE FROM Collections WHERE RecId = 6");
        const QString gone = QStringLiteral(
            "O registro não foi encontrado para ser atualizado: ele foi alterado ou excluído "
            "depois de lido.");
        try {
            rs.post();
            QFAIL("posted a row that is gone");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), gone);
        }
        rs.cancel();
        QVERIFY(rs.locate("RecId", 1));
        RawDb(m_path).exec("DELETE FROM Collections WHERE RecId = 1");
        try {
            rs.deleteRecord();
            QFAIL("deleted a row that is gone");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), gone);
        }
    }

    void deleteStandsOnTheNextRow()
    {
        RecordSet rs(*m_conn, "Collections");
        rs.setSort("Name");
        rs.open();
        QVERIFY(rs.locate("RecId", 3));
        rs.deleteRecord();
        QCOMPARE(rs.asInt("RecId"), 5);
        rs.last();
        rs.deleteRecord(); // the last one: stands on the new last
        QCOMPARE(rs.asString("Name"), QStringLiteral("viagens"));
        RawDb raw(m_path);
        // The cascade removed the categories of collection 3 with it.
        QCOMPARE(raw.scalar("SELECT count(*) FROM Categories WHERE Collection = 3"),
            QStringLiteral("0"));
        while (!rs.isEmpty())
            rs.deleteRecord();
        QVERIFY(rs.eof() && rs.bof());
        QCOMPARE(rs.recordCount(), 0);
        QVERIFY_THROWS_EXCEPTION(DbError, rs.deleteRecord());
        QCOMPARE(raw.scalar("SELECT count(*) FROM Categories"), QStringLiteral("1")); // 'Solta'
    }

    void hooksRunInsideTheOperations()
    {
        RecordSet rs(*m_conn, "Storages");
        rs.setSort("Name");
        QStringList calls;
        rs.afterOpen = [&](RecordSet &) { calls << "open"; };
        rs.afterInsert = [&](RecordSet &d) {
            calls << "insert";
            d.setValue("System", false);
        };
        rs.beforePost = [&](RecordSet &d) {
            calls << "before";
            if (d.asString("Name") == "proibido")
                throw DbError("nome proibido");
        };
        rs.afterPost = [&](RecordSet &) { calls << "after"; };
        rs.open();
        rs.insert();
        QVERIFY(!rs.modified()); // defaults of the hook are not the user's edit
        QCOMPARE(rs.value("System"), QVariant(false));
        rs.setValue("Name", "proibido");
        try {
            rs.post();
            QFAIL("posted past the hook");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("nome proibido"));
        }
        QCOMPARE(rs.state(), RecordSet::State::Insert); // the edit stays buffered
        rs.setValue("Name", "disco");
        rs.post();
        QCOMPARE(calls, QStringList({ "open", "insert", "before", "before", "after" }));
        RawDb raw(m_path);
        QCOMPARE(raw.rows("SELECT Name, System FROM Storages WHERE RecId = 2"),
            QList<QStringList>({ { "disco", "0" } }));

        RecordSet failing(*m_conn, "Storages");
        failing.afterOpen = [](RecordSet &) { throw DbError("recusado"); };
        QVERIFY_THROWS_EXCEPTION(DbError, failing.open());
        QVERIFY(!failing.isOpen());
        RecordSet noInsert(*m_conn, "Storages");
        noInsert.afterInsert = [](RecordSet &) { throw DbError("sem inserir"); };
        noInsert.open();
        QVERIFY_THROWS_EXCEPTION(DbError, noInsert.insert());
        QCOMPARE(noInsert.state(), RecordSet::State::Browse);
        QCOMPARE(noInsert.asString("Name"), QStringLiteral("(local)"));
    }

    void valuesComeTypedAndFieldsKnowTheirKind()
    {
        RecordSet rs(*m_conn, "Pictures");
        rs.open();
        rs.insert();
        rs.setValue("Collection", 1);
        rs.setValue("Category", "10");
        rs.setValue("Name", "pôr do sol");
        rs.setValue("Created", QDateTime(QDate(2021, 2, 3), QTime(4, 5, 6)));
        rs.setValue("Review", true);
        rs.setValue("Width", QString());
        rs.setValue("Resolution", 72);
        rs.post();
        QCOMPARE(rs.value("Review"), QVariant(true));
        QCOMPARE(rs.value("Created"), QVariant(QDateTime(QDate(2021, 2, 3), QTime(4, 5, 6))));
        QCOMPARE(rs.asString("Created"), QStringLiteral("2021-02-03T04:05:06"));
        QCOMPARE(rs.value("Category").toLongLong(), 10);
        QVERIFY(rs.isNull("Width"));
        QCOMPARE(rs.asString("Resolution"), QStringLiteral("72"));
        RawDb raw(m_path);
        QCOMPARE(raw.rows(storetest::onServer()
                     ? "SELECT pg_typeof(Category)::text, Created, Review FROM Pictures"
                     : "SELECT typeof(Category), Created, Review FROM Pictures"),
            QList<QStringList>({ { storetest::onServer() ? "bigint" : "integer",
                "2021-02-03T04:05:06", "1" } }));
        QCOMPARE(rs.fieldKind("Name"), RecordSet::FieldKind::ShortText);
        QCOMPARE(rs.fieldKind("Notes"), RecordSet::FieldKind::LongText);
        QCOMPARE(rs.fieldKind("Width"), RecordSet::FieldKind::Other);
        QCOMPARE(rs.fieldKind("Created"), RecordSet::FieldKind::Other);
        QCOMPARE(rs.valueType("Review"), RecordSet::ValueType::Boolean);
        QCOMPARE(rs.fieldNames().size(), 18);
        rs.edit();
        try {
            rs.setValue("Width", "largo");
            QFAIL("took a word for a number");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("'largo' não é um número inteiro válido."));
        }
        rs.setValue("Category", 999);
        try {
            rs.post();
            QFAIL("posted a broken relation");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                storetest::onServer()
                    ? QStringLiteral("insert or update on table \"pictures\" violates foreign "
                                     "key constraint \"pictures_category_fkey\"")
                    : QStringLiteral("FOREIGN KEY constraint failed"));
            QCOMPARE(e.kind(), DbError::Kind::Constraint);
        }
        QCOMPARE(rs.state(), RecordSet::State::Edit);
        rs.cancel();
        QCOMPARE(rs.asInt("Category"), 10);

        RecordSet info(*m_conn, "CatalogInfo");
        info.open();
        QCOMPARE(info.fieldKind("Version"), RecordSet::FieldKind::ShortText);
        RecordSet missing(*m_conn, "Nowhere");
        try {
            missing.open();
            QFAIL("opened a missing table");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                storetest::onServer() ? QStringLiteral("relation \"nowhere\" does not exist")
                                      : QStringLiteral("no such table: Nowhere"));
        }
    }

    void aPostInsideATransactionGoesWithIt()
    {
        RecordSet rs(*m_conn, "Storages");
        rs.setSort("Name");
        rs.open();
        {
            Transaction t(*m_conn);
            rs.insert();
            rs.setValue("Name", "temporário");
            rs.post();
            QCOMPARE(rs.recordCount(), 2);
            QVERIFY(!rs.isNull("RecId")); // the new key shows even inside the transaction
        }
        rs.refresh();
        QCOMPARE(rs.recordCount(), 1);
        QCOMPARE(rs.asString("Name"), QStringLiteral("(local)"));
    }

    void manyRowsAreWalkedOnceEachInOrder()
    {
        RawDb raw(m_path);
        if (raw.onServer()) {
            raw.exec("INSERT INTO Pictures (Collection, Category, Name, Location) "
                     "SELECT 1, 10 + (i % 3), CASE WHEN i % 97 = 0 THEN NULL ELSE 'foto ' || "
                     "lpad(((i * 7) % 1000)::text, 4, '0') END, 1 FROM generate_series(1, 3000) i");
        } else {
            raw.exec("BEGIN");
            raw.exec(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                "INSERT INTO Pictures (Collection, Category, Name, Location) "
                "SELECT 1, 10 + (i % 3), CASE WHEN i % 97 = 0 THEN NULL ELSE printf('foto %04d', "
                "(i * 7) % 1000) END, 1 FROM n");
            raw.exec("COMMIT");
        }
        RecordSet rs(*m_conn, "Pictures");
        rs.setSort("Name");
        rs.open();
        QCOMPARE(rs.recordCount(), 3000);
        const QStringList expected
            = raw.column("SELECT RecId FROM Pictures ORDER BY Name NULLS FIRST, RecId");
        QCOMPARE(walkForward(rs, "RecId"), expected);
        QCOMPARE(walkBackward(rs, "RecId"), reversed(expected));
        // The category's pictures, through a master, in the order the tree shows them.
        RecordSet cats(*m_conn, "Categories");
        cats.open();
        QVERIFY(cats.locate("RecId", 11));
        rs.setMaster(&cats, "RecId", "Category");
        QCOMPARE(walkForward(rs, "RecId"),
            raw.column("SELECT RecId FROM Pictures WHERE Category = 11 ORDER BY Name NULLS "
                       "FIRST, RecId"));
        QCOMPARE(rs.recordCount(), 1000);
    }
};

QTEST_GUILESS_MAIN(TestStoreRecordSet)
#include "test_store_recordset.moc"
