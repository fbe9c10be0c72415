#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

// A server script of tests/support run by /usr/bin/python3 on 127.0.0.1: started with its
// arguments, it prints "PORT <n>" once it listens and writes what it saw as JSON lines to
// logPath(). Stopped (killed) by stop() or the destructor.
class PythonServer {
public:
    // script: a file name in tests/support; args follow the log file's path.
    PythonServer(const QString &script, const QStringList &args);
    ~PythonServer();
    PythonServer(const PythonServer &) = delete;
    PythonServer &operator=(const PythonServer &) = delete;

    // False (with the script's standard error as a warning) when it did not come up.
    bool start();
    void stop();
    int port() const { return m_port; }
    QString logPath() const { return m_dir.filePath(QStringLiteral("server.jsonl")); }
    // Every entry of the log so far, oldest first.
    QList<QJsonObject> entries() const;
    // The entries whose "event" is the given one.
    QList<QJsonObject> entries(const QString &event) const;
    // A folder of its own for the test's files.
    QString folder(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QString m_script;
    QStringList m_args;
    QProcess m_process;
    int m_port = 0;
};

// Where the scripts lie (tests/support of the source tree).
QString supportScript(const QString &name);

// Runs a script of tests/support to its end and reads the JSON object it prints.
QJsonObject pythonJson(const QString &script, const QStringList &args);

} // namespace testsupport
