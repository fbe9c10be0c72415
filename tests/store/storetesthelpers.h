#pragma once

#include "core/versiontools.h"
#include "store/schema.h"
#include "support/testsupport.h"
#include "support/unwritable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QVariant>
#include <QtTest>
#include <sqlite3.h>
#include <unistd.h>

// Helpers of the store tests. Checks go through SQLite's own C API, not the binding under
// test, so that a fault of the binding cannot hide itself.
namespace storetest {

// A second, independent connection on a catalogue file.
class RawDb {
public:
    explicit RawDb(const QString &path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr)
            != SQLITE_OK)
            qFatal("raw open failed: %s", sqlite3_errmsg(m_db));
        sqlite3_busy_timeout(m_db, 5000);
        exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    }
    ~RawDb() { sqlite3_close(m_db); }
    RawDb(const RawDb &) = delete;
    RawDb &operator=(const RawDb &) = delete;

    void exec(const QString &sql)
    {
        char *err = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
            const QByteArray msg = err ? QByteArray(err) : QByteArray();
            sqlite3_free(err);
            qFatal("raw exec failed: %s: %s", msg.constData(), sql.toUtf8().constData());
        }
    }
    // Every row of a query, each value as text ("NULL" for null).
    QList<QStringList> rows(const QString &sql)
    {
        QList<QStringList> result;
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

private:
    sqlite3 *m_db = nullptr;
};

// A new catalogue made by the schema code.
inline QString makeCatalogue(const QString &folder,
    const QString &name = QStringLiteral("quillomar.mdb"),
    const QString &version = compiledVersion())
{
    const QString path = QDir(folder).filePath(name);
    Schema::createCatalogue(path, version);
    return path;
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
