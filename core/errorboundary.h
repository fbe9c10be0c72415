#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

class Prompter;

// The program's one error boundary, its general error display: a failure that no handler
// caught ends only the user action that raised it and shows in the error box with its
// component's own text (the catalogue engine's, a transfer engine's, the JPEG codec's, the
// file system's). Every handler a window connects to a control runs through guarded();
// the application's event delivery catches whatever still escapes (app/).
namespace ErrorBoundary {

// The text the failure shows: the component's message (what() of every exception of the
// program is its message in UTF-8).
QString textOf(const std::exception_ptr &failure);
// Shows the failure in the prompter's error box; never throws.
void show(Prompter &prompter, const std::exception_ptr &failure) noexcept;

// Runs one action through the boundary; false when it failed (its box has been shown).
template<typename Action> bool run(Prompter &prompter, Action &&action) noexcept
{
    try {
        std::forward<Action>(action)();
        return true;
    } catch (...) {
        show(prompter, std::current_exception());
        return false;
    }
}

// A handler wrapped for connect(): takes what the handler takes of the signal's arguments
// and runs it through the boundary.
template<typename Handler> class Guarded {
public:
    Guarded(Prompter &prompter, Handler handler)
        : m_prompter(&prompter), m_handler(std::move(handler))
    {
    }

    template<typename... Args>
    auto operator()(Args &&...args) const
        -> decltype(std::invoke(std::declval<const Handler &>(), std::forward<Args>(args)...),
            void())
    {
        run(*m_prompter, [&] { std::invoke(m_handler, std::forward<Args>(args)...); });
    }

private:
    Prompter *m_prompter;
    Handler m_handler;
};

} // namespace ErrorBoundary

// connect(button, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn1Click(); }))
template<typename Handler>
ErrorBoundary::Guarded<std::decay_t<Handler>> guarded(Prompter &prompter, Handler &&handler)
{
    return { prompter, std::forward<Handler>(handler) };
}
