#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

struct sqlite3;
class Dialect;
class EngineConnection;

// One open catalogue, reached through a connection string: a SQLite file, or a database on a
// PostgreSQL server. Every failing call throws DbError carrying the engine's message text.
//
// Meaning of the connection strings:
// - "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=PATH;" opens the existing file PATH
//   read-write; read-only when the file may not be written, and as an unchanging file when
//   not even a journal can be made in its folder (a disc, a read-only mount). It never
//   creates a file, and it refuses a file that is not a SQLite database or lacks a
//   required table.
// - The same with a server location as PATH (postgresql://[user@]host[:port]/database,
//   libpq's URI), or "Provider=PostgreSQL;Data Source=LOCATION;", opens that database on
//   its server; connectionString() then names the provider PostgreSQL. The password comes
//   from setPassword(), else from libpq's own sources (~/.pgpass).
// - Every other provider (Jet 5.0, Jet 3.51, MSDASQL with an Access ODBC driver) is not
//   available here and fails with a message naming it and the last engine error met.
// Opening never writes: a file keeps the journal mode it has (new files get the rollback
// journal, so the file alone is the whole catalogue after every commit). Foreign keys are
// on, the busy timeout set; write transactions take the write lock when they begin.
class Connection : public QObject {
    Q_OBJECT
public:
    explicit Connection(QObject *parent = nullptr);
    ~Connection() override;

    // True for a catalogue location on a server ("postgresql://...").
    static bool isServerLocation(const QString &location);
    // The user a server location logs in as (libpq's default when it names none: PGUSER,
    // else the system's user) and its server (host, and port when given).
    static QString serverUser(const QString &location);
    static QString serverAddress(const QString &location);
    // A file's absolute path; a server location as it is.
    static QString absoluteLocation(const QString &location);
    // The folder and file name a location is kept as (DatabaseFolder, DatabaseFileName):
    // for a server, "postgresql://host[:port]" and the database.
    static void splitLocation(const QString &location, QString *folder, QString *file);

    // Opens from a connection string; throws DbError when it cannot (and stays closed).
    void open(const QString &connectionString);
    // Opens a catalogue file, or a server location, directly, as the first provider does
    // (schema code, tests).
    void openFile(const QString &location);
    // Creates a new, empty database file (rollback journal) and opens it; refuses an
    // existing file.
    void createFile(const QString &path);
    // Closes; record sets and queries on this connection must be closed first.
    void close();
    bool isOpen() const;

    // The connection string that opened, empty for openFile/createFile or when closed.
    QString connectionString() const { return m_connectionString; }
    // Absolute path of the open file, or the server location; empty when closed.
    QString filePath() const { return m_filePath; }
    // The server's host (and port) of a server catalogue; empty for a file.
    QString serverHost() const;
    // True when the catalogue could be opened for reading only.
    bool isReadOnly() const;

    // The password for a server location (not kept in any connection string).
    void setPassword(const QString &password) { m_password = password; }

    // Tables a file must hold to be accepted by open()/openFile() (empty: no check).
    void setRequiredTables(const QStringList &tables) { m_requiredTables = tables; }
    QStringList requiredTables() const { return m_requiredTables; }
    // Milliseconds a statement waits for another process's lock before failing (>= 5000).
    void setBusyTimeout(int milliseconds);
    int busyTimeout() const { return m_busyTimeout; }

    // Begins a write transaction. A file's holds the file's write lock from the start, so a
    // read cannot turn into a write that deadlocks (BEGIN IMMEDIATE); a server's takes no
    // lock of the whole catalogue (see lockUntilEnd). Throws when one is already open.
    void beginTransaction();
    // Until the open transaction ends, holds the lock that guards one kind of change: `what`
    // names it (a table's unique names, a drive's storage), `key` the one guarded (a folded
    // name). Writers of the same key wait for each other, at most the busy timeout; others
    // never. Shared holders wait only for one holding it alone. A file's transaction holds
    // the whole file already; outside a transaction nothing is held.
    void lockUntilEnd(const QString &what, const QString &key = QString(), bool shared = false);
    void commit();
    void rollback();
    bool inTransaction() const;

    // Runs SQL text without parameters or result (PRAGMA, DDL); throws on failure.
    void exec(const QString &sql);
    // Names of the columns of a table, in the table's order; throws when it has none.
    QStringList columnNames(const QString &table) const;
    // True when the table (or view) exists.
    bool hasTable(const QString &table) const;

    // Rows changed by this connection since it opened.
    qint64 totalChanges() const;
    // The row id (key) given to the last row inserted on this connection.
    qint64 lastInsertRowId() const;
    // Statements on this connection that hold a read open (have returned a row and were
    // neither reset nor finished); 0 whenever control is back in the event loop.
    int steppingStatements() const;
    // SQLite's handle, for what that engine offers beyond statements (functions,
    // collations); null when closed or on a server. Never prepare on it directly.
    sqlite3 *handle() const;
    // The engine behind the connection, for Statement; null when closed.
    EngineConnection *engine() const { return m_engine.get(); }
    // What the open engine says differently (SQLite's when closed).
    const Dialect &dialect() const;
    // The engine's last message on this connection.
    QString lastEngineMessage() const;

signals:
    // Emitted right before the connection closes.
    void aboutToClose();

private:
    void openSqlite(const QString &path, bool create);
    void openServer(const QString &location);
    void checkRequiredTables();
    [[noreturn]] void fail(const QString &message, int code = 0);

    QString m_connectionString;
    QString m_filePath;
    QString m_password;
    QString m_lastOpenError; // last engine error of an attempt, named by later tries
    QStringList m_requiredTables;
    std::unique_ptr<EngineConnection> m_engine;
    sqlite3 *m_sqlite = nullptr; // the SQLite engine's handle, when that is the engine
    int m_busyTimeout = 5000;
};
