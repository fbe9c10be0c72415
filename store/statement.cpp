#include "store/statement.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/dbvalues.h"
#include "store/sqlengine.h"

namespace {

const QString notOpen = QStringLiteral("o catálogo não está aberto");
const QString oneAtATime = QStringLiteral("O texto SQL contém mais de um comando.");

} // namespace

Statement::Statement(Connection &connection, const QString &sql, Lifetime lifetime)
    : Statement(connection, sql.toUtf8(), lifetime)
{
}

Statement::Statement(Connection &connection, const QByteArray &utf8Sql, Lifetime lifetime)
    : m_connection(connection)
{
    EngineConnection *engine = connection.engine();
    if (!engine)
        throw DbError(notOpen);
    qsizetype next = utf8Sql.size();
    m_impl = engine->prepare(utf8Sql, 0, lifetime == Lifetime::Persistent, &next);
    if (next < utf8Sql.size()) {
        // Whatever follows must compile to nothing (a comment), or the text is refused.
        bool empty = false;
        try {
            qsizetype after = 0;
            empty = !engine->prepare(utf8Sql, next, false, &after);
        } catch (const DbError &) {
        }
        if (!empty) {
            m_impl.reset();
            throw DbError(oneAtATime);
        }
    }
}

Statement::~Statement() = default;

Statement::Reset::~Reset()
{
    m_statement.reset();
}

// ---- parameters ---------------------------------------------------------------------------

int Statement::parameterCount() const
{
    return m_impl ? m_impl->parameterCount() : 0;
}

int Statement::parameterIndex(const QString &name) const
{
    return m_impl ? m_impl->parameterIndex(name) : 0;
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
    case QMetaType::QByteArray:
        if (m_impl)
            m_impl->bindBlob(index, stored.toByteArray());
        break;
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
    if (m_impl)
        m_impl->bindNull(index);
}

void Statement::bindInteger(int index, qint64 value)
{
    if (m_impl)
        m_impl->bindInteger(index, value);
}

void Statement::bindReal(int index, double value)
{
    if (m_impl)
        m_impl->bindReal(index, value);
}

void Statement::bindText(int index, const QString &text)
{
    if (m_impl)
        m_impl->bindText(index, text.toUtf8());
}

void Statement::bindBorrowedUtf8(int index, const char *utf8, qsizetype size)
{
    if (m_impl)
        m_impl->bindBorrowedUtf8(index, utf8, size);
}

void Statement::clearBindings()
{
    if (m_impl)
        m_impl->clearBindings();
}

// ---- running ------------------------------------------------------------------------------

bool Statement::step()
{
    return m_impl && m_impl->step();
}

int Statement::exec()
{
    Reset done(*this);
    while (step()) { }
    return m_impl ? m_impl->changes() : 0;
}

void Statement::reset()
{
    if (m_impl)
        m_impl->reset();
}

void Statement::rewind()
{
    if (m_impl)
        m_impl->rewind();
}

bool Statement::isStepping() const
{
    return m_impl && m_impl->isStepping();
}

// ---- columns ------------------------------------------------------------------------------

int Statement::columnCount() const
{
    return m_impl ? m_impl->columnCount() : 0;
}

QString Statement::columnName(int column) const
{
    return m_impl ? m_impl->columnName(column) : QString();
}

QString Statement::columnDeclaredType(int column) const
{
    return m_impl ? m_impl->columnDeclaredType(column) : QString();
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
    return !m_impl || m_impl->isNull(column);
}

qint64 Statement::integer(int column) const
{
    return m_impl ? m_impl->integer(column) : 0;
}

double Statement::real(int column) const
{
    return m_impl ? m_impl->real(column) : 0;
}

QString Statement::text(int column) const
{
    return m_impl ? m_impl->text(column) : QString();
}

QByteArray Statement::utf8(int column) const
{
    return m_impl ? m_impl->utf8(column) : QByteArray();
}

QByteArrayView Statement::utf8View(int column) const
{
    return m_impl ? m_impl->utf8View(column) : QByteArrayView();
}

QVariant Statement::value(int column) const
{
    return m_impl ? m_impl->value(column) : QVariant();
}

// ---- scripts ------------------------------------------------------------------------------

void Statement::execScript(Connection &connection, const QString &sql)
{
    EngineConnection *engine = connection.engine();
    if (!engine)
        throw DbError(notOpen);
    engine->execScript(sql);
}
