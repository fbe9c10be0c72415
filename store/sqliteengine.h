#pragma once

#include "store/sqlengine.h"

struct sqlite3;

// The embedded engine: one catalogue file opened through SQLite's C API.
class SqliteConnection : public EngineConnection {
public:
    // Opens `path` (see Connection for the modes); `create`: a file just claimed, empty.
    SqliteConnection(const QString &path, bool create, int busyTimeout);
    ~SqliteConnection() override;

    std::unique_ptr<EngineStatement> prepare(
        const QByteArray &utf8, qsizetype offset, bool persistent, qsizetype *next) override;
    void execScript(const QString &sql) override;

    bool isReadOnly() const override;
    void setBusyTimeout(int milliseconds) override;
    void begin() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const override;
    // The write transaction holds the whole file already.
    void lockUntilEnd(const QByteArray &, const QByteArray &, bool) override { }

    bool hasTable(const QString &table) override;
    qint64 totalChanges() const override;
    qint64 lastInsertRowId() override;
    int steppingStatements() const override;
    QString lastEngineMessage() const override;
    const Dialect &dialect() const override;

    sqlite3 *handle() const { return m_handle; }
    QString filePath() const { return m_filePath; }

private:
    void exec(const char *sql);

    sqlite3 *m_handle = nullptr;
    QString m_filePath;
};
