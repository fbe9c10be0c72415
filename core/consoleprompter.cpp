#include "core/consoleprompter.h"

#include "core/controlescape.h"

#include <QStringList>

Prompter::Button ConsolePrompter::box(Icon, const QString &text, Buttons buttons)
{
    ++m_count;
    // A box's line breaks break lines; every other control character, which a name from the
    // catalogue may bring, is shown escaped instead of reaching the terminal.
    QStringList lines
        = QString(text).replace(QLatin1Char('\r'), QLatin1Char('\n')).split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = escapeControlCharacters(line);
    const QString shown = lines.join(QLatin1Char('\n'));
    std::fprintf(m_out, "%s\n", shown.toLocal8Bit().constData());
    std::fflush(m_out);
    // The person who typed the command wants it carried out.
    for (Button b : { Yes, Ignore, Ok, Retry, Abort, No, Cancel })
        if (buttons.testFlag(b))
            return b;
    return Ok;
}

void ConsolePrompter::boxWithDetail(Icon icon, const QString &text, const QString &detail)
{
    box(icon, detail.isEmpty() ? text : text + QStringLiteral("\nDetalhe: ") + detail, Ok);
}

std::optional<QString> ConsolePrompter::inputText(
    const QString &, const QString &, const QString &initial)
{
    return initial;
}

QString ConsolePrompter::pickFolder(const QString &, const QString &)
{
    return QString();
}

QString ConsolePrompter::pickFile(const QString &, const QString &, const QString &)
{
    return QString();
}
