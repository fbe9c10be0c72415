#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

struct sqlite3;

// The one exception every failing catalogue operation throws. message() is the engine's
// own text, unchanged, so that the program can show it in an error box as it is.
class DbError : public std::exception {
public:
    explicit DbError(const QString &message, int code = 0);
    // The engine's failure `rc` on a handle: its message and extended code (the one place
    // where an SQLite result code becomes an error).
    static DbError fromEngine(sqlite3 *db, int rc);

    // The engine's text (SQLite's sqlite3_errmsg, or the binding's own for its checks).
    QString message() const { return m_message; }
    // SQLite's extended result code when the engine raised it, 0 for the binding's checks.
    int code() const { return m_code; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
    int m_code;
};
