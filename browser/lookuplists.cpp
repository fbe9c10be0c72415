#include "browser/lookuplists.h"

#include "core/namecollation.h"
#include "store/query.h"

#include <algorithm>
#include <numeric>

namespace {

// Rows of a "K, T" statement; `group`, when present, is read too for the name sort.
QList<LookupItem> read(Connection &connection, const QString &sql, const QVariantMap &params = {},
    QList<qint64> *groups = nullptr)
{
    QList<LookupItem> items;
    Query q(connection);
    q.setSql(sql);
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        q.setParam(it.key(), it.value());
    q.open();
    while (!q.eof()) {
        const QVariant text = q.value(QStringLiteral("T"));
        items.append({ q.value(QStringLiteral("K")), text.isNull() ? QString() : text.toString() });
        if (groups)
            groups->append(q.asInt(QStringLiteral("G")));
        q.next();
    }
    q.close();
    return items;
}

void sortByName(QList<LookupItem> &items)
{
    std::stable_sort(items.begin(), items.end(), [](const LookupItem &a, const LookupItem &b) {
        return NameCollation::lessThan(a.text, b.text);
    });
}

} // namespace

QList<LookupItem> LookupLists::collections(Connection &connection)
{
    QList<LookupItem> items = read(
        connection, QStringLiteral("SELECT RecId AS K, Name AS T FROM Collections ORDER BY Name"));
    sortByName(items);
    return items;
}

QList<LookupItem> LookupLists::categories(Connection &connection)
{
    QList<qint64> collection;
    const QList<LookupItem> rows = read(connection,
        QStringLiteral("SELECT RecId AS K, Name AS T, Collection AS G FROM Categories "
                       "ORDER BY Collection, Name"),
        {}, &collection);
    QList<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (collection[a] != collection[b])
            return collection[a] < collection[b];
        return NameCollation::lessThan(rows[a].text, rows[b].text);
    });
    QList<LookupItem> items;
    items.reserve(rows.size());
    for (int i : order)
        items.append(rows[i]);
    return items;
}

QList<LookupItem> LookupLists::categoriesOf(Connection &connection, qint64 collection)
{
    return read(connection,
        QStringLiteral("SELECT RecId AS K, Name AS T FROM Categories WHERE Collection = :COL ORDER "
                       "BY Collection"),
        { { QStringLiteral("COL"), collection } });
}

QList<LookupItem> LookupLists::storages(Connection &connection)
{
    QList<LookupItem> items = read(
        connection, QStringLiteral("SELECT RecId AS K, Name AS T FROM Storages ORDER BY Name"));
    sortByName(items);
    return items;
}

QList<LookupItem> LookupLists::formats(Connection &connection)
{
    return read(connection, QStringLiteral("SELECT Extension AS K, Name AS T FROM Formats"));
}

QList<LookupItem> LookupLists::colorDepths(Connection &connection)
{
    return read(connection, QStringLiteral("SELECT RecId AS K, Model AS T FROM ColorDepth"));
}

QList<LookupItem> LookupLists::ftpAccounts(Connection &connection)
{
    QList<LookupItem> items = read(connection,
        QStringLiteral("SELECT RecId AS K, Profile AS T FROM FTPAccounts ORDER BY Profile"));
    sortByName(items);
    return items;
}

QList<LookupItem> LookupLists::resolutions(Connection &connection)
{
    return read(connection, QStringLiteral("SELECT DPI AS K, DPI AS T FROM Resolutions"));
}
