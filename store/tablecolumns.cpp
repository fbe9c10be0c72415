#include "store/tablecolumns.h"

#include "store/connection.h"
#include "store/dialect.h"
#include "store/statement.h"

TableColumns TableColumns::read(Connection &connection, const QString &table)
{
    TableColumns columns;
    const Dialect &dialect = connection.dialect();
    const Statement s(connection, QStringLiteral("SELECT * FROM ") + dialect.quoted(table));
    for (int i = 0, count = s.columnCount(); i < count; ++i) {
        const QString name = s.columnName(i);
        if (dialect.isHiddenColumn(name))
            continue;
        columns.m_index.insert(name.toLower(), int(columns.m_names.size()));
        columns.m_names << name;
        columns.m_types << ColumnType::fromDeclaration(s.columnDeclaredType(i));
    }
    return columns;
}
