#include "store/keysetquery.h"

#include "store/dialect.h"

namespace {

bool isNullValue(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

} // namespace

KeysetQuery::KeysetQuery(const Dialect *dialect)
    : m_dialect(dialect ? dialect : &SqliteDialect::instance())
{
}

void KeysetQuery::setDialect(const Dialect *dialect)
{
    m_dialect = dialect ? dialect : &SqliteDialect::instance();
}

QString KeysetQuery::quoted(const QString &name) const
{
    return m_dialect->quoted(name);
}

void KeysetQuery::setTable(const QString &table, const QStringList &columns)
{
    m_table = table;
    const QString rowId = m_dialect->rowIdColumn(columns);
    // SQLite's rowid stays bare: quoted, a column of that name would be meant.
    m_rowId = rowId == QLatin1String("rowid") && m_dialect == &SqliteDialect::instance()
        ? rowId
        : quoted(rowId);
    m_selectPrefix = QStringLiteral("SELECT ") + m_rowId;
    for (const QString &column : columns)
        m_selectPrefix += QStringLiteral(", ") + quoted(column);
    m_selectPrefix += QStringLiteral(" FROM ") + quoted(m_table);
}

void KeysetQuery::setFilter(const QString &where, const QVariantMap &params)
{
    m_filter = where.trimmed();
    m_filterParams = params;
}

QString KeysetQuery::baseWhere(QVariantMap &binds) const
{
    QStringList parts;
    if (!m_filter.isEmpty()) {
        parts << QLatin1Char('(') + m_filter + QLatin1Char(')');
        for (auto it = m_filterParams.constBegin(); it != m_filterParams.constEnd(); ++it)
            binds.insert(it.key(), it.value());
    }
    if (!m_masterColumn.isEmpty()) {
        parts << quoted(m_masterColumn) + QStringLiteral(" = :qm_master");
        binds.insert(QStringLiteral("qm_master"), m_masterValue);
    }
    return parts.join(QStringLiteral(" AND "));
}

QString KeysetQuery::orderBy(Direction dir, int fromKey) const
{
    const QLatin1String suffix(dir == Direction::Forward ? "" : " DESC");
    QStringList parts;
    for (int k = fromKey; k < m_sort.size(); ++k)
        parts << quoted(m_sort.at(k)) + suffix;
    parts << m_rowId + suffix;
    return QStringLiteral(" ORDER BY ") + parts.join(QStringLiteral(", "));
}

QString KeysetQuery::selectSql(
    const QString &where, QVariantMap &binds, Direction dir, bool useBase, int orderFrom) const
{
    QStringList conditions;
    if (useBase) {
        const QString base = baseWhere(binds);
        if (!base.isEmpty())
            conditions << base;
    }
    if (!where.isEmpty())
        conditions << where;
    QString sql = m_selectPrefix;
    if (!conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    sql += orderBy(dir, orderFrom) + QStringLiteral(" LIMIT 1");
    return sql;
}

QString KeysetQuery::countSql(QVariantMap &binds) const
{
    const QString base = baseWhere(binds);
    QString sql = QStringLiteral("SELECT count(*) FROM ") + quoted(m_table);
    if (!base.isEmpty())
        sql += QStringLiteral(" WHERE ") + base;
    return sql;
}

QString KeysetQuery::anyRowSql(QVariantMap &binds) const
{
    const QString base = baseWhere(binds);
    QString sql = QStringLiteral("SELECT 1 FROM ") + quoted(m_table);
    if (!base.isEmpty())
        sql += QStringLiteral(" WHERE ") + base;
    return sql + QStringLiteral(" LIMIT 1");
}

KeysetQuery::Try KeysetQuery::forwardSeek(const QVariantList &keys, qint64 rowId) const
{
    QVariantMap binds;
    QStringList columns, params;
    for (int k = 0; k < keys.size(); ++k) {
        columns << quoted(m_sort.at(k));
        params << QStringLiteral(":qm_k%1").arg(k);
        binds.insert(QStringLiteral("qm_k%1").arg(k), keys.at(k));
    }
    columns << m_rowId;
    params << QStringLiteral(":qm_rowid");
    binds.insert(QStringLiteral("qm_rowid"), rowId);
    const QString condition = keys.isEmpty() ? m_rowId + QStringLiteral(" > :qm_rowid")
                                             : QLatin1Char('(') + columns.join(QStringLiteral(", "))
            + QStringLiteral(") > (") + params.join(QStringLiteral(", ")) + QLatin1Char(')');
    const QString sql = selectSql(condition, binds, Direction::Forward, true, 0);
    return { sql, binds };
}

QList<KeysetQuery::Try> KeysetQuery::adjacentTries(
    Direction dir, const QVariantList &keys, qint64 rowId, int level) const
{
    const bool forward = dir == Direction::Forward;
    const int n = int(keys.size());
    QVariantMap binds;
    QStringList prefix;
    for (int k = 0; k < level; ++k) {
        const QVariant &v = keys.at(k);
        const QString column = quoted(m_sort.at(k));
        if (isNullValue(v)) {
            prefix << column + QStringLiteral(" IS NULL");
        } else {
            binds.insert(QStringLiteral("qm_k%1").arg(k), v);
            prefix << column + QStringLiteral(" = :qm_k%1").arg(k);
        }
    }
    QList<Try> tries;
    auto attempt = [&](const QString &range) {
        QVariantMap b = binds;
        const QString sql = selectSql(
            (prefix + QStringList { range }).join(QStringLiteral(" AND ")), b, dir, true, level);
        tries.append({ sql, b });
    };
    if (level == n) {
        binds.insert(QStringLiteral("qm_rowid"), rowId);
        attempt(m_rowId
            + (forward ? QStringLiteral(" > :qm_rowid") : QStringLiteral(" < :qm_rowid")));
        return tries;
    }
    const QVariant &v = keys.at(level);
    const QString column = quoted(m_sort.at(level));
    binds.insert(QStringLiteral("qm_r"), v);
    if (forward) {
        attempt(isNullValue(v) ? column + QStringLiteral(" IS NOT NULL")
                               : column + QStringLiteral(" > :qm_r"));
    } else if (!isNullValue(v)) {
        attempt(column + QStringLiteral(" < :qm_r"));
        attempt(column + QStringLiteral(" IS NULL"));
    }
    return tries;
}

QString KeysetQuery::locateCondition(const QStringList &columns, const QVariantList &stored,
    bool caseInsensitive, QVariantMap &binds) const
{
    QStringList conditions;
    for (int i = 0; i < columns.size(); ++i) {
        const QString column = quoted(columns.at(i));
        const QVariant &v = stored.at(i);
        if (isNullValue(v)) {
            conditions << column + QStringLiteral(" IS NULL");
            continue;
        }
        const QString p = QStringLiteral(":qm_l%1").arg(i);
        binds.insert(p.mid(1), v);
        if (v.metaType().id() != QMetaType::QString) {
            conditions << column + QStringLiteral(" = ") + p;
        } else if (caseInsensitive) {
            conditions << column + QStringLiteral(" = ") + p + QStringLiteral(" COLLATE NOCASE");
        } else {
            // The first test can use a NOCASE index; the second makes it exact.
            conditions << column + QStringLiteral(" = ") + p + QStringLiteral(" AND ") + column
                    + QStringLiteral(" = ") + p + QStringLiteral(" COLLATE BINARY");
        }
    }
    return conditions.join(QStringLiteral(" AND "));
}
