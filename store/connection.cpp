#include "store/connection.h"

#include "store/dberror.h"
#include "store/dialect.h"
#include "store/pgengine.h"
#include "store/pgsqltext.h"
#include "store/schema.h"
#include "store/sqliteengine.h"
#include "store/statement.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUrl>

namespace {

const QLatin1String jet40Prefix("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
const QLatin1String jet40Name("Microsoft.Jet.OLEDB.4.0");
const QLatin1String serverPrefix("Provider=PostgreSQL;Data Source=");
const QString notOpen = QStringLiteral("o catálogo não está aberto");

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

// The data source of a connection string "PREFIX...;", or a null string.
QString dataSource(const QString &connectionString, QLatin1String prefix)
{
    if (!connectionString.startsWith(prefix, Qt::CaseInsensitive)
        || !connectionString.endsWith(QLatin1Char(';')))
        return QString();
    return connectionString.mid(prefix.size(), connectionString.size() - prefix.size() - 1);
}

// A server location as it may be shown: without a password written into it.
QString shownLocation(const QString &location)
{
    const int scheme = location.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return location;
    const int hostEnd = location.indexOf(QLatin1Char('/'), scheme + 3);
    const int at = location.lastIndexOf(QLatin1Char('@'), hostEnd < 0 ? -1 : hostEnd);
    if (at < scheme)
        return location;
    const int colon = location.indexOf(QLatin1Char(':'), scheme + 3);
    if (colon < 0 || colon > at)
        return location;
    return location.left(colon) + location.mid(at);
}

} // namespace

Connection::Connection(QObject *parent) : QObject(parent) { }

Connection::~Connection()
{
    close();
}

bool Connection::isServerLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
        || location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString Connection::serverUser(const QString &location)
{
    const QString user = QUrl(location).userName();
    return user.isEmpty() ? qEnvironmentVariable("PGUSER", qEnvironmentVariable("USER")) : user;
}

QString Connection::serverAddress(const QString &location)
{
    const QUrl url(location);
    return url.port() > 0 ? url.host() + QLatin1Char(':') + QString::number(url.port())
                          : url.host();
}

QString Connection::absoluteLocation(const QString &location)
{
    return isServerLocation(location) ? location : QFileInfo(location).absoluteFilePath();
}

void Connection::splitLocation(const QString &location, QString *folder, QString *file)
{
    if (isServerLocation(location)) {
        const int cut = location.lastIndexOf(QLatin1Char('/'));
        *folder = location.left(cut);
        *file = location.mid(cut + 1);
        return;
    }
    const QFileInfo info(location);
    *folder = info.absolutePath();
    *file = info.fileName();
}

void Connection::fail(const QString &message, int code)
{
    throw DbError(message, code);
}

void Connection::open(const QString &connectionString)
{
    close();
    QString location = dataSource(connectionString, jet40Prefix);
    if (location.isNull())
        location = dataSource(connectionString, serverPrefix);
    if (!location.isNull()) {
        const bool server = isServerLocation(location);
        if (!server && connectionString.startsWith(serverPrefix, Qt::CaseInsensitive)) {
            fail(QStringLiteral("O PostgreSQL precisa de um endereço postgresql://: %1")
                     .arg(location));
        }
        m_lastOpenError.clear();
        try {
            if (server)
                openServer(location);
            else
                openSqlite(location, false);
        } catch (const DbError &e) {
            m_lastOpenError = QStringLiteral("%1 não conseguiu abrir \"%2\": %3")
                                  .arg(server ? PgDialect::instance().providerName()
                                              : QString(jet40Name),
                                      server ? shownLocation(location) : location, e.message());
            throw;
        }
        m_connectionString = server
            ? serverPrefix + shownLocation(location) + QLatin1Char(';')
            : connectionString;
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

void Connection::openFile(const QString &location)
{
    close();
    if (isServerLocation(location))
        openServer(location);
    else
        openSqlite(location, false);
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
    auto engine = std::make_unique<SqliteConnection>(path, create, m_busyTimeout);
    m_sqlite = engine->handle();
    m_filePath = engine->filePath();
    m_engine = std::move(engine);
    if (create)
        return;
    try {
        checkRequiredTables();
    } catch (...) {
        close();
        throw;
    }
}

void Connection::openServer(const QString &location)
{
    // The server gives names in lower case; the program shows them as its tables spell them.
    static const QHash<QString, QString> spellings = [] {
        QHash<QString, QString> known;
        for (const QString &sql : Schema::definitions())
            known.insert(PgSqlText(sql).spellings());
        return known;
    }();
    auto engine = std::make_unique<PgConnection>(location, m_password, m_busyTimeout);
    engine->learnSpellings(spellings);
    m_engine = std::move(engine);
    m_filePath = shownLocation(location);
    try {
        checkRequiredTables();
    } catch (...) {
        close();
        throw;
    }
}

void Connection::checkRequiredTables()
{
    // Reading the schema reads the header first: a file that is not a database fails here.
    if (m_sqlite)
        Statement(*this, QStringLiteral("SELECT count(*) FROM sqlite_master")).exec();
    for (const QString &table : std::as_const(m_requiredTables))
        Statement(*this, QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(dialect().quoted(table)));
}

void Connection::close()
{
    if (!m_engine)
        return;
    emit aboutToClose();
    m_engine.reset();
    m_sqlite = nullptr;
    m_connectionString.clear();
    m_filePath.clear();
}

bool Connection::isOpen() const
{
    return m_engine != nullptr;
}

QString Connection::serverHost() const
{
    const auto *server = dynamic_cast<const PgConnection *>(m_engine.get());
    return server ? server->host() : QString();
}

bool Connection::isReadOnly() const
{
    return m_engine && m_engine->isReadOnly();
}

void Connection::setBusyTimeout(int milliseconds)
{
    m_busyTimeout = milliseconds;
    if (m_engine)
        m_engine->setBusyTimeout(m_busyTimeout);
}

void Connection::beginTransaction()
{
    if (!m_engine)
        fail(notOpen);
    m_engine->begin();
}

void Connection::commit()
{
    if (!m_engine)
        fail(notOpen);
    m_engine->commit();
}

void Connection::lockUntilEnd(const QString &what, const QString &key, bool shared)
{
    if (!m_engine)
        fail(notOpen);
    m_engine->lockUntilEnd(what.toUtf8(), key.toUtf8(), shared);
}

void Connection::rollback()
{
    if (!m_engine)
        fail(notOpen);
    m_engine->rollback();
}

bool Connection::inTransaction() const
{
    return m_engine && m_engine->inTransaction();
}

void Connection::exec(const QString &sql)
{
    if (!m_engine)
        fail(notOpen);
    m_engine->execScript(sql);
}

QStringList Connection::columnNames(const QString &table) const
{
    if (!m_engine)
        throw DbError(notOpen);
    auto &self = const_cast<Connection &>(*this);
    const Statement s(self, QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(dialect().quoted(table)));
    QStringList names;
    for (int i = 0, n = s.columnCount(); i < n; ++i) {
        if (!dialect().isHiddenColumn(s.columnName(i)))
            names << s.columnName(i);
    }
    return names;
}

bool Connection::hasTable(const QString &table) const
{
    return m_engine && m_engine->hasTable(table);
}

qint64 Connection::totalChanges() const
{
    return m_engine ? m_engine->totalChanges() : 0;
}

qint64 Connection::lastInsertRowId() const
{
    return m_engine ? m_engine->lastInsertRowId() : 0;
}

int Connection::steppingStatements() const
{
    return m_engine ? m_engine->steppingStatements() : 0;
}

sqlite3 *Connection::handle() const
{
    return m_sqlite;
}

const Dialect &Connection::dialect() const
{
    return m_engine ? m_engine->dialect() : SqliteDialect::instance();
}

QString Connection::lastEngineMessage() const
{
    return m_engine ? m_engine->lastEngineMessage() : QString();
}
