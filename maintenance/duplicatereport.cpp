#include "maintenance/duplicatereport.h"

#include "intake/storagereach.h"
#include "maintenance/duplicatefinder.h"
#include "store/connection.h"
#include "store/dberror.h"

int DuplicateReport::pictureCount() const
{
    int n = 0;
    for (const Group &g : groups)
        n += int(g.pictures.size());
    return n;
}

DuplicateReport DuplicateReport::make(const Request &request, const std::atomic_bool *cancel)
{
    DuplicateReport report;
    report.catalogue = request.catalogue;
    report.similar = request.similar;
    const auto cancelled = [cancel] { return cancel && cancel->load(); };
    try {
        Connection connection;
        connection.openFile(request.catalogue);
        const StorageReach reach;
        const QHash<qint64, StorageReach::Storage> storages
            = StorageReach::readStorages(connection);
        if (cancelled()) {
            report.cancelled = true;
            return report;
        }
        DuplicateFinder finder(connection, reach);
        const QList<DuplicateFinder::Group> found
            = request.similar ? finder.similarGroups(request.distance) : finder.exactGroups();
        if (cancelled()) {
            report.cancelled = true;
            return report;
        }
        for (const DuplicateFinder::Group &members : found) {
            Group group;
            for (const DuplicateFinder::Member &m : members) {
                Picture p;
                p.picture = m.picture;
                p.storage = m.storage;
                p.storageName = m.storageName;
                p.folder = m.fullPath;
                p.fileName = m.fileName;
                // A picture of no storage is where its row says.
                p.online = m.storage == 0 || m.online;
                if (!p.online)
                    p.offlineText = StorageReach::disconnectedText(storages.value(m.storage));
                group.pictures.append(p);
            }
            report.groups.append(group);
        }
        connection.close();
    } catch (const DbError &e) {
        report.groups.clear();
        report.error = e.message();
    }
    return report;
}
