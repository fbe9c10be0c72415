#include "core/prompter.h"
#include "core/progresssink.h"

Prompter::~Prompter() = default;
ProgressSink::~ProgressSink() = default;

std::optional<QString> Prompter::inputSecret(const QString &, const QString &)
{
    return std::nullopt;
}

std::optional<Prompter::CataloguePassword> Prompter::cataloguePassword(
    const QString &, const QString &, const QString &)
{
    return std::nullopt;
}

QString buttonName(Prompter::Button button)
{
    switch (button) {
    case Prompter::Ok: return QStringLiteral("OK");
    case Prompter::Yes: return QStringLiteral("Yes");
    case Prompter::No: return QStringLiteral("No");
    case Prompter::Abort: return QStringLiteral("Abort");
    case Prompter::Ignore: return QStringLiteral("Ignore");
    case Prompter::Cancel: return QStringLiteral("Cancel");
    case Prompter::Retry: return QStringLiteral("Retry");
    case Prompter::NoButton: break;
    }
    return QString();
}

QString iconName(Prompter::Icon icon)
{
    switch (icon) {
    case Prompter::Icon::Error: return QStringLiteral("error");
    case Prompter::Icon::Warning: return QStringLiteral("warning");
    case Prompter::Icon::Question: return QStringLiteral("question");
    case Prompter::Icon::Information: return QStringLiteral("information");
    case Prompter::Icon::None: break;
    }
    return QStringLiteral("none");
}
