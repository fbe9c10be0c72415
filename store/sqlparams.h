#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class QSqlQuery;

// Named parameters ":NAME" in SQL text, turned into SQLite's numbered ones (?1, ?2, ...)
// so that one name may appear several times and Qt's own placeholder parsing stays out.
class SqlParams
{
public:
    // Parses the text; string literals, quoted names and comments are left alone.
    explicit SqlParams(const QString &sql);

    // The text with every ":NAME" replaced by its number.
    QString numberedSql() const { return m_sql; }
    // Distinct names (case ignored) in order of first appearance.
    QStringList names() const { return m_names; }
    bool has(const QString &name) const;
    // Binds the values by name; throws DbError naming the first parameter without a value.
    void bind(QSqlQuery &query, const QVariantMap &values) const;

private:
    QString m_sql;
    QStringList m_names;
};
