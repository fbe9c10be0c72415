#include "core/consoleprompter.h"

Prompter::Button ConsolePrompter::box(Icon, const QString &text, Buttons buttons)
{
    ++m_count;
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(m_out, "%s\n", shown.toLocal8Bit().constData());
    std::fflush(m_out);
    // The person who typed the command wants it carried out.
    for (Button b : { Yes, Ignore, Ok, Retry, Abort, No, Cancel })
        if (buttons.testFlag(b))
            return b;
    return Ok;
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
