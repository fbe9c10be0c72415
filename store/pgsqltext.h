#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// The program's SQL, written once in the form both engines take, made into PostgreSQL's:
// the one place where the server's differences in the text are handled.
// - Parameters ("?", "?NNN", ":NAME", "@NAME") become "$n", a name keeping one number.
// - Quoted names lose their letter case (tables and columns are stored unquoted, so
//   "Name" means name, as it does on SQLite, where quoted names ignore case too).
// - COLLATE NOCASE becomes the catalogue's qm_nocase, COLLATE BINARY "C".
// - ORDER BY terms sort nulls first, as SQLite does (keys, never null, are left alone so
//   that their indexes still serve the order).
// - CREATE TABLE, CREATE INDEX and ALTER TABLE ... ADD COLUMN take PostgreSQL's types:
//   INTEGER keys become identity columns (keys given on insert), INTEGER bigint, DATETIME
//   timestamp(0), BLOB bytea, REAL double precision, CHAR(n) varchar(n) (never padded);
//   a table without an integer key gets a hidden "rowid" identity column; index columns
//   sort nulls first.
// A text that begins with the comment "/*pg*/" is PostgreSQL's own and keeps its words.
class PgSqlText {
public:
    // Translates the first statement of `sql` from `offset` on.
    PgSqlText(const QString &sql, qsizetype offset = 0);

    QByteArray utf8() const { return m_text.toUtf8(); }
    QString text() const { return m_text; }
    // Where the next statement of the source text begins (its size when none follows).
    qsizetype next() const { return m_next; }
    // True when the statement holds nothing but blanks and comments.
    bool isEmpty() const { return m_empty; }
    int parameterCount() const { return int(m_parameterNames.size()); }
    // The name of parameter n (from 1) without its mark; empty for "?" and "?NNN".
    QString parameterName(int n) const { return m_parameterNames.value(n - 1); }
    // The words of the text by their lower case, as written (the first way met).
    const QHash<QString, QString> &spellings() const { return m_spellings; }

    // Blank apart from comments and semicolons.
    static bool isBlank(QStringView text);

private:
    QString m_text;
    qsizetype m_next = 0;
    bool m_empty = true;
    QStringList m_parameterNames;
    QHash<QString, QString> m_spellings;
};
