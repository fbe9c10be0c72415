#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class Statement;

// Named parameters ":NAME" in SQL text, turned into positional ones ("?"), one for each
// place a name appears, so that names match without regard to letter case (as the
// program's texts use them) and a value missing for any of them is caught before running.
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
    // Binds the values by name to a statement prepared from numberedSql(); throws DbError
    // naming the first parameter without a value.
    void bind(Statement &statement, const QVariantMap &values) const;

private:
    QString m_sql;
    QStringList m_names;
    QStringList m_occurrences;
};
