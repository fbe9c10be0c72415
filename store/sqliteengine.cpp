#include "store/sqliteengine.h"

#include "store/dberror.h"
#include "store/dialect.h"
#include "store/unicodelike.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace {

// An absolute path as a SQLite URI ("file:///..."), with the characters URIs reserve
// escaped, and the query that chooses the open mode.
QByteArray uriForFile(const QString &absolutePath, const char *query)
{
    QByteArray uri("file://");
    for (const char c : QFile::encodeName(absolutePath)) {
        if (c == '%')
            uri += "%25";
        else if (c == '?')
            uri += "%3F";
        else if (c == '#')
            uri += "%23";
        else
            uri += c;
    }
    return uri + '?' + query;
}

class SqliteStatement : public EngineStatement {
public:
    SqliteStatement(sqlite3 *db, sqlite3_stmt *stmt) : m_db(db), m_stmt(stmt) { }
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }

    int parameterCount() const override { return sqlite3_bind_parameter_count(m_stmt); }
    int parameterIndex(const QString &name) const override
    {
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
    void bindNull(int index) override { check(sqlite3_bind_null(m_stmt, index)); }
    void bindInteger(int index, qint64 value) override
    {
        check(sqlite3_bind_int64(m_stmt, index, value));
    }
    void bindReal(int index, double value) override
    {
        check(sqlite3_bind_double(m_stmt, index, value));
    }
    void bindText(int index, const QByteArray &utf8) override
    {
        check(sqlite3_bind_text64(m_stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()),
            SQLITE_TRANSIENT, SQLITE_UTF8));
    }
    void bindBorrowedUtf8(int index, const char *utf8, qsizetype size) override
    {
        // A null pointer would bind null; an empty text stays a text.
        check(sqlite3_bind_text64(
            m_stmt, index, utf8 ? utf8 : "", sqlite3_uint64(size), SQLITE_STATIC, SQLITE_UTF8));
    }
    void bindBlob(int index, const QByteArray &bytes) override
    {
        check(sqlite3_bind_blob64(
            m_stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT));
    }
    void clearBindings() override { sqlite3_clear_bindings(m_stmt); }

    bool step() override
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        const DbError error = DbError::fromEngine(m_db, rc);
        sqlite3_reset(m_stmt);
        throw error;
    }
    int changes() const override { return sqlite3_changes(m_db); }
    void reset() override
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    void rewind() override { sqlite3_reset(m_stmt); }
    bool isStepping() const override { return sqlite3_stmt_busy(m_stmt); }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }
    QString columnName(int column) const override
    {
        return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
    }
    QString columnDeclaredType(int column) const override
    {
        const char *declared = sqlite3_column_decltype(m_stmt, column);
        return declared ? QString::fromUtf8(declared) : QString();
    }
    bool isNull(int column) const override
    {
        return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
    }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    double real(int column) const override { return sqlite3_column_double(m_stmt, column); }
    QString text(int column) const override
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, column));
    }
    QByteArray utf8(int column) const override
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return p ? QByteArray(p, sqlite3_column_bytes(m_stmt, column)) : QByteArray();
    }
    QByteArrayView utf8View(int column) const override
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return p ? QByteArrayView(p, sqlite3_column_bytes(m_stmt, column)) : QByteArrayView();
    }
    QVariant value(int column) const override
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

private:
    void check(int rc) const
    {
        if (rc != SQLITE_OK)
            throw DbError::fromEngine(m_db, rc);
    }

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt;
};

bool isBlank(const char *p, const char *end)
{
    for (; p < end && *p; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';')
            return false;
    }
    return true;
}

} // namespace

SqliteConnection::SqliteConnection(const QString &path, bool create, int busyTimeout)
{
    const QFileInfo file(path);
    const QString absolute = file.absoluteFilePath();
    // A catalogue is opened for writing only where writing can succeed: a file we may not
    // write opens read-only, and where not even a journal can be made beside it (a disc, a
    // read-only mount or folder) the engine is told nothing will change it, so it neither
    // looks for nor makes a journal or a shared-memory file.
    const bool folderWritable = QFileInfo(file.absolutePath()).isWritable();
    const char *mode = "mode=rw";
    if (!create && !folderWritable)
        mode = "mode=ro&immutable=1";
    else if (!create && file.exists() && !file.isWritable())
        mode = "mode=ro";
    const QByteArray uri = uriForFile(absolute, mode);
    const int flags = SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX
        | (qstrncmp(mode, "mode=rw", 7) == 0 ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
    sqlite3 *handle = nullptr;
    const int rc = sqlite3_open_v2(uri.constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        const DbError error = DbError::fromEngine(handle, rc);
        sqlite3_close_v2(handle);
        throw error;
    }
    m_handle = handle;
    m_filePath = absolute;
    try {
        sqlite3_busy_timeout(m_handle, busyTimeout);
        sqlite3_extended_result_codes(m_handle, 1);
        // Searches match letter case over all of Unicode, not ASCII only.
        UnicodeLike::install(m_handle);
        exec("PRAGMA foreign_keys = ON");
        // The journal mode stays the one the file has: changing it would write the header.
        if (create)
            exec("PRAGMA journal_mode = DELETE");
    } catch (...) {
        sqlite3_close_v2(m_handle);
        m_handle = nullptr;
        throw;
    }
}

SqliteConnection::~SqliteConnection()
{
    // A statement somebody still holds keeps the handle alive until it is finalized.
    sqlite3_close_v2(m_handle);
}

void SqliteConnection::exec(const char *sql)
{
    execScript(QString::fromUtf8(sql));
}

std::unique_ptr<EngineStatement> SqliteConnection::prepare(
    const QByteArray &utf8, qsizetype offset, bool persistent, qsizetype *next)
{
    const char *base = utf8.constData();
    const char *tail = nullptr;
    sqlite3_stmt *stmt = nullptr;
    const unsigned flags = persistent ? SQLITE_PREPARE_PERSISTENT : 0;
    const int rc = sqlite3_prepare_v3(
        m_handle, base + offset, int(utf8.size() - offset), flags, &stmt, &tail);
    if (rc != SQLITE_OK) {
        const DbError error = DbError::fromEngine(m_handle, rc);
        sqlite3_finalize(stmt);
        throw error;
    }
    *next = tail ? qsizetype(tail - base) : utf8.size();
    if (isBlank(base + *next, base + utf8.size()))
        *next = utf8.size();
    if (!stmt)
        return nullptr;
    return std::make_unique<SqliteStatement>(m_handle, stmt);
}

void SqliteConnection::execScript(const QString &sql)
{
    const QByteArray utf8 = sql.toUtf8();
    qsizetype at = 0;
    while (at < utf8.size()) {
        qsizetype next = utf8.size();
        std::unique_ptr<EngineStatement> statement = prepare(utf8, at, false, &next);
        if (statement) {
            try {
                while (statement->step()) { }
            } catch (...) {
                statement->reset();
                throw;
            }
        }
        if (next <= at)
            break;
        at = next;
    }
}

bool SqliteConnection::isReadOnly() const
{
    return sqlite3_db_readonly(m_handle, "main") == 1;
}

void SqliteConnection::setBusyTimeout(int milliseconds)
{
    sqlite3_busy_timeout(m_handle, milliseconds);
}

void SqliteConnection::begin()
{
    exec("BEGIN IMMEDIATE");
}

void SqliteConnection::commit()
{
    exec("COMMIT");
}

void SqliteConnection::rollback()
{
    exec("ROLLBACK");
}

bool SqliteConnection::inTransaction() const
{
    return !sqlite3_get_autocommit(m_handle);
}

bool SqliteConnection::hasTable(const QString &table)
{
    qsizetype next = 0;
    const std::unique_ptr<EngineStatement> s
        = prepare(QByteArrayLiteral("SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') "
                                    "AND name = ?1 COLLATE NOCASE"),
            0, false, &next);
    s->bindText(1, table.toUtf8());
    const bool found = s->step();
    s->reset();
    return found;
}

qint64 SqliteConnection::totalChanges() const
{
    return sqlite3_total_changes64(m_handle);
}

qint64 SqliteConnection::lastInsertRowId()
{
    return sqlite3_last_insert_rowid(m_handle);
}

int SqliteConnection::steppingStatements() const
{
    int stepping = 0;
    for (sqlite3_stmt *s = sqlite3_next_stmt(m_handle, nullptr); s;
         s = sqlite3_next_stmt(m_handle, s))
        stepping += sqlite3_stmt_busy(s) ? 1 : 0;
    return stepping;
}

QString SqliteConnection::lastEngineMessage() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_handle));
}

const Dialect &SqliteConnection::dialect() const
{
    return SqliteDialect::instance();
}
