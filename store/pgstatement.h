#pragma once

// The server's prepared statement, kept apart from its connection: how a statement binds,
// runs and reads its rows is one concern, how the connection lives and fails another.
// Included by the engine's own sources only.

#include "store/dberror.h"
#include "store/pgengine.h"
#include "store/pgsqltext.h"

#include <deque>
#include <libpq-fe.h>
#include <optional>
#include <vector>

// Type oids of the server's built-in types (pg_type.h).
enum PgTypeOid : Oid {
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

inline QByteArray decodeBytea(const char *text, int length)
{
    if (length >= 2 && text[0] == '\\' && text[1] == 'x')
        return QByteArray::fromHex(QByteArray::fromRawData(text + 2, length - 2));
    size_t size = 0;
    unsigned char *raw = PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &size);
    QByteArray bytes(reinterpret_cast<const char *>(raw), qsizetype(size));
    PQfreemem(raw);
    return bytes;
}

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
                endGuard();
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
        m_guarded = false;
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
        // A write refused inside a transaction takes back only itself, as on a file: the
        // server would otherwise give up everything the transaction did before it.
        bool guarded = false;
        if (writes() && PQtransactionStatus(m_c.handle()) == PQTRANS_INTRANS) {
            PGresult *saved = PQexec(m_c.handle(), "SAVEPOINT qm_statement");
            guarded = PQresultStatus(saved) == PGRES_COMMAND_OK;
            PQclear(saved);
        }
        if (!PQsendQueryPrepared(m_c.handle(), m_name.constData(), m_count, values.data(),
                m_lengths.data(), m_formats.data(), 0))
            m_c.failConnection();
        PQsetSingleRowMode(m_c.handle());
        m_c.setOwner(this);
        m_guarded = guarded;
        m_started = true;
        m_finished = false;
        m_changes = 0;
    }

    bool writes() const
    {
        const QByteArray head = m_text.utf8().trimmed().left(6).toUpper();
        return head != "SELECT" && head != "WITH R" && head != "VALUES";
    }

    // After the run: its savepoint released, or rolled back to when the run failed.
    void endGuard()
    {
        if (!m_guarded)
            return;
        m_guarded = false;
        if (PQtransactionStatus(m_c.handle()) == PQTRANS_INERROR)
            PQclear(PQexec(m_c.handle(), "ROLLBACK TO SAVEPOINT qm_statement"));
        PQclear(PQexec(m_c.handle(), "RELEASE SAVEPOINT qm_statement"));
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
        endGuard();
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
    bool m_guarded = false; // a savepoint taken before the run
};

