#include "store/command.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/sqlparams.h"
#include "store/statement.h"

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
    const SqlParams params(m_sql);
    Statement statement(m_connection, params.numberedSql());
    Statement::Reset done(statement);
    params.bind(statement, m_params);
    return statement.exec();
}
