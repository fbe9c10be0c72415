#pragma once

#include "store/columntype.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class Connection;

// The columns of one table as a record set knows them: names in the table's order, found
// by name ignoring letter case, each with the type its declaration gives.
class TableColumns {
public:
    // Reads them from the catalogue; throws DbError when the table is not there.
    static TableColumns read(Connection &connection, const QString &table);

    int size() const { return int(m_names.size()); }
    const QString &name(int column) const { return m_names.at(column); }
    const ColumnType &type(int column) const { return m_types.at(column); }
    const QStringList &names() const { return m_names; }
    // -1 when the table has no such column.
    int find(const QString &name) const { return m_index.value(name.toLower(), -1); }

private:
    QStringList m_names;
    QList<ColumnType> m_types;
    QHash<QString, int> m_index; // lower-case name -> column
};
