#include "benchserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString serverBin = QStringLiteral("/usr/lib/postgresql/15/bin");

} // namespace

BenchServer::BenchServer() : m_dir(QDir::tempPath() + QStringLiteral("/qm-bench-pg-XXXXXX")) { }

BenchServer::~BenchServer()
{
    stop();
}

bool BenchServer::runServerTool(const QString &tool, const QStringList &arguments) const
{
    QStringList args = QStringList { serverBin + QLatin1Char('/') + tool } + arguments;
    if (m_asNobody)
        args = QStringList { QStringLiteral("runuser"), QStringLiteral("-u"),
                   QStringLiteral("nobody"), QStringLiteral("--") }
            + args;
    QProcess p;
    p.setProgram(args.takeFirst());
    p.setArguments(args);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start();
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit
        || p.exitCode() != 0) {
        std::fprintf(stderr, "failed: %s %s\n", qPrintable(tool),
            p.readAllStandardError().constData());
        return false;
    }
    return true;
}

bool BenchServer::start(const QString &options)
{
    if (!m_dir.isValid())
        return false;
    m_asNobody = ::geteuid() == 0;
    if (m_asNobody) {
        const passwd *pw = ::getpwnam("nobody");
        if (!pw
            || ::chown(QFile::encodeName(m_dir.path()).constData(), pw->pw_uid, pw->pw_gid) != 0)
            return false;
    }
    m_port = 40000 + int(::getpid() % 20000);
    const QString data = m_dir.filePath(QStringLiteral("data"));
    if (!runServerTool(QStringLiteral("initdb"),
            { QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("quillomar"),
                QStringLiteral("--auth=trust"), QStringLiteral("--encoding=UTF8"),
                QStringLiteral("--locale=C") }))
        return false;
    QString settings = QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2")
                           .arg(m_port)
                           .arg(m_dir.path());
    if (!options.isEmpty())
        settings += QLatin1Char(' ') + options;
    m_running = runServerTool(QStringLiteral("pg_ctl"),
        { QStringLiteral("-D"), data, QStringLiteral("-l"), logFile(), QStringLiteral("-w"),
            QStringLiteral("-o"), settings, QStringLiteral("start") });
    return m_running;
}

void BenchServer::stop()
{
    if (!m_running)
        return;
    m_running = false;
    runServerTool(QStringLiteral("pg_ctl"),
        { QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
            QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop") });
}

QString BenchServer::root() const
{
    return QStringLiteral("postgresql://quillomar@127.0.0.1:%1/").arg(m_port);
}
