#include "batch/controltext.h"

namespace {
bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}
} // namespace

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (isControl(c))
            return true;
    }
    return false;
}

QString withoutControlCharacters(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        if (isControl(c))
            c = QLatin1Char('?');
    }
    return shown;
}
