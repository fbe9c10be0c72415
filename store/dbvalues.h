#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

// The one place where values cross between Qt types and the catalogue's storage: booleans
// are 0/1 integers and date-times one ISO text form, yyyy-MM-ddTHH:mm:ss in local time.
namespace dbvalues {

// The stored text of a date-time, or a null string for an invalid one.
QString toDbDate(const QDateTime &dateTime);
// The date-time of a stored value (text in the stored form, or a QDateTime); invalid
// when the value is null or not a date.
QDateTime fromDbDate(const QVariant &value);
// A value ready to bind: bool -> 0/1, QDateTime/QDate -> stored text, null or invalid ->
// SQL null; anything else unchanged.
QVariant toDbValue(const QVariant &value);

} // namespace dbvalues
