#pragma once

#include <QList>
#include <QString>
#include <QVariant>

class Connection;

// A key a lookup picker writes into its field, and the text it shows for it.
struct LookupItem {
    QVariant key;
    QString text;
};

// What the detail pages' lookup pickers offer, read from the catalogue each time a list may
// have changed (the tables are small). Lists ordered by a name come in Portuguese order.
// Errors throw DbError.
class LookupLists {
public:
    static QList<LookupItem> collections(Connection &connection);
    // Every category, by collection key and then by name.
    static QList<LookupItem> categories(Connection &connection);
    // The categories of one collection, as the table keeps them (not by name).
    static QList<LookupItem> categoriesOf(Connection &connection, qint64 collection);
    static QList<LookupItem> storages(Connection &connection);
    static QList<LookupItem> formats(Connection &connection);
    static QList<LookupItem> colorDepths(Connection &connection);
    static QList<LookupItem> resolutions(Connection &connection);
    // The FTP accounts by profile name.
    static QList<LookupItem> ftpAccounts(Connection &connection);
};
