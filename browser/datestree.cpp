#include "browser/datestree.h"

#include "core/namecollation.h"
#include "intake/picturefactstable.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/statement.h"

#include <QDate>

#include <algorithm>

namespace {

// Sortable prefixes of the date taken: "2019", "2019-07", "2019-07-04".
constexpr int kYearLength = 4;
constexpr int kMonthLength = 7;
constexpr int kDayLength = 10;

} // namespace

DatesTree::DatesTree(Connection &connection, QObject *parent)
    : QAbstractItemModel(parent), m_connection(connection)
{
    // Nothing read may outlive the connection's statements; the tree is read again later.
    connect(&m_connection, &Connection::aboutToClose, this, &DatesTree::clear);
}

DatesTree::~DatesTree() = default;

QString DatesTree::monthName(int month)
{
    static const char *const names[] = { "Janeiro", "Fevereiro", "Março", "Abril", "Maio", "Junho",
        "Julho", "Agosto", "Setembro", "Outubro", "Novembro", "Dezembro" };
    return month >= 1 && month <= 12 ? QString::fromUtf8(names[month - 1]) : QString();
}

QString DatesTree::undatedText()
{
    return QStringLiteral("Sem data");
}

void DatesTree::clear()
{
    beginResetModel();
    m_groups.clear();
    m_top.clear();
    m_pictureKeys.clear();
    m_pictureNames.clear();
    m_names.clear();
    endResetModel();
}

void DatesTree::reload()
{
    beginResetModel();
    m_groups.clear();
    m_top.clear();
    m_pictureKeys.clear();
    m_pictureNames.clear();
    m_names.clear();
    try {
        int dated = 0;
        if (PictureFactsTable::exists(m_connection)) {
            for (const auto &[period, count] : periodsIn(QString(), kYearLength)) {
                Group g;
                g.level = Level::Year;
                g.period = period;
                g.count = count;
                g.row = int(m_top.size());
                dated += g.count;
                m_top.append(int(m_groups.size()));
                m_groups.push_back(std::move(g));
            }
        }
        Statement all(m_connection, QStringLiteral("SELECT COUNT(*) FROM Pictures"));
        Statement::Reset done(all);
        const qint64 pictures = all.step() ? all.integer(0) : 0;
        if (pictures > dated) {
            Group g;
            g.level = Level::Undated;
            g.count = int(pictures - dated);
            g.row = int(m_top.size());
            m_top.append(int(m_groups.size()));
            m_groups.push_back(std::move(g));
        }
    } catch (...) {
        m_groups.clear();
        m_top.clear();
        endResetModel();
        throw;
    }
    endResetModel();
}

int DatesTree::groupOf(const QModelIndex &index) const
{
    if (!index.isValid())
        return -1;
    const quintptr parent = index.internalId();
    if (parent == 0)
        return index.row() < m_top.size() ? m_top[index.row()] : -1;
    const Group &p = m_groups[size_t(parent - 1)];
    return index.row() < p.groups.size() ? p.groups[index.row()] : -1;
}

int DatesTree::childCount(int group) const
{
    const Group &g = m_groups[size_t(group)];
    return g.fetched ? int(g.groups.size()) + g.pictures : 0;
}

QModelIndex DatesTree::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < m_top.size() ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    const int group = groupOf(parent);
    if (group < 0 || row >= childCount(group))
        return {};
    return createIndex(row, 0, quintptr(group + 1));
}

QModelIndex DatesTree::indexOfGroup(int group) const
{
    const Group &g = m_groups[size_t(group)];
    return createIndex(g.row, 0, quintptr(g.parent + 1));
}

QModelIndex DatesTree::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return indexOfGroup(int(child.internalId() - 1));
}

int DatesTree::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_top.size());
    const int group = groupOf(parent);
    return group < 0 ? 0 : childCount(group);
}

int DatesTree::columnCount(const QModelIndex &) const
{
    return 1;
}

bool DatesTree::hasChildren(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return !m_top.isEmpty();
    const int group = groupOf(parent);
    return group >= 0 && m_groups[size_t(group)].count > 0;
}

Qt::ItemFlags DatesTree::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (groupOf(index) < 0)
        f |= Qt::ItemNeverHasChildren;
    return f;
}

DatesTree::Level DatesTree::level(const QModelIndex &index) const
{
    const int group = groupOf(index);
    return group >= 0 ? m_groups[size_t(group)].level : Level::Picture;
}

NodeCode DatesTree::nodeCode(const QModelIndex &index) const
{
    if (!index.isValid() || index.internalId() == 0 || groupOf(index) >= 0)
        return {};
    const Group &p = m_groups[size_t(index.internalId() - 1)];
    const qsizetype at = p.firstPicture + (index.row() - p.groups.size());
    return { NodeKind::Picture, m_pictureKeys[at] };
}

int DatesTree::count(const QModelIndex &index) const
{
    const int group = groupOf(index);
    if (group >= 0)
        return m_groups[size_t(group)].count;
    return index.isValid() ? 1 : 0;
}

QString DatesTree::period(const QModelIndex &index) const
{
    const int group = groupOf(index);
    return group >= 0 ? m_groups[size_t(group)].period : QString();
}

QString DatesTree::label(const Group &g) const
{
    switch (g.level) {
    case Level::Year: return g.period;
    case Level::Month: return monthName(QStringView(g.period).mid(5, 2).toInt());
    case Level::Day: {
        const QDate day = QDate::fromString(g.period, QStringLiteral("yyyy-MM-dd"));
        return day.isValid() ? day.toString(QStringLiteral("dd/MM/yyyy")) : g.period;
    }
    case Level::Undated: return undatedText();
    case Level::Picture: break;
    }
    return QString();
}

QVariant DatesTree::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int group = groupOf(index);
    if (group >= 0) {
        const Group &g = m_groups[size_t(group)];
        switch (role) {
        case Qt::DisplayRole: return QStringLiteral("%1 (%2)").arg(label(g)).arg(g.count);
        case Qt::ToolTipRole:
            return g.count == 1 ? QStringLiteral("1 imagem")
                                : QStringLiteral("%1 imagens").arg(g.count);
        case Qt::DecorationRole: return m_icons.size() > 1 ? QVariant(m_icons[1]) : QVariant();
        case LevelRole: return int(g.level);
        case CountRole: return g.count;
        case PeriodRole: return g.period;
        default: return {};
        }
    }
    const Group &p = m_groups[size_t(index.internalId() - 1)];
    const qsizetype at = p.firstPicture + (index.row() - p.groups.size());
    switch (role) {
    case Qt::DisplayRole: return m_names.view(m_pictureNames[at]).toString();
    case Qt::DecorationRole: return m_icons.size() > 2 ? QVariant(m_icons[2]) : QVariant();
    case LevelRole: return int(Level::Picture);
    case CountRole: return 1;
    case CodeRole: return NodeCode { NodeKind::Picture, m_pictureKeys[at] }.text();
    default: return {};
    }
}

bool DatesTree::canFetchMore(const QModelIndex &parent) const
{
    const int group = groupOf(parent);
    return group >= 0 && !m_groups[size_t(group)].fetched;
}

void DatesTree::fetchMore(const QModelIndex &parent)
{
    const int group = groupOf(parent);
    if (group < 0 || m_groups[size_t(group)].fetched)
        return;
    try {
        load(group);
    } catch (const DbError &e) {
        emit loadFailed(e.message());
    }
}

void DatesTree::load(int group)
{
    switch (m_groups[size_t(group)].level) {
    case Level::Year: loadGroups(group, kMonthLength, Level::Month); break;
    case Level::Month: loadGroups(group, kDayLength, Level::Day); break;
    case Level::Day:
    case Level::Undated: loadPictures(group); break;
    case Level::Picture: break;
    }
}

std::vector<std::pair<QString, int>> DatesTree::periodsIn(const QString &period, int length)
{
    // From period to period through the index, each counted as a range of it: a million
    // dates cost a few seeks and one pass over their index entries, never a sort.
    std::vector<std::pair<QString, int>> found;
    Statement first(m_connection,
        QStringLiteral("SELECT Taken FROM PictureFacts WHERE Taken >= ?1 AND Taken < ?2"
                       " ORDER BY Taken LIMIT 1"));
    Statement count(m_connection,
        QStringLiteral("SELECT COUNT(*) FROM PictureFacts WHERE Taken >= ?1 AND Taken < ?2"));
    const QString end
        = period.isEmpty() ? QStringLiteral("~") : PictureFactsTable::periodEnd(period);
    QString from = PictureFactsTable::periodStart(period);
    for (;;) {
        QString taken;
        {
            Statement::Reset done(first);
            first.bindText(1, from);
            first.bindText(2, end);
            if (!first.step())
                break;
            taken = first.text(0);
        }
        const QString prefix = taken.left(length);
        int n = 0;
        {
            Statement::Reset done(count);
            count.bindText(1, PictureFactsTable::periodStart(prefix));
            count.bindText(2, PictureFactsTable::periodEnd(prefix));
            if (count.step())
                n = int(count.integer(0));
        }
        // A date shorter than the level (none is written so) is passed over.
        if (prefix.size() == length && n > 0)
            found.emplace_back(prefix, n);
        from = PictureFactsTable::periodEnd(prefix);
    }
    return found;
}

void DatesTree::loadGroups(int group, int prefixLength, Level level)
{
    std::vector<Group> found;
    for (const auto &[period, count] : periodsIn(m_groups[size_t(group)].period, prefixLength)) {
        Group g;
        g.level = level;
        g.parent = group;
        g.period = period;
        g.count = count;
        found.push_back(std::move(g));
    }
    const QModelIndex parent = indexOfGroup(group);
    if (!found.empty())
        beginInsertRows(parent, 0, int(found.size()) - 1);
    for (Group &g : found) {
        g.row = int(m_groups[size_t(group)].groups.size());
        m_groups[size_t(group)].groups.append(int(m_groups.size()));
        m_groups.push_back(std::move(g));
    }
    m_groups[size_t(group)].fetched = true;
    if (!found.empty())
        endInsertRows();
}

void DatesTree::loadPictures(int group)
{
    struct Row {
        QString taken;
        QString name;
        qint64 key;
    };
    std::vector<Row> rows;
    const Group &g = m_groups[size_t(group)];
    if (g.level == Level::Day) {
        Statement s(m_connection,
            QStringLiteral("SELECT F.Taken, P.Name, P.RecId FROM PictureFacts F"
                           " JOIN Pictures P ON P.RecId = F.Picture"
                           " WHERE F.Taken >= ?1 AND F.Taken < ?2"));
        Statement::Reset done(s);
        s.bindText(1, PictureFactsTable::periodStart(g.period));
        s.bindText(2, PictureFactsTable::periodEnd(g.period));
        while (s.step())
            rows.push_back({ s.text(0), s.text(1), s.integer(2) });
    } else {
        const bool facts = PictureFactsTable::exists(m_connection);
        Statement s(m_connection,
            facts ? QStringLiteral("SELECT P.Name, P.RecId FROM Pictures P WHERE NOT EXISTS"
                                   " (SELECT 1 FROM PictureFacts F WHERE F.Picture = P.RecId"
                                   " AND F.Taken IS NOT NULL)")
                  : QStringLiteral("SELECT P.Name, P.RecId FROM Pictures P"));
        Statement::Reset done(s);
        while (s.step())
            rows.push_back({ QString(), s.text(0), s.integer(1) });
    }
    // In the order they were taken; pictures of the same moment (or of no date) by name, in
    // Portuguese order, as the other trees list them.
    std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        if (a.taken != b.taken)
            return a.taken < b.taken;
        const int byName = NameCollation::compare(a.name, b.name);
        return byName != 0 ? byName < 0 : a.key < b.key;
    });
    const QModelIndex parent = indexOfGroup(group);
    if (!rows.empty())
        beginInsertRows(parent, 0, int(rows.size()) - 1);
    Group &target = m_groups[size_t(group)];
    target.firstPicture = m_pictureKeys.size();
    target.pictures = int(rows.size());
    m_pictureKeys.reserve(m_pictureKeys.size() + qsizetype(rows.size()));
    m_pictureNames.reserve(m_pictureNames.size() + qsizetype(rows.size()));
    for (const Row &r : rows) {
        m_pictureKeys.append(r.key);
        m_pictureNames.append(m_names.append(r.name));
    }
    target.fetched = true;
    if (!rows.empty())
        endInsertRows();
}

QModelIndex DatesTree::indexOfPicture(qint64 key)
{
    QString taken;
    bool exists = false;
    {
        Statement s(m_connection, QStringLiteral("SELECT 1 FROM Pictures WHERE RecId = ?1"));
        Statement::Reset done(s);
        s.bindInteger(1, key);
        exists = s.step();
    }
    if (!exists)
        return {};
    if (PictureFactsTable::exists(m_connection)) {
        Statement s(
            m_connection, QStringLiteral("SELECT Taken FROM PictureFacts WHERE Picture = ?1"));
        Statement::Reset done(s);
        s.bindInteger(1, key);
        if (s.step() && !s.isNull(0))
            taken = s.text(0);
    }
    // Down the levels the date names, reading each as needed.
    QVector<int> level = m_top;
    int group = -1;
    const auto find = [&](const QVector<int> &among, const auto &matches) {
        for (int g : among)
            if (matches(m_groups[size_t(g)]))
                return g;
        return -1;
    };
    if (taken.isEmpty()) {
        group = find(level, [](const Group &g) { return g.level == Level::Undated; });
    } else {
        for (int length : { kYearLength, kMonthLength, kDayLength }) {
            const QString prefix = taken.left(length);
            group = find(level, [&prefix](const Group &g) { return g.period == prefix; });
            if (group < 0)
                return {};
            if (!m_groups[size_t(group)].fetched)
                load(group);
            level = m_groups[size_t(group)].groups;
        }
    }
    if (group < 0)
        return {};
    if (!m_groups[size_t(group)].fetched)
        load(group);
    const Group &g = m_groups[size_t(group)];
    for (int i = 0; i < g.pictures; ++i)
        if (m_pictureKeys[g.firstPicture + i] == key)
            return createIndex(int(g.groups.size()) + i, 0, quintptr(group + 1));
    return {};
}
