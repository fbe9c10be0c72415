#include "store/command.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/sqlparams.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {
[[noreturn]] void raise(const QSqlError &error)
{
    throw DbError(error.databaseText().isEmpty() ? error.text() : error.databaseText(),
        error.nativeErrorCode().toInt());
}
} // namespace

Command::Command(Connection &connection) : m_connection(connection) { }

void Command::setSql(const QString &text)
{
    m_sql = text;
    m_params.clear();
}

void Command::setParam(const QString &name, const QVariant &value)
{
    SqlParams(m_sql).setValue(m_params, name, value);
}

int Command::execute()
{
    if (!m_connection.isOpen())
        throw DbError(QStringLiteral("the catalogue is not open"));
    const SqlParams params(m_sql);
    QSqlQuery query(m_connection.database());
    if (!query.prepare(params.numberedSql()))
        raise(query.lastError());
    params.bind(query, m_params);
    if (!query.exec())
        raise(query.lastError());
    const int rows = query.numRowsAffected();
    query.finish();
    return rows;
}
