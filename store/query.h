#pragma once

#include "store/command.h"
#include "store/dberror.h"

#include <QDateTime>
#include <QMetaObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <deque>
#include <memory>
#include <optional>

class Connection;
class QObject;
class ResultModel;

// A read-only result set from SQL text with named parameters (":FILTRO"), read row by row
// with columns by name (aliases included). The rows stream from the file, so a loop over a
// million rows costs no memory. While rows are pending the engine holds a read open, which
// would keep every other process from committing: reaching eof() or close() ends it, and a
// query still open when control gets back to the event loop reads its remaining rows into
// memory and ends its read there. Failures throw DbError with the engine's text.
class Query {
public:
    explicit Query(Connection &connection);
    ~Query();
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    // The text as lines, joined with line breaks when opened; replacing it forgets the
    // parameters. Only while closed.
    void clearSql();
    void addLine(const QString &line);
    void setSql(const QString &text);
    void setSql(const QStringList &lines);
    QStringList sqlLines() const { return m_lines; }
    QString sql() const { return m_lines.join(QLatin1Char('\n')); }

    // Fills a parameter named in the text (without the colon); throws for an unknown name.
    void setParam(const QString &name, const QVariant &value);
    QVariantMap params() const { return m_params; }

    // Runs the text and stands on the first row; every parameter must have a value.
    void open();
    void close();
    bool isOpen() const { return m_open; }

    bool eof() const { return m_eof; }
    // True when the result has no row at all (right after open, or before eof() was met).
    bool isEmpty() const { return m_empty; }
    void next();
    // Runs a counting query over the same text: costs as much as the query itself.
    int recordCount() const;

    // Current row's value by column name or alias (case ignored); invalid QVariant for
    // null or past the end. Throws for an unknown column.
    QVariant value(const QString &field) const;
    QString asString(const QString &field) const;
    qint64 asInt(const QString &field) const;
    double asFloat(const QString &field) const;
    bool asBool(const QString &field) const;
    QDateTime asDateTime(const QString &field) const;
    bool isNull(const QString &field) const;
    QStringList fieldNames() const { return m_fields; }

    // A grid model of the same text and parameters, read completely and detached from the
    // file (no read snapshot left open). Caller owns it.
    ResultModel *createModel(QObject *parent = nullptr) const;

private:
    int fieldIndex(const QString &field) const;
    void fetch();
    QList<QVariant> readRow() const;
    void finishStatement();
    void drain();

    Connection &m_connection;
    QStringList m_lines;
    QVariantMap m_params;
    struct Cursor;
    std::unique_ptr<Cursor> m_cursor; // the statement, while rows are pending on the engine
    std::unique_ptr<QObject> m_drainContext; // a queued drain() while m_cursor lives
    std::deque<QList<QVariant>> m_pending; // rows read ahead by drain()
    std::optional<DbError> m_drainError; // the engine's failure met by drain()
    QMetaObject::Connection m_closeWatch;
    QStringList m_fields;
    QList<QVariant> m_row;
    bool m_open = false;
    bool m_eof = true;
    bool m_empty = true;
};
