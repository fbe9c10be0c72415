#include "maintenance/storageoverview.h"

#include "intake/storagereach.h"
#include "store/statement.h"

#include <QHash>

#include <algorithm>

QList<StorageOverview::Line> StorageOverview::lines(
    Connection &connection, const StorageReach &reach)
{
    QHash<qint64, qint64> counts;
    {
        Statement count(connection,
            QStringLiteral("SELECT Location, count(*) FROM Pictures GROUP BY Location"));
        Statement::Reset done(count);
        while (count.step()) {
            if (!count.isNull(0))
                counts.insert(count.integer(0), count.integer(1));
        }
    }
    QList<Line> out;
    for (const StorageReach::Storage &s : StorageReach::readStorages(connection)) {
        const StorageReach::State state = reach.stateOf(s);
        out.append({ s.recId, s.name, s.unit, s.identity.label, s.identity.uuid, state.online,
            state.mountPoint, counts.value(s.recId) });
    }
    std::sort(
        out.begin(), out.end(), [](const Line &a, const Line &b) { return a.recId < b.recId; });
    return out;
}
