#pragma once

#include <QString>
#include <QTemporaryDir>

// A PostgreSQL 15 cluster of a benchmark's own on this machine: made by initdb in a
// temporary folder, listening on 127.0.0.1, trusted as the superuser "quillomar", stopped
// when the object goes. The server refuses to run as root, so then it runs as "nobody".
class BenchServer {
public:
    BenchServer();
    ~BenchServer();
    BenchServer(const BenchServer &) = delete;
    BenchServer &operator=(const BenchServer &) = delete;

    // `options`: more server settings, as pg_ctl's -o takes them ("-c name=value ...").
    bool start(const QString &options = QString());
    void stop();
    // postgresql://quillomar@127.0.0.1:PORT/ — a database's name completes a location.
    QString root() const;
    QString logFile() const { return m_dir.filePath(QStringLiteral("log")); }

private:
    bool runServerTool(const QString &tool, const QStringList &arguments) const;

    QTemporaryDir m_dir;
    bool m_asNobody = false;
    bool m_running = false;
    int m_port = 0;
};
