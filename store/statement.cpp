#include "store/statement.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/dbvalues.h"

#include <sqlite3.h>

namespace {

const QString notOpen = QStringLiteral("o catálogo não está aberto");
const QString oneAtATime = QStringLiteral("O texto SQL contém mais de um comando.");

bool isBlank(const char *p)
{
    for (; *p; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';')
            return false;
    }
    return true;
}

} // namespace

Statement::Statement(Connection &connection, const QString &sql, Lifetime lifetime)
    : Statement(connection, sql.toUtf8(), lifetime)
{
}

Statement::Statement(Connection &connection, const QByteArray &utf8Sql, Lifetime lifetime)
    : m_connection(connection), m_db(connection.handle())
{
    const char *tail = nullptr;
    prepare(utf8Sql.constData(), int(utf8Sql.size()), lifetime, &tail);
    if (tail && !isBlank(tail)) {
        // Whatever follows must compile to nothing (a comment), or the text is refused.
        const char *rest = tail;
        const char *after = nullptr;
        sqlite3_stmt *extra = nullptr;
        const int rc = sqlite3_prepare_v2(m_db, rest, -1, &extra, &after);
        const bool empty = rc == SQLITE_OK && !extra;
        sqlite3_finalize(extra);
        if (!empty) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
            throw DbError(oneAtATime);
        }
    }
}

Statement::Statement(
    Connection &connection, const char *utf8, int size, Lifetime lifetime, const char **tail)
    : m_connection(connection), m_db(connection.handle())
{
    prepare(utf8, size, lifetime, tail);
}

void Statement::prepare(const char *utf8, int size, Lifetime lifetime, const char **tail)
{
    if (!m_db)
        throw DbError(notOpen);
    const unsigned flags = lifetime == Lifetime::Persistent ? SQLITE_PREPARE_PERSISTENT : 0;
    const int rc = sqlite3_prepare_v3(m_db, utf8, size, flags, &m_stmt, tail);
    if (rc != SQLITE_OK) {
        const DbError error = DbError::fromEngine(m_db, rc);
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw error;
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement::Reset::~Reset()
{
    m_statement.reset();
}

void Statement::check(int rc) const
{
    if (rc != SQLITE_OK)
        throw DbError::fromEngine(m_db, rc);
}

// ---- parameters ---------------------------------------------------------------------------

int Statement::parameterCount() const
{
    return m_stmt ? sqlite3_bind_parameter_count(m_stmt) : 0;
}

int Statement::parameterIndex(const QString &name) const
{
    if (!m_stmt)
        return 0;
    const QByteArray bare = name.toUtf8();
    for (const char mark : { ':', '@', '$' }) {
        const int i
            = sqlite3_bind_parameter_index(m_stmt, (QByteArray(1, mark) + bare).constData());
        if (i > 0)
            return i;
    }
    // The program's texts name parameters without regard to letter case.
    for (int i = 1, n = parameterCount(); i <= n; ++i) {
        const char *p = sqlite3_bind_parameter_name(m_stmt, i);
        if (p && *p && QString::fromUtf8(p + 1).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return 0;
}

void Statement::bind(int index, const QVariant &value)
{
    const QVariant stored = dbvalues::toDbValue(value);
    if (!stored.isValid() || stored.isNull()) {
        bindNull(index);
        return;
    }
    switch (stored.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar: bindInteger(index, stored.toLongLong()); break;
    case QMetaType::Double:
    case QMetaType::Float: bindReal(index, stored.toDouble()); break;
    case QMetaType::QByteArray: {
        const QByteArray bytes = stored.toByteArray();
        check(sqlite3_bind_blob64(
            m_stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT));
        break;
    }
    default: bindText(index, stored.toString());
    }
}

void Statement::bind(const QString &name, const QVariant &value)
{
    const int index = parameterIndex(name);
    if (index == 0)
        throw DbError(QStringLiteral("Parâmetro :%1 não encontrado").arg(name));
    bind(index, value);
}

void Statement::bindNull(int index)
{
    check(sqlite3_bind_null(m_stmt, index));
}

void Statement::bindInteger(int index, qint64 value)
{
    check(sqlite3_bind_int64(m_stmt, index, value));
}

void Statement::bindReal(int index, double value)
{
    check(sqlite3_bind_double(m_stmt, index, value));
}

void Statement::bindText(int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    check(sqlite3_bind_text64(m_stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()),
        SQLITE_TRANSIENT, SQLITE_UTF8));
}

void Statement::bindBorrowedUtf8(int index, const char *utf8, qsizetype size)
{
    // A null pointer would bind null; an empty text stays a text.
    check(sqlite3_bind_text64(
        m_stmt, index, utf8 ? utf8 : "", sqlite3_uint64(size), SQLITE_STATIC, SQLITE_UTF8));
}

void Statement::clearBindings()
{
    if (m_stmt)
        sqlite3_clear_bindings(m_stmt);
}

// ---- running ------------------------------------------------------------------------------

bool Statement::step()
{
    if (!m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const DbError error = DbError::fromEngine(m_db, rc);
    sqlite3_reset(m_stmt);
    throw error;
}

int Statement::exec()
{
    Reset done(*this);
    while (step()) { }
    return sqlite3_changes(m_db);
}

void Statement::reset()
{
    if (!m_stmt)
        return;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

void Statement::rewind()
{
    if (m_stmt)
        sqlite3_reset(m_stmt);
}

bool Statement::isStepping() const
{
    return m_stmt && sqlite3_stmt_busy(m_stmt);
}

// ---- columns ------------------------------------------------------------------------------

int Statement::columnCount() const
{
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

QString Statement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString Statement::columnDeclaredType(int column) const
{
    const char *declared = sqlite3_column_decltype(m_stmt, column);
    return declared ? QString::fromUtf8(declared) : QString();
}

int Statement::columnIndex(const QString &name) const
{
    for (int i = 0, n = columnCount(); i < n; ++i) {
        if (columnName(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

QString Statement::text(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, column));
}

QByteArray Statement::utf8(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return p ? QByteArray(p, sqlite3_column_bytes(m_stmt, column)) : QByteArray();
}

QByteArrayView Statement::utf8View(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return p ? QByteArrayView(p, sqlite3_column_bytes(m_stmt, column)) : QByteArrayView();
}

QVariant Statement::value(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER: return QVariant(qlonglong(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT: return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_TEXT: return QVariant(text(column));
    case SQLITE_BLOB: {
        const auto *p = static_cast<const char *>(sqlite3_column_blob(m_stmt, column));
        return QVariant(QByteArray(p, sqlite3_column_bytes(m_stmt, column)));
    }
    default: return QVariant();
    }
}

// ---- scripts ------------------------------------------------------------------------------

void Statement::execScript(Connection &connection, const QString &sql)
{
    const QByteArray utf8 = sql.toUtf8();
    const char *next = utf8.constData();
    const char *end = next + utf8.size();
    while (next < end && !isBlank(next)) {
        const char *tail = nullptr;
        Statement statement(connection, next, int(end - next), Lifetime::Once, &tail);
        statement.exec();
        if (!tail || tail <= next)
            break;
        next = tail;
    }
}
