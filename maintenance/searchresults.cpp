#include "maintenance/searchresults.h"

#include "intake/picturefactstable.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/statement.h"

namespace {

// The search statement narrowed to the rows after a given one, in the same order. The
// bound on the picture name alone lets the engine start inside the name index.
QString nextPageSql(const CatalogSearch::Narrowing &narrowing)
{
    QStringList lines = CatalogSearch::statementLines(narrowing);
    const qsizetype close = lines.indexOf(QStringLiteral(")"));
    lines[close] = QStringLiteral(") AND Pictures.Name >= :K1 AND (Pictures.Name, "
                                  "Collections.Name, Categories.Name, Pictures.RecId) > "
                                  "(:K1, :K2, :K3, :K4) ");
    lines << QStringLiteral("LIMIT :N");
    return lines.join(QLatin1Char('\n'));
}

// Row values compare null as unknown, so after a null name the next page goes by position.
QString pageByPositionSql(const CatalogSearch::Narrowing &narrowing)
{
    return CatalogSearch::statementLines(narrowing).join(QLatin1Char('\n'))
        + QStringLiteral("\nLIMIT :N OFFSET :SKIP");
}

} // namespace

SearchResults::SearchResults(Connection &connection, const QString &typed, QObject *parent)
    : SearchResults(connection, typed, CatalogSearch::Narrowing(), parent)
{
}

SearchResults::SearchResults(Connection &connection, const QString &typed,
    const CatalogSearch::Narrowing &narrowing, QObject *parent)
    : QAbstractTableModel(parent),
      m_connection(connection),
      m_typed(typed),
      m_narrowing(narrowing),
      m_titles({ QStringLiteral("RecId"), QStringLiteral("Collection"), QStringLiteral("Category"),
          QStringLiteral("Picture") })
{
    // Statements must be gone before their connection closes; the rows read stay.
    connect(&m_connection, &Connection::aboutToClose, this, &SearchResults::stop);
}

SearchResults::~SearchResults() = default;

void SearchResults::stop()
{
    m_next.reset();
    m_skip.reset();
    m_atEnd = true;
}

void SearchResults::open()
{
    beginResetModel();
    m_rows.clear();
    stop();
    try {
        // Without facts recorded, no photo is known to have been taken anywhen or with
        // anything.
        if (!m_narrowing.isEmpty() && !PictureFactsTable::exists(m_connection)) {
            endResetModel();
            return;
        }
        Statement first(
            m_connection, CatalogSearch::statementLines(m_narrowing).join(QLatin1Char('\n')));
        Statement::Reset done(first);
        CatalogSearch::bindText(first, m_typed);
        CatalogSearch::bindNarrowing(first, m_narrowing);
        CatalogSearch::Hit row;
        while (int(m_rows.size()) < kPageRows && first.step()) {
            row.recId = first.integer(0);
            row.collection = first.text(1);
            row.category = first.text(2);
            row.picture = first.text(3);
            m_rows.push_back(row);
        }
        m_atEnd = int(m_rows.size()) < kPageRows;
    } catch (...) {
        m_rows.clear();
        endResetModel();
        throw;
    }
    endResetModel();
}

void SearchResults::readPage(std::vector<CatalogSearch::Hit> &into)
{
    const CatalogSearch::Hit &last = m_rows.back();
    const bool byKey
        = !last.picture.isNull() && !last.collection.isNull() && !last.category.isNull();
    std::unique_ptr<Statement> &slot = byKey ? m_next : m_skip;
    if (!slot) {
        slot = std::make_unique<Statement>(m_connection,
            byKey ? nextPageSql(m_narrowing) : pageByPositionSql(m_narrowing),
            Statement::Lifetime::Persistent);
    }
    Statement &s = *slot;
    Statement::Reset done(s);
    CatalogSearch::bindText(s, m_typed);
    CatalogSearch::bindNarrowing(s, m_narrowing);
    s.bind(QStringLiteral("N"), kPageRows);
    if (byKey) {
        s.bind(QStringLiteral("K1"), last.picture);
        s.bind(QStringLiteral("K2"), last.collection);
        s.bind(QStringLiteral("K3"), last.category);
        s.bind(QStringLiteral("K4"), last.recId);
    } else {
        s.bind(QStringLiteral("SKIP"), qint64(m_rows.size()));
    }
    CatalogSearch::Hit row;
    while (s.step()) {
        row.recId = s.integer(0);
        row.collection = s.text(1);
        row.category = s.text(2);
        row.picture = s.text(3);
        into.push_back(row);
    }
}

bool SearchResults::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_atEnd;
}

void SearchResults::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent) || m_rows.empty())
        return;
    std::vector<CatalogSearch::Hit> page;
    try {
        readPage(page);
    } catch (const DbError &e) {
        stop();
        emit fetchFailed(e.message());
        return;
    }
    m_atEnd = int(page.size()) < kPageRows;
    if (page.empty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + int(page.size()) - 1);
    m_rows.insert(
        m_rows.end(), std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
    endInsertRows();
}

qint64 SearchResults::recId(int row) const
{
    return row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)].recId : 0;
}

CatalogSearch::Hit SearchResults::hit(int row) const
{
    return row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)] : CatalogSearch::Hit();
}

int SearchResults::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SearchResults::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant SearchResults::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    const CatalogSearch::Hit &h = m_rows[size_t(index.row())];
    switch (index.column()) {
    case 0: return h.recId;
    case 1: return h.collection;
    case 2: return h.category;
    case 3: return h.picture;
    default: return QVariant();
    }
}

QVariant SearchResults::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_titles.value(section);
}

bool SearchResults::setHeaderData(
    int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_titles.size()
        || (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    m_titles[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}
