#include "store/connection.h"

#include "store/dberror.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <sqlite3.h>

namespace {

QAtomicInt connectionCounter;

const QLatin1String jet40Prefix("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
const QLatin1String jet40Name("Microsoft.Jet.OLEDB.4.0");

// SQLite URIs reserve these three characters inside the path.
QString uriForFile(const QString &path, const char *mode)
{
    QString encoded;
    encoded.reserve(path.size() + 16);
    for (const QChar c : path) {
        if (c == QLatin1Char('%'))
            encoded += QLatin1String("%25");
        else if (c == QLatin1Char('?'))
            encoded += QLatin1String("%3F");
        else if (c == QLatin1Char('#'))
            encoded += QLatin1String("%23");
        else
            encoded += c;
    }
    return QStringLiteral("file:") + encoded + QStringLiteral("?mode=") + QLatin1String(mode);
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

Connection::Connection(QObject *parent)
    : QObject(parent), m_name(QStringLiteral("qm-catalogue-%1").arg(++connectionCounter))
{
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
}

Connection::~Connection()
{
    close();
    QSqlDatabase::removeDatabase(m_name);
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
            m_lastOpenError
                = QStringLiteral("%1 could not open \"%2\": %3").arg(jet40Name, path, e.message());
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
        message = QStringLiteral("ODBC driver \"%1\" is not available on this system").arg(driver);
    } else if (!provider.isEmpty()) {
        message = QStringLiteral("Provider \"%1\" is not available on this system").arg(provider);
    } else {
        message = QStringLiteral("Connection string not understood: %1").arg(connectionString);
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
                ? QStringLiteral("file already exists: %1").arg(path)
                : QStringLiteral("unable to create %1: %2").arg(path, file.errorString()));
    }
    file.close();
    try {
        openSqlite(path, true);
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

void Connection::openSqlite(const QString &path, bool create)
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    db.setDatabaseName(uriForFile(path, "rw"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
    if (!db.open()) {
        const QSqlError error = db.lastError();
        fail(error.databaseText().isEmpty() ? error.text() : error.databaseText(),
            error.nativeErrorCode().toInt());
    }
    const QVariant h = db.driver()->handle();
    if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
        m_handle = *static_cast<sqlite3 *const *>(h.constData());
    if (!m_handle) {
        db.close();
        fail(QStringLiteral("the SQLite driver gave no handle"));
    }
    m_filePath = QFileInfo(path).absoluteFilePath();
    try {
        configure();
        if (!create)
            checkRequiredTables();
        // Only a file known to be ours gets the journal mode written into its header.
        if (!isReadOnly())
            exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    } catch (...) {
        close();
        throw;
    }
}

void Connection::configure()
{
    sqlite3_busy_timeout(m_handle, m_busyTimeout);
    sqlite3_extended_result_codes(m_handle, 1);
    exec(QStringLiteral("PRAGMA foreign_keys = ON"));
}

void Connection::checkRequiredTables()
{
    // Reading the schema reads the header first: a file that is not a database fails here.
    exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    for (const QString &table : std::as_const(m_requiredTables)) {
        sqlite3_stmt *stmt = nullptr;
        const QByteArray sql = QStringLiteral("SELECT * FROM \"%1\" LIMIT 0").arg(table).toUtf8();
        const int rc = sqlite3_prepare_v2(m_handle, sql.constData(), -1, &stmt, nullptr);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_OK)
            fail(lastEngineMessage(), sqlite3_extended_errcode(m_handle));
    }
}

void Connection::close()
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    if (!db.isOpen() && !m_handle)
        return;
    emit aboutToClose();
    m_handle = nullptr;
    m_connectionString.clear();
    m_filePath.clear();
    db.close();
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
        fail(QStringLiteral("the catalogue is not open"));
    char *message = nullptr;
    const int rc = sqlite3_exec(m_handle, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString text = message ? QString::fromUtf8(message) : lastEngineMessage();
        sqlite3_free(message);
        fail(text, sqlite3_extended_errcode(m_handle));
    }
}

QStringList Connection::columnNames(const QString &table) const
{
    QStringList names;
    if (!m_handle)
        throw DbError(QStringLiteral("the catalogue is not open"));
    sqlite3_stmt *stmt = nullptr;
    const QByteArray sql = QStringLiteral("SELECT * FROM \"%1\" LIMIT 0").arg(table).toUtf8();
    if (sqlite3_prepare_v2(m_handle, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw DbError(lastEngineMessage(), sqlite3_extended_errcode(m_handle));
    }
    const int count = sqlite3_column_count(stmt);
    for (int i = 0; i < count; ++i)
        names << QString::fromUtf8(sqlite3_column_name(stmt, i));
    sqlite3_finalize(stmt);
    return names;
}

bool Connection::hasTable(const QString &table) const
{
    if (!m_handle)
        return false;
    sqlite3_stmt *stmt = nullptr;
    const char *sql = "SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') "
                      "AND name = ?1 COLLATE NOCASE";
    if (sqlite3_prepare_v2(m_handle, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw DbError(lastEngineMessage(), sqlite3_extended_errcode(m_handle));
    }
    const QByteArray name = table.toUtf8();
    sqlite3_bind_text(stmt, 1, name.constData(), name.size(), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DbError(lastEngineMessage(), sqlite3_extended_errcode(m_handle));
    return rc == SQLITE_ROW;
}

qint64 Connection::totalChanges() const
{
    return m_handle ? sqlite3_total_changes64(m_handle) : 0;
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

QString Connection::lastEngineMessage() const
{
    return m_handle ? QString::fromUtf8(sqlite3_errmsg(m_handle)) : QString();
}
