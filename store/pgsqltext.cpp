#include "store/pgsqltext.h"

#include <QList>

namespace {

enum class Kind { Space, Word, Quoted, String, Number, Param, Punct };

struct Token {
    Kind kind;
    QString text;
    QString suffix = QString(); // written after the token (a null order)
};

bool isWordStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_') || c.unicode() >= 0x80;
}
bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$')
        || c.unicode() >= 0x80;
}

QString asciiLower(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    }
    return out;
}

// Splits one statement into tokens, up to (not including) its ";". Returns the position
// after the ";" (or the end).
qsizetype tokenize(const QString &sql, qsizetype from, QList<Token> &out)
{
    const qsizetype n = sql.size();
    qsizetype i = from;
    while (i < n) {
        const QChar c = sql.at(i);
        if (c.isSpace()) {
            qsizetype j = i + 1;
            while (j < n && sql.at(j).isSpace())
                ++j;
            out.append({ Kind::Space, sql.mid(i, j - i) });
            i = j;
        } else if (c == QLatin1Char('-') && i + 1 < n && sql.at(i + 1) == QLatin1Char('-')) {
            qsizetype j = sql.indexOf(QLatin1Char('\n'), i);
            j = j < 0 ? n : j;
            out.append({ Kind::Space, sql.mid(i, j - i) });
            i = j;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql.at(i + 1) == QLatin1Char('*')) {
            qsizetype j = sql.indexOf(QLatin1String("*/"), i + 2);
            j = j < 0 ? n : j + 2;
            out.append({ Kind::Space, sql.mid(i, j - i) });
            i = j;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')
            || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            qsizetype j = i + 1;
            while (j < n) {
                if (sql.at(j) == close) {
                    if (close != QLatin1Char(']') && j + 1 < n && sql.at(j + 1) == close) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const qsizetype end = qMin(j + 1, n);
            if (c == QLatin1Char('\'')) {
                out.append({ Kind::String, sql.mid(i, end - i) });
            } else {
                // Every quoted name in PostgreSQL's own quotes.
                QString inner = sql.mid(i + 1, j - i - 1);
                if (close == QLatin1Char('"'))
                    inner.replace(QLatin1String("\"\""), QLatin1String("\""));
                out.append({ Kind::Quoted, inner });
            }
            i = end;
        } else if (c == QLatin1Char('$') && i + 1 < n
            && (sql.at(i + 1) == QLatin1Char('$') || isWordStart(sql.at(i + 1)))) {
            // A dollar-quoted text ($$...$$, $tag$...$tag$) or SQLite's "$NAME" parameter.
            qsizetype j = i + 1;
            while (j < n && sql.at(j) != QLatin1Char('$') && isWordChar(sql.at(j))
                && sql.at(j) != QLatin1Char('$'))
                ++j;
            if (j < n && sql.at(j) == QLatin1Char('$')) {
                const QString tag = sql.mid(i, j - i + 1);
                qsizetype k = sql.indexOf(tag, j + 1);
                k = k < 0 ? n : k + tag.size();
                out.append({ Kind::String, sql.mid(i, k - i) });
                i = k;
            } else {
                out.append({ Kind::Param, sql.mid(i, j - i) });
                i = j;
            }
        } else if ((c == QLatin1Char(':') || c == QLatin1Char('@')) && i + 1 < n
            && isWordStart(sql.at(i + 1))
            && (c != QLatin1Char(':') || i == 0 || sql.at(i - 1) != QLatin1Char(':'))) {
            qsizetype j = i + 1;
            while (j < n && isWordChar(sql.at(j)) && sql.at(j) != QLatin1Char('$'))
                ++j;
            out.append({ Kind::Param, sql.mid(i, j - i) });
            i = j;
        } else if (c == QLatin1Char('?') || (c == QLatin1Char('$') && i + 1 < n && sql.at(i + 1).isDigit())) {
            qsizetype j = i + 1;
            while (j < n && sql.at(j).isDigit())
                ++j;
            out.append({ Kind::Param, sql.mid(i, j - i) });
            i = j;
        } else if (isWordStart(c)) {
            qsizetype j = i + 1;
            while (j < n && isWordChar(sql.at(j)))
                ++j;
            out.append({ Kind::Word, sql.mid(i, j - i) });
            i = j;
        } else if (c.isDigit()) {
            qsizetype j = i + 1;
            while (j < n && (sql.at(j).isLetterOrNumber() || sql.at(j) == QLatin1Char('.')))
                ++j;
            out.append({ Kind::Number, sql.mid(i, j - i) });
            i = j;
        } else if (c == QLatin1Char(';')) {
            return i + 1;
        } else {
            out.append({ Kind::Punct, QString(c) });
            ++i;
        }
    }
    return n;
}

bool isWord(const Token &t, const char *upper)
{
    return t.kind == Kind::Word && t.text.compare(QLatin1String(upper), Qt::CaseInsensitive) == 0;
}

bool isPunct(const Token &t, char c)
{
    return t.kind == Kind::Punct && t.text.size() == 1 && t.text.at(0) == QLatin1Char(c);
}

// The next significant token at or after i (tokens.size() when none).
qsizetype nextSig(const QList<Token> &tokens, qsizetype i)
{
    while (i < tokens.size() && tokens.at(i).kind == Kind::Space)
        ++i;
    return i;
}

// The significant tokens of a range, by position.
QList<qsizetype> significant(const QList<Token> &tokens, qsizetype from, qsizetype to)
{
    QList<qsizetype> at;
    for (qsizetype i = from; i < to; ++i) {
        if (tokens.at(i).kind != Kind::Space)
            at << i;
    }
    return at;
}

// Splits [from, to) at the commas of its own level.
QList<QPair<qsizetype, qsizetype>> splitAtCommas(
    const QList<Token> &tokens, qsizetype from, qsizetype to)
{
    QList<QPair<qsizetype, qsizetype>> parts;
    int depth = 0;
    qsizetype start = from;
    for (qsizetype i = from; i < to; ++i) {
        const Token &t = tokens.at(i);
        if (isPunct(t, '('))
            ++depth;
        else if (isPunct(t, ')'))
            --depth;
        else if (depth == 0 && isPunct(t, ',')) {
            parts.append({ start, i });
            start = i + 1;
        }
    }
    parts.append({ start, to });
    return parts;
}

// The position of the ")" that closes the "(" at `open`.
qsizetype closing(const QList<Token> &tokens, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < tokens.size(); ++i) {
        if (isPunct(tokens.at(i), '('))
            ++depth;
        else if (isPunct(tokens.at(i), ')') && --depth == 0)
            return i;
    }
    return tokens.size();
}

// A term naming a key alone ("RecId", "Pictures.RecId", "rowid"): never null.
bool isKeyTerm(const QList<Token> &tokens, const QList<qsizetype> &sig)
{
    if (sig.isEmpty())
        return false;
    const Token &last = tokens.at(sig.last());
    if (last.kind != Kind::Word && last.kind != Kind::Quoted)
        return false;
    for (qsizetype k = 0; k + 1 < sig.size(); ++k) {
        const Token &t = tokens.at(sig.at(k));
        const bool dot = isPunct(t, '.');
        if ((k % 2 == 1) != dot || (!dot && t.kind != Kind::Word && t.kind != Kind::Quoted))
            return false;
    }
    const QString name = last.text.toLower();
    return name == QLatin1String("recid") || name == QLatin1String("rowid");
}

// Appends the null order to one sort term [from, to) unless it has one or is a key.
void orderNulls(QList<Token> &tokens, qsizetype from, qsizetype to)
{
    QList<qsizetype> sig = significant(tokens, from, to);
    if (sig.isEmpty())
        return;
    for (qsizetype i : sig) {
        if (isWord(tokens.at(i), "NULLS"))
            return;
    }
    const qsizetype lastAt = sig.last();
    bool descending = false;
    if (isWord(tokens.at(lastAt), "DESC") || isWord(tokens.at(lastAt), "ASC")) {
        descending = isWord(tokens.at(lastAt), "DESC");
        sig.removeLast();
    }
    if (isKeyTerm(tokens, sig))
        return;
    tokens[lastAt].suffix
        += descending ? QLatin1String(" NULLS LAST") : QLatin1String(" NULLS FIRST");
}

void rewriteOrderBy(QList<Token> &tokens)
{
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (!isWord(tokens.at(i), "ORDER"))
            continue;
        const qsizetype by = nextSig(tokens, i + 1);
        if (by >= tokens.size() || !isWord(tokens.at(by), "BY"))
            continue;
        int depth = 0;
        qsizetype start = by + 1;
        qsizetype j = by + 1;
        for (; j < tokens.size(); ++j) {
            const Token &t = tokens.at(j);
            if (isPunct(t, '(')) {
                ++depth;
            } else if (isPunct(t, ')')) {
                if (--depth < 0)
                    break;
            } else if (depth == 0 && isPunct(t, ',')) {
                orderNulls(tokens, start, j);
                start = j + 1;
            } else if (depth == 0 && t.kind == Kind::Word) {
                static const char *const enders[] = { "LIMIT", "OFFSET", "FETCH", "FOR", "UNION",
                    "EXCEPT", "INTERSECT", "WINDOW", "ROWS", "RANGE", "GROUPS" };
                bool ends = false;
                for (const char *w : enders)
                    ends = ends || isWord(t, w);
                if (ends)
                    break;
            }
        }
        orderNulls(tokens, start, j);
        i = j - 1;
    }
}

const char *const constraintWords[] = { "PRIMARY", "NOT", "NULL", "DEFAULT", "REFERENCES",
    "CHECK", "UNIQUE", "COLLATE", "CONSTRAINT", "GENERATED", "AUTOINCREMENT" };

bool isConstraintWord(const Token &t)
{
    for (const char *w : constraintWords) {
        if (isWord(t, w))
            return true;
    }
    return false;
}

// One column definition [from, to) in PostgreSQL's types; true when it is an integer key.
bool rewriteColumn(QList<Token> &tokens, qsizetype from, qsizetype to)
{
    const QList<qsizetype> sig = significant(tokens, from, to);
    if (sig.isEmpty())
        return false;
    static const char *const tableConstraints[] = { "CONSTRAINT", "PRIMARY", "FOREIGN", "UNIQUE",
        "CHECK" };
    for (const char *w : tableConstraints) {
        if (isWord(tokens.at(sig.first()), w))
            return false;
    }
    // The type: the words and parentheses after the name, up to the first constraint.
    qsizetype k = 1;
    QString type;
    QList<qsizetype> typeTokens;
    int depth = 0;
    for (; k < sig.size(); ++k) {
        const Token &t = tokens.at(sig.at(k));
        if (depth == 0 && isConstraintWord(t))
            break;
        if (isPunct(t, '('))
            ++depth;
        else if (isPunct(t, ')'))
            --depth;
        typeTokens << sig.at(k);
        type += t.text;
    }
    const QString upper = type.toUpper();
    bool integer = false;
    bool boolean = false;
    QString mapped = type;
    if (upper == QLatin1String("INTEGER") || upper == QLatin1String("INT")
        || upper == QLatin1String("BIGINT")) {
        mapped = QStringLiteral("BIGINT");
        integer = true;
    } else if (upper == QLatin1String("DATETIME")) {
        mapped = QStringLiteral("TIMESTAMP(0)");
    } else if (upper == QLatin1String("BLOB")) {
        mapped = QStringLiteral("BYTEA");
    } else if (upper == QLatin1String("REAL") || upper == QLatin1String("DOUBLE")
        || upper == QLatin1String("FLOAT")) {
        mapped = QStringLiteral("DOUBLE PRECISION");
    } else if (upper.startsWith(QLatin1String("CHAR(")) || upper.startsWith(QLatin1String("CHARACTER("))) {
        mapped = QStringLiteral("VARCHAR") + type.mid(type.indexOf(QLatin1Char('(')));
    } else if (upper == QLatin1String("BOOLEAN") || upper == QLatin1String("BOOL")) {
        boolean = true;
    }
    bool primary = false;
    bool references = false;
    for (qsizetype m = k; m < sig.size(); ++m) {
        Token &t = tokens[sig.at(m)];
        if (isWord(t, "PRIMARY"))
            primary = true;
        else if (isWord(t, "REFERENCES"))
            references = true;
        else if (isWord(t, "AUTOINCREMENT"))
            t.text.clear();
        else if (boolean && isWord(t, "DEFAULT") && m + 1 < sig.size()) {
            Token &v = tokens[sig.at(m + 1)];
            if (v.kind == Kind::Number && (v.text == QLatin1String("0") || v.text == QLatin1String("1")))
                v.text = v.text == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        }
    }
    const bool key = integer && primary && !references;
    if (key)
        mapped += QStringLiteral(" GENERATED BY DEFAULT AS IDENTITY");
    if (!typeTokens.isEmpty()) {
        // The whole type goes into its first token; the rest (and the blanks between) go.
        tokens[typeTokens.first()].text = mapped;
        for (qsizetype i = typeTokens.first() + 1; i <= typeTokens.last(); ++i)
            tokens[i].text.clear();
    }
    return key || (integer && primary);
}

void rewriteCreateTable(QList<Token> &tokens, qsizetype tableWord)
{
    qsizetype open = tableWord;
    while (open < tokens.size() && !isPunct(tokens.at(open), '('))
        ++open;
    if (open >= tokens.size())
        return; // CREATE TABLE ... AS SELECT
    const qsizetype close = closing(tokens, open);
    bool hasKey = false;
    for (const auto &part : splitAtCommas(tokens, open + 1, close))
        hasKey = rewriteColumn(tokens, part.first, part.second) || hasKey;
    if (!hasKey && close < tokens.size())
        tokens[close].text.prepend(QStringLiteral(", rowid BIGINT GENERATED BY DEFAULT AS IDENTITY"));
}

void rewriteCreateIndex(QList<Token> &tokens, qsizetype indexWord)
{
    qsizetype open = indexWord;
    while (open < tokens.size() && !isPunct(tokens.at(open), '('))
        ++open;
    if (open >= tokens.size())
        return;
    const qsizetype close = closing(tokens, open);
    for (const auto &part : splitAtCommas(tokens, open + 1, close))
        orderNulls(tokens, part.first, part.second);
}

void rewriteAddColumn(QList<Token> &tokens, qsizetype addWord)
{
    qsizetype from = nextSig(tokens, addWord + 1);
    if (from < tokens.size() && isWord(tokens.at(from), "COLUMN"))
        from = from + 1;
    rewriteColumn(tokens, from, tokens.size());
}

void rewriteDefinitions(QList<Token> &tokens)
{
    const QList<qsizetype> sig = significant(tokens, 0, qMin<qsizetype>(tokens.size(), 64));
    if (sig.size() < 3)
        return;
    const Token &first = tokens.at(sig.at(0));
    if (isWord(first, "CREATE")) {
        qsizetype k = 1;
        if (isWord(tokens.at(sig.at(k)), "UNIQUE"))
            ++k;
        if (isWord(tokens.at(sig.at(k)), "TABLE"))
            rewriteCreateTable(tokens, sig.at(k));
        else if (isWord(tokens.at(sig.at(k)), "INDEX"))
            rewriteCreateIndex(tokens, sig.at(k));
    } else if (isWord(first, "ALTER") && isWord(tokens.at(sig.at(1)), "TABLE")) {
        for (qsizetype k = 2; k < sig.size(); ++k) {
            if (isWord(tokens.at(sig.at(k)), "ADD")) {
                rewriteAddColumn(tokens, sig.at(k));
                break;
            }
        }
    }
}

} // namespace

bool PgSqlText::isBlank(QStringView text)
{
    QList<Token> tokens;
    const QString copy = text.toString();
    qsizetype at = 0;
    while (at < copy.size()) {
        tokens.clear();
        at = tokenize(copy, at, tokens);
        for (const Token &t : std::as_const(tokens)) {
            if (t.kind != Kind::Space)
                return false;
        }
    }
    return true;
}

PgSqlText::PgSqlText(const QString &sql, qsizetype offset)
{
    QList<Token> tokens;
    m_next = tokenize(sql, offset, tokens);
    for (const Token &t : std::as_const(tokens))
        m_empty = m_empty && t.kind == Kind::Space;
    if (m_empty)
        return;
    const bool native
        = sql.mid(offset).trimmed().startsWith(QLatin1String("/*pg*/"));

    // Parameters, quoted names, collations; the words as written.
    int nextNumber = 0;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        Token &t = tokens[i];
        if (t.kind == Kind::Param && !native) {
            const QChar mark = t.text.at(0);
            const QString rest = t.text.mid(1);
            int number = 0;
            if ((mark == QLatin1Char('?') || mark == QLatin1Char('$')) && !rest.isEmpty()
                && rest.at(0).isDigit()) {
                number = rest.toInt();
            } else if (mark == QLatin1Char('?')) {
                number = nextNumber + 1;
            } else {
                for (int k = 0; k < m_parameterNames.size(); ++k) {
                    if (m_parameterNames.at(k).compare(rest, Qt::CaseInsensitive) == 0) {
                        number = k + 1;
                        break;
                    }
                }
                if (number == 0) {
                    number = nextNumber + 1;
                    while (m_parameterNames.size() < number)
                        m_parameterNames << QString();
                    m_parameterNames[number - 1] = rest;
                }
            }
            nextNumber = qMax(nextNumber, number);
            while (m_parameterNames.size() < number)
                m_parameterNames << QString();
            t.text = QLatin1Char('$') + QString::number(number);
            t.kind = Kind::Number;
        } else if (t.kind == Kind::Word) {
            m_spellings.insert(t.text.toLower(), t.text);
            if (!native && isWord(t, "COLLATE")) {
                const qsizetype n = nextSig(tokens, i + 1);
                if (n < tokens.size() && isWord(tokens.at(n), "NOCASE"))
                    tokens[n].text = QStringLiteral("qm_nocase");
                else if (n < tokens.size() && isWord(tokens.at(n), "BINARY"))
                    tokens[n].text = QStringLiteral("\"C\"");
            }
        } else if (t.kind == Kind::Quoted) {
            if (!m_spellings.contains(t.text.toLower()))
                m_spellings.insert(t.text.toLower(), t.text);
        }
    }
    if (!native) {
        rewriteDefinitions(tokens);
        rewriteOrderBy(tokens);
    }

    m_text.reserve(sql.size() - offset + 32);
    for (const Token &t : std::as_const(tokens)) {
        if (t.kind == Kind::Quoted) {
            QString inner = native ? t.text : asciiLower(t.text);
            inner.replace(QLatin1String("\""), QLatin1String("\"\""));
            m_text += QLatin1Char('"') + inner + QLatin1Char('"');
        } else {
            m_text += t.text;
        }
        m_text += t.suffix;
    }
}
