#include "store/dbvalues.h"

namespace dbvalues {

namespace {
const QString storedForm = QStringLiteral("yyyy-MM-ddTHH:mm:ss");
}

QString toDbDate(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return QString();
    return dateTime.toLocalTime().toString(storedForm);
}

QDateTime fromDbDate(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QDateTime();
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime();
    if (value.metaType().id() == QMetaType::QDate)
        return value.toDate().startOfDay();
    const QString text = value.toString().trimmed();
    QDateTime result = QDateTime::fromString(text, storedForm);
    if (!result.isValid()) // rows written by other tools: a blank separator, fractions
        result = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!result.isValid())
        result = QDateTime::fromString(
            QString(text).replace(QLatin1Char(' '), QLatin1Char('T')), Qt::ISODateWithMs);
    return result;
}

QVariant toDbValue(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    switch (value.metaType().id()) {
    case QMetaType::Bool: return value.toBool() ? 1 : 0;
    case QMetaType::QDateTime:
        return value.toDateTime().isValid() ? QVariant(toDbDate(value.toDateTime())) : QVariant();
    case QMetaType::QDate:
        return value.toDate().isValid() ? QVariant(toDbDate(value.toDate().startOfDay()))
                                        : QVariant();
    case QMetaType::QString: return value.toString().isNull() ? QVariant() : value;
    default: return value;
    }
}

} // namespace dbvalues
