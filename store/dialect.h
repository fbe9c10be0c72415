#pragma once

#include <QString>
#include <QStringList>

// What differs between the catalogue's engines, each difference in one place. The program's
// statements are written once, in the SQL both engines take; what one engine says otherwise
// (the row identity, keys given on insert, counted rows, the schema's functions and triggers)
// is asked of the connection's dialect, never decided above the store.
class Dialect {
public:
    virtual ~Dialect() = default;

    // The engine's name as the connection string names it ("PostgreSQL"), empty for files.
    virtual QString providerName() const = 0;

    // A table or column name quoted so that it means what the unquoted name means.
    virtual QString quoted(const QString &name) const = 0;
    // The column a record set finds a row again by: the key itself where the table has one
    // ("RecId"), the engine's row id otherwise.
    virtual QString rowIdColumn(const QStringList &columns) const = 0;
    // A column the engine keeps for its own use, never shown as a field.
    virtual bool isHiddenColumn(const QString &name) const = 0;
    // Appended to an INSERT so that it returns the key it gave (empty: the connection's
    // lastInsertRowId() tells it).
    virtual QString returningKey(const QString &keyColumn) const = 0;
    // The rows of a counted table, parameter :qm_table.
    virtual QString countedRowsSql() const = 0;

    // Schema: the statements that make the row counts of a table kept by triggers.
    virtual QStringList rowCountStatements(const QString &table) const = 0;
    // The counts table itself.
    virtual QString rowCountsTableSql() const = 0;
    // What a new catalogue needs before its tables (collations, functions, operators).
    virtual QStringList catalogueFunctions() const = 0;
    // The catalogue check's statements: the engine's own integrity check (one column, one
    // row "ok" when sound) and the rows whose relation names no row (columns "table",
    // "rowid", "parent").
    virtual QString integrityCheckSql() const = 0;
    virtual QString foreignKeyCheckSql() const = 0;
    // The statement that reads a setting of the connection (one row, one integer) and,
    // with " = VALUE" appended, sets it; empty where the engine has no such setting (the
    // server sizes its caches itself).
    virtual QString connectionSetting(const QString &name) const = 0;
    // After rows were written with keys given by the writer: the engine's key counters
    // follow them, so that the next key it gives is past every key written.
    virtual QStringList afterGivenKeys() const = 0;
    // Whether the catalogue itself keeps its thumbnails (ThumbnailStore): a server's is
    // seen from many machines, a file's live beside the program.
    virtual bool keepsThumbnails() const = 0;
};

// The embedded engine: SQLite's rowid, NOCASE columns, AUTOINCREMENT keys.
class SqliteDialect : public Dialect {
public:
    static const SqliteDialect &instance();
    QString providerName() const override { return QString(); }
    QString quoted(const QString &name) const override;
    QString rowIdColumn(const QStringList &) const override { return QStringLiteral("rowid"); }
    bool isHiddenColumn(const QString &) const override { return false; }
    QString returningKey(const QString &) const override { return QString(); }
    QString countedRowsSql() const override;
    QStringList rowCountStatements(const QString &table) const override;
    QString rowCountsTableSql() const override;
    QStringList catalogueFunctions() const override { return {}; }
    QStringList afterGivenKeys() const override { return {}; }
    bool keepsThumbnails() const override { return false; }
    QString connectionSetting(const QString &name) const override
    {
        return QStringLiteral("PRAGMA ") + name;
    }
    QString integrityCheckSql() const override { return QStringLiteral("PRAGMA integrity_check"); }
    QString foreignKeyCheckSql() const override
    {
        return QStringLiteral("PRAGMA foreign_key_check");
    }
};

// The server engine: names stored as written unquoted (lower case), keys by identity
// columns, a hidden "rowid" on the tables without a key, names compared and ordered
// ignoring case over all of Unicode (collation qm_nocase), LIKE folding case as on SQLite.
class PgDialect : public Dialect {
public:
    static const PgDialect &instance();
    QString providerName() const override { return QStringLiteral("PostgreSQL"); }
    QString quoted(const QString &name) const override;
    QString rowIdColumn(const QStringList &columns) const override;
    bool isHiddenColumn(const QString &name) const override;
    QString returningKey(const QString &keyColumn) const override;
    QString countedRowsSql() const override;
    QStringList rowCountStatements(const QString &table) const override;
    QString rowCountsTableSql() const override;
    QStringList catalogueFunctions() const override;
    QStringList afterGivenKeys() const override;
    bool keepsThumbnails() const override { return true; }
    QString connectionSetting(const QString &) const override { return QString(); }
    // The server keeps its files whole and every relation enforced at each write: there is
    // nothing of either kind for the check to find.
    QString integrityCheckSql() const override { return QStringLiteral("SELECT 'ok' AS ok"); }
    QString foreignKeyCheckSql() const override
    {
        return QStringLiteral("SELECT '' AS \"table\", 0 AS rowid, '' AS parent WHERE FALSE");
    }

    // The case folding of the search's matching, as SQL over the text $1. Kept beside the
    // SQLite side's UnicodeLike: when its rule changes, this function changes with it.
    static QString foldExpression();
};
