#include "maintenance/recordvalidation.h"

#include "core/casefold.h"
#include "core/prompter.h"
#include "store/cataloguelocks.h"
#include "store/dberror.h"
#include "store/statement.h"
#include "store/tdados.h"

#include <string>
#include <vector>

namespace {
const QString kName = QStringLiteral("Name");
const QString kRecId = QStringLiteral("RecId");

bool blank(const RecordSet &set, const QString &column)
{
    return set.asString(column).trimmed().isEmpty();
}

// A picker is unset when its key is null or 0.
bool unset(const RecordSet &set, const QString &column)
{
    return set.isNull(column) || set.asInt(column) == 0;
}

// The spellings of a name that the file's NOCASE tells apart (it folds ASCII letters only)
// but that are the same name with letter case folded over all of Unicode: "Férias" is also
// "FÉRIAS" or "fÉrias". A name with few of them is looked up by each, through the column's
// index; past kMaxSpellings the shared starts are looked up as ranges instead, and every row
// found there is compared in full.
struct Spellings {
    QStringList exact;
    QList<std::pair<QString, QString>> ranges; // [low, high); an empty high has no bound
};

constexpr qsizetype kMaxSpellings = 64;

QString textOf(const std::u32string &points)
{
    QString text;
    text.reserve(qsizetype(points.size()));
    for (const char32_t c : points) {
        if (c > 0xFFFF) {
            text += QChar(QChar::highSurrogate(c));
            text += QChar(QChar::lowSurrogate(c));
        } else {
            text += QChar(char16_t(c));
        }
    }
    return text;
}

Spellings spellingsOf(const QString &name)
{
    const std::u32string points = casefold::codePoints(name);
    std::vector<std::u32string> prefixes { std::u32string() };
    size_t i = 0;
    for (; i < points.size(); ++i) {
        // NOCASE already joins ASCII upper and lower case.
        QList<char32_t> ways;
        for (char32_t v : casefold::variants(points[i])) {
            if (v >= 'A' && v <= 'Z')
                v += 'a' - 'A';
            if (!ways.contains(v))
                ways.append(v);
        }
        if (qsizetype(prefixes.size()) * ways.size() > kMaxSpellings)
            break;
        std::vector<std::u32string> longer;
        for (const std::u32string &p : prefixes)
            for (const char32_t v : ways)
                longer.push_back(p + v);
        prefixes = std::move(longer);
    }
    Spellings s;
    for (std::u32string &p : prefixes) {
        if (i == points.size()) {
            s.exact.append(textOf(p));
            continue;
        }
        if (p.empty()) {
            s.ranges.append({ QString(), QString() });
            continue;
        }
        // Every text that starts with p sorts before p with its last character's successor.
        const QString low = textOf(p);
        char32_t &last = p.back();
        last = last + 1 == 0xD800 ? 0xE000 : last + 1;
        s.ranges.append({ low, last > 0x10FFFF ? QString() : textOf(p) });
    }
    return s;
}

// 0 for a row not saved yet, so that every stored row counts as another one.
qint64 currentId(const RecordSet &set)
{
    return set.state() == RecordSet::State::Insert || set.isNull(kRecId) ? 0 : set.asInt(kRecId);
}

// True when the picture's row is new or its file is another than the one stored: a file no
// row had, which a running scan may be adding unseen.
bool givesANewFile(Connection &db, qint64 recId, const QString &fileName, const QDateTime &created)
{
    if (recId == 0)
        return true;
    Statement look(db, QStringLiteral("SELECT FileName, Created FROM Pictures WHERE RecId = ?"));
    Statement::Reset done(look);
    look.bind(1, recId);
    if (!look.step())
        return true;
    const QDateTime stored = look.isNull(1) ? QDateTime() : look.value(1).toDateTime();
    return !casefold::equal(look.text(0), fileName) || stored != created;
}
} // namespace

bool RecordValidation::validate(NodeKind kind, const Focus &focus)
{
    switch (kind) {
    case NodeKind::Collection: return ValidateCollection(focus);
    case NodeKind::Category: return ValidateCategory(focus);
    case NodeKind::Picture: return ValidatePicture(focus);
    case NodeKind::Storage: return ValidateStorage(focus);
    case NodeKind::None: break;
    }
    return true;
}

bool RecordValidation::fail(const QString &message, const QString &column, const Focus &focus)
{
    if (m_beforeRefusal)
        m_beforeRefusal();
    m_prompter.beep();
    m_prompter.error(message);
    if (focus)
        focus(column);
    return false;
}

bool RecordValidation::taken(
    const QString &select, const QString &column, const QString &name, QVariantMap params)
{
    const Spellings spellings = spellingsOf(name);
    QStringList alternatives;
    if (!spellings.exact.isEmpty()) {
        QStringList names;
        for (qsizetype i = 0; i < spellings.exact.size(); ++i) {
            names << QStringLiteral(":S%1").arg(i);
            params.insert(QStringLiteral("S%1").arg(i), spellings.exact.at(i));
        }
        alternatives << QStringLiteral("%1 IN (%2)").arg(column, names.join(QStringLiteral(", ")));
    }
    for (qsizetype i = 0; i < spellings.ranges.size(); ++i) {
        const auto &[low, high] = spellings.ranges.at(i);
        params.insert(QStringLiteral("L%1").arg(i), low);
        if (high.isEmpty()) {
            alternatives << QStringLiteral("%1 >= :L%2").arg(column).arg(i);
        } else {
            params.insert(QStringLiteral("H%1").arg(i), high);
            alternatives << QStringLiteral("(%1 >= :L%2 AND %1 < :H%2)").arg(column).arg(i);
        }
    }
    Query &q = m_store.SQLTmp;
    try {
        if (q.isOpen())
            q.close();
        q.clearSql();
        q.addLine(select);
        q.addLine(
            QStringLiteral("AND (") + alternatives.join(QStringLiteral(" OR ")) + QLatin1Char(')'));
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            q.setParam(it.key(), it.value());
        q.open();
        bool found = false;
        for (; !found && !q.eof(); q.next())
            found = casefold::equal(q.asString(column), name);
        q.close();
        return found;
    } catch (const DbError &) {
        q.close();
        m_prompter.beep();
        m_prompter.error(QStringLiteral("Consulta não efetuada!"));
        return false;
    }
}

bool RecordValidation::ValidateCollection(const Focus &focus)
{
    const RecordSet &set = m_store.TCollections;
    if (blank(set, kName))
        return fail(QStringLiteral("Nome inválido!"), kName, focus);
    CatalogueLocks::name(m_store.Conexao, QStringLiteral("Collections"), 0, set.asString(kName));
    if (taken(QStringLiteral("SELECT Name FROM Collections WHERE RecId <> :CUR"), kName,
            set.asString(kName), { { QStringLiteral("CUR"), currentId(set) } }))
        return fail(QStringLiteral("Coleção já cadastrada!"), kName, focus);
    return true;
}

bool RecordValidation::ValidateCategory(const Focus &focus)
{
    const RecordSet &set = m_store.TCategories;
    const QString collection = QStringLiteral("Collection");
    if (unset(set, collection))
        return fail(QStringLiteral("Coleção inválida!"), collection, focus);
    if (blank(set, kName))
        return fail(QStringLiteral("Nome inválido!"), kName, focus);
    CatalogueLocks::name(m_store.Conexao, QStringLiteral("Categories"), set.asInt(collection),
        set.asString(kName));
    if (taken(
            QStringLiteral("SELECT Name FROM Categories WHERE Collection = :COL AND RecId <> :CUR"),
            kName, set.asString(kName),
            { { QStringLiteral("COL"), set.asInt(collection) },
                { QStringLiteral("CUR"), currentId(set) } }))
        return fail(QStringLiteral("Categoria já cadastrada nesta coleção!"), kName, focus);
    return true;
}

bool RecordValidation::ValidatePicture(const Focus &focus)
{
    const RecordSet &set = m_store.TPictures;
    const QString collection = QStringLiteral("Collection");
    const QString category = QStringLiteral("Category");
    const QString fileName = QStringLiteral("FileName");
    if (unset(set, collection))
        return fail(QStringLiteral("Coleção inválida!"), collection, focus);
    if (unset(set, category))
        return fail(QStringLiteral("Categoria inválida!"), category, focus);
    if (blank(set, kName))
        return fail(QStringLiteral("Nome inválido!"), kName, focus);
    if (blank(set, fileName))
        return fail(QStringLiteral("Arquivo inválido!"), fileName, focus);
    if (blank(set, QStringLiteral("FullPath")))
        return fail(QStringLiteral("Caminho inválido!"), QStringLiteral("FullPath"), focus);
    const QDateTime created = set.asDateTime(QStringLiteral("Created"));
    Connection &db = m_store.Conexao;
    if (givesANewFile(db, currentId(set), set.asString(fileName), created))
        CatalogueLocks::scannedFiles(db, true);
    CatalogueLocks::name(db, QStringLiteral("Pictures"), set.asInt(category), set.asString(kName));
    CatalogueLocks::pictureFile(db, set.asString(fileName), created);
    if (taken(QStringLiteral("SELECT Name FROM Pictures WHERE Category = :CAT AND RecId <> :CUR"),
            kName, set.asString(kName),
            { { QStringLiteral("CAT"), set.asInt(category) },
                { QStringLiteral("CUR"), currentId(set) } }))
        return fail(QStringLiteral("Imagem já cadastrada nesta categoria!"), kName, focus);
    if (taken(QStringLiteral(
                  "SELECT FileName FROM Pictures WHERE Created = :DATE AND RecId <> :RECD"),
            fileName, set.asString(fileName),
            { { QStringLiteral("DATE"), created.isValid() ? QVariant(created) : QVariant() },
                { QStringLiteral("RECD"), currentId(set) } }))
        return fail(QStringLiteral("Imagem já catalogada!"), kName, focus);
    return true;
}

bool RecordValidation::ValidateStorage(const Focus &focus)
{
    const RecordSet &set = m_store.TStorages;
    if (blank(set, kName))
        return fail(QStringLiteral("Nome inválido!"), kName, focus);
    CatalogueLocks::name(m_store.Conexao, QStringLiteral("Storages"), 0, set.asString(kName));
    if (taken(QStringLiteral("SELECT Name FROM Storages WHERE RecId <> :CUR"), kName,
            set.asString(kName), { { QStringLiteral("CUR"), currentId(set) } }))
        return fail(QStringLiteral("Local já cadastrado!"), kName, focus);
    return true;
}
