#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

class Dialect;

// One compiled statement of one engine. Statement is its only user: it adds the typed
// binding of QVariants and the guards; everything here speaks the engine's own terms.
// Parameters count from 1, columns from 0; failures throw DbError.
class EngineStatement {
public:
    virtual ~EngineStatement() = default;

    virtual int parameterCount() const = 0;
    // The position of a parameter written ":NAME" (or "@NAME", "$NAME") in the text, letter
    // case ignored; 0 when absent.
    virtual int parameterIndex(const QString &name) const = 0;
    virtual void bindNull(int index) = 0;
    virtual void bindInteger(int index, qint64 value) = 0;
    virtual void bindReal(int index, double value) = 0;
    virtual void bindText(int index, const QByteArray &utf8) = 0;
    // Kept by the caller until the statement is reset: no copy.
    virtual void bindBorrowedUtf8(int index, const char *utf8, qsizetype size) = 0;
    virtual void bindBlob(int index, const QByteArray &bytes) = 0;
    virtual void clearBindings() = 0;

    virtual bool step() = 0;
    // Rows changed by the run that just ended.
    virtual int changes() const = 0;
    virtual void reset() = 0; // ends the run and clears the bindings
    virtual void rewind() = 0; // ends the run, keeps the bindings
    virtual bool isStepping() const = 0;

    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual QString columnDeclaredType(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual QString text(int column) const = 0;
    virtual QByteArray utf8(int column) const = 0;
    virtual QByteArrayView utf8View(int column) const = 0;
    virtual QVariant value(int column) const = 0;
};

// One open connection of one engine, behind Connection.
class EngineConnection {
public:
    virtual ~EngineConnection() = default;

    // Compiles the first statement of `utf8` from `offset` on; `*next` receives where the
    // next statement of the text begins (the text's size when none follows).
    virtual std::unique_ptr<EngineStatement> prepare(
        const QByteArray &utf8, qsizetype offset, bool persistent, qsizetype *next)
        = 0;
    // Runs every statement of a text without parameters or rows.
    virtual void execScript(const QString &sql) = 0;

    virtual bool isReadOnly() const = 0;
    virtual void setBusyTimeout(int milliseconds) = 0;
    // A file's write transaction takes the whole file's lock when it begins; a server's
    // takes none: writers lock only what they guard (lockUntilEnd) and the rows they write.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    virtual bool inTransaction() const = 0;
    // Until the open transaction ends, holds the lock named by `what` and `key` (shared or
    // alone), waiting at most the busy timeout for another transaction holding it.
    virtual void lockUntilEnd(const QByteArray &what, const QByteArray &key, bool shared) = 0;

    virtual bool hasTable(const QString &table) = 0;
    virtual qint64 totalChanges() const = 0;
    virtual qint64 lastInsertRowId() = 0;
    virtual int steppingStatements() const = 0;
    virtual QString lastEngineMessage() const = 0;

    virtual const Dialect &dialect() const = 0;
};
