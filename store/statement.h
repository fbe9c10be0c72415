#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <memory>

class Connection;
class EngineStatement;

// One prepared statement: the program's only road to the engines (SQLite, PostgreSQL). It
// prepares in its constructor, finalizes in its destructor, binds QVariants, steps, and turns
// every engine failure into DbError carrying the engine's own text.
//
// Values cross between Qt and storage here and nowhere else (through dbvalues): bool is
// stored as 0/1, QDateTime/QDate as the ISO text "yyyy-MM-ddTHH:mm:ss", a null or invalid
// QVariant as SQL null; integers, reals, texts and QByteArray blobs as themselves. Read back,
// a column gives qlonglong, double, QString, QByteArray, or an invalid QVariant for null.
//
// A statement that has returned a row keeps a read open, and with it a shared lock on the
// file, until it is reset or runs to its end; then no other process can commit (on a server
// it keeps the connection until its rows are read). Engine-side differences in the values
// (the server's booleans, dates, bytea) are made the program's here too. Every use
// therefore sits under a Statement::Reset guard (or ends in exec()), so that no statement is
// left stepping once the operation is over:
//
//     Statement s(connection, "SELECT Name FROM Collections WHERE Collection = :KEY");
//     Statement::Reset done(s);   // resets and clears the bindings on leaving the scope
//     s.bind("KEY", 42);
//     while (s.step())
//         names << s.text(0);
//
// Parameters count from 1 ("?", "?NNN", ":NAME"), columns from 0, as SQLite counts them,
// on both engines.
// A statement belongs to its connection: destroy it before the connection closes.
class Statement {
public:
    // How long the statement will be kept: a persistent one is reused for many rows.
    enum class Lifetime { Once, Persistent };

    // Compiles one SQL statement; throws DbError when the connection is closed, the text does
    // not compile, or it holds more than one statement.
    Statement(Connection &connection, const QString &sql, Lifetime lifetime = Lifetime::Once);
    Statement(
        Connection &connection, const QByteArray &utf8Sql, Lifetime lifetime = Lifetime::Once);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Resets the statement (and clears its bindings) when it goes out of scope.
    class Reset {
    public:
        explicit Reset(Statement &statement) : m_statement(statement) { }
        ~Reset();
        Reset(const Reset &) = delete;
        Reset &operator=(const Reset &) = delete;

    private:
        Statement &m_statement;
    };

    // ---- parameters (from 1) ----
    int parameterCount() const;
    // The position of ":NAME" (also "@NAME" or "$NAME"; give it without the mark), letter
    // case ignored; 0 when the text names no such parameter.
    int parameterIndex(const QString &name) const;
    void bind(int index, const QVariant &value);
    // Throws DbError when the text names no such parameter.
    void bind(const QString &name, const QVariant &value);
    void bindNull(int index);
    void bindInteger(int index, qint64 value);
    void bindReal(int index, double value);
    void bindText(int index, const QString &text);
    // UTF-8 text the caller keeps alive and unchanged until the statement is reset: no copy
    // is made (the hot path of the scan). An empty text is stored as '', not null.
    void bindBorrowedUtf8(int index, const char *utf8, qsizetype size);
    void clearBindings();

    // ---- running ----
    // One step: true when a row is ready to read, false when the statement has finished.
    // On failure the statement is reset and DbError thrown.
    bool step();
    // Steps to the end, ignoring any rows, then resets; returns the rows it changed.
    int exec();
    // Ends the current run (releasing its read) and clears the bindings. Never throws: a
    // failure has already been reported by step().
    void reset();
    // Ends the current run but keeps the bindings, for a statement run many times whose
    // leading parameters are bound once (the scan's inserts).
    void rewind();
    // True between a step() that returned a row and the next reset or end.
    bool isStepping() const;

    // ---- columns of the current row (from 0) ----
    int columnCount() const;
    QString columnName(int column) const;
    // The declared type of a table column ("VARCHAR(100)", "BOOLEAN"); empty for expressions.
    QString columnDeclaredType(int column) const;
    // The column of a name or alias, letter case ignored; -1 when absent.
    int columnIndex(const QString &name) const;
    bool isNull(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    // Invalid UTF-8 becomes replacement characters.
    QString text(int column) const;
    // A text column's bytes as stored.
    QByteArray utf8(int column) const;
    // The same bytes without a copy, valid until the next step, reset or read of the column
    // as another type (the hot path of the trees).
    QByteArrayView utf8View(int column) const;
    QVariant value(int column) const;

    Connection &connection() const { return m_connection; }

    // Runs every statement of a text without parameters (DDL, PRAGMA, BEGIN...); rows are
    // ignored. Throws DbError on the first failure.
    static void execScript(Connection &connection, const QString &sql);

private:
    Connection &m_connection;
    std::unique_ptr<EngineStatement> m_impl; // null for a text of comments only
};
