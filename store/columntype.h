#pragma once

#include <QString>
#include <QVariant>

// What a record set knows of one table column from its declared type, and how a value
// crosses between what the program hands over (text typed in a control, bool, QDateTime)
// and what is stored.
struct ColumnType {
    // What ClearNullsBeforePost and the bound controls need to know of a column.
    enum class Kind { ShortText, LongText, Other };
    // The Qt type a record set gives for a column (null is an invalid QVariant).
    enum class Value { Text, Integer, Real, Boolean, DateTime, Blob };

    Kind kind = Kind::Other;
    Value value = Value::Text;

    // From the declared type ("VARCHAR(100)", "BOOLEAN", "DATETIME", none at all).
    static ColumnType fromDeclaration(const QString &declared);

    // A stored value as the program reads it: 0/1 as bool, ISO text as QDateTime.
    QVariant fromStorage(const QVariant &stored) const;
    // A value as it is stored; an empty text is null for every type but text. Throws
    // DbError for a text that is no valid number or date of the column's type.
    QVariant toStorage(const QVariant &value) const;
};
