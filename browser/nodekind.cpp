#include "browser/nodekind.h"

QString levelCode(NodeKind kind)
{
    if (kind == NodeKind::None)
        return QString();
    return QLatin1Char('N') + QString::number(int(kind));
}

QString NodeCode::text() const
{
    if (!isValid())
        return QString();
    return levelCode(kind) + QLatin1Char('=') + QString::number(key);
}

NodeCode NodeCode::parse(QStringView code)
{
    if (code.size() < 4 || code[0] != QLatin1Char('N') || code[2] != QLatin1Char('='))
        return {};
    const int level = code[1].digitValue();
    if (level < 1 || level > 4)
        return {};
    bool ok = false;
    const QStringView digits = code.mid(3);
    const qint64 key = digits.toLongLong(&ok);
    // Only the code as the trees write it: no sign, blanks or leading zeros.
    if (!ok || digits != QString::number(key))
        return {};
    return { NodeKind(level), key };
}
