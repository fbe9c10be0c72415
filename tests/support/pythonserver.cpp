#include "support/pythonserver.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace testsupport {

QString supportScript(const QString &name)
{
    return QStringLiteral(QM_TEST_SUPPORT_DIR "/") + name;
}

QJsonObject pythonJson(const QString &script, const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList { supportScript(script) } + args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qWarning("%s failed: %s", qPrintable(script), p.readAllStandardError().constData());
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

PythonServer::PythonServer(const QString &script, const QStringList &args)
    : m_script(supportScript(script)), m_args(args)
{
}

PythonServer::~PythonServer()
{
    stop();
}

bool PythonServer::start()
{
    m_process.setProgram(QStringLiteral("/usr/bin/python3"));
    m_process.setArguments(QStringList { m_script, logPath() } + m_args);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return false;
    QByteArray seen;
    while (!seen.contains('\n')) {
        if (!m_process.waitForReadyRead(15000)) {
            qWarning("%s did not come up: %s", qPrintable(m_script),
                m_process.readAllStandardError().constData());
            return false;
        }
        seen += m_process.readAllStandardOutput();
    }
    const QList<QByteArray> words = seen.trimmed().split(' ');
    m_port = words.size() == 2 && words[0] == "PORT" ? words[1].toInt() : 0;
    return m_port > 0;
}

void PythonServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(10000);
}

QList<QJsonObject> PythonServer::entries() const
{
    QList<QJsonObject> list;
    QFile f(logPath());
    if (!f.open(QIODevice::ReadOnly))
        return list;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            list << QJsonDocument::fromJson(line).object();
    }
    return list;
}

QList<QJsonObject> PythonServer::entries(const QString &event) const
{
    QList<QJsonObject> list;
    for (const QJsonObject &e : entries()) {
        if (e.value(QStringLiteral("event")).toString() == event)
            list << e;
    }
    return list;
}

QString PythonServer::folder(const QString &name) const
{
    const QString path = m_dir.filePath(name);
    QDir().mkpath(path);
    return path;
}

} // namespace testsupport
