#include "core/errorboundary.h"

#include "core/prompter.h"

QString ErrorBoundary::textOf(const std::exception_ptr &failure)
{
    const QString unknown = QStringLiteral("Erro inesperado.");
    if (!failure)
        return unknown;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return unknown;
    }
}

void ErrorBoundary::show(Prompter &prompter, const std::exception_ptr &failure) noexcept
{
    try {
        prompter.error(textOf(failure));
    } catch (...) {
        // Nothing is left to tell it with; the action has ended all the same.
    }
}
