#include "store/dialect.h"

#include <QChar>

namespace {

QString doubleQuoted(const QString &name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

} // namespace

// ---- SQLite ---------------------------------------------------------------------------------

const SqliteDialect &SqliteDialect::instance()
{
    static const SqliteDialect dialect;
    return dialect;
}

QString SqliteDialect::quoted(const QString &name) const
{
    return doubleQuoted(name); // SQLite's quoted names ignore letter case already
}

QString SqliteDialect::countedRowsSql() const
{
    return QStringLiteral("SELECT Rows FROM RowCounts WHERE TableName = :qm_table");
}

QString SqliteDialect::rowCountsTableSql() const
{
    return QStringLiteral("CREATE TABLE RowCounts ("
                          " TableName VARCHAR(30) COLLATE NOCASE NOT NULL PRIMARY KEY,"
                          " Rows INTEGER NOT NULL)");
}

QStringList SqliteDialect::rowCountStatements(const QString &table) const
{
    return {
        QStringLiteral("INSERT INTO RowCounts (TableName, Rows) VALUES ('%1', 0)").arg(table),
        QStringLiteral("CREATE TRIGGER %1_CountInsert AFTER INSERT ON %1 BEGIN "
                       "UPDATE RowCounts SET Rows = Rows + 1 WHERE TableName = '%1'; "
                       "END")
            .arg(table),
        QStringLiteral("CREATE TRIGGER %1_CountDelete AFTER DELETE ON %1 BEGIN "
                       "UPDATE RowCounts SET Rows = Rows - 1 WHERE TableName = '%1'; "
                       "END")
            .arg(table),
    };
}

// ---- PostgreSQL -----------------------------------------------------------------------------

const PgDialect &PgDialect::instance()
{
    static const PgDialect dialect;
    return dialect;
}

QString PgDialect::quoted(const QString &name) const
{
    // Names are stored as the server keeps unquoted ones: in lower case.
    QString lower = name;
    for (QChar &c : lower) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    }
    return doubleQuoted(lower);
}

QString PgDialect::rowIdColumn(const QStringList &columns) const
{
    for (const QString &c : columns) {
        if (c.compare(QLatin1String("RecId"), Qt::CaseInsensitive) == 0)
            return c;
    }
    return QStringLiteral("rowid");
}

bool PgDialect::isHiddenColumn(const QString &name) const
{
    return name.compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0;
}

QString PgDialect::returningKey(const QString &keyColumn) const
{
    return QStringLiteral(" RETURNING ") + quoted(keyColumn);
}

QString PgDialect::countedRowsSql() const
{
    // One row per statement that changed the table (see rowCountStatements): no writer
    // waits for another to update one shared row.
    return QStringLiteral(
        "SELECT coalesce(sum(Rows), 0) FROM RowCounts WHERE TableName = :qm_table");
}

QString PgDialect::rowCountsTableSql() const
{
    return QStringLiteral("/*pg*/ CREATE TABLE RowCounts ("
                          " TableName VARCHAR(30) COLLATE qm_nocase NOT NULL,"
                          " Rows BIGINT NOT NULL);"
                          " CREATE INDEX RowCounts_TableName ON RowCounts (TableName)");
}

QStringList PgDialect::rowCountStatements(const QString &table) const
{
    return {
        QStringLiteral("INSERT INTO RowCounts (TableName, Rows) VALUES ('%1', 0)").arg(table),
        QStringLiteral("/*pg*/ CREATE TRIGGER %1_CountInsert AFTER INSERT ON %1 "
                       "REFERENCING NEW TABLE AS qm_rows FOR EACH STATEMENT "
                       "EXECUTE FUNCTION qm_count_inserted('%1')")
            .arg(table),
        QStringLiteral("/*pg*/ CREATE TRIGGER %1_CountDelete AFTER DELETE ON %1 "
                       "REFERENCING OLD TABLE AS qm_rows FOR EACH STATEMENT "
                       "EXECUTE FUNCTION qm_count_deleted('%1')")
            .arg(table),
    };
}

QString PgDialect::foldExpression()
{
    // Lower case by ICU whatever the database's locale, then the letters whose simple case
    // folding (UnicodeLike's rule) is not their lower case: final sigma, long s, the Greek
    // symbol forms, Cherokee.
    static const QString expression = [] {
        QString from, to;
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const char32_t lower = QChar::toLower(c);
            const char32_t folded = QChar::toCaseFolded(c);
            if (lower == folded || from.contains(QString::fromUcs4(&lower, 1)))
                continue;
            from += QString::fromUcs4(&lower, 1);
            to += QString::fromUcs4(&folded, 1);
        }
        return QStringLiteral("translate(lower($1 COLLATE \"und-x-icu\"), '%1', '%2')")
            .arg(from, to);
    }();
    return expression;
}

QStringList PgDialect::catalogueFunctions() const
{
    return {
        // Names: equal and ordered ignoring letter case over all of Unicode (accents count).
        QStringLiteral("/*pg*/ CREATE COLLATION IF NOT EXISTS qm_nocase "
                       "(provider = icu, locale = 'und-u-ks-level2', deterministic = false)"),
        QStringLiteral("/*pg*/ CREATE OR REPLACE FUNCTION qm_fold(text) RETURNS text "
                       "LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$ SELECT %1 $$")
            .arg(foldExpression()),
        // LIKE as the search matches on SQLite: "%" and "_", no escape character, letter
        // case folded; a letter typed without an accent matches it with any, one typed with
        // an accent that accent only (texts compared decomposed, so combining marks written
        // apart are the letters they compose). The pattern becomes an anchored regular
        // expression, made once per statement while the server plans it with the
        // pattern's value (its first runs), else once per row. The catalogue's operator
        // comes before the built-in one on the program's connections (search_path ends
        // with pg_catalog).
        QStringLiteral(
            "/*pg*/ CREATE OR REPLACE FUNCTION qm_like_regex(text) RETURNS text "
            "LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $$ "
            "DECLARE s text := normalize(qm_fold($1), NFD); n int := length(s); i int := 1; "
            "c text; m text; r text := '^'; "
            "marks constant text := '[\\u0300-\\u036f\\u1ab0-\\u1aff\\u1dc0-\\u1dff\\u20d0-"
            "\\u20ff\\ufe20-\\ufe2f]'; "
            "BEGIN "
            "WHILE i <= n LOOP "
            "c := substr(s, i, 1); i := i + 1; m := ''; "
            "WHILE i <= n AND substr(s, i, 1) ~ ('^' || marks || '$') LOOP "
            "m := m || substr(s, i, 1); i := i + 1; END LOOP; "
            "IF c = '%' THEN r := r || '.*' || regexp_replace(m, '(.)', '\\\\\\1', 'g'); "
            "ELSIF c = '_' THEN r := r || '[^' || substr(marks, 2) || marks || '*' "
            "|| regexp_replace(m, '(.)', '\\\\\\1', 'g'); "
            "ELSIF m = '' AND (c COLLATE \"und-x-icu\") ~ '^[[:alpha:]]$' THEN "
            "r := r || regexp_replace(c, '([^[:alnum:]])', '\\\\\\1', 'g') || marks || '*'; "
            "ELSIF m = '' THEN r := r || regexp_replace(c, '([^[:alnum:]])', '\\\\\\1', 'g'); "
            "ELSE r := r || regexp_replace(c || m, '([^[:alnum:]])', '\\\\\\1', 'g') "
            "|| '(?!' || marks || ')'; "
            "END IF; END LOOP; RETURN r || '$'; END $$"),
        QStringLiteral(
            "/*pg*/ CREATE OR REPLACE FUNCTION qm_like(text, text) RETURNS boolean "
            "LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS "
            "$$ SELECT normalize(qm_fold($1), NFD) COLLATE \"C\" OPERATOR(pg_catalog.~) "
            "qm_like_regex($2 COLLATE \"C\") $$"),
        QStringLiteral(
            "/*pg*/ CREATE OR REPLACE FUNCTION qm_not_like(text, text) RETURNS boolean "
            "LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS "
            "$$ SELECT NOT (normalize(qm_fold($1), NFD) COLLATE \"C\" OPERATOR(pg_catalog.~) "
            "qm_like_regex($2 COLLATE \"C\")) $$"),
        QStringLiteral("/*pg*/ CREATE OPERATOR ~~ (LEFTARG = text, RIGHTARG = text, "
                       "FUNCTION = qm_like)"),
        QStringLiteral("/*pg*/ CREATE OPERATOR !~~ (LEFTARG = text, RIGHTARG = text, "
                       "FUNCTION = qm_not_like)"),
        // Counted rows: one row per statement, never an update of a shared row.
        QStringLiteral(
            "/*pg*/ CREATE OR REPLACE FUNCTION qm_count_inserted() RETURNS trigger "
            "LANGUAGE plpgsql AS $$ BEGIN "
            "INSERT INTO RowCounts (TableName, Rows) "
            "SELECT TG_ARGV[0], count(*) FROM qm_rows HAVING count(*) > 0; "
            "RETURN NULL; END $$"),
        QStringLiteral(
            "/*pg*/ CREATE OR REPLACE FUNCTION qm_count_deleted() RETURNS trigger "
            "LANGUAGE plpgsql AS $$ BEGIN "
            "INSERT INTO RowCounts (TableName, Rows) "
            "SELECT TG_ARGV[0], -count(*) FROM qm_rows HAVING count(*) > 0; "
            "RETURN NULL; END $$"),
        // Keys given by a writer (reference rows, a copied catalogue): the identity
        // counters move past them, never back.
        QStringLiteral(
            "/*pg*/ CREATE OR REPLACE FUNCTION qm_sync_keys() RETURNS void "
            "LANGUAGE plpgsql AS $$ DECLARE r record; m bigint; s text; BEGIN "
            "FOR r IN SELECT c.oid::regclass AS tab, a.attname AS col FROM pg_attribute a "
            "JOIN pg_class c ON c.oid = a.attrelid "
            "WHERE a.attidentity <> '' AND NOT a.attisdropped "
            "AND c.relnamespace = current_schema()::regnamespace LOOP "
            "s := pg_get_serial_sequence(r.tab::text, r.col); "
            "EXECUTE format('SELECT max(%I) FROM %s', r.col, r.tab) INTO m; "
            "IF m IS NOT NULL AND m > coalesce(pg_sequence_last_value(s::regclass), 0) THEN "
            "PERFORM setval(s, m); END IF; "
            "END LOOP; END $$"),
    };
}

QStringList PgDialect::afterGivenKeys() const
{
    return { QStringLiteral("SELECT qm_sync_keys()") };
}
