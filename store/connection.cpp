#include "store/connection.h"

#include "store/dberror.h"
#include "store/statement.h"
#include "store/unicodelike.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace {

const QLatin1String jet40Prefix("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
const QLatin1String jet40Name("Microsoft.Jet.OLEDB.4.0");
const QString notOpen = QStringLiteral("o catálogo não está aberto");

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

QString quotedName(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\""))
        + QLatin1Char('"');
}

// The value of "Key=" in a connection string, up to the next ";" (empty when absent).
QString elementValue(const QString &text, const QString &key)
{
    const int at = text.indexOf(key, 0, Qt::CaseInsensitive);
    if (at < 0)
        return QString();
    const int start = at + key.size();
    const int end = text.indexOf(QLatin1Char(';'), start);
    return text.mid(start, end < 0 ? -1 : end - start);
}

} // namespace

Connection::Connection(QObject *parent) : QObject(parent) { }

Connection::~Connection()
{
    close();
}

void Connection::fail(const QString &message, int code)
{
    throw DbError(message, code);
}

void Connection::open(const QString &connectionString)
{
    close();
    if (connectionString.startsWith(jet40Prefix, Qt::CaseInsensitive)
        && connectionString.endsWith(QLatin1Char(';'))) {
        const QString path = connectionString.mid(
            jet40Prefix.size(), connectionString.size() - jet40Prefix.size() - 1);
        m_lastOpenError.clear();
        try {
            openSqlite(path, false);
        } catch (const DbError &e) {
            m_lastOpenError = QStringLiteral("%1 não conseguiu abrir \"%2\": %3")
                                  .arg(jet40Name, path, e.message());
            throw;
        }
        m_connectionString = connectionString;
        return;
    }

    // The providers this platform lacks: say so, and repeat why the catalogue itself failed.
    const QString provider = elementValue(connectionString, QStringLiteral("Provider="));
    QString message;
    if (provider.startsWith(QLatin1String("MSDASQL"), Qt::CaseInsensitive)) {
        const int open = connectionString.indexOf(QLatin1String("Driver={"));
        const int shut = connectionString.indexOf(QLatin1Char('}'), open);
        const QString driver = (open >= 0 && shut > open)
            ? connectionString.mid(open + 8, shut - open - 8)
            : QString();
        message
            = QStringLiteral("O driver ODBC \"%1\" não está disponível neste sistema").arg(driver);
    } else if (!provider.isEmpty()) {
        message
            = QStringLiteral("O provedor \"%1\" não está disponível neste sistema").arg(provider);
    } else {
        message = QStringLiteral("Cadeia de conexão não reconhecida: %1").arg(connectionString);
    }
    if (!m_lastOpenError.isEmpty())
        message += QStringLiteral(" (%1)").arg(m_lastOpenError);
    fail(message);
}

void Connection::openFile(const QString &path)
{
    close();
    openSqlite(path, false);
}

void Connection::createFile(const QString &path)
{
    close();
    // Claims the name atomically, so an existing file is never touched.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        fail(QFileInfo::exists(path)
                ? QStringLiteral("O arquivo já existe: %1").arg(path)
                : QStringLiteral("Não foi possível criar %1: %2").arg(path, file.errorString()));
    }
    file.close();
    try {
        openSqlite(path, true);
    } catch (...) {
        close();
        QFile::remove(path);
        throw;
    }
}

void Connection::openSqlite(const QString &path, bool create)
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
        configure();
        // The journal mode stays the one the file has: changing it would write the header.
        if (create)
            exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
        else
            checkRequiredTables();
    } catch (...) {
        close();
        throw;
    }
}

void Connection::configure()
{
    sqlite3_busy_timeout(m_handle, m_busyTimeout);
    sqlite3_extended_result_codes(m_handle, 1);
    // Searches match letter case over all of Unicode, not ASCII only.
    UnicodeLike::install(m_handle);
    exec(QStringLiteral("PRAGMA foreign_keys = ON"));
}

void Connection::checkRequiredTables()
{
    // Reading the schema reads the header first: a file that is not a database fails here.
    Statement(*this, QStringLiteral("SELECT count(*) FROM sqlite_master")).exec();
    for (const QString &table : std::as_const(m_requiredTables))
        Statement(*this, QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quotedName(table)));
}

void Connection::close()
{
    if (!m_handle)
        return;
    emit aboutToClose();
    // A statement somebody still holds keeps the handle alive until it is finalized.
    sqlite3_close_v2(m_handle);
    m_handle = nullptr;
    m_connectionString.clear();
    m_filePath.clear();
}

bool Connection::isOpen() const
{
    return m_handle != nullptr;
}

bool Connection::isReadOnly() const
{
    return m_handle && sqlite3_db_readonly(m_handle, "main") == 1;
}

void Connection::setBusyTimeout(int milliseconds)
{
    m_busyTimeout = milliseconds;
    if (m_handle)
        sqlite3_busy_timeout(m_handle, m_busyTimeout);
}

void Connection::beginTransaction()
{
    exec(QStringLiteral("BEGIN IMMEDIATE"));
}

void Connection::commit()
{
    exec(QStringLiteral("COMMIT"));
}

void Connection::rollback()
{
    exec(QStringLiteral("ROLLBACK"));
}

bool Connection::inTransaction() const
{
    return m_handle && !sqlite3_get_autocommit(m_handle);
}

void Connection::exec(const QString &sql)
{
    if (!m_handle)
        fail(notOpen);
    Statement::execScript(*this, sql);
}

QStringList Connection::columnNames(const QString &table) const
{
    if (!m_handle)
        throw DbError(notOpen);
    auto &self = const_cast<Connection &>(*this);
    const Statement s(self, QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quotedName(table)));
    QStringList names;
    for (int i = 0, n = s.columnCount(); i < n; ++i)
        names << s.columnName(i);
    return names;
}

bool Connection::hasTable(const QString &table) const
{
    if (!m_handle)
        return false;
    Statement s(const_cast<Connection &>(*this),
        QStringLiteral("SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') "
                       "AND name = ?1 COLLATE NOCASE"));
    Statement::Reset done(s);
    s.bindText(1, table);
    return s.step();
}

qint64 Connection::totalChanges() const
{
    return m_handle ? sqlite3_total_changes64(m_handle) : 0;
}

qint64 Connection::lastInsertRowId() const
{
    return m_handle ? sqlite3_last_insert_rowid(m_handle) : 0;
}

int Connection::steppingStatements() const
{
    int stepping = 0;
    if (!m_handle)
        return 0;
    for (sqlite3_stmt *s = sqlite3_next_stmt(m_handle, nullptr); s;
         s = sqlite3_next_stmt(m_handle, s))
        stepping += sqlite3_stmt_busy(s) ? 1 : 0;
    return stepping;
}

QString Connection::lastEngineMessage() const
{
    return m_handle ? QString::fromUtf8(sqlite3_errmsg(m_handle)) : QString();
}
