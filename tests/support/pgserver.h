#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

// A PostgreSQL 15 server of the test executable's own: a cluster made by initdb in a
// temporary folder, listening on a free port of 127.0.0.1, started on first use and stopped
// when the executable ends. The server's programs come from pg_config --bindir (Debian's
// postgresql-15). The server refuses to run as root, so when the tests run as root (CI) the
// cluster belongs to the unprivileged user "nobody" and its programs run through runuser.
// Connections are trusted from 127.0.0.1 as the superuser "quillomar"; the user
// "quillomar_pw" must give its password (see password()).
class PgServer {
public:
    // The running server; started on first call. Check error() when it could not start.
    static PgServer &instance();
    ~PgServer();
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;

    bool isRunning() const { return m_running; }
    // Why the server could not start (with its log), empty when it runs.
    QString error() const { return m_error; }
    int port() const { return m_port; }
    QString binFolder() const { return m_bin; }

    // A new, empty database; returns its location (postgresql://quillomar@127.0.0.1:PORT/DB).
    QString createDatabase(const QString &prefix = QStringLiteral("qm"));
    // The location of a database as a user.
    QString location(const QString &database, const QString &user = QStringLiteral("quillomar")) const;
    static QString databaseOf(const QString &location);
    // Runs SQL in a database as the superuser; returns the first value of the last result
    // (empty when none); fails the test on an error.
    QString exec(const QString &database, const QString &sql) const;
    // The password of "quillomar_pw".
    static QString password() { return QStringLiteral("segredo-de-teste"); }

    // Stops the server at once (a server that went down); start() brings it back on the same
    // port and data.
    void stop();
    bool start();

private:
    PgServer();
    bool init();
    void sweepAbandoned() const;
    // Runs one of the server's programs, as "nobody" when we are root.
    int runTool(const QString &tool, const QStringList &arguments, QString *output = nullptr) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bin;
    QString m_data;
    QString m_error;
    int m_port = 0;
    int m_databases = 0;
    bool m_running = false;
    bool m_asNobody = false;
};

} // namespace testsupport
