#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class QSqlQuery;

// Named parameters ":NAME" in SQL text, turned into positional ones ("?"), one for each
// place a name appears: Qt's SQLite driver refuses a parameter used twice, and its own
// placeholder parsing stays out of string literals and comments this way.
class SqlParams {
public:
    // Parses the text; string literals, quoted names and comments are left alone.
    explicit SqlParams(const QString &sql);

    // The text with every ":NAME" replaced by "?".
    QString numberedSql() const { return m_sql; }
    // Distinct names (case ignored) in order of first appearance.
    QStringList names() const { return m_names; }
    // The name of each "?" in order.
    QStringList occurrences() const { return m_occurrences; }
    bool has(const QString &name) const;
    // Sets one value in `values` (names ignore letter case, as in the text); throws DbError
    // when the text names no such parameter.
    void setValue(QVariantMap &values, const QString &name, const QVariant &value) const;
    // Binds the values by name; throws DbError naming the first parameter without a value.
    void bind(QSqlQuery &query, const QVariantMap &values) const;

private:
    QString m_sql;
    QStringList m_names;
    QStringList m_occurrences;
};
