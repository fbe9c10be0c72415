#include "store/pgengine.h"

#include "store/dberror.h"
#include "store/dialect.h"
#include "store/pgsqltext.h"

#include <cstdlib>
#include <deque>
#include <optional>
#include <libpq-fe.h>
#include <vector>

namespace {

// Type oids of the server's built-in types (pg_type.h).
enum : Oid {
    BoolOid = 16,
    ByteaOid = 17,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    TextOid = 25,
    OidOid = 26,
    Float4Oid = 700,
    Float8Oid = 701,
    BpcharOid = 1042,
    VarcharOid = 1043,
    DateOid = 1082,
    TimestampOid = 1114,
    TimestamptzOid = 1184,
    NumericOid = 1700,
};

// Every write transaction holds this lock on the catalogue's database until it ends.
const char *const writeLock = "SELECT pg_advisory_xact_lock(8231947361)";

QString oneLine(const char *text)
{
    QString message = QString::fromUtf8(text).trimmed();
    message.replace(QLatin1Char('\n'), QLatin1Char(' '));
    message.replace(QLatin1Char('\t'), QString());
    return message;
}

QByteArray decodeBytea(const char *text, int length)
{
    if (length >= 2 && text[0] == '\\' && text[1] == 'x')
        return QByteArray::fromHex(QByteArray::fromRawData(text + 2, length - 2));
    size_t size = 0;
    unsigned char *raw = PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &size);
    QByteArray bytes(reinterpret_cast<const char *>(raw), qsizetype(size));
    PQfreemem(raw);
    return bytes;
}

} // namespace

// One statement prepared on the server.
class PgStatement : public EngineStatement {
public:
    PgStatement(PgConnection &connection, QByteArray name, const PgSqlText &text,
        std::vector<Oid> types)
        : m_c(connection),
          m_alive(connection.alive()),
          m_name(std::move(name)),
          m_text(text),
          m_types(std::move(types)),
          m_count(text.parameterCount()),
          m_values(size_t(m_count)),
          m_borrowed(size_t(m_count), nullptr),
          m_lengths(size_t(m_count), 0),
          m_formats(size_t(m_count), 0),
          m_bound(size_t(m_count), false)
    {
        m_c.attach(this);
    }
    ~PgStatement() override
    {
        if (*m_alive) {
            end();
            m_c.detach(this, m_name);
        } else {
            clearRow();
            for (PGresult *r : m_pending)
                PQclear(r);
        }
        PQclear(m_shape);
    }

    // ---- parameters ----
    int parameterCount() const override { return m_count; }
    int parameterIndex(const QString &name) const override
    {
        for (int i = 1; i <= m_count; ++i) {
            if (m_text.parameterName(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return 0;
    }
    void bindNull(int index) override { put(index, QByteArray(), false, 0); }
    void bindInteger(int index, qint64 value) override
    {
        put(index, QByteArray::number(value), true, 0);
    }
    void bindReal(int index, double value) override
    {
        put(index, QByteArray::number(value, 'g', 17), true, 0);
    }
    void bindText(int index, const QByteArray &utf8) override { put(index, utf8, true, 0); }
    void bindBorrowedUtf8(int index, const char *utf8, qsizetype size) override
    {
        checkIndex(index);
        const size_t i = size_t(index - 1);
        m_values[i].clear();
        m_borrowed[i] = utf8 ? utf8 : "";
        m_lengths[i] = int(size);
        m_formats[i] = 0;
        m_bound[i] = true;
    }
    void bindBlob(int index, const QByteArray &bytes) override { put(index, bytes, true, 1); }
    void clearBindings() override
    {
        for (size_t i = 0; i < size_t(m_count); ++i) {
            m_values[i].clear();
            m_borrowed[i] = nullptr;
            m_bound[i] = false;
        }
    }

    // ---- running ----
    bool step() override
    {
        if (!*m_alive)
            throw DbError(QStringLiteral("o catálogo não está aberto"));
        if (m_finished)
            end();
        if (!m_started)
            start();
        clearRow();
        for (;;) {
            PGresult *r = nextResult();
            if (!r) {
                m_finished = true;
                m_c.wroteOutsideTransaction();
                if (m_error) {
                    const DbError error = *m_error;
                    m_error.reset();
                    m_c.noteError(error.message());
                    throw error;
                }
                return false;
            }
            switch (PQresultStatus(r)) {
            case PGRES_SINGLE_TUPLE:
                m_row = r;
                if (!m_shape)
                    m_shape = PQcopyResult(r, PG_COPYRES_ATTRS);
                return true;
            case PGRES_TUPLES_OK:
            case PGRES_COMMAND_OK: {
                m_changes = std::atoi(PQcmdTuples(r));
                const QByteArray status(PQcmdStatus(r));
                if (!status.startsWith("SELECT"))
                    m_c.addChanges(m_changes);
                if (!m_shape && PQresultStatus(r) == PGRES_TUPLES_OK)
                    m_shape = r;
                else
                    PQclear(r);
                break;
            }
            case PGRES_EMPTY_QUERY: PQclear(r); break;
            default:
                if (!m_error) {
                    try {
                        m_c.fail(r);
                    } catch (const DbError &e) {
                        m_error = e;
                    }
                } else {
                    PQclear(r);
                }
            }
        }
    }
    int changes() const override { return m_changes; }
    void reset() override
    {
        if (*m_alive)
            end();
        clearBindings();
    }
    void rewind() override
    {
        if (*m_alive)
            end();
    }
    bool isStepping() const override { return m_started && !m_finished; }

    // The server was reached again on a new session: what this statement had there is gone,
    // and it is prepared again before its next run.
    void sessionLost()
    {
        clearRow();
        for (PGresult *r : m_pending)
            PQclear(r);
        m_pending.clear();
        m_error.reset();
        m_started = false;
        m_finished = false;
        m_prepared = false;
    }

    // The rest of this run's rows, read now: the connection is wanted by another request.
    void readAhead()
    {
        while (PGresult *r = PQgetResult(m_c.handle()))
            m_pending.push_back(r);
        m_c.setOwner(nullptr);
    }

    // ---- columns ----
    int columnCount() const override { return PQnfields(shape()); }
    QString columnName(int column) const override
    {
        const QString server = QString::fromUtf8(PQfname(shape(), column));
        const auto it = m_text.spellings().constFind(server);
        return it != m_text.spellings().constEnd() ? *it : m_c.spelling(server);
    }
    QString columnDeclaredType(int column) const override
    {
        const PGresult *s = shape();
        const int modifier = PQfmod(s, column);
        switch (PQftype(s, column)) {
        case BoolOid: return QStringLiteral("BOOLEAN");
        case Int2Oid:
        case Int4Oid:
        case Int8Oid:
        case OidOid: return QStringLiteral("INTEGER");
        case Float4Oid:
        case Float8Oid: return QStringLiteral("REAL");
        case NumericOid: return QStringLiteral("NUMERIC");
        case TextOid: return QStringLiteral("TEXT");
        case VarcharOid:
            return modifier >= 4 ? QStringLiteral("VARCHAR(%1)").arg(modifier - 4)
                                 : QStringLiteral("VARCHAR");
        case BpcharOid:
            return modifier >= 4 ? QStringLiteral("CHAR(%1)").arg(modifier - 4)
                                 : QStringLiteral("CHAR");
        case TimestampOid:
        case TimestamptzOid: return QStringLiteral("DATETIME");
        case DateOid: return QStringLiteral("DATE");
        case ByteaOid: return QStringLiteral("BLOB");
        default: return QString();
        }
    }
    bool isNull(int column) const override
    {
        return !m_row || PQgetisnull(m_row, 0, column);
    }
    qint64 integer(int column) const override
    {
        if (isNull(column))
            return 0;
        const char *v = PQgetvalue(m_row, 0, column);
        switch (PQftype(m_row, column)) {
        case BoolOid: return v[0] == 't' ? 1 : 0;
        case Float4Oid:
        case Float8Oid:
        case NumericOid: return qint64(std::strtod(v, nullptr));
        default: return std::strtoll(v, nullptr, 10);
        }
    }
    double real(int column) const override
    {
        if (isNull(column))
            return 0;
        const char *v = PQgetvalue(m_row, 0, column);
        if (PQftype(m_row, column) == BoolOid)
            return v[0] == 't' ? 1 : 0;
        return std::strtod(v, nullptr);
    }
    QString text(int column) const override
    {
        const QByteArrayView v = utf8View(column);
        return QString::fromUtf8(v.data(), v.size());
    }
    QByteArray utf8(int column) const override
    {
        if (isNull(column))
            return QByteArray();
        return utf8View(column).toByteArray();
    }
    QByteArrayView utf8View(int column) const override
    {
        if (isNull(column))
            return QByteArrayView();
        const char *v = PQgetvalue(m_row, 0, column);
        const int length = PQgetlength(m_row, 0, column);
        switch (PQftype(m_row, column)) {
        case BoolOid: return v[0] == 't' ? QByteArrayView("1") : QByteArrayView("0");
        case TimestampOid: {
            // The program's one form of a date, with a "T" between date and time.
            QByteArray &s = scratch(column);
            s = QByteArray(v, length);
            if (s.size() > 10 && s.at(10) == ' ')
                s[10] = 'T';
            return s;
        }
        case ByteaOid: {
            QByteArray &s = scratch(column);
            s = decodeBytea(v, length);
            return s;
        }
        default: return QByteArrayView(v, length);
        }
    }
    QVariant value(int column) const override
    {
        if (isNull(column))
            return QVariant();
        const char *v = PQgetvalue(m_row, 0, column);
        switch (PQftype(m_row, column)) {
        case BoolOid: return QVariant(qlonglong(v[0] == 't' ? 1 : 0));
        case Int2Oid:
        case Int4Oid:
        case Int8Oid:
        case OidOid: return QVariant(qlonglong(std::strtoll(v, nullptr, 10)));
        case Float4Oid:
        case Float8Oid: return QVariant(std::strtod(v, nullptr));
        case NumericOid: {
            // A whole number reads as an integer, as SQLite's NUMERIC columns keep it.
            const QByteArray n(v);
            if (!n.contains('.') && !n.contains('e') && !n.contains('E') && !n.contains('N')) {
                bool ok = false;
                const qlonglong whole = n.toLongLong(&ok);
                if (ok)
                    return QVariant(whole);
            }
            return QVariant(std::strtod(v, nullptr));
        }
        case ByteaOid: return QVariant(decodeBytea(v, PQgetlength(m_row, 0, column)));
        default: return QVariant(text(column));
        }
    }

private:
    void checkIndex(int index) const
    {
        if (index < 1 || index > m_count)
            throw DbError(QStringLiteral("column index out of range"));
    }
    void put(int index, QByteArray bytes, bool bound, int format)
    {
        checkIndex(index);
        const size_t i = size_t(index - 1);
        m_borrowed[i] = nullptr;
        m_values[i] = std::move(bytes);
        m_formats[i] = format;
        m_bound[i] = bound;
    }

    const PGresult *shape() const
    {
        if (m_row)
            return m_row;
        if (!m_shape) {
            if (!*m_alive)
                throw DbError(QStringLiteral("o catálogo não está aberto"));
            // Asked before any row: the server describes the statement.
            m_c.claim();
            PGresult *d = PQdescribePrepared(m_c.handle(), m_name.constData());
            if (!d || PQresultStatus(d) != PGRES_COMMAND_OK)
                m_c.fail(d);
            m_shape = d;
        }
        return m_shape;
    }

    QByteArray &scratch(int column) const
    {
        if (m_scratch.size() <= size_t(column))
            m_scratch.resize(size_t(column) + 1);
        return m_scratch[size_t(column)];
    }

    void start()
    {
        m_c.claim(this);
        if (!m_prepared) {
            PGresult *r = PQprepare(m_c.handle(), m_name.constData(), m_text.utf8().constData(),
                m_count, m_types.data());
            if (!r)
                m_c.failConnection();
            if (PQresultStatus(r) != PGRES_COMMAND_OK)
                m_c.fail(r);
            PQclear(r);
            m_prepared = true;
        }
        std::vector<const char *> values(size_t(m_count), nullptr);
        std::vector<QByteArray> terminated;
        terminated.reserve(size_t(m_count));
        for (size_t i = 0; i < size_t(m_count); ++i) {
            if (!m_bound[i])
                continue;
            if (m_borrowed[i]) {
                // The server reads a text value up to its terminating zero, never by length.
                terminated.emplace_back(m_borrowed[i], m_lengths[i]);
                values[i] = terminated.back().constData();
            } else {
                values[i] = m_values[i].isNull() ? "" : m_values[i].constData();
                m_lengths[i] = int(m_values[i].size());
            }
        }
        if (!PQsendQueryPrepared(m_c.handle(), m_name.constData(), m_count, values.data(),
                m_lengths.data(), m_formats.data(), 0))
            m_c.failConnection();
        PQsetSingleRowMode(m_c.handle());
        m_c.setOwner(this);
        m_started = true;
        m_finished = false;
        m_changes = 0;
    }

    PGresult *nextResult()
    {
        if (!m_pending.empty()) {
            PGresult *r = m_pending.front();
            m_pending.pop_front();
            return r;
        }
        if (m_c.owner() != this)
            return nullptr;
        PGresult *r = PQgetResult(m_c.handle());
        if (!r)
            m_c.setOwner(nullptr);
        return r;
    }

    void clearRow()
    {
        PQclear(m_row);
        m_row = nullptr;
    }

    // Ends the run: what the server still sends is read and dropped.
    void end()
    {
        clearRow();
        if (m_c.owner() == this) {
            while (PGresult *r = PQgetResult(m_c.handle())) {
                if (PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK) {
                    const QByteArray status(PQcmdStatus(r));
                    if (!status.startsWith("SELECT"))
                        m_c.addChanges(std::atoi(PQcmdTuples(r)));
                }
                PQclear(r);
            }
            m_c.setOwner(nullptr);
            m_c.wroteOutsideTransaction();
        }
        for (PGresult *r : m_pending)
            PQclear(r);
        m_pending.clear();
        m_error.reset();
        m_started = false;
        m_finished = false;
    }

    PgConnection &m_c;
    std::shared_ptr<const bool> m_alive;
    QByteArray m_name;
    PgSqlText m_text;
    std::vector<Oid> m_types; // as the server was told them
    bool m_prepared = true;
    int m_count;
    std::vector<QByteArray> m_values;
    std::vector<const char *> m_borrowed;
    std::vector<int> m_lengths;
    std::vector<int> m_formats;
    std::vector<bool> m_bound;
    mutable PGresult *m_shape = nullptr;
    PGresult *m_row = nullptr;
    std::deque<PGresult *> m_pending;
    std::optional<DbError> m_error;
    mutable std::vector<QByteArray> m_scratch;
    int m_changes = 0;
    bool m_started = false;
    bool m_finished = false;
};

// ---- connection ---------------------------------------------------------------------------

PgConnection::PgConnection(const QString &location, const QString &password, int busyTimeout)
    : m_location(location), m_password(password)
{
    const QByteArray dbname = location.toUtf8();
    const QByteArray pass = password.toUtf8();
    const char *keywords[] = { "dbname", "client_encoding", "application_name",
        "connect_timeout", password.isEmpty() ? nullptr : "password", nullptr };
    const char *values[]
        = { dbname.constData(), "UTF8", "quillomar", "15", pass.constData(), nullptr };
    m_conn = PQconnectdbParams(keywords, values, 1);
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        const QString message
            = m_conn ? oneLine(PQerrorMessage(m_conn)) : QStringLiteral("libpq: sem memória");
        PQfinish(m_conn);
        m_conn = nullptr;
        throw DbError(message, 0, DbError::Kind::Connection);
    }
    // The server's notices (a warning that no transaction was open) are not the program's
    // to print.
    PQsetNoticeProcessor(m_conn, [](void *, const char *) {}, nullptr);
    m_busyTimeout = busyTimeout;
    try {
        setUpSession();
        PGresult *r = run(QByteArrayLiteral(
            "SELECT pg_is_in_recovery() OR current_setting('transaction_read_only') = 'on' "
            "OR coalesce(NOT has_table_privilege(to_regclass('cataloginfo'), 'UPDATE'), false)"));
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            fail(r);
        m_readOnly = PQntuples(r) == 1 && PQgetvalue(r, 0, 0)[0] == 't';
        PQclear(r);
    } catch (...) {
        PQfinish(m_conn);
        m_conn = nullptr;
        throw;
    }
}

PgConnection::~PgConnection()
{
    *m_alive = false;
    PQfinish(m_conn);
}

QString PgConnection::host() const
{
    const QString host = QString::fromUtf8(PQhost(m_conn));
    const QString port = QString::fromUtf8(PQport(m_conn));
    return port.isEmpty() || port == QLatin1String("5432") ? host : host + QLatin1Char(':') + port;
}

void PgConnection::setUpSession()
{
    // Dates in the one ISO form; the catalogue's own operators (LIKE) before the built-in
    // ones; notices are not the program's to show.
    runChecked(QByteArrayLiteral(
        "SET DateStyle TO ISO, YMD; SET IntervalStyle TO postgres; "
        "SET client_min_messages TO warning; "
        "SELECT set_config('search_path', current_setting('search_path') || ', pg_catalog', "
        "false)"));
    setBusyTimeout(m_busyTimeout);
}

void PgConnection::reconnect()
{
    if (m_inTransaction) {
        // Whatever the transaction wrote went with the session: it is not carried on by
        // halves outside it. Its rollback ends it; the next action reconnects.
        throw DbError(QStringLiteral("A conexão com o servidor do catálogo caiu no meio de uma "
                                     "transação: nada dela foi gravado."),
            0, DbError::Kind::Connection);
    }
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        m_lastMessage = QStringLiteral("Não foi possível conectar ao servidor do catálogo: %1")
                            .arg(oneLine(PQerrorMessage(m_conn)));
        throw DbError(m_lastMessage, 0, DbError::Kind::Connection);
    }
    m_owner = nullptr;
    m_unused.clear();
    m_changesAtBegin = m_totalChanges;
    for (PgStatement *statement : std::as_const(m_statements))
        statement->sessionLost();
    setUpSession();
}

void PgConnection::fail(PGresult *result)
{
    QString message;
    QByteArray state;
    if (result) {
        const char *primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
        message = primary ? QString::fromUtf8(primary) : oneLine(PQresultErrorMessage(result));
        const char *code = PQresultErrorField(result, PG_DIAG_SQLSTATE);
        state = code ? QByteArray(code) : QByteArray();
        PQclear(result);
    }
    if (message.isEmpty())
        message = oneLine(PQerrorMessage(m_conn));
    if (PQstatus(m_conn) == CONNECTION_BAD)
        failConnection();
    m_lastMessage = message;
    throw DbError::fromServer(message, state);
}

void PgConnection::failConnection()
{
    m_lastMessage = QStringLiteral("A conexão com o servidor do catálogo caiu: %1")
                        .arg(oneLine(PQerrorMessage(m_conn)));
    throw DbError(m_lastMessage, 0, DbError::Kind::Connection);
}

void PgConnection::claim(PgStatement *claimant)
{
    if (PQstatus(m_conn) == CONNECTION_BAD)
        reconnect(); // the server is tried again on the next action
    if (m_owner && m_owner != claimant)
        m_owner->readAhead();
    if (!m_unused.isEmpty() && PQtransactionStatus(m_conn) != PQTRANS_INERROR) {
        QByteArray drop;
        for (const QByteArray &name : std::as_const(m_unused))
            drop += "DEALLOCATE " + name + ';';
        m_unused.clear();
        PQclear(PQexec(m_conn, drop.constData()));
    }
}

void PgConnection::detach(PgStatement *statement, const QByteArray &name)
{
    m_statements.remove(statement);
    if (m_owner == statement)
        m_owner = nullptr;
    m_unused << name;
}

PGresult *PgConnection::run(const QByteArray &sql)
{
    claim();
    PGresult *r = PQexec(m_conn, sql.constData());
    if (!r)
        failConnection();
    return r;
}

void PgConnection::runChecked(const QByteArray &sql)
{
    PGresult *r = run(sql);
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY)
        fail(r);
    const QByteArray tag(PQcmdStatus(r));
    if (!tag.startsWith("SELECT"))
        m_totalChanges += std::atoi(PQcmdTuples(r));
    PQclear(r);
    wroteOutsideTransaction();
}

void PgConnection::learnSpellings(const QHash<QString, QString> &spellings)
{
    for (auto it = spellings.constBegin(); it != spellings.constEnd(); ++it) {
        if (!m_spellings.contains(it.key()))
            m_spellings.insert(it.key(), it.value());
    }
}

std::unique_ptr<EngineStatement> PgConnection::prepare(
    const QByteArray &utf8, qsizetype offset, bool, qsizetype *next)
{
    const QString sql = QString::fromUtf8(utf8.constData() + offset, utf8.size() - offset);
    const PgSqlText text(sql);
    *next = offset + sql.left(text.next()).toUtf8().size();
    if (text.next() >= sql.size() || PgSqlText::isBlank(QStringView(sql).mid(text.next())))
        *next = utf8.size();
    if (text.isEmpty())
        return nullptr;
    learnSpellings(text.spellings());
    claim();
    const QByteArray name = "qm_" + QByteArray::number(++m_counter);
    // A statement the server refuses would end an open transaction's work with it: it is
    // prepared inside a savepoint there.
    const bool guarded = PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    if (guarded)
        PQclear(PQexec(m_conn, "SAVEPOINT qm_prepare"));
    auto undo = [&] {
        if (guarded)
            PQclear(PQexec(m_conn, "ROLLBACK TO SAVEPOINT qm_prepare"));
    };
    auto release = [&] {
        if (guarded)
            PQclear(PQexec(m_conn, "RELEASE SAVEPOINT qm_prepare"));
    };
    PGresult *r = PQprepare(m_conn, name.constData(), text.utf8().constData(),
        text.parameterCount(), nullptr);
    if (!r)
        failConnection();
    // Parameters nothing in the text gives a type ("SELECT ?1") are texts, as SQLite would
    // hand them back: the server names them one at a time.
    std::vector<Oid> types(size_t(text.parameterCount()), 0);
    for (int tries = 0; tries < text.parameterCount(); ++tries) {
        const char *state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
        const char *message = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
        if (PQresultStatus(r) == PGRES_COMMAND_OK || !state || qstrcmp(state, "42P18") != 0
            || !message)
            break;
        const QByteArray said(message);
        const int dollar = said.lastIndexOf('$');
        const int n = dollar < 0 ? 0 : said.mid(dollar + 1).toInt();
        if (n < 1 || n > text.parameterCount() || types[size_t(n - 1)] != 0)
            break;
        types[size_t(n - 1)] = TextOid;
        PQclear(r);
        undo();
        r = PQprepare(m_conn, name.constData(), text.utf8().constData(), text.parameterCount(),
            types.data());
        if (!r)
            failConnection();
    }
    if (PQresultStatus(r) != PGRES_COMMAND_OK) {
        undo();
        release();
        fail(r);
    }
    PQclear(r);
    release();
    return std::make_unique<PgStatement>(*this, name, text, std::move(types));
}

void PgConnection::execScript(const QString &sql)
{
    if (sql.trimmed().startsWith(QLatin1String("/*pg*/"))) {
        runChecked(sql.toUtf8());
        return;
    }
    qsizetype at = 0;
    while (at < sql.size()) {
        const PgSqlText text(sql, at);
        if (!text.isEmpty()) {
            learnSpellings(text.spellings());
            runChecked(text.utf8());
        }
        if (text.next() <= at)
            break;
        at = text.next();
    }
}

void PgConnection::setBusyTimeout(int milliseconds)
{
    m_busyTimeout = milliseconds;
    runChecked("SET lock_timeout TO " + QByteArray::number(qMax(0, milliseconds)));
}

void PgConnection::notifyChange()
{
    // Delivered by the server when the transaction it is sent in commits, never before.
    claim();
    PQclear(PQexec(m_conn, (QByteArray("NOTIFY ") + changeChannel()).constData()));
}

void PgConnection::wroteOutsideTransaction()
{
    if (m_totalChanges != m_changesAtBegin && PQtransactionStatus(m_conn) == PQTRANS_IDLE) {
        m_changesAtBegin = m_totalChanges;
        notifyChange();
    }
}

void PgConnection::begin()
{
    if (inTransaction())
        throw DbError(QStringLiteral("cannot start a transaction within a transaction"));
    m_changesAtBegin = m_totalChanges;
    runChecked(QByteArrayLiteral("BEGIN"));
    m_inTransaction = true;
    try {
        runChecked(QByteArray(writeLock));
    } catch (...) {
        m_inTransaction = false;
        PQclear(PQexec(m_conn, "ROLLBACK"));
        throw;
    }
}

void PgConnection::commit()
{
    if (PQstatus(m_conn) == CONNECTION_BAD && m_inTransaction) {
        m_inTransaction = false;
        throw DbError(QStringLiteral("A conexão com o servidor do catálogo caiu antes da "
                                     "confirmação: nada da transação foi gravado."),
            0, DbError::Kind::Connection);
    }
    m_inTransaction = false;
    claim();
    if (PQtransactionStatus(m_conn) == PQTRANS_INERROR) {
        // The server has already given up the transaction's work: say so, never "committed".
        m_changesAtBegin = m_totalChanges;
        PQclear(PQexec(m_conn, "ROLLBACK"));
        throw DbError(QStringLiteral("A transação foi desfeita por um erro anterior: %1")
                          .arg(m_lastMessage));
    }
    if (m_totalChanges != m_changesAtBegin)
        notifyChange();
    m_changesAtBegin = m_totalChanges;
    runChecked(QByteArrayLiteral("COMMIT"));
}

void PgConnection::rollback()
{
    const bool wasIn = m_inTransaction;
    m_inTransaction = false;
    if (wasIn && PQstatus(m_conn) == CONNECTION_BAD)
        return; // the server ended it with the session
    m_changesAtBegin = m_totalChanges; // nothing of it was seen by anyone
    runChecked(QByteArrayLiteral("ROLLBACK"));
}

bool PgConnection::inTransaction() const
{
    if (!m_conn)
        return false;
    if (PQstatus(m_conn) == CONNECTION_BAD)
        return m_inTransaction;
    if (m_owner)
        m_owner->readAhead(); // the server tells the state only between requests
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

bool PgConnection::hasTable(const QString &table)
{
    qsizetype next = 0;
    const std::unique_ptr<EngineStatement> s
        = prepare(QByteArrayLiteral("SELECT to_regclass(?1) IS NOT NULL"), 0, false, &next);
    s->bindText(1, dialect().quoted(table).toUtf8());
    const bool found = s->step() && s->integer(0) == 1;
    s->reset();
    return found;
}

qint64 PgConnection::lastInsertRowId()
{
    // The key the last insert drew on this connection; no key drawn yet fails on the
    // server, which must not cost an open transaction its work.
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    if (status == PQTRANS_INERROR)
        return 0;
    const bool guarded = status == PQTRANS_INTRANS;
    if (guarded)
        PQclear(run(QByteArrayLiteral("SAVEPOINT qm_lastval")));
    PGresult *r = run(QByteArrayLiteral("SELECT lastval()"));
    qint64 id = 0;
    const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
    if (ok)
        id = std::strtoll(PQgetvalue(r, 0, 0), nullptr, 10);
    PQclear(r);
    if (guarded)
        PQclear(run(ok ? QByteArrayLiteral("RELEASE SAVEPOINT qm_lastval")
                       : QByteArrayLiteral("ROLLBACK TO SAVEPOINT qm_lastval")));
    return id;
}

int PgConnection::steppingStatements() const
{
    int stepping = 0;
    for (PgStatement *s : m_statements)
        stepping += s->isStepping() ? 1 : 0;
    return stepping;
}

const Dialect &PgConnection::dialect() const
{
    return PgDialect::instance();
}
