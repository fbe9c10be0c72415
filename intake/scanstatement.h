#pragma once

#include "store/statement.h"

#include <QByteArray>
#include <QVariant>

// How the scan binds its texts: empty texts are stored as null, as every post of the store
// does, and the bytes are borrowed from the scan's own buffers (kept until the statement is
// reset) instead of copied.
namespace scanstatement {

inline void bindText(Statement &statement, int index, const char *utf8, qsizetype length)
{
    if (length == 0)
        statement.bindNull(index);
    else
        statement.bindBorrowedUtf8(index, utf8, length);
}

inline void bindText(Statement &statement, int index, const QByteArray &utf8)
{
    bindText(statement, index, utf8.constData(), utf8.size());
}

inline void bindValue(Statement &statement, int index, const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QString && value.toString().isEmpty())
        statement.bindNull(index);
    else
        statement.bind(index, value);
}

} // namespace scanstatement
