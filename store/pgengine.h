#pragma once

#include "store/sqlengine.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>

struct pg_conn;
class PgStatement;

// The server engine: one catalogue in a PostgreSQL database, reached through libpq.
// Statements are prepared on the server and their rows read one at a time as they arrive
// (libpq's single-row mode), so a million rows never sit in memory at once. The server
// takes one statement at a time on a connection: when another statement needs it while
// rows are still pending, the rest of those rows are read into memory first.
// A write transaction takes no lock of the whole catalogue: it holds the rows it writes and
// the advisory locks of what it guards (a name being made unique, the files a scan adds),
// so that a long scan never blocks another machine's unrelated edits. Reads never wait.
class PgConnection : public EngineConnection {
public:
    // Connects to `location` (postgresql://[user@]host[:port]/database, libpq's URI);
    // `password` empty: libpq's own sources (~/.pgpass, PGPASSWORD).
    PgConnection(const QString &location, const QString &password, int busyTimeout);
    ~PgConnection() override;

    std::unique_ptr<EngineStatement> prepare(
        const QByteArray &utf8, qsizetype offset, bool persistent, qsizetype *next) override;
    void execScript(const QString &sql) override;

    bool isReadOnly() const override { return m_readOnly; }
    void setBusyTimeout(int milliseconds) override;
    void begin() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const override;
    void lockUntilEnd(const QByteArray &what, const QByteArray &key, bool shared) override;

    bool hasTable(const QString &table) override;
    qint64 totalChanges() const override { return m_totalChanges; }
    qint64 lastInsertRowId() override;
    int steppingStatements() const override;
    QString lastEngineMessage() const override { return m_lastMessage; }
    const Dialect &dialect() const override;

    // The host (and port, when given) of the server.
    QString host() const;
    // Where and as whom it connected, for a second connection to the same catalogue.
    QString location() const { return m_location; }
    QString password() const { return m_password; }

    // Every commit that changed rows tells the catalogue's other clients on this channel
    // (the notice names the sending server process, so a client can skip its own).
    static const char *changeChannel() { return "quillomar_changes"; }

    // ---- for PgStatement ----
    pg_conn *handle() const { return m_conn; }
    // Frees the connection for a new request: pending rows of another statement are read
    // into memory, and prepared statements no longer used are dropped.
    void claim(PgStatement *claimant = nullptr);
    void setOwner(PgStatement *owner) { m_owner = owner; }
    PgStatement *owner() const { return m_owner; }
    void attach(PgStatement *statement) { m_statements.insert(statement); }
    void detach(PgStatement *statement, const QByteArray &name);
    void addChanges(qint64 rows) { m_totalChanges += rows; }
    void noteError(const QString &message) { m_lastMessage = message; }
    // The name as the program writes it, for a name the server gives in lower case.
    QString spelling(const QString &lower) const { return m_spellings.value(lower, lower); }
    // Names as the program writes them, learnt from its texts (the first spelling stays).
    void learnSpellings(const QHash<QString, QString> &spellings);

    // False once the connection is gone: a statement kept past it touches nothing.
    std::shared_ptr<const bool> alive() const { return m_alive; }

    // Throws DbError for a failed result (and clears it), or for a lost connection.
    [[noreturn]] void fail(struct pg_result *result);
    [[noreturn]] void failConnection();

    // After rows were written outside a transaction: the others are told at once.
    void wroteOutsideTransaction();

private:
    // Runs one command without parameters; returns its result (caller clears it).
    struct pg_result *run(const QByteArray &sql);
    void runChecked(const QByteArray &sql);

    void notifyChange();
    void setUpSession();
    // A new session after the server was lost (statements are prepared again on use).
    void reconnect();

    pg_conn *m_conn = nullptr;
    QString m_location;
    QString m_password;
    qint64 m_changesAtBegin = 0;
    int m_busyTimeout = 5000;
    bool m_inTransaction = false; // begun here, whatever became of the session
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    PgStatement *m_owner = nullptr;
    QSet<PgStatement *> m_statements;
    QList<QByteArray> m_unused; // prepared statements to drop
    QHash<QString, QString> m_spellings;
    QString m_lastMessage;
    qint64 m_totalChanges = 0;
    quint64 m_counter = 0;
    bool m_readOnly = false;
};
