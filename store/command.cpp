#include "command.h"

#include "connection.h"
#include "dberror.h"
#include "sqlparams.h"

#include <QSqlError>
#include <QSqlQuery>

Command::Command(Connection &connection) : m_connection(connection) {}

void Command::setSql(const QString &text)
{
    m_sql = text;
    m_params.clear();
}

void Command::setParam(const QString &name, const QVariant &value)
{
    if (!SqlParams(m_sql).has(name))
        throw DbError(QStringLiteral("Parameter :%1 not found").arg(name));
    m_params.insert(name, value);
}

int Command::execute()
{
    if (!m_connection.isOpen())
        throw DbError(QStringLiteral("the catalogue is not open"));
    const SqlParams params(m_sql);
    QSqlQuery query(m_connection.database());
    if (!query.prepare(params.numberedSql()))
        throw DbError(query.lastError().databaseText(), query.lastError().nativeErrorCode().toInt());
    params.bind(query, m_params);
    if (!query.exec())
        throw DbError(query.lastError().databaseText(), query.lastError().nativeErrorCode().toInt());
    const int rows = query.numRowsAffected();
    query.finish();
    return rows;
}
