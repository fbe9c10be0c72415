#pragma once

#include "core/versiontools.h"
#include "store/connection.h"
#include "store/schema.h"
#include "support/pgserver.h"
#include "support/testsupport.h"
#include "support/unwritable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QVariant>
#include <QtTest>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

// Helpers of the store tests. Checks go through the engines' own C APIs (SQLite's, libpq),
// not the binding under test, so that a fault of the binding cannot hide itself.
namespace storetest {

// The engines the store tests run on: QtTest's global data, one row per engine.
inline void addEngines()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}
// True in the row of the server engine.
inline bool onServer()
{
    QFETCH_GLOBAL(QString, engine);
    return engine == QLatin1String("postgresql");
}
// A check of a file's own behaviour (journal, file modes): not a server's.
#define STORETEST_FILE_ONLY()                                                                   \
    do {                                                                                        \
        if (storetest::onServer())                                                              \
            QSKIP("a catalogue file's own behaviour");                                          \
    } while (false)

// A second, independent connection on a catalogue (a file, or a database on the test's
// server), through the engine's own C API.
class RawDb {
public:
    explicit RawDb(const QString &location)
    {
        if (Connection::isServerLocation(location)) {
            m_pg = PQconnectdb(location.toUtf8().constData());
            if (PQstatus(m_pg) != CONNECTION_OK)
                qFatal("raw connect failed: %s", PQerrorMessage(m_pg));
            return;
        }
        if (sqlite3_open_v2(location.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr)
            != SQLITE_OK)
            qFatal("raw open failed: %s", sqlite3_errmsg(m_db));
        sqlite3_busy_timeout(m_db, 5000);
        exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    }
    ~RawDb()
    {
        if (m_db)
            sqlite3_close(m_db);
        if (m_pg)
            PQfinish(m_pg);
    }
    RawDb(const RawDb &) = delete;
    RawDb &operator=(const RawDb &) = delete;

    bool onServer() const { return m_pg != nullptr; }

    // Runs SQL; on the server the key counters then follow keys written by hand, as
    // SQLite's AUTOINCREMENT does by itself.
    void exec(const QString &sql)
    {
        if (m_pg) {
            PGresult *r = PQexec(m_pg, sql.toUtf8().constData());
            const ExecStatusType status = PQresultStatus(r);
            if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
                qFatal("raw exec failed: %s: %s", PQresultErrorMessage(r), sql.toUtf8().constData());
            PQclear(r);
            if (PQtransactionStatus(m_pg) == PQTRANS_IDLE) {
                PQclear(PQexec(m_pg,
                    "SELECT qm_sync_keys() WHERE to_regproc('qm_sync_keys') IS NOT NULL"));
            }
            return;
        }
        char *err = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
            const QByteArray msg = err ? QByteArray(err) : QByteArray();
            sqlite3_free(err);
            qFatal("raw exec failed: %s: %s", msg.constData(), sql.toUtf8().constData());
        }
    }
    // Every row of a query, each value as text ("NULL" for null); the server's booleans as
    // 1 and 0 and its dates in the program's form, as SQLite keeps them.
    QList<QStringList> rows(const QString &sql)
    {
        QList<QStringList> result;
        if (m_pg) {
            PGresult *r = PQexec(m_pg, sql.toUtf8().constData());
            if (PQresultStatus(r) != PGRES_TUPLES_OK)
                qFatal("raw query failed: %s: %s", PQresultErrorMessage(r), sql.toUtf8().constData());
            for (int i = 0; i < PQntuples(r); ++i) {
                QStringList row;
                for (int c = 0; c < PQnfields(r); ++c) {
                    if (PQgetisnull(r, i, c)) {
                        row << QStringLiteral("NULL");
                        continue;
                    }
                    QString v = QString::fromUtf8(PQgetvalue(r, i, c));
                    if (PQftype(r, c) == 16)
                        v = v == QLatin1String("t") ? QStringLiteral("1") : QStringLiteral("0");
                    else if (PQftype(r, c) == 1114 && v.size() > 10)
                        v[10] = QLatin1Char('T');
                    row << v;
                }
                result << row;
            }
            PQclear(r);
            return result;
        }
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            qFatal("raw prepare failed: %s", sqlite3_errmsg(m_db));
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QStringList row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                if (sqlite3_column_type(stmt, i) == SQLITE_NULL)
                    row << QStringLiteral("NULL");
                else
                    row << QString::fromUtf8(
                        reinterpret_cast<const char *>(sqlite3_column_text(stmt, i)));
            }
            result << row;
        }
        sqlite3_finalize(stmt);
        return result;
    }
    QString scalar(const QString &sql)
    {
        const QList<QStringList> r = rows(sql);
        return r.isEmpty() || r.first().isEmpty() ? QString() : r.first().first();
    }
    QStringList column(const QString &sql)
    {
        QStringList values;
        for (const QStringList &row : rows(sql))
            values << row.value(0);
        return values;
    }
    sqlite3 *handle() const { return m_db; }
    PGconn *server() const { return m_pg; }

private:
    sqlite3 *m_db = nullptr;
    PGconn *m_pg = nullptr;
};

// A new catalogue made by the schema code: a file in `folder`, or (server) a new database
// on the test's server.
inline QString makeCatalogue(const QString &folder,
    const QString &name = QStringLiteral("quillomar.mdb"),
    const QString &version = compiledVersion(), bool server = false)
{
    if (server) {
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        if (!pg.isRunning())
            qFatal("the test's PostgreSQL server did not start: %s", qPrintable(pg.error()));
        const QString location = pg.createDatabase();
        Schema::createCatalogue(location, version);
        return location;
    }
    const QString path = QDir(folder).filePath(name);
    Schema::createCatalogue(path, version);
    return path;
}
// The same on the engine of the current row.
inline QString catalogue(const QString &folder,
    const QString &name = QStringLiteral("quillomar.mdb"),
    const QString &version = compiledVersion())
{
    return makeCatalogue(folder, name, version, onServer());
}

inline QByteArray digest(const QString &path)
{
    return QCryptographicHash::hash(testsupport::readFile(path), QCryptographicHash::Sha256);
}

inline QStringList listing(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Another process (the sqlite3 shell) holding a write transaction on a catalogue until
// release() or destruction.
class LockHolder {
public:
    explicit LockHolder(const QString &path, const QString &afterLock = QString())
    {
        m_process.setProgram(QStringLiteral("sqlite3"));
        m_process.setArguments({ path });
        m_process.start();
        if (!m_process.waitForStarted(10000))
            qFatal("sqlite3 shell did not start");
        QByteArray script = "PRAGMA busy_timeout = 10000;\n"
                            "BEGIN IMMEDIATE;\n"
                            "UPDATE CatalogInfo SET Version = Version;\n"
                            ".print locked\n";
        script += afterLock.toUtf8();
        m_process.write(script);
        QByteArray seen;
        while (!seen.contains("locked")) {
            if (!m_process.waitForReadyRead(10000))
                qFatal("sqlite3 shell never took the lock: %s",
                    m_process.readAllStandardError().constData());
            seen += m_process.readAllStandardOutput();
        }
    }
    ~LockHolder() { release(); }
    void release()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.write("ROLLBACK;\n.quit\n");
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
};

} // namespace storetest

namespace storetest {

// The message a wait for another client's lock ends in, on the server.
inline const char *serverBusyText()
{
    return "Outro usuário do catálogo está alterando os mesmos dados (por exemplo, uma "
           "varredura em andamento) e não os liberou a tempo. Tente de novo quando ele terminar.";
}

// Another client writing the catalogue's information and storages on the server, until
// release() or destruction: it holds those tables against writers, never readers (`lock`
// says what else to hold).
class ServerLockHolder {
public:
    explicit ServerLockHolder(const QString &location,
        const char *lock = "LOCK TABLE CatalogInfo, Storages IN SHARE ROW EXCLUSIVE MODE")
    {
        m_pg = PQconnectdb(location.toUtf8().constData());
        if (PQstatus(m_pg) != CONNECTION_OK)
            qFatal("lock holder could not connect: %s", PQerrorMessage(m_pg));
        PQsetNoticeProcessor(m_pg, [](void *, const char *) {}, nullptr);
        PQclear(PQexec(m_pg, "BEGIN"));
        PGresult *r = PQexec(m_pg, lock);
        if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK)
            qFatal("lock holder got no lock: %s", PQresultErrorMessage(r));
        PQclear(r);
    }
    ~ServerLockHolder() { release(); }
    // Sends SQL without waiting for it (the holder ends its transaction later by itself).
    void send(const char *sql)
    {
        if (!PQsendQuery(m_pg, sql))
            qFatal("lock holder could not send: %s", PQerrorMessage(m_pg));
    }
    void release()
    {
        if (!m_pg)
            return;
        while (PGresult *r = PQgetResult(m_pg))
            PQclear(r);
        PQclear(PQexec(m_pg, "ROLLBACK"));
        PQfinish(m_pg);
        m_pg = nullptr;
    }

private:
    PGconn *m_pg = nullptr;
};

} // namespace storetest
