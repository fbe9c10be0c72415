#include "store/query.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/dbvalues.h"
#include "store/resultmodel.h"
#include "store/sqlparams.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {
[[noreturn]] void raise(const QSqlError &error)
{
    throw DbError(error.databaseText().isEmpty() ? error.text() : error.databaseText(),
        error.nativeErrorCode().toInt());
}
} // namespace

Query::Query(Connection &connection) : m_connection(connection) { }

Query::~Query() = default;

void Query::clearSql()
{
    close();
    m_lines.clear();
    m_params.clear();
}

void Query::addLine(const QString &line)
{
    close();
    m_lines << line;
    m_params.clear();
}

void Query::setSql(const QString &text)
{
    setSql(text.split(QLatin1Char('\n')));
}

void Query::setSql(const QStringList &lines)
{
    close();
    m_lines = lines;
    m_params.clear();
}

void Query::setParam(const QString &name, const QVariant &value)
{
    SqlParams(sql()).setValue(m_params, name, value);
}

void Query::open()
{
    close();
    if (!m_connection.isOpen())
        throw DbError(QStringLiteral("the catalogue is not open"));
    const SqlParams params(sql());
    auto query = std::make_unique<QSqlQuery>(m_connection.database());
    query->setForwardOnly(true);
    if (!query->prepare(params.numberedSql()))
        raise(query->lastError());
    params.bind(*query, m_params);
    if (!query->exec())
        raise(query->lastError());
    const QSqlRecord record = query->record();
    m_fields.clear();
    for (int i = 0; i < record.count(); ++i)
        m_fields << record.fieldName(i);
    m_query = std::move(query);
    m_open = true;
    m_eof = false;
    fetch();
    m_empty = m_eof;
}

void Query::fetch()
{
    m_row.clear();
    if (m_query->next()) {
        m_row.reserve(m_fields.size());
        for (int i = 0; i < m_fields.size(); ++i) {
            const QVariant v = m_query->value(i);
            m_row << (v.isNull() ? QVariant() : v);
        }
        return;
    }
    const QSqlError error = m_query->lastError();
    m_query->finish(); // ends the read snapshot as soon as the rows are done
    m_eof = true;
    if (error.isValid())
        raise(error);
}

void Query::close()
{
    if (m_query)
        m_query->finish();
    m_query.reset();
    m_row.clear();
    m_open = false;
    m_eof = true;
    m_empty = true;
}

void Query::next()
{
    if (!m_open)
        throw DbError(QStringLiteral("the query is not open"));
    if (m_eof)
        return;
    fetch();
}

int Query::recordCount() const
{
    if (!m_connection.isOpen())
        throw DbError(QStringLiteral("the catalogue is not open"));
    const SqlParams params(
        QStringLiteral("SELECT count(*) FROM (\n") + sql() + QStringLiteral("\n)"));
    QSqlQuery query(m_connection.database());
    query.setForwardOnly(true);
    if (!query.prepare(params.numberedSql()))
        raise(query.lastError());
    params.bind(query, m_params);
    if (!query.exec() || !query.next())
        raise(query.lastError());
    const int count = query.value(0).toInt();
    query.finish();
    return count;
}

int Query::fieldIndex(const QString &field) const
{
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).compare(field, Qt::CaseInsensitive) == 0)
            return i;
    }
    throw DbError(QStringLiteral("Field '%1' not found").arg(field));
}

QVariant Query::value(const QString &field) const
{
    const int i = fieldIndex(field);
    return i < m_row.size() ? m_row.at(i) : QVariant();
}

QString Query::asString(const QString &field) const
{
    return value(field).toString();
}

qint64 Query::asInt(const QString &field) const
{
    return value(field).toLongLong();
}

double Query::asFloat(const QString &field) const
{
    return value(field).toDouble();
}

bool Query::asBool(const QString &field) const
{
    const QVariant v = value(field);
    if (v.metaType().id() == QMetaType::QString)
        return v.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
            || v.toLongLong() != 0;
    return v.toLongLong() != 0 || v.toBool();
}

QDateTime Query::asDateTime(const QString &field) const
{
    return dbvalues::fromDbDate(value(field));
}

bool Query::isNull(const QString &field) const
{
    const QVariant v = value(field);
    return !v.isValid() || v.isNull();
}

ResultModel *Query::createModel(QObject *parent) const
{
    if (!m_connection.isOpen())
        throw DbError(QStringLiteral("the catalogue is not open"));
    const SqlParams params(sql());
    QSqlQuery query(m_connection.database());
    query.setForwardOnly(true);
    if (!query.prepare(params.numberedSql()))
        raise(query.lastError());
    params.bind(query, m_params);
    if (!query.exec())
        raise(query.lastError());
    const QSqlRecord record = query.record();
    QStringList columns;
    for (int i = 0; i < record.count(); ++i)
        columns << record.fieldName(i);
    QList<QList<QVariant>> rows;
    while (query.next()) {
        QList<QVariant> row;
        row.reserve(columns.size());
        for (int i = 0; i < columns.size(); ++i) {
            const QVariant v = query.value(i);
            row << (v.isNull() ? QVariant() : v);
        }
        rows << row;
    }
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid())
        raise(error);
    return new ResultModel(columns, std::move(rows), parent);
}
