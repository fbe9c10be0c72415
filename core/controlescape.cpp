#include "core/controlescape.h"

namespace {
bool isControl(char16_t c)
{
    return c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f);
}
} // namespace

bool needsControlEscape(const QString &text)
{
    for (const QChar c : text) {
        if (isControl(c.unicode()) || c == QLatin1Char('\\'))
            return true;
    }
    return false;
}

QString escapeControlCharacters(const QString &text)
{
    if (!needsControlEscape(text))
        return text;
    QString shown;
    shown.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\')
            shown += QLatin1String("\\\\");
        else if (u == '\t')
            shown += QLatin1String("\\t");
        else if (u == '\n')
            shown += QLatin1String("\\n");
        else if (u == '\r')
            shown += QLatin1String("\\r");
        else if (isControl(u))
            shown += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (isControl(c.unicode()))
            return true;
    }
    return false;
}
