#include "support/pgserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QtTest>

#include <libpq-fe.h>
#include <cerrno>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

namespace testsupport {

namespace {

QString serverBinFolder()
{
    QProcess config;
    config.start(QStringLiteral("pg_config"), { QStringLiteral("--bindir") });
    if (config.waitForFinished(10000) && config.exitCode() == 0) {
        const QString folder = QString::fromLocal8Bit(config.readAllStandardOutput()).trimmed();
        if (QFileInfo(folder + QStringLiteral("/initdb")).isExecutable())
            return folder;
    }
    return QStringLiteral("/usr/lib/postgresql/15/bin");
}

int freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

PgServer &PgServer::instance()
{
    static PgServer server;
    return server;
}

PgServer::PgServer()
{
    m_running = init();
}

PgServer::~PgServer()
{
    stop();
}

int PgServer::runTool(const QString &tool, const QStringList &arguments, QString *output) const
{
    QProcess p;
    p.setWorkingDirectory(m_dir->path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.remove(QStringLiteral("PGDATA"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    const QString program = QDir(m_bin).filePath(tool);
    if (m_asNobody) {
        p.start(QStringLiteral("runuser"),
            QStringList { QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                program }
                + arguments);
    } else {
        p.start(program, arguments);
    }
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
    }
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool PgServer::init()
{
    m_bin = serverBinFolder();
    if (!QFileInfo(QDir(m_bin).filePath(QStringLiteral("initdb"))).isExecutable()) {
        m_error = QStringLiteral("initdb not found in %1 (package postgresql-15)").arg(m_bin);
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/qm-pg-XXXXXX"));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_data = m_dir->filePath(QStringLiteral("data"));
    m_asNobody = ::geteuid() == 0;
    sweepAbandoned();
    // Whose server this is, for the sweep of a later run when this one is killed.
    QFile owner(m_dir->filePath(QStringLiteral("owner")));
    if (owner.open(QIODevice::WriteOnly))
        owner.write(QByteArray::number(qint64(::getpid())));
    owner.close();
    if (m_asNobody) {
        // The cluster and its folder belong to the unprivileged user; nobody else may enter.
        const passwd *pw = ::getpwnam("nobody");
        if (!pw || ::chown(QFile::encodeName(m_dir->path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            m_error = QStringLiteral("cannot give the cluster folder to nobody");
            return false;
        }
    }
    QString log;
    if (runTool(QStringLiteral("initdb"),
            { QStringLiteral("-D"), m_data, QStringLiteral("-U"), QStringLiteral("quillomar"),
                QStringLiteral("--auth=trust"), QStringLiteral("--encoding=UTF8"),
                QStringLiteral("--locale=C"), QStringLiteral("-N") },
            &log)
        != 0) {
        m_error = QStringLiteral("initdb failed: %1").arg(log);
        return false;
    }
    // One user must give a password (scram), everyone else is trusted from this machine.
    QFile hba(QDir(m_data).filePath(QStringLiteral("pg_hba.conf")));
    if (!hba.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("pg_hba.conf unreadable");
        return false;
    }
    const QByteArray rules = "host all quillomar_pw 127.0.0.1/32 scram-sha-256\n" + hba.readAll();
    hba.close();
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) || hba.write(rules) != rules.size()) {
        m_error = QStringLiteral("pg_hba.conf unwritable");
        return false;
    }
    hba.close();
    for (int attempt = 0; attempt < 3 && !m_running; ++attempt) {
        m_port = freePort();
        m_running = start();
    }
    if (!m_running)
        return false;
    exec(QStringLiteral("postgres"),
        QStringLiteral("CREATE ROLE quillomar_pw LOGIN PASSWORD '%1'").arg(password()));
    return true;
}

bool PgServer::start()
{
    const QString options
        = QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off "
                         "-c synchronous_commit=off -c full_page_writes=off "
                         "-c shared_buffers=16MB -c max_connections=40")
              .arg(m_port)
              .arg(m_dir->path());
    QString log;
    const int rc = runTool(QStringLiteral("pg_ctl"),
        { QStringLiteral("-D"), m_data, QStringLiteral("-l"),
            m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
            QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("-o"), options,
            QStringLiteral("start") },
        &log);
    if (rc != 0) {
        QFile serverLog(m_dir->filePath(QStringLiteral("server.log")));
        serverLog.open(QIODevice::ReadOnly);
        m_error = QStringLiteral("pg_ctl start failed: %1\n%2")
                      .arg(log, QString::fromLocal8Bit(serverLog.readAll()));
        return false;
    }
    m_running = true;
    m_error.clear();
    return true;
}

// A test executable killed (a timeout, ^C) never stops its server: the next one stops
// the servers whose owner is gone, and removes their folders.
void PgServer::sweepAbandoned() const
{
    const QDir temp(QDir::tempPath());
    const QStringList folders
        = temp.entryList({ QStringLiteral("qm-pg-*") }, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : folders) {
        const QString folder = temp.filePath(name);
        if (folder == m_dir->path())
            continue;
        QFile owner(QDir(folder).filePath(QStringLiteral("owner")));
        if (!owner.open(QIODevice::ReadOnly))
            continue; // not known to be abandoned
        bool ok = false;
        const qint64 pid = owner.readAll().trimmed().toLongLong(&ok);
        owner.close();
        if (!ok || pid <= 0 || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        const QString data = QDir(folder).filePath(QStringLiteral("data"));
        if (QFileInfo::exists(QDir(data).filePath(QStringLiteral("postmaster.pid"))))
            runTool(QStringLiteral("pg_ctl"),
                { QStringLiteral("-D"), data, QStringLiteral("-m"), QStringLiteral("immediate"),
                    QStringLiteral("-w"), QStringLiteral("stop") });
        QDir(folder).removeRecursively();
    }
}

void PgServer::stop()
{
    if (!m_running)
        return;
    runTool(QStringLiteral("pg_ctl"),
        { QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("immediate"),
            QStringLiteral("-w"), QStringLiteral("stop") });
    m_running = false;
}

QString PgServer::location(const QString &database, const QString &user) const
{
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(user).arg(m_port).arg(database);
}

QString PgServer::databaseOf(const QString &location)
{
    return location.mid(location.lastIndexOf(QLatin1Char('/')) + 1);
}

QString PgServer::createDatabase(const QString &prefix)
{
    const QString name = QStringLiteral("%1_%2").arg(prefix).arg(++m_databases);
    exec(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE %1").arg(name));
    return location(name);
}

QString PgServer::exec(const QString &database, const QString &sql) const
{
    if (!m_running)
        qFatal("the test's PostgreSQL server is not running: %s", qPrintable(m_error));
    PGconn *c = PQconnectdb(location(database).toUtf8().constData());
    if (PQstatus(c) != CONNECTION_OK)
        qFatal("cannot connect to the test server: %s", PQerrorMessage(c));
    PGresult *r = PQexec(c, sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const QByteArray message = PQresultErrorMessage(r);
        PQclear(r);
        PQfinish(c);
        qFatal("test server refused %s: %s", qPrintable(sql), message.constData());
    }
    const QString value = status == PGRES_TUPLES_OK && PQntuples(r) > 0 && PQnfields(r) > 0
        ? QString::fromUtf8(PQgetvalue(r, 0, 0))
        : QString();
    PQclear(r);
    PQfinish(c);
    return value;
}

} // namespace testsupport
