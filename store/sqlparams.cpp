#include "store/sqlparams.h"

#include "store/dberror.h"
#include "store/statement.h"

namespace {
bool isNameStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_');
}
bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}
} // namespace

SqlParams::SqlParams(const QString &sql)
{
    m_sql.reserve(sql.size());
    const int n = sql.size();
    int i = 0;
    while (i < n) {
        const QChar c = sql.at(i);
        // Quoted text, quoted names and comments pass through untouched.
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')
            || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            int j = i + 1;
            while (j < n) {
                if (sql.at(j) == close) {
                    if (close != QLatin1Char(']') && j + 1 < n && sql.at(j + 1) == close) {
                        j += 2; // doubled quote inside the literal
                        continue;
                    }
                    break;
                }
                ++j;
            }
            m_sql += QStringView(sql).mid(i, qMin(j + 1, n) - i);
            i = j + 1;
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && sql.at(i + 1) == QLatin1Char('-')) {
            int j = sql.indexOf(QLatin1Char('\n'), i);
            if (j < 0)
                j = n;
            m_sql += QStringView(sql).mid(i, j - i);
            i = j;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && sql.at(i + 1) == QLatin1Char('*')) {
            int j = sql.indexOf(QLatin1String("*/"), i + 2);
            j = j < 0 ? n : j + 2;
            m_sql += QStringView(sql).mid(i, j - i);
            i = j;
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < n && isNameStart(sql.at(i + 1))
            && (i == 0 || sql.at(i - 1) != QLatin1Char(':'))) {
            int j = i + 1;
            while (j < n && isNameChar(sql.at(j)))
                ++j;
            const QString name = sql.mid(i + 1, j - i - 1);
            int index = -1;
            for (int k = 0; k < m_names.size(); ++k) {
                if (m_names.at(k).compare(name, Qt::CaseInsensitive) == 0) {
                    index = k;
                    break;
                }
            }
            if (index < 0) {
                m_names << name;
                index = m_names.size() - 1;
            }
            m_occurrences << m_names.at(index);
            m_sql += QLatin1Char('?');
            i = j;
            continue;
        }
        m_sql += c;
        ++i;
    }
}

bool SqlParams::has(const QString &name) const
{
    return m_names.contains(name, Qt::CaseInsensitive);
}

void SqlParams::bind(Statement &statement, const QVariantMap &values) const
{
    for (int k = 0; k < m_occurrences.size(); ++k) {
        const QString &name = m_occurrences.at(k);
        auto it = values.constFind(name);
        if (it == values.constEnd()) {
            for (auto j = values.constBegin(); j != values.constEnd(); ++j) {
                if (j.key().compare(name, Qt::CaseInsensitive) == 0) {
                    it = j;
                    break;
                }
            }
        }
        if (it == values.constEnd())
            throw DbError(QStringLiteral("Nenhum valor foi dado ao parâmetro :%1.").arg(name));
        statement.bind(k + 1, it.value());
    }
}

void SqlParams::setValue(QVariantMap &values, const QString &name, const QVariant &value) const
{
    if (!has(name))
        throw DbError(QStringLiteral("Parameter :%1 not found").arg(name));
    for (auto it = values.begin(); it != values.end();) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            it = values.erase(it);
        else
            ++it;
    }
    values.insert(name, value);
}
