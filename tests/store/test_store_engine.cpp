#include "store/command.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/dbvalues.h"
#include "store/dialect.h"
#include "store/query.h"
#include "store/statement.h"
#include "store/transaction.h"
#include "storetesthelpers.h"

#include "store/resultmodel.h"
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using storetest::RawDb;

namespace {
const QString jet40 = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");

QString pragma(Connection &conn, const QString &name)
{
    Query q(conn);
    q.setSql(QStringLiteral("PRAGMA ") + name);
    q.open();
    const QString v = q.eof() ? QString() : q.asString(q.fieldNames().first());
    q.close();
    return v;
}
} // namespace

class TestStoreEngine : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // A new catalogue on the engine of the current row.
    QString freshCatalogue(const QString &name) { return storetest::catalogue(m_dir.path(), name); }
    static QString engineText(const char *sqlite, const char *server)
    {
        return QString::fromUtf8(storetest::onServer() ? server : sqlite);
    }

private slots:
    void initTestCase_data() { storetest::addEngines(); }

    void jet40OpensTheExistingFileWithItsSettings()
    {
        STORETEST_FILE_ONLY();
        const QString path = freshCatalogue("settings.mdb");
        Connection conn;
        conn.open(jet40 + path + ";");
        QVERIFY(conn.isOpen());
        QCOMPARE(conn.connectionString(), jet40 + path + ";");
        QCOMPARE(conn.filePath(), path);
        QVERIFY(!conn.isReadOnly());
        QCOMPARE(pragma(conn, "journal_mode"), QStringLiteral("delete"));
        QCOMPARE(pragma(conn, "foreign_keys"), QStringLiteral("1"));
        QVERIFY(pragma(conn, "busy_timeout").toInt() >= 5000);
        // The handle is the engine's own, on the file that was named.
        QVERIFY(conn.handle());
        QCOMPARE(QString::fromUtf8(sqlite3_db_filename(conn.handle(), "main")), path);
        conn.close();
        QVERIFY(!conn.isOpen());
        QVERIFY(conn.connectionString().isEmpty());
    }

    void aServerLocationOpensItsDatabaseAndNamesPostgreSQL()
    {
        if (!storetest::onServer())
            QSKIP("a server's own behaviour");
        const QString location = freshCatalogue("server");
        Connection conn;
        conn.open(jet40 + location + ";");
        QVERIFY(conn.isOpen());
        QCOMPARE(conn.connectionString(),
            QStringLiteral("Provider=PostgreSQL;Data Source=%1;").arg(location));
        QCOMPARE(conn.filePath(), location);
        QCOMPARE(conn.serverHost(),
            QStringLiteral("127.0.0.1:%1").arg(testsupport::PgServer::instance().port()));
        QVERIFY(!conn.isReadOnly());
        QVERIFY(!conn.handle()); // no SQLite handle behind a server
        QCOMPARE(conn.dialect().providerName(), QStringLiteral("PostgreSQL"));
        // The provider named directly opens it as well; a password written into the location
        // is never shown again.
        conn.open("Provider=PostgreSQL;Data Source=" + location + ";");
        QVERIFY(conn.isOpen());
        const QString withPassword = QString(location).replace(
            "quillomar@", "quillomar:" + testsupport::PgServer::password() + "@");
        conn.open(jet40 + withPassword + ";");
        QCOMPARE(conn.filePath(), location);
        QVERIFY(!conn.connectionString().contains(testsupport::PgServer::password()));

        // Rows arrive one at a time; another statement in the middle of them gets the
        // connection, and the rest of the rows are still read in order.
        QStringList extensions;
        {
            Statement walk(conn, QStringLiteral("SELECT Extension FROM Formats ORDER BY rowid"));
            Statement::Reset done(walk);
            QVERIFY(walk.step());
            extensions << walk.text(0);
            Statement count(conn, QStringLiteral("SELECT count(*) FROM Formats"));
            QVERIFY(count.step());
            QCOMPARE(count.integer(0), 22);
            count.reset();
            while (walk.step())
                extensions << walk.text(0);
        }
        QCOMPARE(extensions.size(), 22);
        QCOMPARE(extensions.first(), QStringLiteral("jpg"));
        QCOMPARE(conn.steppingStatements(), 0);
        // A statement kept past its connection is refused, and goes without harm.
        auto kept = std::make_unique<Statement>(conn, QStringLiteral("SELECT Name FROM Formats"));
        QVERIFY(kept->step());
        conn.close();
        QVERIFY_THROWS_EXCEPTION(DbError, kept->step());
        kept.reset();
        QVERIFY(!conn.isOpen());
        QVERIFY(conn.connectionString().isEmpty());
    }

    void aServerThatRefusesSaysWhyAndCreatesNothing()
    {
        if (!storetest::onServer())
            QSKIP("a server's own behaviour");
        testsupport::PgServer &server = testsupport::PgServer::instance();
        Connection conn;
        conn.setRequiredTables({ "Formats", "Pictures" });
        // A database that does not exist, a database without the catalogue's tables, a
        // wrong password, a port where nothing listens.
        const QString missing = server.location("nenhum");
        try {
            conn.open(jet40 + missing + ";");
            QFAIL("a missing database opened");
        } catch (const DbError &e) {
            // Said in Portuguese; the library's text stays behind it, as detail.
            QCOMPARE(e.message(),
                QStringLiteral("O servidor do catálogo 127.0.0.1:%1 não tem o banco de dados "
                               "\"nenhum\".")
                    .arg(server.port()));
            QVERIFY2(e.detail().contains("database \"nenhum\" does not exist"),
                qPrintable(e.detail()));
            QVERIFY2(!e.detail().contains("LOCATION") && !e.detail().contains("3D000"),
                qPrintable(e.detail()));
            QCOMPARE(e.kind(), DbError::Kind::Connection);
            QCOMPARE(e.reach(), DbError::Reach::NoDatabase);
        }
        QCOMPARE(server.exec("postgres", "SELECT count(*) FROM pg_database WHERE datname = 'nenhum'"),
            QStringLiteral("0"));
        const QString empty = server.createDatabase("vazio");
        try {
            conn.open(jet40 + empty + ";");
            QFAIL("a database without a catalogue opened");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("relation \"formats\" does not exist"));
        }
        QVERIFY(!conn.isOpen());
        // The later tries name the server's refusal.
        try {
            conn.open("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + empty + ";");
            QFAIL("opened");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                QStringLiteral("O provedor \"Microsoft.Jet.OLEDB.3.51\" não está disponível neste "
                               "sistema (PostgreSQL não conseguiu abrir \"%1\": relation "
                               "\"formats\" does not exist)")
                    .arg(empty));
        }
        const QString guarded = server.location(server.databaseOf(empty), "quillomar_pw");
        conn.setRequiredTables({});
        conn.setPassword("errada");
        try {
            conn.openFile(guarded);
            QFAIL("a wrong password was taken");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                QStringLiteral("O servidor do catálogo 127.0.0.1:%1 recusou a senha do usuário "
                               "\"quillomar_pw\".")
                    .arg(server.port()));
            QCOMPARE(e.reach(), DbError::Reach::PasswordRefused);
            QVERIFY2(e.detail().contains("password authentication failed for user "
                                         "\"quillomar_pw\""),
                qPrintable(e.detail()));
            QVERIFY(!e.message().contains("errada") && !e.detail().contains("errada"));
        }
        // No password at all where one is needed (no ~/.pgpass either).
        const QByteArray passFile = qgetenv("PGPASSFILE");
        qputenv("PGPASSFILE", QFile::encodeName(m_dir.filePath("sem-pgpass")));
        conn.setPassword(QString());
        try {
            conn.openFile(guarded);
            QFAIL("opened without a password");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                QStringLiteral("O servidor do catálogo 127.0.0.1:%1 pede uma senha para o "
                               "usuário \"quillomar_pw\".")
                    .arg(server.port()));
            QCOMPARE(e.reach(), DbError::Reach::PasswordNeeded);
            QVERIFY(e.isPasswordFailure());
        }
        if (passFile.isNull())
            qunsetenv("PGPASSFILE");
        else
            qputenv("PGPASSFILE", passFile);
        conn.setPassword(testsupport::PgServer::password());
        conn.openFile(guarded);
        QVERIFY(conn.isOpen());
        conn.close();
        try {
            conn.openFile(QStringLiteral("postgresql://quillomar@127.0.0.1:1/x"));
            QFAIL("nothing listens there");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                QStringLiteral("Não foi possível conectar ao servidor do catálogo 127.0.0.1:1: "
                               "ele não responde (está desligado, ou fora de alcance)."));
            QVERIFY2(e.detail().contains("Connection refused"), qPrintable(e.detail()));
            QCOMPARE(e.kind(), DbError::Kind::Connection);
            QCOMPARE(e.reach(), DbError::Reach::ServerDown);
            QVERIFY(!e.isPasswordFailure());
        }
    }

    void openingNeverWritesAndEveryCommitLeavesOneWholeFile()
    {
        STORETEST_FILE_ONLY();
        const QString path = freshCatalogue("untouched.mdb");
        const QByteArray before = storetest::digest(path);
        {
            Connection conn;
            conn.open(jet40 + path + ";");
            QCOMPARE(pragma(conn, "journal_mode"), QStringLiteral("delete"));
            Query q(conn);
            q.setSql("SELECT count(*) AS n FROM Formats");
            q.open();
            QCOMPARE(q.asString("n"), QStringLiteral("22"));
            q.close();
        }
        QCOMPARE(storetest::digest(path), before);
        QVERIFY(!storetest::listing(m_dir.path()).contains("untouched.mdb-wal"));

        // A file in the write-ahead mode keeps that mode too.
        const QString wal = freshCatalogue("kept.mdb");
        RawDb(wal).exec("PRAGMA journal_mode = WAL");
        {
            Connection conn;
            conn.open(jet40 + wal + ";");
            QCOMPARE(pragma(conn, "journal_mode"), QStringLiteral("wal"));
        }

        // A copy taken while the writer is still open holds what it committed.
        Connection writer;
        writer.open(jet40 + path + ";");
        Transaction t(writer);
        writer.exec("INSERT INTO Storages (Name) VALUES ('a'), ('b')");
        t.commit();
        const QString copy = m_dir.filePath("copy.mdb");
        QVERIFY(QFile::copy(path, copy));
        QCOMPARE(RawDb(copy).scalar("SELECT count(*) FROM Storages"), QStringLiteral("2"));
    }

    void aFolderNothingCanBeWrittenToStillOpensForReading()
    {
        STORETEST_FILE_ONLY();
        QTemporaryDir dir;
        const QString plain = storetest::makeCatalogue(dir.path(), "plain.mdb");
        const QString wal = storetest::makeCatalogue(dir.path(), "wal.mdb");
        {
            RawDb raw(wal);
            raw.exec("PRAGMA journal_mode = WAL");
            raw.exec("INSERT INTO Storages (Name) VALUES ('w')");
        }
        testsupport::Unwritable readOnly(dir.path());
        if (!readOnly.effective())
            QSKIP("this file system cannot refuse writing to a folder");
        for (const QString &path : { plain, wal }) {
            Connection conn;
            conn.open(jet40 + path + ";");
            QVERIFY(conn.isReadOnly());
            Query q(conn);
            q.setSql("SELECT count(*) AS n FROM Storages");
            q.open();
            QCOMPARE(q.asString("n"), path == wal ? QStringLiteral("1") : QStringLiteral("0"));
            q.close();
            QVERIFY_THROWS_EXCEPTION(
                DbError, conn.exec("INSERT INTO Storages (Name) VALUES ('x')"));
        }
    }

    void jet40NeverCreatesAFile()
    {
        STORETEST_FILE_ONLY();
        const QString path = m_dir.filePath("missing.mdb");
        Connection conn;
        try {
            conn.open(jet40 + path + ";");
            QFAIL("a missing catalogue opened");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("unable to open database file"));
        }
        QVERIFY(!conn.isOpen());
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY_THROWS_EXCEPTION(DbError, conn.openFile(path));
        QVERIFY(!QFileInfo::exists(path));
    }

    void pathsWithUriCharactersOpenTheRightFile()
    {
        STORETEST_FILE_ONLY();
        QDir(m_dir.path()).mkdir("fotos 100% #1?");
        const QString path = freshCatalogue("fotos 100% #1?/cat;x.mdb");
        Connection conn;
        conn.open(jet40 + path + ";");
        QCOMPARE(QString::fromUtf8(sqlite3_db_filename(conn.handle(), "main")), path);
        QCOMPARE(storetest::listing(m_dir.filePath("fotos 100% #1?")).first(),
            QStringLiteral("cat;x.mdb"));
    }

    void otherProvidersFailNamingThemselvesAndTheCause()
    {
        STORETEST_FILE_ONLY();
        Connection conn;
        try {
            conn.open("Provider=Microsoft.Jet.OLEDB.5.0;Data Source=/x/y.mdb;");
            QFAIL("opened");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                QStringLiteral(
                    "O provedor \"Microsoft.Jet.OLEDB.5.0\" não está disponível neste sistema"));
        }
        const QString missing = m_dir.filePath("gone.mdb");
        QVERIFY_THROWS_EXCEPTION(DbError, conn.open(jet40 + missing + ";"));
        const QString cause = QStringLiteral(
            " (Microsoft.Jet.OLEDB.4.0 não conseguiu abrir \"%1\": unable to open database file)")
                                  .arg(missing);
        try {
            conn.open("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + missing + ";");
            QFAIL("opened");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                "O provedor \"Microsoft.Jet.OLEDB.3.51\" não está disponível neste sistema"
                    + cause);
        }
        try {
            conn.open("Provider=MSDASQL.1;Connect Timeout=15;Extended Properties=\"DBQ=" + missing
                + ";Driver={Microsoft Access Driver (*.mdb)}\"");
            QFAIL("opened");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                "O driver ODBC \"Microsoft Access Driver (*.mdb)\" não está disponível neste "
                "sistema"
                    + cause);
        }
        QVERIFY(!QFileInfo::exists(missing));
    }

    void requiredTablesRefuseOtherFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QByteArray() << "no such table: Formats";
        QByteArray noise(8192, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        QTest::newRow("random") << noise << "file is not a database";
        QTest::newRow("text") << QByteArray("[DATABASE]\nPATH=/tmp\n") << "file is not a database";
    }

    void requiredTablesRefuseOtherFiles()
    {
        STORETEST_FILE_ONLY();
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString folder = m_dir.filePath(QTest::currentDataTag());
        QDir().mkpath(folder);
        const QString path = folder + "/x.mdb";
        QVERIFY(testsupport::writeFile(path, content));
        Connection conn;
        conn.setRequiredTables({ "Formats", "Pictures" });
        try {
            conn.open(jet40 + path + ";");
            QFAIL("opened");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), message);
        }
        QVERIFY(!conn.isOpen());
        QCOMPARE(testsupport::readFile(path), content);
        QCOMPARE(storetest::listing(folder), QStringList({ "x.mdb" }));
    }

    void writersLockWhatTheyGuard()
    {
        const QString path = freshCatalogue("tx.mdb");
        Connection a, b;
        a.openFile(path);
        b.openFile(path);
        b.setBusyTimeout(50);
        a.beginTransaction();
        QVERIFY(a.inTransaction());
        a.lockUntilEnd("name", "férias");
        if (storetest::onServer()) {
            // A server's writer holds only what it guards: another writes other rows and
            // other names meanwhile, and waits (bounded) only for the very name held; that
            // wait costs it nothing it wrote before.
            b.beginTransaction();
            b.exec("INSERT INTO Storages (Name) VALUES ('other')");
            b.lockUntilEnd("name", "natal");
            b.lockUntilEnd("other kind", "férias");
            try {
                b.lockUntilEnd("name", "férias");
                QFAIL("two holders of one lock");
            } catch (const DbError &e) {
                QCOMPARE(e.message(), engineText("", storetest::serverBusyText()));
                QVERIFY(e.isBusy());
            }
            QVERIFY(b.inTransaction());
            QVERIFY_THROWS_EXCEPTION(DbError, b.lockUntilEnd("name", "férias", true));
            // Shared holders pass each other.
            a.lockUntilEnd("scanned", QString(), true);
            b.lockUntilEnd("scanned", QString(), true);
            b.commit();
        } else {
            // Begun holding the file's write lock: the other connection cannot even begin,
            // before a has written.
            try {
                b.beginTransaction();
                QFAIL("two writers");
            } catch (const DbError &e) {
                QCOMPARE(e.message(), engineText("database is locked", ""));
                QVERIFY(e.isBusy());
            }
            QVERIFY(!b.inTransaction());
        }
        QVERIFY_THROWS_EXCEPTION(DbError, a.beginTransaction()); // no nesting
        a.exec("INSERT INTO Storages (Name) VALUES ('x')");
        a.rollback();
        QVERIFY(!a.inTransaction());
        {
            Transaction t(a);
            a.exec("INSERT INTO Storages (Name) VALUES ('dropped')");
        } // not committed: rolled back
        {
            Transaction t(a);
            a.exec("INSERT INTO Storages (Name) VALUES ('kept')");
            t.commit();
            QVERIFY(!t.active());
        }
        RawDb raw(path);
        QCOMPARE(raw.column("SELECT Name FROM Storages ORDER BY Name"),
            storetest::onServer() ? QStringList({ "kept", "other" }) : QStringList({ "kept" }));
    }

    void aStatementRefusedInsideATransactionLeavesItsWorkWhole()
    {
        const QString path = freshCatalogue("refused.mdb");
        Connection conn;
        conn.openFile(path);
        Transaction t(conn);
        conn.exec("INSERT INTO Storages (Name) VALUES ('antes')");
        Query q(conn);
        q.setSql("SELECT NoSuchColumn FROM Storages");
        QVERIFY_THROWS_EXCEPTION(DbError, q.open());
        // A parameter nothing in the text gives a type is read as a text.
        q.setSql("SELECT :P AS V");
        q.setParam("P", "livre");
        q.open();
        QCOMPARE(q.asString("V"), QStringLiteral("livre"));
        q.close();
        conn.exec("INSERT INTO Storages (Name) VALUES ('depois')");
        t.commit();
        RawDb raw(path);
        QCOMPARE(raw.column("SELECT Name FROM Storages ORDER BY Name"),
            QStringList({ "antes", "depois" }));
    }

    void aServerThatWentAwayIsReachedAgainOnTheNextAction()
    {
        if (!storetest::onServer())
            QSKIP("a server's own behaviour");
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        const QString path = freshCatalogue("queda.mdb");
        Connection conn;
        conn.openFile(path);
        Query q(conn);
        q.setSql("SELECT count(*) AS N FROM Storages");
        auto count = [&] {
            q.open();
            const QString n = q.asString("N");
            q.close();
            return n;
        };
        QCOMPARE(count(), QStringLiteral("0"));

        // Down: said in Portuguese, as a lost connection. (The test's server does not wait
        // for its disk at commits: what was committed is made safe before it is killed.)
        const QString database = testsupport::PgServer::databaseOf(path);
        pg.exec(database, "CHECKPOINT");
        pg.stop();
        try {
            count();
            QFAIL("read from a server that is down");
        } catch (const DbError &e) {
            QVERIFY2(e.message().startsWith("A conexão com o servidor do catálogo caiu")
                    || e.message().startsWith("Não foi possível conectar ao servidor do catálogo"),
                qPrintable(e.message()));
            QCOMPARE(e.kind(), DbError::Kind::Connection);
            // The library's own text is kept apart, never part of the sentence.
            QVERIFY(!e.detail().isEmpty());
            QVERIFY2(!e.message().contains(e.detail()), qPrintable(e.message()));
            QVERIFY(e.reach() == DbError::Reach::Dropped
                || e.reach() == DbError::Reach::ServerDown);
        }
        try {
            count();
            QFAIL("read from a server that is down");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                QStringLiteral("Não foi possível conectar ao servidor do catálogo 127.0.0.1:%1: "
                               "ele não responde (está desligado, ou fora de alcance).")
                    .arg(pg.port()));
            QCOMPARE(e.reach(), DbError::Reach::ServerDown);
        }
        // Back: the same statement runs again, prepared on the new session.
        QVERIFY2(pg.start(), qPrintable(pg.error()));
        QCOMPARE(count(), QStringLiteral("0"));

        // Lost in the middle of a transaction: nothing of it stays, nothing goes on outside it.
        {
            Transaction t(conn);
            conn.exec("INSERT INTO Storages (Name) VALUES ('antes da queda')");
            pg.exec(database, "CHECKPOINT");
            pg.stop();
            QVERIFY_THROWS_EXCEPTION(DbError, conn.exec("INSERT INTO Storages (Name) VALUES ('x')"));
            QVERIFY2(pg.start(), qPrintable(pg.error()));
            try {
                conn.exec("INSERT INTO Storages (Name) VALUES ('depois da queda')");
                QFAIL("wrote outside the transaction it belonged to");
            } catch (const DbError &e) {
                QCOMPARE(e.message(),
                    QStringLiteral("A conexão com o servidor do catálogo caiu no meio de uma "
                                   "transação: nada dela foi gravado."));
            }
            QVERIFY(conn.inTransaction());
        } // rolled back
        QVERIFY(!conn.inTransaction());
        QCOMPARE(count(), QStringLiteral("0"));
        {
            Transaction t(conn);
            conn.exec("INSERT INTO Storages (Name) VALUES ('de novo')");
            t.commit();
        }
        QCOMPARE(count(), QStringLiteral("1"));
    }

    void aDeferredTransactionLocksNothingUntilItBegins()
    {
        const QString path = freshCatalogue("deferred.mdb");
        Connection a, b;
        a.openFile(path);
        b.openFile(path);
        b.setBusyTimeout(50);
        {
            Transaction edit(a, Transaction::Behavior::Deferred);
            QVERIFY(!edit.active());
            {
                Query read(a); // a read meanwhile
                read.setSql("SELECT count(*) AS N FROM Storages");
                read.open();
                QCOMPARE(read.asString("N"), QStringLiteral("0"));
                read.close();
            }
            // Another connection commits while nothing has been written here.
            b.exec("INSERT INTO Storages (Name) VALUES ('other')");
            edit.begin();
            QVERIFY(edit.active());
            edit.begin(); // begun once
            // Begun, a file's holds the write lock: no other writer writes. A server's holds
            // only what it writes and guards: another writes other rows meanwhile.
            if (storetest::onServer()) {
                b.beginTransaction();
                b.exec("INSERT INTO Storages (Name) VALUES ('also')");
                b.commit();
            } else {
                QVERIFY_THROWS_EXCEPTION(DbError, b.exec("INSERT INTO Storages (Name) VALUES ('x')"));
            }
            a.exec("INSERT INTO Storages (Name) VALUES ('dropped')");
        } // never committed: rolled back
        QVERIFY(!a.inTransaction());
        {
            Transaction edit(a, Transaction::Behavior::Deferred);
            edit.commit(); // nothing begun, nothing to commit; and it has ended
            edit.begin();
            QVERIFY(!edit.active());
            QVERIFY(!a.inTransaction());
        }
        {
            Transaction edit(a, Transaction::Behavior::Deferred);
            edit.begin();
            a.exec("INSERT INTO Storages (Name) VALUES ('kept')");
            edit.commit();
            QVERIFY(!edit.active());
        }
        RawDb raw(path);
        QCOMPARE(raw.column("SELECT Name FROM Storages ORDER BY Name"),
            storetest::onServer() ? QStringList({ "also", "kept", "other" })
                                  : QStringList({ "kept", "other" }));
    }

    void anotherProcessWritingMakesUsWaitThenReportsTheEngine()
    {
        const QString path = freshCatalogue("busy.mdb");
        Connection conn;
        conn.openFile(path);
        std::unique_ptr<storetest::LockHolder> fileHolder;
        std::unique_ptr<storetest::ServerLockHolder> serverHolder;
        if (storetest::onServer())
            serverHolder = std::make_unique<storetest::ServerLockHolder>(path);
        else
            fileHolder = std::make_unique<storetest::LockHolder>(path);
        // Readers are not blocked by the writer.
        Query q(conn);
        q.setSql("SELECT count(*) AS n FROM Storages");
        q.open();
        QCOMPARE(q.asString("n"), QStringLiteral("0"));
        q.close();
        QElapsedTimer timer;
        timer.start();
        try {
            Transaction t(conn);
            conn.exec("INSERT INTO Storages (Name) VALUES ('late')");
            t.commit();
            QFAIL("wrote under another writer's lock");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                engineText("database is locked", storetest::serverBusyText()));
        }
        // It waited for the other process rather than failing at once.
        QVERIFY2(timer.elapsed() >= 4000, qPrintable(QString::number(timer.elapsed())));
        fileHolder.reset();
        serverHolder.reset();
        Transaction t(conn);
        conn.exec("INSERT INTO Storages (Name) VALUES ('late')");
        t.commit();
    }

    void aWaitEndsWhenTheOtherProcessCommits()
    {
        const QString path = freshCatalogue("wait.mdb");
        Connection conn;
        conn.openFile(path);
        std::unique_ptr<storetest::LockHolder> fileHolder;
        std::unique_ptr<storetest::ServerLockHolder> serverHolder;
        if (storetest::onServer()) {
            serverHolder = std::make_unique<storetest::ServerLockHolder>(path);
            serverHolder->send("SELECT pg_sleep(1); COMMIT");
        } else {
            fileHolder = std::make_unique<storetest::LockHolder>(path, ".shell sleep 1\nCOMMIT;\n");
        }
        conn.beginTransaction();
        conn.exec("INSERT INTO Storages (Name) VALUES ('after')");
        conn.commit();
        RawDb raw(path);
        QCOMPARE(raw.column("SELECT Name FROM Storages"), QStringList({ "after" }));
    }

    void namedParametersBindByName()
    {
        const QString path = freshCatalogue("params.mdb");
        Connection conn;
        conn.openFile(path);
        Command cmd(conn);
        cmd.setSql(QStringList { "INSERT INTO Collections (Name, Notes, System)",
            "VALUES (:NOME, :nome || ' '':NOTA'' -- :x', :SIS)" });
        cmd.setParam("NOME", "Férias");
        cmd.setParam("SIS", true);
        QCOMPARE(cmd.execute(), 1);
        cmd.setParam("nome", "Natal");
        cmd.setParam("SIS", false);
        QCOMPARE(cmd.execute(), 1);
        try {
            cmd.setParam("NOTA", 1);
            QFAIL("a parameter inside a literal was taken");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("Parameter :NOTA not found"));
        }
        cmd.setSql("UPDATE Collections SET Notes = :N WHERE Name = :K");
        cmd.setParam("K", "natal");
        try {
            cmd.execute();
            QFAIL("ran without a value");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("Nenhum valor foi dado ao parâmetro :N."));
        }
        cmd.setParam("N", QVariant());
        QCOMPARE(cmd.execute(), 1); // "=" ignores case on a name column

        RawDb raw(path);
        QCOMPARE(raw.rows("SELECT Name, Notes, System FROM Collections ORDER BY RecId"),
            QList<QStringList>(
                { { "Férias", "Férias ':NOTA' -- :x", "1" }, { "Natal", "NULL", "0" } }));
    }

    void datesAndBooleansTravelInOneForm()
    {
        const QString path = freshCatalogue("dates.mdb");
        Connection conn;
        conn.openFile(path);
        conn.exec("INSERT INTO Collections (RecId, Name) VALUES (1, 'c')");
        conn.exec("INSERT INTO Categories (RecId, Collection, Name) VALUES (1, 1, 'k')");
        const QDateTime when(QDate(2019, 12, 31), QTime(23, 59, 58));
        Command cmd(conn);
        cmd.setSql("INSERT INTO Pictures (Collection, Category, Name, Created, Review) VALUES (1, "
                   "1, :N, :C, :R)");
        cmd.setParam("N", "a");
        cmd.setParam("C", when);
        cmd.setParam("R", true);
        cmd.execute();
        RawDb raw(path);
        QCOMPARE(raw.rows("SELECT Created, Review FROM Pictures"),
            QList<QStringList>({ { "2019-12-31T23:59:58", "1" } }));

        Query q(conn);
        q.setSql("SELECT Name AS Nome, Created, Review FROM Pictures WHERE Created = :C AND Review "
                 "= :R");
        q.setParam("C", when);
        q.setParam("R", true);
        q.open();
        QVERIFY(!q.eof());
        QCOMPARE(q.asString("nome"), QStringLiteral("a"));
        QCOMPARE(q.asDateTime("Created"), when);
        QVERIFY(q.asBool("Review"));

        QCOMPARE(dbvalues::toDbDate(when), QStringLiteral("2019-12-31T23:59:58"));
        QCOMPARE(dbvalues::fromDbDate(QStringLiteral("2019-12-31T23:59:58")), when);
        QCOMPARE(dbvalues::fromDbDate(QStringLiteral("2019-12-31 23:59:58")), when);
        QVERIFY(!dbvalues::fromDbDate(QStringLiteral("ontem")).isValid());
        QVERIFY(!dbvalues::fromDbDate(QVariant()).isValid());
        QCOMPARE(dbvalues::toDbValue(false), QVariant(0));
        QVERIFY(dbvalues::toDbValue(QDateTime()).isNull());
    }

    void queriesStreamRowsAndReadColumnsByName()
    {
        const QString path = freshCatalogue("query.mdb");
        RawDb raw(path);
        raw.exec("INSERT INTO Collections (RecId, Name) VALUES (1, 'Viagens'), (2, 'Família'), (3, "
                 "'Vazia')");
        raw.exec("INSERT INTO Categories (RecId, Collection, Name) VALUES (1, 1, 'Praia'), (2, 1, "
                 "'Serra'), (3, 2, 'Natal')");
        raw.exec("INSERT INTO Pictures (Collection, Category, Name, KeyWords) VALUES "
                 "(1, 1, 'mar', 'azul'), (1, 1, 'areia', 'sol azul'), (2, 3, 'ceia', NULL)");
        Connection conn;
        conn.openFile(path);
        Query q(conn);
        // A derived table with LEFT JOIN on both sides, ordering by position.
        q.clearSql();
        q.addLine("SELECT S1.*, Pictures.Name AS PicNam FROM");
        q.addLine("(SELECT Collections.RecId AS ColRec, Collections.Name AS ColNam, "
                  "Categories.RecId AS CatRec,");
        q.addLine(" Categories.Name AS CatNam FROM Collections LEFT JOIN Categories ON "
                  "Categories.Collection = Collections.RecId) AS S1");
        q.addLine("LEFT JOIN Pictures ON Pictures.Category = S1.CatRec");
        q.addLine("ORDER BY 2, 4, 5");
        q.open();
        QStringList seen;
        for (; !q.eof(); q.next())
            seen << q.asString("ColNam") + "/" + q.asString("CATNAM") + "/" + q.asString("picnam");
        QCOMPARE(seen,
            QStringList({ "Família/Natal/ceia", "Vazia//", "Viagens/Praia/areia",
                "Viagens/Praia/mar", "Viagens/Serra/" }));
        QVERIFY(q.isNull("PicNam"));
        q.close();

        q.setSql(
            "SELECT Name, (SELECT count(*) FROM Pictures P WHERE P.Category = C.RecId) AS Imagens "
            "FROM Categories C WHERE RecId IN (1,3) AND Name LIKE :F ORDER BY Name");
        q.setParam("F", "%a%");
        q.open();
        QCOMPARE(q.recordCount(), 2);
        QCOMPARE(q.fieldNames(), QStringList({ "Name", "Imagens" }));
        QCOMPARE(q.asString("Name") + q.asString("Imagens"), QStringLiteral("Natal1"));
        q.next();
        QCOMPARE(q.asString("Name") + q.asString("Imagens"), QStringLiteral("Praia2"));
        q.next();
        QVERIFY(q.eof());
        QVERIFY(!q.isEmpty());
        try {
            q.value("Nope");
            QFAIL("unknown column read");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("Field 'Nope' not found"));
        }
        // The same result in a grid, read completely.
        std::unique_ptr<ResultModel> model(q.createModel());
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->data(model->index(1, 1)).toInt(), 2);
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Imagens"));
        QCOMPARE(model->value(0, "name").toString(), QStringLiteral("Natal"));
        q.close();

        q.setSql("SELECT Name FROM Collections WHERE RecId = 99");
        q.open();
        QVERIFY(q.eof());
        QVERIFY(q.isEmpty());
        QVERIFY(q.value("Name").isNull());
    }

    void statementsCarryEveryKindOfValueAndLeaveNoReadOpen()
    {
        const QString path = freshCatalogue("statement.mdb");
        Connection conn;
        conn.openFile(path);
        conn.exec("CREATE TABLE Kinds (B BOOLEAN, D DATETIME, N INTEGER, T TEXT, I INTEGER, "
                  "R REAL, X BLOB)");
        const QDateTime when(QDate(2021, 3, 4), QTime(5, 6, 8));
        {
            Statement insert(conn,
                QStringLiteral("INSERT INTO Kinds VALUES (:b, :D, ?3, ?4, ?5, "
                               ":r, :x)"));
            insert.bind("B", true); // names ignore letter case
            insert.bind("d", when);
            insert.bind(3, QVariant());
            insert.bind(4, QStringLiteral("ação"));
            insert.bind(5, qint64(1) << 40);
            insert.bind("R", 2.5);
            insert.bind("X", QByteArray("\0\1", 2));
            QCOMPARE(insert.exec(), 1);
            QVERIFY_THROWS_EXCEPTION(DbError, insert.bind("nenhum", 1));
        }
        RawDb raw(path);
        QCOMPARE(raw.rows(engineText("SELECT B, D, N, T, I, R, typeof(X) FROM Kinds",
                     "SELECT B, D, N, T, I, R, pg_typeof(X)::text FROM Kinds")),
            QList<QStringList>({ { "1", "2021-03-04T05:06:08", "NULL", "ação", "1099511627776",
                "2.5", engineText("blob", "bytea") } }));

        Statement select(conn, QStringLiteral("SELECT * FROM Kinds UNION ALL SELECT * FROM Kinds"));
        {
            Statement::Reset done(select);
            QVERIFY(select.step());
            QCOMPARE(select.columnIndex("t"), 3);
            QCOMPARE(select.value(0), QVariant(qlonglong(1)));
            QCOMPARE(dbvalues::fromDbDate(select.value(1)), when);
            QVERIFY(!select.value(2).isValid());
            QCOMPARE(select.value(3), QVariant(QStringLiteral("ação")));
            QCOMPARE(select.value(5), QVariant(2.5));
            QCOMPARE(select.value(6), QVariant(QByteArray("\0\1", 2)));
            // A row read and the next not asked for: the read is open until the reset.
            QVERIFY(select.isStepping());
            QCOMPARE(conn.steppingStatements(), 1);
        }
        QCOMPARE(conn.steppingStatements(), 0);

        // rewind() ends a run but keeps the bindings; reset() drops them. The borrowed view
        // reads the stored bytes.
        Statement echo(conn, QStringLiteral("SELECT ?1, ?2"));
        echo.bindInteger(1, 7);
        echo.bindText(2, QStringLiteral("ação"));
        QVERIFY(echo.step());
        QCOMPARE(echo.utf8View(1), QByteArrayView("a\xc3\xa7\xc3\xa3o"));
        echo.rewind();
        QVERIFY(!echo.isStepping());
        QVERIFY(echo.step());
        QCOMPARE(echo.integer(0), 7);
        echo.reset();
        QVERIFY(echo.step());
        QVERIFY(echo.isNull(0));
        QVERIFY(echo.utf8View(1).isNull());
        echo.reset();

        // A query left open past the current event reads ahead and lets go of the file.
        Query q(conn);
        q.setSql("SELECT T FROM Kinds UNION ALL SELECT 'b' UNION ALL SELECT 'c'");
        q.open();
        QCOMPARE(conn.steppingStatements(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(conn.steppingStatements(), 0);
        QStringList rows;
        for (; !q.eof(); q.next())
            rows << q.asString("T");
        QCOMPARE(rows, QStringList({ "ação", "b", "c" }));

        try {
            Statement twice(conn, QStringLiteral("SELECT 1; SELECT 2"));
            QFAIL("two statements in one text");
        } catch (const DbError &) {
        }
        Statement comment(conn, QStringLiteral("SELECT 1; -- only a comment follows"));
        comment.exec();
    }

    void failuresCarryTheEngineText()
    {
        const QString path = freshCatalogue("errors.mdb");
        Connection conn;
        conn.openFile(path);
        Query q(conn);
        q.setSql("SELECT * FROM Nowhere");
        try {
            q.open();
            QFAIL("opened");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                engineText("no such table: Nowhere", "relation \"nowhere\" does not exist"));
        }
        Command c(conn);
        c.setSql("SELEC 1");
        try {
            c.execute();
            QFAIL("ran");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                engineText("near \"SELEC\": syntax error", "syntax error at or near \"SELEC\""));
            QCOMPARE(QString::fromUtf8(e.what()), e.message());
        }
        c.setSql("INSERT INTO Categories (Collection, Name) VALUES (42, 'orphan')");
        try {
            c.execute();
            QFAIL("ran");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                engineText("FOREIGN KEY constraint failed",
                    "insert or update on table \"categories\" violates foreign key constraint "
                    "\"categories_collection_fkey\""));
            QCOMPARE(e.kind(), DbError::Kind::Constraint);
        }
        // A name longer than the server's column: the limit in the user's words (a file takes
        // any length).
        c.setSql(QStringLiteral("INSERT INTO Collections (Name, System) VALUES ('%1', FALSE)")
                     .arg(QString(101, QLatin1Char('x'))));
        if (storetest::onServer()) {
            try {
                c.execute();
                QFAIL("ran");
            } catch (const DbError &e) {
                QCOMPARE(e.message(),
                    QStringLiteral("O texto é longo demais para o catálogo no servidor: no "
                                   "máximo 100 caracteres."));
            }
        } else {
            c.execute();
        }
        c.setSql("ALTER TABLE CatalogInfo ADD COLUMN Version Char(20) NULL");
        try {
            c.execute();
            QFAIL("ran");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                engineText("duplicate column name: Version",
                    "column \"version\" of relation \"cataloginfo\" already exists"));
        }
        conn.close();
        try {
            c.execute();
            QFAIL("ran on a closed connection");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("o catálogo não está aberto"));
        }
    }
};

QTEST_GUILESS_MAIN(TestStoreEngine)
#include "test_store_engine.moc"
