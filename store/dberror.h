#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

struct sqlite3;

// The one exception every failing catalogue operation throws. message() is the engine's
// own text, unchanged, so that the program can show it in an error box as it is; only a
// server that cannot be reached is told in the program's own words, the library's text
// then kept as detail().
class DbError : public std::exception {
public:
    // What the program may do about a failure, whichever engine raised it.
    enum class Kind {
        Other,
        Busy, // another process holds the lock the operation waited for
        ReadOnly, // the catalogue may not be written
        Constraint, // a key, relation or check refused the row
        Connection, // the engine could not be reached, or the connection dropped
    };

    // Why a server could not be reached, when that is the failure (Kind::Connection).
    enum class Reach {
        Unknown,
        ServerDown, // nothing answered at the host and port
        PasswordNeeded, // the server asks for a password and none was given
        PasswordRefused, // the server refused the password given
        NoDatabase, // the server has no database of that name
        Dropped, // an open connection was lost
    };

    explicit DbError(const QString &message, int code = 0, Kind kind = Kind::Other);
    // A failure to reach a server: a sentence of the program's own as the message, the
    // library's text as the detail.
    static DbError unreachable(const QString &message, Reach reach, const QString &detail);
    // The engine's failure `rc` on a handle: its message and extended code (the one place
    // where an SQLite result code becomes an error).
    static DbError fromEngine(sqlite3 *db, int rc);
    // The server's failure: its message and SQLSTATE (the one place where a PostgreSQL
    // state becomes an error).
    static DbError fromServer(const QString &message, const QByteArray &sqlState);

    // The engine's text (SQLite's sqlite3_errmsg, the server's message, or the binding's
    // own for its checks).
    QString message() const { return m_message; }
    // SQLite's extended result code when SQLite raised it, 0 otherwise.
    int code() const { return m_code; }
    Kind kind() const { return m_kind; }
    Reach reach() const { return m_reach; }
    bool isPasswordFailure() const
    {
        return m_reach == Reach::PasswordNeeded || m_reach == Reach::PasswordRefused;
    }
    // What the engine's library said, beneath the message (for a box's details and the
    // log); empty when the message is the engine's text itself.
    QString detail() const { return m_detail; }
    bool isBusy() const { return m_kind == Kind::Busy; }
    // The server's SQLSTATE ("23503"), empty for SQLite and the binding's checks.
    QByteArray sqlState() const { return m_sqlState; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
    QByteArray m_sqlState;
    QString m_detail;
    int m_code;
    Kind m_kind;
    Reach m_reach = Reach::Unknown;
};
