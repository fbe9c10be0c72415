#include "store/dberror.h"

#include <sqlite3.h>

DbError::DbError(const QString &message, int code)
    : m_message(message), m_utf8(message.toUtf8()), m_code(code)
{
}

DbError DbError::fromEngine(sqlite3 *db, int rc)
{
    // The handle's message belongs to its last call; without a handle only the code speaks.
    const int code = db ? sqlite3_extended_errcode(db) : rc;
    const char *text = db && code != SQLITE_OK ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    return DbError(QString::fromUtf8(text), code != SQLITE_OK ? code : rc);
}
