#include "store/query.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/dbvalues.h"
#include "store/resultmodel.h"
#include "store/sqlparams.h"
#include "store/statement.h"

#include <QCoreApplication>
#include <QObject>
#include <optional>

struct Query::Cursor {
    Statement statement;
};

Query::Query(Connection &connection) : m_connection(connection)
{
    // The statement goes before the handle it was prepared on.
    m_closeWatch = QObject::connect(&m_connection, &Connection::aboutToClose, [this] { close(); });
}

Query::~Query()
{
    QObject::disconnect(m_closeWatch);
    close();
}

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
    const SqlParams params(sql());
    auto cursor
        = std::unique_ptr<Cursor>(new Cursor { Statement(m_connection, params.numberedSql()) });
    params.bind(cursor->statement, m_params);
    m_fields.clear();
    for (int i = 0, n = cursor->statement.columnCount(); i < n; ++i)
        m_fields << cursor->statement.columnName(i);
    m_cursor = std::move(cursor);
    m_open = true;
    m_eof = false;
    try {
        fetch();
    } catch (...) {
        close();
        throw;
    }
    m_empty = m_eof;
    // Left open past the current event, the rest is read ahead and the read ended.
    if (m_cursor && QCoreApplication::instance()) {
        m_drainContext = std::make_unique<QObject>();
        QMetaObject::invokeMethod(
            m_drainContext.get(), [this] { drain(); }, Qt::QueuedConnection);
    }
}

QList<QVariant> Query::readRow() const
{
    QList<QVariant> row;
    row.reserve(m_fields.size());
    for (int i = 0; i < m_fields.size(); ++i)
        row << m_cursor->statement.value(i);
    return row;
}

void Query::fetch()
{
    m_row.clear();
    if (!m_pending.empty()) {
        m_row = std::move(m_pending.front());
        m_pending.pop_front();
        return;
    }
    if (m_cursor) {
        bool hasRow = false;
        try {
            hasRow = m_cursor->statement.step();
        } catch (...) {
            finishStatement();
            m_eof = true;
            throw;
        }
        if (hasRow) {
            m_row = readRow();
            return;
        }
    }
    // The rows are done: the read ends now, not when the query is closed.
    finishStatement();
    m_eof = true;
    if (m_drainError) {
        const DbError error = *m_drainError;
        m_drainError.reset();
        throw error;
    }
}

void Query::finishStatement()
{
    m_cursor.reset();
    m_drainContext.reset();
}

void Query::drain()
{
    if (!m_cursor)
        return;
    try {
        while (m_cursor->statement.step())
            m_pending.push_back(readRow());
    } catch (const DbError &e) {
        m_drainError = e; // reported where the reader reaches it
    }
    // Only the statement: the context object is the one delivering this call.
    m_cursor.reset();
}

void Query::close()
{
    finishStatement();
    m_pending.clear();
    m_drainError.reset();
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
    const SqlParams params(
        QStringLiteral("SELECT count(*) FROM (\n") + sql() + QStringLiteral("\n) AS qm_counted"));
    Statement statement(m_connection, params.numberedSql());
    Statement::Reset done(statement);
    params.bind(statement, m_params);
    return statement.step() ? int(statement.integer(0)) : 0;
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
    const SqlParams params(sql());
    Statement statement(m_connection, params.numberedSql());
    Statement::Reset done(statement);
    params.bind(statement, m_params);
    QStringList columns;
    for (int i = 0, n = statement.columnCount(); i < n; ++i)
        columns << statement.columnName(i);
    QList<QList<QVariant>> rows;
    while (statement.step()) {
        QList<QVariant> row;
        row.reserve(columns.size());
        for (int i = 0; i < columns.size(); ++i)
            row << statement.value(i);
        rows << row;
    }
    return new ResultModel(columns, std::move(rows), parent);
}
