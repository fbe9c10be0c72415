#include "command.h"

#include "connection.h"
#include "dberror.h"
#include "sqlparams.h"

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
    if (!SqlParams(m_sql).has(name))
        throw DbError(QStringLiteral("Parameter :%1 not found").arg(name));
    // Names ignore letter case, as in the text.
    for (auto it = m_params.begin(); it != m_params.end();) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            it = m_params.erase(it);
        else
            ++it;
    }
    m_params.insert(name, value);
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
