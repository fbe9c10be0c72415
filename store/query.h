#pragma once

#include "store/command.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <memory>

class Connection;
class QObject;
class QSqlQuery;
class ResultModel;

// A read-only result set from SQL text with named parameters (":FILTRO"), read row by row
// with columns by name (aliases included). The rows stream from the file: a query over a
// million rows costs no memory. Close it when done (it holds a read snapshot while open;
// reaching eof() ends it by itself). Failures throw DbError with the engine's text.
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

    Connection &m_connection;
    QStringList m_lines;
    QVariantMap m_params;
    std::unique_ptr<QSqlQuery> m_query;
    QStringList m_fields;
    QList<QVariant> m_row;
    bool m_open = false;
    bool m_eof = true;
    bool m_empty = true;
};
