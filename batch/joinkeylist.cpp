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

std::optional<PictureKeys> parsePictureKeys(const QStringList &texts, int *bad)
{
    PictureKeys keys;
    keys.reserve(texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        const QString &t = texts.at(i);
        bool ok = false;
        const qint64 key = t.toLongLong(&ok);
        // toLongLong accepts blanks and a sign around the digits; a key is digits only.
        bool digits = !t.isEmpty();
        for (const QChar c : t)
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!ok || !digits || key <= 0) {
            if (bad)
                *bad = i;
            return std::nullopt;
        }
        keys.append(key);
    }
    return keys;
}

QString picturesOfKeysSql(const PictureKeys &keys)
{
    return QStringLiteral("SELECT * FROM Pictures WHERE RecId IN (") + JoinKeyList(keys)
        + QLatin1Char(')');
}
