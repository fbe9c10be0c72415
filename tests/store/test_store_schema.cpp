#include "store/connection.h"
#include "store/dberror.h"
#include "store/schema.h"
#include "storetesthelpers.h"

#include <QTemporaryDir>
#include <QtTest>

using storetest::RawDb;

class TestStoreSchema : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    static bool server() { return storetest::onServer(); }

private slots:
    void initTestCase_data() { storetest::addEngines(); }

    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = storetest::catalogue(m_dir.path(),
            QStringLiteral("c%1.mdb").arg(QRandomGenerator::global()->generate()),
            QStringLiteral("1.0.0.9"));
    }

    void everyTableHasItsColumns()
    {
        RawDb db(m_path);
        const QMap<QString, QStringList> expected = {
            { "Collections", { "RecId", "Name", "Notes", "System" } },
            { "Categories", { "RecId", "Collection", "Name", "Notes", "System" } },
            { "Storages", { "RecId", "Name", "Notes", "Unit", "System" } },
            { "Pictures",
                { "RecId", "Collection", "Category", "Name", "FileName", "FullPath", "FileSize",
                    "Created", "Modified", "FileType", "ColorType", "Width", "Height", "Resolution",
                    "Location", "Notes", "KeyWords", "Review" } },
            { "Formats", { "Extension", "Variation", "Name", "Used", "Support" } },
            { "ColorDepth", { "RecId", "Model" } },
            { "Resolutions", { "DPI" } },
            { "FTPAccounts",
                { "RecId", "Profile", "Host", "Port", "UserID", "Password", "UseProxyServer",
                    "ProxyServer", "ProxyPort", "Directory" } },
            { "SMTPAccount", { "Host", "Port", "UserID", "Name", "Email" } },
            { "CatalogInfo", { "Version" } },
        };
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            // The server keeps names as written unquoted: in lower case; its own row id of a
            // table without a key is not a column of the catalogue.
            const QStringList names = db.column(server()
                    ? QStringLiteral("SELECT column_name FROM information_schema.columns WHERE "
                                     "table_schema = current_schema() AND table_name = lower('%1') "
                                     "AND column_name <> 'rowid' ORDER BY ordinal_position")
                          .arg(it.key())
                    : QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(it.key()));
            QStringList wanted = it.value();
            if (server()) {
                for (QString &name : wanted)
                    name = name.toLower();
            }
            QCOMPARE(names, wanted);
        }
        const QStringList tables = Schema::tableNames();
        QCOMPARE(QSet<QString>(tables.begin(), tables.end()),
            QSet<QString>(expected.keyBegin(), expected.keyEnd()));
        // The one width the catalogue fixes (never padded on the server either).
        QCOMPARE(db.scalar(server()
                         ? "SELECT format_type(atttypid, atttypmod) FROM pg_attribute WHERE "
                           "attrelid = 'cataloginfo'::regclass AND attname = 'version'"
                         : "SELECT type FROM pragma_table_info('CatalogInfo') WHERE name = "
                           "'Version'"),
            server() ? QStringLiteral("character varying(20)") : QStringLiteral("CHAR(20)"));
        // Keys are auto-numbered and never reused.
        for (const QString &t : QStringList { "Collections", "Categories", "Storages", "Pictures",
                 "ColorDepth", "FTPAccounts" }) {
            if (server()) {
                QCOMPARE(db.scalar(QStringLiteral("SELECT attidentity::text || ':' || "
                                                  "format_type(atttypid, atttypmod) FROM "
                                                  "pg_attribute WHERE attrelid = lower('%1')::regclass "
                                                  "AND attname = 'recid'")
                                       .arg(t)),
                    QStringLiteral("d:bigint"));
                continue;
            }
            const QString sql = db.scalar(
                QStringLiteral("SELECT sql FROM sqlite_master WHERE name = '%1'").arg(t));
            QVERIFY2(sql.contains("RecId INTEGER PRIMARY KEY AUTOINCREMENT"), qPrintable(t));
        }
    }

    void cascadesExactlyOnTheFourRelations()
    {
        RawDb db(m_path);
        QStringList relations;
        for (const QString &t : Schema::tableNames()) {
            const QString sql = server()
                ? QStringLiteral(
                      "SELECT a.attname, initcap(c.confrelid::regclass::text), 'RecId', "
                      "CASE c.confdeltype WHEN 'c' THEN 'CASCADE' ELSE 'NO ACTION' END "
                      "FROM pg_constraint c JOIN pg_attribute a ON a.attrelid = c.conrelid "
                      "AND a.attnum = c.conkey[1] WHERE c.contype = 'f' "
                      "AND c.conrelid = lower('%1')::regclass")
                      .arg(t)
                : QStringLiteral("SELECT \"from\", \"table\", \"to\", on_delete FROM "
                                 "pragma_foreign_key_list('%1')")
                      .arg(t);
            for (QStringList fk : db.rows(sql)) {
                if (server())
                    fk[0] = fk[0].at(0).toUpper() + fk[0].mid(1);
                relations << t + "." + fk.join(' ');
            }
        }
        relations.sort();
        QCOMPARE(relations,
            QStringList({ "Categories.Collection Collections RecId CASCADE",
                "Pictures.Category Categories RecId CASCADE",
                "Pictures.Collection Collections RecId CASCADE",
                "Pictures.Location Storages RecId CASCADE" }));
    }

    void deletingARowRemovesItsDependentsAndKeepsCountsExact()
    {
        Connection conn;
        conn.openFile(m_path);
        conn.exec("INSERT INTO Collections (RecId, Name, System) VALUES (1, 'A', FALSE), "
                  "(2, 'B', FALSE)");
        conn.exec("INSERT INTO Categories (RecId, Collection, Name) VALUES (10, 1, 'a1'), (11, 1, "
                  "'a2'), (20, 2, 'b1')");
        conn.exec("INSERT INTO Storages (RecId, Name) VALUES (5, 'disc'), (6, 'hd')");
        conn.exec("INSERT INTO Pictures (Collection, Category, Name, Location) VALUES "
                  "(1, 10, 'p1', 5), (1, 11, 'p2', 6), (2, 20, 'p3', 5), (2, 20, 'p4', 6)");
        conn.exec("DELETE FROM Collections WHERE RecId = 1");
        conn.close();

        RawDb db(m_path);
        QCOMPARE(db.column("SELECT Name FROM Categories ORDER BY Name"), QStringList({ "b1" }));
        QCOMPARE(db.column("SELECT Name FROM Pictures ORDER BY Name"), QStringList({ "p3", "p4" }));
        db.exec("DELETE FROM Storages WHERE RecId = 5");
        QCOMPARE(db.column("SELECT Name FROM Pictures"), QStringList({ "p4" }));
        db.exec("DELETE FROM Categories WHERE RecId = 20");
        QCOMPARE(db.scalar("SELECT count(*) FROM Pictures"), QStringLiteral("0"));
        // The kept counts follow every insert and cascaded delete.
        for (const QString &t :
            QStringList { "Collections", "Categories", "Storages", "Pictures" }) {
            QCOMPARE(db.scalar(QStringLiteral("SELECT sum(Rows) FROM RowCounts WHERE TableName = "
                                              "'%1'")
                                   .arg(t)),
                db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(t)));
        }
    }

    void plainValuesNeedNoReferenceRow()
    {
        RawDb db(m_path);
        db.exec("INSERT INTO Collections (RecId, Name) VALUES (1, 'A')");
        db.exec("INSERT INTO Categories (RecId, Collection, Name) VALUES (1, 1, 'a')");
        // 0, "jp" and 73 name no reference row, and a missing storage is no error either.
        db.exec("INSERT INTO Pictures (Collection, Category, FileType, ColorType, Resolution, "
                "Location) "
                "VALUES (1, 1, 'jp', 0, 73, NULL)");
        QCOMPARE(db.scalar("SELECT FileType || ColorType || Resolution FROM Pictures"),
            QStringLiteral("jp073"));
        // Relations that cascade are enforced.
        if (server()) {
            PGresult *r = PQexec(
                db.server(), "INSERT INTO Pictures (Collection, Category) VALUES (99, 1)");
            QCOMPARE(QByteArray(PQresultErrorField(r, PG_DIAG_SQLSTATE)), QByteArray("23503"));
            PQclear(r);
            return;
        }
        char *err = nullptr;
        QCOMPARE(
            sqlite3_exec(db.handle(), "INSERT INTO Pictures (Collection, Category) VALUES (99, 1)",
                nullptr, nullptr, &err),
            SQLITE_CONSTRAINT);
        QCOMPARE(QString::fromUtf8(err), QStringLiteral("FOREIGN KEY constraint failed"));
        sqlite3_free(err);
    }

    void nameColumnsIgnoreLetterCase()
    {
        RawDb db(m_path);
        db.exec("INSERT INTO Collections (Name) VALUES ('beta'), ('Alfa'), ('ALFA2'), ('alfa')");
        QCOMPARE(
            db.scalar("SELECT count(*) FROM Collections WHERE Name = 'ALFA'"), QStringLiteral("2"));
        QCOMPARE(db.column("SELECT Name FROM Collections ORDER BY Name, RecId"),
            QStringList({ "Alfa", "alfa", "ALFA2", "beta" }));
        QCOMPARE(
            db.scalar("SELECT count(*) FROM Formats WHERE Extension = 'JPG'"), QStringLiteral("1"));
        if (server()) {
            // Over all of Unicode on the server, in any client (the column's own collation).
            db.exec("INSERT INTO Collections (Name) VALUES ('ÁGUA'), ('água')");
            QCOMPARE(db.scalar("SELECT count(*) FROM Collections WHERE Name = 'Água'"),
                QStringLiteral("2"));
            for (const QString &column :
                QStringList { "Name", "FileName", "FullPath", "FileType" }) {
                QCOMPARE(db.scalar(QStringLiteral("SELECT collation_name FROM "
                                                  "information_schema.columns WHERE table_name = "
                                                  "'pictures' AND column_name = lower('%1')")
                                       .arg(column)),
                    QStringLiteral("qm_nocase"));
            }
            return;
        }
        for (const QString &column : QStringList { "Name", "FileName", "FullPath", "FileType" }) {
            QCOMPARE(db.scalar(QStringLiteral(
                         "SELECT count(*) FROM pragma_table_xinfo('Pictures') WHERE name = '%1'")
                                   .arg(column)),
                QStringLiteral("1"));
            const QString sql = db.scalar("SELECT sql FROM sqlite_master WHERE name = 'Pictures'");
            QVERIFY2(sql.contains(QRegularExpression(column + " VARCHAR\\(\\d+\\) COLLATE NOCASE")),
                qPrintable(column));
        }
    }

    void lookupsUseTheirIndexes()
    {
        RawDb db(m_path);
        if (server()) {
            // The plans of a table too small to need an index, with scans of the whole table
            // made too dear.
            db.exec("SET enable_seqscan = off");
            db.exec("SET enable_sort = off");
            auto plan = [&](const QString &sql) {
                return db.column("EXPLAIN " + sql).join(" | ");
            };
            QVERIFY(plan("SELECT * FROM Pictures WHERE FileName = 'a.jpg' AND Created = "
                         "'2020-01-01T00:00:00'")
                        .contains("pictures_filename"));
            QVERIFY(plan("SELECT * FROM Pictures WHERE Category = 3 ORDER BY Name NULLS FIRST")
                        .contains("pictures_category"));
            QVERIFY(plan("SELECT * FROM Pictures WHERE Location = 3 ORDER BY Name NULLS FIRST")
                        .contains("pictures_location"));
            QVERIFY(plan("SELECT * FROM Pictures ORDER BY Name NULLS FIRST LIMIT 1")
                        .contains("pictures_name"));
            QVERIFY(plan("SELECT * FROM Collections ORDER BY Name NULLS FIRST LIMIT 1")
                        .contains("collections_name"));
            // A record set's next row: one seek on the name index from the current key.
            QVERIFY(plan("SELECT * FROM Pictures WHERE (Name, RecId) > ('x', 5) ORDER BY Name "
                         "NULLS FIRST, RecId LIMIT 1")
                        .contains("Index Cond"));
            QCOMPARE(db.scalar("SELECT count(*) FROM pg_indexes WHERE schemaname = "
                               "current_schema() AND indexdef LIKE '%UNIQUE%' AND indexname NOT "
                               "LIKE '%pkey'"),
                QStringLiteral("0"));
            return;
        }
        auto planText = [&](const QString &sql) {
            QStringList details;
            for (const QStringList &row : db.rows("EXPLAIN QUERY PLAN " + sql))
                details << row.last();
            return details.join(" | ");
        };
        QVERIFY(planText(
            "SELECT * FROM Pictures WHERE FileName = 'a.jpg' AND Created = '2020-01-01T00:00:00'")
                    .contains("Pictures_FileName"));
        QVERIFY(planText("SELECT * FROM Pictures WHERE Category = 3 ORDER BY Name")
                    .contains("Pictures_Category"));
        QVERIFY(planText("SELECT * FROM Pictures WHERE Location = 3 ORDER BY Name")
                    .contains("Pictures_Location"));
        QVERIFY(planText("SELECT * FROM Pictures ORDER BY Name LIMIT 1").contains("Pictures_Name"));
        QVERIFY(planText("SELECT * FROM Categories WHERE Collection = 3 ORDER BY Name")
                    .contains("Categories_Collection"));
        QVERIFY(planText("SELECT * FROM Collections ORDER BY Name LIMIT 1")
                    .contains("Collections_Name"));
        QVERIFY(planText("SELECT * FROM Storages ORDER BY Name LIMIT 1").contains("Storages_Name"));
        // Format counts of a category or a storage never read the table.
        QVERIFY(planText("SELECT FileType, COUNT(RecId) FROM Pictures WHERE Category = 3 "
                         "GROUP BY FileType")
                    .contains("COVERING INDEX Pictures_CategoryType"));
        QVERIFY(planText("SELECT FileType, COUNT(RecId) FROM Pictures WHERE Location = 3 "
                         "GROUP BY FileType")
                    .contains("COVERING INDEX Pictures_LocationType"));
        // Two collections may share a name: no index is unique.
        QCOMPARE(
            db.scalar(
                "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND sql LIKE '%UNIQUE%'"),
            QStringLiteral("0"));
    }

    void newCatalogueHoldsTheReferenceRows()
    {
        RawDb db(m_path);
        QCOMPARE(
            db.rows("SELECT Extension, Variation, Used, Support FROM Formats ORDER BY Extension"),
            QList<QStringList>({ { "arw", "NULL", "1", "1" }, { "avif", "NULL", "1", "1" },
                { "bmp", "NULL", "1", "1" }, { "cr2", "NULL", "1", "1" },
                { "cr3", "NULL", "1", "1" }, { "dng", "NULL", "1", "1" },
                { "emf", "NULL", "0", "0" }, { "gif", "NULL", "1", "1" },
                { "heic", "heif", "1", "1" }, { "ico", "NULL", "1", "1" },
                { "jpg", "jpeg", "1", "1" }, { "nef", "nrw", "1", "1" },
                { "orf", "NULL", "1", "1" }, { "pcx", "NULL", "0", "0" },
                { "pef", "NULL", "1", "1" }, { "png", "NULL", "1", "1" },
                { "raf", "NULL", "1", "1" }, { "rw2", "NULL", "1", "1" },
                { "srw", "NULL", "1", "1" }, { "tif", "tiff", "1", "1" },
                { "webp", "NULL", "1", "1" }, { "wmf", "NULL", "0", "0" } }));
        QCOMPARE(db.scalar("SELECT count(*) FROM Formats WHERE Name IS NULL OR Name = ''"),
            QStringLiteral("0"));
        for (const QString &key : QStringList { "3", "11", "15", "16", "17" })
            QVERIFY(!db.scalar("SELECT Model FROM ColorDepth WHERE RecId = " + key).isEmpty());
        QCOMPARE(db.scalar("SELECT Model FROM ColorDepth WHERE RecId = 3"),
            QStringLiteral("16 milhões de cores (24 bits)"));
        QCOMPARE(db.scalar("SELECT Model FROM ColorDepth WHERE RecId = 16"),
            QStringLiteral("Preto e branco (1 bit)"));
        QCOMPARE(db.scalar("SELECT count(*) FROM ColorDepth WHERE RecId = 0"), QStringLiteral("0"));
        QCOMPARE(db.column("SELECT DPI FROM Resolutions ORDER BY DPI"),
            QStringList({ "72", "96", "150", "200", "300", "600", "1200" }));
        QCOMPARE(db.column("SELECT Version FROM CatalogInfo"), QStringList({ "1.0.0.9" }));
        // The store makes the default rows when it first opens the catalogue.
        QCOMPARE(db.scalar("SELECT count(*) FROM Collections"), QStringLiteral("0"));
        if (!server())
            QCOMPARE(db.scalar("PRAGMA journal_mode"), QStringLiteral("delete"));
        // The reference tables keep the order they were written in.
        QCOMPARE(db.column("SELECT Extension FROM Formats ORDER BY rowid").first(),
            QStringLiteral("jpg"));
    }

    void keysAreNeverReused()
    {
        RawDb db(m_path);
        db.exec("INSERT INTO Storages (Name) VALUES ('a'), ('b')");
        db.exec("DELETE FROM Storages WHERE Name = 'b'");
        db.exec("INSERT INTO Storages (Name) VALUES ('c')");
        QCOMPARE(db.scalar("SELECT RecId FROM Storages WHERE Name = 'c'"), QStringLiteral("3"));
    }

    void creationRefusesAnExistingFileAndLeavesNothingOnFailure()
    {
        if (server()) {
            // A database that holds a catalogue is refused, and left as it was.
            try {
                Schema::createCatalogue(m_path, "1.0.0.9");
                QFAIL("a catalogue was made twice");
            } catch (const DbError &e) {
                QCOMPARE(e.message(), QStringLiteral("O catálogo já existe: ") + m_path);
            }
            QCOMPARE(RawDb(m_path).scalar("SELECT count(*) FROM Formats"), QStringLiteral("22"));
            // A failure half-way (a table of that name in the way) leaves nothing behind.
            testsupport::PgServer &pg = testsupport::PgServer::instance();
            const QString blocked = pg.createDatabase("bloqueado");
            pg.exec(pg.databaseOf(blocked), "CREATE TABLE RowCounts (x integer)");
            QVERIFY_THROWS_EXCEPTION(DbError, Schema::createCatalogue(blocked, "1.0.0.9"));
            QCOMPARE(pg.exec(pg.databaseOf(blocked),
                         "SELECT count(*) FROM pg_class WHERE relname IN ('formats', 'pictures', "
                         "'catalogueidentity') OR relname LIKE 'qm%'"),
                QStringLiteral("0"));
            return;
        }
        const QString existing = m_dir.filePath("existing.mdb");
        QVERIFY(testsupport::writeFile(existing, "not to be touched"));
        try {
            Schema::createCatalogue(existing, "1.0.0.9");
            QFAIL("an existing file was accepted");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("O arquivo já existe: ") + existing);
        }
        QCOMPARE(testsupport::readFile(existing), QByteArray("not to be touched"));
        // Creation that fails half-way removes what it began.
        const QString missingFolder = m_dir.filePath("no/such/folder/x.mdb");
        QVERIFY_THROWS_EXCEPTION(DbError, Schema::createCatalogue(missingFolder, "1.0.0.9"));
        QVERIFY(!QFileInfo::exists(missingFolder));
        const QString twice = m_dir.filePath("twice.mdb");
        Schema::createCatalogue(twice, "1.0.0.9");
        Connection conn;
        conn.openFile(twice);
        QVERIFY_THROWS_EXCEPTION(DbError, Schema::createTables(conn));
        conn.close();
        {
            RawDb db(twice);
            QCOMPARE(db.scalar("SELECT count(*) FROM Formats"), QStringLiteral("22"));
        }
        // Closing the last connection folds the journal back into the file.
        const QStringList files = storetest::listing(m_dir.path());
        QVERIFY(!files.contains("twice.mdb-wal"));
    }
};

QTEST_GUILESS_MAIN(TestStoreSchema)
#include "test_store_schema.moc"
