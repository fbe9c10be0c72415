#include "store/pgengine.h"

#include "store/dberror.h"
#include "store/dialect.h"
#include "store/pgsqltext.h"
#include "store/pgstatement.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <cerrno>
#include <cstdlib>
#include <libpq-fe.h>
#include <poll.h>
#include <vector>

namespace {

QString oneLine(const char *text)
{
    QString message = QString::fromUtf8(text).trimmed();
    message.replace(QLatin1Char('\n'), QLatin1Char(' '));
    message.replace(QLatin1Char('\t'), QString());
    return message;
}

// Seconds a connection attempt waits for each answer of the server.
const int connectTimeout = 15;

// Waits for a connection begun with PQconnectStartParams (or PQresetStart) to finish, as
// PQconnectdbParams would; the caller has set the verbosity that makes the server's
// refusal carry its SQLSTATE. False on failure or when the server stays silent.
bool finishConnecting(PGconn *conn, PostgresPollingStatusType (*step)(PGconn *))
{
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    for (;;) {
        if (state == PGRES_POLLING_OK)
            return true;
        if (state == PGRES_POLLING_FAILED)
            return false;
        pollfd wait {};
        wait.fd = PQsocket(conn);
        wait.events = state == PGRES_POLLING_READING ? POLLIN : POLLOUT;
        const int ready = ::poll(&wait, 1, connectTimeout * 1000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        state = step(conn);
    }
}

// The server as the messages name it: host, and the port when it is not the usual one.
QString serverName(PGconn *conn)
{
    const QString host = QString::fromUtf8(PQhost(conn));
    const QString port = QString::fromUtf8(PQport(conn));
    return port.isEmpty() || port == QLatin1String("5432") ? host : host + QLatin1Char(':') + port;
}

// Why an attempt to connect failed, told in the program's words; libpq's text (without the
// code and source lines the verbose form adds) becomes the detail.
DbError connectionRefused(PGconn *conn)
{
    if (!conn)
        return DbError::unreachable(QStringLiteral("Não foi possível conectar ao servidor do "
                                                   "catálogo: falta memória."),
            DbError::Reach::Unknown, QString());
    QString raw = QString::fromUtf8(PQerrorMessage(conn));
    static const QRegularExpression coded(
        QStringLiteral("(FATAL|ERROR|PANIC):  ([0-9A-Z]{5}): "));
    QByteArray state;
    for (auto it = coded.globalMatch(raw); it.hasNext();)
        state = it.next().captured(2).toLatin1();
    raw.replace(coded, QStringLiteral("\\1:  "));
    static const QRegularExpression location(QStringLiteral("^LOCATION:.*$\\n?"),
        QRegularExpression::MultilineOption);
    raw.remove(location);
    const QString detail = oneLine(raw.toUtf8().constData());
    const QString server = serverName(conn);
    const QString user = QString::fromUtf8(PQuser(conn));
    using Reach = DbError::Reach;
    if (PQconnectionNeedsPassword(conn))
        return DbError::unreachable(
            QStringLiteral("O servidor do catálogo %1 pede uma senha para o usuário \"%2\".")
                .arg(server, user),
            Reach::PasswordNeeded, detail);
    if (state == "28P01")
        return DbError::unreachable(
            QStringLiteral("O servidor do catálogo %1 recusou a senha do usuário \"%2\".")
                .arg(server, user),
            Reach::PasswordRefused, detail);
    if (state == "3D000")
        return DbError::unreachable(
            QStringLiteral("O servidor do catálogo %1 não tem o banco de dados \"%2\".")
                .arg(server, QString::fromUtf8(PQdb(conn))),
            Reach::NoDatabase, detail);
    if (state == "28000")
        return DbError::unreachable(
            QStringLiteral("O servidor do catálogo %1 não permite a entrada do usuário \"%2\".")
                .arg(server, user),
            Reach::Unknown, detail);
    if (state == "53300")
        return DbError::unreachable(
            QStringLiteral("O servidor do catálogo %1 não aceita mais conexões agora.")
                .arg(server),
            Reach::Unknown, detail);
    if (state.isEmpty() || state == "57P03")
        return DbError::unreachable(
            QStringLiteral("Não foi possível conectar ao servidor do catálogo %1: ele não "
                           "responde (está desligado, ou fora de alcance).")
                .arg(server),
            Reach::ServerDown, detail.isEmpty() ? QStringLiteral("timeout") : detail);
    return DbError::unreachable(
        QStringLiteral("Não foi possível conectar ao servidor do catálogo %1.").arg(server),
        Reach::Unknown, detail);
}

} // namespace

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
    // Started rather than made at once, so that the server's refusal comes with its code.
    m_conn = PQconnectStartParams(keywords, values, 1);
    bool connected = false;
    if (m_conn && PQstatus(m_conn) != CONNECTION_BAD) {
        PQsetErrorVerbosity(m_conn, PQERRORS_VERBOSE);
        connected = finishConnecting(m_conn, &PQconnectPoll);
    }
    if (!connected) {
        const DbError error = connectionRefused(m_conn);
        PQfinish(m_conn);
        m_conn = nullptr;
        throw error;
    }
    PQsetErrorVerbosity(m_conn, PQERRORS_DEFAULT);
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
    PQsetErrorVerbosity(m_conn, PQERRORS_VERBOSE);
    const bool connected
        = PQresetStart(m_conn) == 1 && finishConnecting(m_conn, &PQresetPoll);
    if (!connected) {
        const DbError error = connectionRefused(m_conn);
        m_lastMessage = error.message();
        throw error;
    }
    PQsetErrorVerbosity(m_conn, PQERRORS_DEFAULT);
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
    if (state == "55P03" || state == "40P01") {
        // Another client's transaction holds what this one needs (a scan writing the same
        // row, a save of the same name): told in the user's words, the wait was bounded.
        message = QStringLiteral("Outro usuário do catálogo está alterando os mesmos dados "
                                 "(por exemplo, uma varredura em andamento) e não os liberou "
                                 "a tempo. Tente de novo quando ele terminar.");
    }
    if (state == "22001") {
        // A name longer than the server's column (a file takes any length): said in the
        // user's words, with the limit the server gave.
        const QRegularExpressionMatch limit
            = QRegularExpression(QStringLiteral("\\((\\d+)\\)")).match(message);
        message = limit.hasMatch()
            ? QStringLiteral("O texto é longo demais para o catálogo no servidor: no máximo %1 "
                             "caracteres.")
                  .arg(limit.captured(1))
            : QStringLiteral("O texto é longo demais para o catálogo no servidor.");
    }
    m_lastMessage = message;
    throw DbError::fromServer(message, state);
}

void PgConnection::failConnection()
{
    m_lastMessage = QStringLiteral("A conexão com o servidor do catálogo caiu (servidor %1).")
                        .arg(serverName(m_conn));
    throw DbError::unreachable(
        m_lastMessage, DbError::Reach::Dropped, oneLine(PQerrorMessage(m_conn)));
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
}

void PgConnection::lockUntilEnd(const QByteArray &what, const QByteArray &key, bool shared)
{
    if (PQtransactionStatus(m_conn) != PQTRANS_INTRANS)
        return; // nothing to guard outside a transaction: each statement stands alone
    // One number per lock, the same on every machine; a wait that ends in the lock timeout
    // costs the transaction nothing it wrote before (it is taken inside a savepoint).
    const QByteArray digest
        = QCryptographicHash::hash(what + '\0' + key, QCryptographicHash::Sha1);
    qint64 number = 0;
    for (int i = 0; i < 8; ++i)
        number = (number << 8) | quint8(digest.at(i));
    const QByteArray sql = QByteArrayLiteral("SAVEPOINT qm_lock; SELECT ")
        + (shared ? "pg_advisory_xact_lock_shared(" : "pg_advisory_xact_lock(")
        + QByteArray::number(number) + QByteArrayLiteral("); RELEASE SAVEPOINT qm_lock");
    PGresult *r = run(sql);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) {
        if (PQstatus(m_conn) != CONNECTION_BAD)
            PQclear(PQexec(m_conn, "ROLLBACK TO SAVEPOINT qm_lock; RELEASE SAVEPOINT qm_lock"));
        fail(r);
    }
    PQclear(r);
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
