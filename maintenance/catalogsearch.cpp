#include "maintenance/catalogsearch.h"

#include "intake/picturefactstable.h"
#include "store/connection.h"
#include "store/statement.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <vector>

QStringList CatalogSearch::statementLines()
{
    return {
        QStringLiteral("SELECT Pictures.RecId, "),
        QStringLiteral("Collections.Name AS Collection, "),
        QStringLiteral("Categories.Name AS Category, "),
        QStringLiteral("Pictures.Name AS Picture "),
        QStringLiteral("FROM Pictures, Categories, Collections "),
        QStringLiteral("WHERE "),
        QStringLiteral("Pictures.Collection = Collections.RecId AND "),
        QStringLiteral("Pictures.Category = Categories.RecId AND ("),
        QStringLiteral("Pictures.Name LIKE :Q1 OR "),
        QStringLiteral("Pictures.FileName LIKE :Q2 OR "),
        QStringLiteral("Pictures.FullPath LIKE :Q3 OR "),
        QStringLiteral("Pictures.FileType LIKE :Q4 OR "),
        QStringLiteral("Pictures.Notes LIKE :Q5 OR "),
        QStringLiteral("Pictures.KeyWords LIKE :Q6"),
        QStringLiteral(")"),
        QStringLiteral("ORDER BY 4, 2, 3, 1"),
    };
}

namespace {

// The narrowing's conditions on the facts of a picture.
QString narrowingConditions(const CatalogSearch::Narrowing &narrowing)
{
    QStringList conditions;
    if (!narrowing.takenFrom.isEmpty())
        conditions << QStringLiteral("PictureFacts.Taken >= :DE");
    if (!narrowing.takenTo.isEmpty())
        conditions << QStringLiteral("PictureFacts.Taken < :ATE");
    if (narrowing.narrowsTaken() && narrowing.takenFrom.isEmpty())
        conditions << QStringLiteral("PictureFacts.Taken IS NOT NULL");
    if (!narrowing.camera.isEmpty())
        conditions << QStringLiteral(
            "(PictureFacts.Make LIKE :CAMERA OR PictureFacts.Model LIKE :CAMERA OR "
            "(PictureFacts.Make || ' ' || PictureFacts.Model) LIKE :CAMERA)");
    return conditions.join(QStringLiteral(" AND "));
}

} // namespace

QStringList CatalogSearch::statementLines(const Narrowing &narrowing)
{
    QStringList lines = statementLines();
    if (narrowing.isEmpty())
        return lines;
    // Before the order: the search's own lines stay as they are.
    lines.insert(lines.size() - 1,
        QStringLiteral("AND Pictures.RecId IN (SELECT PictureFacts.Picture FROM PictureFacts "
                       "WHERE %1) ")
            .arg(narrowingConditions(narrowing)));
    return lines;
}

void CatalogSearch::bindNarrowing(Statement &statement, const Narrowing &narrowing)
{
    if (!narrowing.takenFrom.isEmpty())
        statement.bind(QStringLiteral("DE"), PictureFactsTable::periodStart(narrowing.takenFrom));
    if (!narrowing.takenTo.isEmpty())
        statement.bind(QStringLiteral("ATE"), PictureFactsTable::periodEnd(narrowing.takenTo));
    if (!narrowing.camera.isEmpty())
        statement.bind(
            QStringLiteral("CAMERA"), QLatin1Char('%') + narrowing.camera + QLatin1Char('%'));
}

bool CatalogSearch::isPeriod(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{4})(?:-(\\d{2})(?:-(\\d{2}))?)?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const int year = m.captured(1).toInt();
    const int month = m.captured(2).isEmpty() ? 1 : m.captured(2).toInt();
    const int day = m.captured(3).isEmpty() ? 1 : m.captured(3).toInt();
    return year >= 1 && QDate(year, month, day).isValid();
}

bool CatalogSearch::parseTaken(const QString &text, Narrowing &narrowing, QString *error)
{
    const qsizetype dots = text.indexOf(QStringLiteral(".."));
    const QString from = dots < 0 ? text : text.left(dots);
    const QString to = dots < 0 ? text : text.mid(dots + 2);
    const auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!isPeriod(from) || !isPeriod(to))
        return refuse(QStringLiteral("período inválido: \"%1\" (use AAAA, AAAA-MM ou "
                                     "AAAA-MM-DD, ou DE..ATÉ)")
                          .arg(text));
    // The first day of `from` after the last day of `to`: nothing could be in between.
    if (PictureFactsTable::periodStart(from) > PictureFactsTable::periodEnd(to))
        return refuse(
            QStringLiteral("período inválido: \"%1\" termina antes de começar").arg(text));
    narrowing.takenFrom = from;
    narrowing.takenTo = to;
    return true;
}

QStringList CatalogSearch::cameras(Connection &connection)
{
    QStringList names;
    if (!PictureFactsTable::exists(connection))
        return names;
    Statement s(connection,
        QStringLiteral("SELECT Make, Model, COUNT(*) AS N FROM PictureFacts"
                       " WHERE Make IS NOT NULL OR Model IS NOT NULL"
                       " GROUP BY Make, Model ORDER BY N DESC, Make, Model"));
    Statement::Reset done(s);
    while (s.step()) {
        const QString make = s.text(0).trimmed();
        const QString model = s.text(1).trimmed();
        QString name;
        if (model.isEmpty())
            name = make;
        else if (make.isEmpty()
            || model.startsWith(make.section(QLatin1Char(' '), 0, 0), Qt::CaseInsensitive))
            name = model;
        else
            name = make + QLatin1Char(' ') + model;
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    return names;
}

void CatalogSearch::bindText(Statement &statement, const QString &typed)
{
    const QString value = QLatin1Char('%') + typed + QLatin1Char('%');
    for (int q = 1; q <= 6; ++q)
        statement.bind(QStringLiteral("Q%1").arg(q), value);
}

QString CatalogSearch::noHitMessage(const QString &typed)
{
    return QStringLiteral("Nenhuma imagem encontrada na base de dados contendo a referência ")
        + QLatin1Char('"') + typed + QLatin1Char('"') + QLatin1Char('.');
}

void CatalogSearch::forEachHit(
    Connection &connection, const QString &typed, const std::function<bool(const Hit &)> &hit)
{
    forEachHit(connection, typed, Narrowing(), hit);
}

namespace {

// SQLite's NOCASE order of texts as stored: ASCII letters folded, compared byte by byte, the
// shorter first when one begins the other; null before any text. It is the order the
// statement's ORDER BY gives its name columns.
char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

int compareNoCase(QByteArrayView a, QByteArrayView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(foldAscii(a[i]));
        const auto y = static_cast<unsigned char>(foldAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// The rank of every name of a table in that order (equal names share one), by key.
struct RankedNames {
    QHash<qint64, int> index; // RecId -> position in names
    std::vector<QString> names;
    std::vector<int> rank;

    RankedNames(Connection &connection, const QString &table)
    {
        std::vector<std::pair<QByteArray, bool>> keys; // the name as stored, null
        Statement s(connection, QStringLiteral("SELECT RecId, Name FROM %1").arg(table));
        Statement::Reset done(s);
        while (s.step()) {
            index.insert(s.integer(0), int(names.size()));
            names.push_back(s.text(1));
            const QByteArrayView bytes = s.utf8View(1);
            keys.emplace_back(QByteArray(bytes.data(), bytes.size()), s.isNull(1));
        }
        std::vector<int> order(names.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = int(i);
        const auto cmp = [&keys](int a, int b) {
            if (keys[size_t(a)].second || keys[size_t(b)].second)
                return int(!keys[size_t(a)].second) - int(!keys[size_t(b)].second);
            return compareNoCase(keys[size_t(a)].first, keys[size_t(b)].first);
        };
        std::sort(order.begin(), order.end(), [&cmp](int a, int b) { return cmp(a, b) < 0; });
        rank.assign(names.size(), 0);
        for (size_t i = 0; i < order.size(); ++i)
            rank[size_t(order[i])]
                = i > 0 && cmp(order[i - 1], order[i]) == 0 ? rank[size_t(order[i - 1])] : int(i);
    }
};

// The narrowed search: the statement's rows, found through the index of the facts, and put
// in its order here. The engine sorts a year's tens of thousands of hits row by row through
// its sorter; as keys in memory they sort several times faster, in the same order.
void forEachNarrowedHit(Connection &connection, const QString &typed,
    const CatalogSearch::Narrowing &narrowing,
    const std::function<bool(const CatalogSearch::Hit &)> &hit)
{
    const RankedNames collections(connection, QStringLiteral("Collections"));
    const RankedNames categories(connection, QStringLiteral("Categories"));
    // The statement's condition on the six fields. A text between "%" and "%" with nothing in
    // it matches every field that holds a value.
    QStringList lines = CatalogSearch::statementLines();
    const qsizetype from = lines.indexOf(QStringLiteral("Pictures.Name LIKE :Q1 OR "));
    const qsizetype close = lines.indexOf(QStringLiteral(")"));
    const QString fields = typed.isEmpty()
        ? QStringLiteral("Pictures.Name IS NOT NULL OR Pictures.FileName IS NOT NULL OR "
                         "Pictures.FullPath IS NOT NULL OR Pictures.FileType IS NOT NULL OR "
                         "Pictures.Notes IS NOT NULL OR Pictures.KeyWords IS NOT NULL")
        : lines.mid(from, close - from).join(QLatin1Char('\n'));
    const QString columns = QStringLiteral(
        "SELECT Pictures.RecId, Pictures.Collection, Pictures.Category, Pictures.Name ");

    // The pictures of the narrowing, from the index of the facts, in key order.
    const QString narrowed = narrowingConditions(narrowing);
    std::vector<qint64> keys;
    {
        Statement k(connection,
            QStringLiteral("SELECT PictureFacts.Picture FROM PictureFacts WHERE ") + narrowed);
        Statement::Reset done(k);
        CatalogSearch::bindNarrowing(k, narrowing);
        while (k.step())
            keys.push_back(k.integer(0));
    }
    std::sort(keys.begin(), keys.end());
    // Pictures catalogued together (a folder scanned at once) lie side by side: read in runs
    // of neighbouring keys, a few rows between them cost less than a search each. Keys far
    // apart are read through the facts' own order instead.
    constexpr qint64 kGap = 8;
    size_t runs = keys.empty() ? 0 : 1;
    for (size_t i = 1; i < keys.size(); ++i)
        runs += keys[i] - keys[i - 1] > kGap ? 1 : 0;
    const bool inRuns = runs * 4 <= keys.size();
    std::unique_ptr<Statement> read;
    if (inRuns) {
        read = std::make_unique<Statement>(connection,
            columns
                + QStringLiteral("FROM Pictures WHERE Pictures.RecId BETWEEN :DESDE AND :ATE_CHAVE"
                                 " AND (%1)")
                      .arg(fields));
    } else {
        read = std::make_unique<Statement>(connection,
            columns
                + QStringLiteral("FROM PictureFacts JOIN Pictures ON Pictures.RecId = "
                                 "PictureFacts.Picture WHERE %1 AND (%2)")
                      .arg(narrowed, fields));
    }
    Statement &s = *read;

    struct Row {
        quint64 prefix; // the first eight bytes of the folded name, big-endian
        qint64 recId;
        qsizetype name; // into `text`; -1 for a null name
        int length;
        int collection;
        int category;
    };
    std::vector<Row> rows;
    QByteArray text; // every picture name as stored, one after the other
    size_t next = 0; // the next key to find
    const auto step = [&]() {
        for (;;) {
            if (!inRuns)
                return s.step();
            if (s.isStepping() && s.step()) {
                // Rows between the keys of a run are passed over.
                const qint64 key = s.integer(0);
                while (next < keys.size() && keys[next] < key)
                    ++next;
                if (next < keys.size() && keys[next] == key) {
                    ++next;
                    return true;
                }
                continue;
            }
            if (next >= keys.size())
                return false;
            size_t last = next;
            while (last + 1 < keys.size() && keys[last + 1] - keys[last] <= kGap)
                ++last;
            s.reset();
            if (!typed.isEmpty())
                CatalogSearch::bindText(s, typed);
            s.bind(QStringLiteral("DESDE"), keys[next]);
            s.bind(QStringLiteral("ATE_CHAVE"), keys[last]);
            if (!s.step()) {
                next = last + 1;
                continue;
            }
            const qint64 key = s.integer(0);
            while (next < keys.size() && keys[next] < key)
                ++next;
            if (next < keys.size() && keys[next] == key) {
                ++next;
                return true;
            }
        }
    };
    if (!inRuns) {
        if (!typed.isEmpty())
            CatalogSearch::bindText(s, typed);
        CatalogSearch::bindNarrowing(s, narrowing);
    }
    Statement::Reset done(s);
    while (step()) {
        // The statement's joins: a picture whose collection or category is gone is never
        // listed.
        if (s.isNull(1) || s.isNull(2))
            continue;
        const auto collection = collections.index.constFind(s.integer(1));
        const auto category = categories.index.constFind(s.integer(2));
        if (collection == collections.index.cend() || category == categories.index.cend())
            continue;
        Row r { 0, s.integer(0), -1, 0, collection.value(), category.value() };
        if (!s.isNull(3)) {
            const QByteArrayView name = s.utf8View(3);
            r.name = text.size();
            r.length = int(name.size());
            text.append(name);
            for (int b = 0; b < 8; ++b) {
                const auto c = b < r.length ? static_cast<unsigned char>(foldAscii(name[b])) : 0;
                r.prefix = (r.prefix << 8) | c;
            }
        }
        rows.push_back(r);
    }
    // ORDER BY 4, 2, 3, 1: picture, collection and category names, then the key. What is
    // sorted is small: the first bytes of each name decide most comparisons.
    struct Key {
        quint64 prefix;
        quint32 row;
        bool named;
    };
    std::vector<Key> order(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        order[i] = { rows[i].prefix, quint32(i), rows[i].name >= 0 };
    const char *names = text.constData();
    std::sort(order.begin(), order.end(), [&](const Key &x, const Key &y) {
        if (x.named != y.named)
            return !x.named;
        if (x.prefix != y.prefix)
            return x.prefix < y.prefix;
        const Row &a = rows[x.row];
        const Row &b = rows[y.row];
        if (x.named) {
            const int c = compareNoCase(
                QByteArrayView(names + a.name, a.length), QByteArrayView(names + b.name, b.length));
            if (c != 0)
                return c < 0;
        }
        const int ca = collections.rank[size_t(a.collection)];
        const int cb = collections.rank[size_t(b.collection)];
        if (ca != cb)
            return ca < cb;
        const int ka = categories.rank[size_t(a.category)];
        const int kb = categories.rank[size_t(b.category)];
        if (ka != kb)
            return ka < kb;
        return a.recId < b.recId;
    });
    CatalogSearch::Hit h;
    for (const Key &k : order) {
        const Row &r = rows[k.row];
        h.recId = r.recId;
        h.collection = collections.names[size_t(r.collection)];
        h.category = categories.names[size_t(r.category)];
        h.picture = r.name < 0 ? QString() : QString::fromUtf8(names + r.name, r.length);
        if (!hit(h))
            return;
    }
}

} // namespace

void CatalogSearch::forEachHit(Connection &connection, const QString &typed,
    const Narrowing &narrowing, const std::function<bool(const Hit &)> &hit)
{
    // Without facts recorded, no photo is known to have been taken anywhen or with anything.
    if (!narrowing.isEmpty() && !PictureFactsTable::exists(connection))
        return;
    // The narrowed walk sorts in SQLite's NOCASE order; a server orders names by its own
    // collation, as the window's grid shows them, so there the statement sorts.
    if (!narrowing.isEmpty() && !Connection::isServerLocation(connection.filePath())) {
        forEachNarrowedHit(connection, typed, narrowing, hit);
        return;
    }
    Statement statement(connection, statementLines(narrowing).join(QLatin1Char('\n')));
    Statement::Reset done(statement);
    bindText(statement, typed);
    bindNarrowing(statement, narrowing);
    Hit row;
    while (statement.step()) {
        row.recId = statement.integer(0);
        row.collection = statement.text(1);
        row.category = statement.text(2);
        row.picture = statement.text(3);
        if (!hit(row))
            return;
    }
}
