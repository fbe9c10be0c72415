#include "store/tablecolumns.h"

#include "store/keysetquery.h"
#include "store/statement.h"

TableColumns TableColumns::read(Connection &connection, const QString &table)
{
    TableColumns columns;
    const Statement s(connection, QStringLiteral("SELECT * FROM ") + KeysetQuery::quoted(table));
    for (int i = 0, count = s.columnCount(); i < count; ++i) {
        const QString name = s.columnName(i);
        columns.m_index.insert(name.toLower(), i);
        columns.m_names << name;
        columns.m_types << ColumnType::fromDeclaration(s.columnDeclaredType(i));
    }
    return columns;
}
