#include "core/scriptedprompter.h"

namespace {
Prompter::Button firstButton(Prompter::Buttons buttons)
{
    for (Prompter::Button b : { Prompter::Ok, Prompter::Yes, Prompter::Abort, Prompter::Ignore,
             Prompter::Retry, Prompter::No, Prompter::Cancel }) {
        if (buttons.testFlag(b))
            return b;
    }
    return Prompter::Ok;
}
} // namespace

Prompter::Button ScriptedPrompter::box(Icon icon, const QString &text, Buttons buttons)
{
    return boxWithDefault(icon, text, buttons, NoButton);
}

Prompter::Button ScriptedPrompter::boxWithDefault(
    Icon icon, const QString &text, Buttons buttons, Button defaultButton)
{
    Button answer = firstButton(buttons);
    if (!m_buttons.isEmpty())
        answer = m_buttons.dequeue();
    Record r { Kind::Box, icon, text, buttons, buttonName(answer), defaultButton };
    m_records.append(r);
    if (onBox)
        onBox(r);
    return answer;
}

std::optional<QString> ScriptedPrompter::inputText(
    const QString &caption, const QString &prompt, const QString &initial)
{
    std::optional<QString> answer = initial;
    if (!m_texts.isEmpty())
        answer = m_texts.dequeue();
    m_records.append({ Kind::Input, Icon::None, caption + QLatin1Char('\n') + prompt, NoButton,
        answer.value_or(QString()) });
    return answer;
}

std::optional<QString> ScriptedPrompter::inputSecret(const QString &caption, const QString &prompt)
{
    std::optional<QString> answer;
    if (!m_secrets.isEmpty())
        answer = m_secrets.dequeue();
    // The record keeps that something was typed, never what.
    m_records.append({ Kind::Secret, Icon::None, caption + QLatin1Char('\n') + prompt, NoButton,
        answer ? QStringLiteral("****") : QString() });
    return answer;
}

std::optional<Prompter::CataloguePassword> ScriptedPrompter::cataloguePassword(
    const QString &user, const QString &server, const QString &problem)
{
    std::optional<CataloguePassword> answer;
    if (!m_cataloguePasswords.isEmpty())
        answer = m_cataloguePasswords.dequeue();
    m_records.append({ Kind::CataloguePassword, Icon::None,
        user + QLatin1Char('\n') + server + QLatin1Char('\n') + problem, NoButton,
        answer ? (answer->keep ? QStringLiteral("**** keep") : QStringLiteral("****"))
               : QString() });
    return answer;
}

void ScriptedPrompter::boxWithDetail(Icon icon, const QString &text, const QString &detail)
{
    m_details.append(detail);
    box(icon, text, Ok);
}

QString ScriptedPrompter::pickFolder(const QString &caption, const QString &)
{
    QString answer = m_paths.isEmpty() ? QString() : m_paths.dequeue();
    m_records.append({ Kind::PickFolder, Icon::None, caption, NoButton, answer });
    return answer;
}

QString ScriptedPrompter::pickFile(const QString &caption, const QString &filter, const QString &)
{
    QString answer = m_paths.isEmpty() ? QString() : m_paths.dequeue();
    m_records.append(
        { Kind::PickFile, Icon::None, caption + QLatin1Char('\n') + filter, NoButton, answer });
    return answer;
}

void ScriptedPrompter::beep()
{
    m_records.append({ Kind::Beep, Icon::None, QString(), NoButton, QString() });
}

QList<ScriptedPrompter::Record> ScriptedPrompter::boxes() const
{
    QList<Record> out;
    for (const Record &r : m_records)
        if (r.kind == Kind::Box)
            out.append(r);
    return out;
}

QStringList ScriptedPrompter::boxTexts() const
{
    QStringList out;
    for (const Record &r : m_records)
        if (r.kind == Kind::Box)
            out.append(r.text);
    return out;
}

int ScriptedPrompter::beeps() const
{
    int n = 0;
    for (const Record &r : m_records)
        n += r.kind == Kind::Beep;
    return n;
}

void ScriptedPrompter::clear()
{
    m_records.clear();
    m_buttons.clear();
    m_texts.clear();
    m_secrets.clear();
    m_paths.clear();
    m_cataloguePasswords.clear();
    m_details.clear();
}
