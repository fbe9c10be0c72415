#pragma once

#include "store/dberror.h"
#include "store/dbvalues.h"

#include <QByteArray>
#include <QVariant>

#include <sqlite3.h>

// One prepared statement of the scan, finalized with it.
class ScanStatement {
public:
    ScanStatement(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr)
            != SQLITE_OK) {
            const DbError error(
                QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
            sqlite3_finalize(m_stmt);
            throw error;
        }
    }
    ~ScanStatement() { sqlite3_finalize(m_stmt); }
    ScanStatement(const ScanStatement &) = delete;
    ScanStatement &operator=(const ScanStatement &) = delete;

    void text(int index, const char *data, qsizetype length)
    {
        // Empty texts are stored as null, as every post of the store does.
        check(length == 0 ? sqlite3_bind_null(m_stmt, index)
                          : sqlite3_bind_text(m_stmt, index, data, int(length), SQLITE_STATIC));
    }
    void text(int index, const QByteArray &data) { text(index, data.constData(), data.size()); }
    void integer(int index, qint64 value) { check(sqlite3_bind_int64(m_stmt, index, value)); }
    void value(int index, const QVariant &v)
    {
        const QVariant stored = dbvalues::toDbValue(v);
        if (!stored.isValid() || stored.isNull()) {
            check(sqlite3_bind_null(m_stmt, index));
            return;
        }
        switch (stored.metaType().id()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong: integer(index, stored.toLongLong()); break;
        case QMetaType::Double: check(sqlite3_bind_double(m_stmt, index, stored.toDouble())); break;
        case QMetaType::QByteArray: {
            const QByteArray blob = stored.toByteArray();
            check(sqlite3_bind_blob(
                m_stmt, index, blob.constData(), int(blob.size()), SQLITE_TRANSIENT));
            break;
        }
        default: {
            const QByteArray utf8 = stored.toString().toUtf8();
            check(utf8.isEmpty() ? sqlite3_bind_null(m_stmt, index)
                                 : sqlite3_bind_text(m_stmt, index, utf8.constData(),
                                     int(utf8.size()), SQLITE_TRANSIENT));
        }
        }
    }
    // True when a row came; the statement stays on it until reset().
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        const DbError error(
            QString::fromUtf8(sqlite3_errmsg(m_db)), sqlite3_extended_errcode(m_db));
        sqlite3_reset(m_stmt);
        throw error;
    }
    void reset() { sqlite3_reset(m_stmt); }
    qint64 columnInt(int column) const { return sqlite3_column_int64(m_stmt, column); }
    QByteArray columnText(int column) const
    {
        const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return data ? QByteArray(data, sqlite3_column_bytes(m_stmt, column)) : QByteArray();
    }
    bool columnIsNull(int column) const
    {
        return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(m_db)), sqlite3_extended_errcode(m_db));
    }

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};
