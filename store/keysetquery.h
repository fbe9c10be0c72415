#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class Dialect;

// The SQL of a keyset cursor over one table: every move is a SELECT of one row (row id
// first, then every column) seeking from the current row's sort key and row id, so it costs
// one index seek whatever the table's size. Builds texts and their named parameters only;
// the record set runs them. Parameters of its own are named ":qm_..."; a filter brings its own.
// The row id is the engine's (the dialect's): SQLite's rowid, or the table's key.
class KeysetQuery {
public:
    enum class Direction { Forward, Backward };
    // One statement with the values of its parameters (names without the colon).
    struct Try {
        QString sql;
        QVariantMap binds;
    };

    // Without a dialect the texts are SQLite's.
    explicit KeysetQuery(const Dialect *dialect = nullptr);
    void setDialect(const Dialect *dialect);

    QString quoted(const QString &name) const;

    // The table and its columns in the table's order; the row id as the dialect names it.
    void setTable(const QString &table, const QStringList &columns);
    // The row id column as it is written in the texts.
    QString rowId() const { return m_rowId; }
    // The sort columns, outermost first (the row id always ends the order).
    void setSortColumns(const QStringList &columns) { m_sort = columns; }
    // A WHERE fragment with its own named parameters; empty: no filter.
    void setFilter(const QString &where, const QVariantMap &params);
    QString filter() const { return m_filter; }
    const QVariantMap &filterParams() const { return m_filterParams; }
    // Only rows whose detail column equals the master's value; an empty column: no master.
    void setMaster(const QString &detailColumn) { m_masterColumn = detailColumn; }
    QString masterColumn() const { return m_masterColumn; }
    void setMasterValue(const QVariant &value) { m_masterValue = value; }
    const QVariant &masterValue() const { return m_masterValue; }

    // "SELECT rowid, every column FROM table".
    QString selectPrefix() const { return m_selectPrefix; }
    // The filter and the master's condition joined by AND, their values added to binds.
    QString baseWhere(QVariantMap &binds) const;
    QString orderBy(Direction dir, int fromKey = 0) const;
    // One row: the base condition (when asked) and `where`, in the order of the sort columns
    // from orderFrom on.
    QString selectSql(const QString &where, QVariantMap &binds, Direction dir, bool useBase = true,
        int orderFrom = 0) const;
    QString countSql(QVariantMap &binds) const;
    QString anyRowSql(QVariantMap &binds) const;

    // The row just after a sort key without nulls: one row-value range
    // ("(Name, rowid) > (:qm_k0, :qm_rowid)"). keys are the row's sort values in order.
    Try forwardSeek(const QVariantList &keys, qint64 rowId) const;
    // The row next to a key in either direction, with nulls anywhere (they sort first): the
    // nearest candidates are tried from level keys.size() down to 0, each an equality prefix
    // of `level` sort columns plus one range on the next, so each try is an index seek too.
    // The tries of one level, in the order to run them (none, one or two).
    QList<Try> adjacentTries(
        Direction dir, const QVariantList &keys, qint64 rowId, int level) const;

    // The condition of a locate on stored values: exact, or text ignoring letter case.
    QString locateCondition(const QStringList &columns, const QVariantList &stored,
        bool caseInsensitive, QVariantMap &binds) const;

private:
    const Dialect *m_dialect;
    QString m_table;
    QString m_rowId = QStringLiteral("rowid");
    QString m_selectPrefix;
    QStringList m_sort;
    QString m_filter;
    QVariantMap m_filterParams;
    QString m_masterColumn;
    QVariant m_masterValue;
};
