#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class Connection;

// SQL text without a result (UPDATE, DELETE, INSERT, ALTER TABLE) with named parameters
// written ":NAME" in the text and filled by name. Failures throw DbError.
class Command {
public:
    explicit Command(Connection &connection);

    // Replaces the text (lines joined with line breaks) and forgets the parameters.
    void setSql(const QString &text);
    void setSql(const QStringList &lines) { setSql(lines.join(QLatin1Char('\n'))); }
    QString sql() const { return m_sql; }

    // Fills a parameter named in the text (without the colon); bool, QDateTime and null
    // are stored the catalogue's way. Throws when the text names no such parameter.
    void setParam(const QString &name, const QVariant &value);
    void clearParams() { m_params.clear(); }
    QVariantMap params() const { return m_params; }

    // Runs the text once; every parameter of the text must have a value. Returns the rows
    // changed.
    int execute();

private:
    Connection &m_connection;
    QString m_sql;
    QVariantMap m_params;
};
