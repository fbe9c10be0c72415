#include "store/dberror.h"

#include <sqlite3.h>

DbError::DbError(const QString &message, int code, Kind kind)
    : m_message(message), m_utf8(message.toUtf8()), m_code(code), m_kind(kind)
{
}

DbError DbError::fromEngine(sqlite3 *db, int rc)
{
    // The handle's message belongs to its last call; without a handle only the code speaks.
    const int code = db ? sqlite3_extended_errcode(db) : rc;
    const char *text = db && code != SQLITE_OK ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    const int extended = code != SQLITE_OK ? code : rc;
    Kind kind = Kind::Other;
    switch (extended & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: kind = Kind::Busy; break;
    case SQLITE_READONLY: kind = Kind::ReadOnly; break;
    case SQLITE_CONSTRAINT: kind = Kind::Constraint; break;
    case SQLITE_CANTOPEN: kind = Kind::Connection; break;
    default: break;
    }
    return DbError(QString::fromUtf8(text), extended, kind);
}

DbError DbError::fromServer(const QString &message, const QByteArray &sqlState)
{
    Kind kind = Kind::Other;
    if (sqlState == "55P03" || sqlState == "40P01" || sqlState == "40001")
        kind = Kind::Busy; // lock not available, deadlock, serialization
    else if (sqlState == "25006" || sqlState == "42501")
        kind = Kind::ReadOnly; // read-only transaction, no privilege
    else if (sqlState.startsWith("23"))
        kind = Kind::Constraint;
    else if (sqlState.startsWith("08") || sqlState.startsWith("57P") || sqlState.isEmpty())
        kind = Kind::Connection;
    DbError error(message, 0, kind);
    error.m_sqlState = sqlState;
    return error;
}

DbError DbError::unreachable(const QString &message, Reach reach, const QString &detail)
{
    DbError error(message, 0, Kind::Connection);
    error.m_reach = reach;
    error.m_detail = detail;
    return error;
}
