#include "batch/joinkeylist.h"

#include <stdexcept>

QString JoinKeyList(const PictureKeys &keys)
{
    if (keys.isEmpty())
        throw std::invalid_argument("empty picture key list");
    QString text;
    text.reserve(keys.size() * 8);
    for (const qint64 key : keys) {
        if (key <= 0)
            throw std::invalid_argument("picture key is not a positive integer");
        if (!text.isEmpty())
            text += QLatin1Char(',');
        text += QString::number(key);
    }
    return text;
}

QString picturesOfKeysSql(const PictureKeys &keys)
{
    return QStringLiteral("SELECT * FROM Pictures WHERE RecId IN (") + JoinKeyList(keys)
        + QLatin1Char(')');
}
