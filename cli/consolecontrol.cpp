#include "cli/consolecontrol.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace consolecontrol {

namespace {
volatile std::sig_atomic_t s_interrupted = 0;

extern "C" void onInterrupt(int)
{
    s_interrupted = 1;
}
} // namespace

struct InterruptGuard::Saved {
    struct sigaction action;
};

InterruptGuard::InterruptGuard() : m_previous(new Saved)
{
    s_interrupted = 0;
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_previous->action);
}

InterruptGuard::~InterruptGuard()
{
    sigaction(SIGINT, &m_previous->action, nullptr);
    delete m_previous;
}

bool interrupted()
{
    return s_interrupted != 0;
}

StatusLine::StatusLine() : m_terminal(isatty(STDERR_FILENO) == 1) { }

void StatusLine::show(const QString &text)
{
    if (!m_terminal)
        return;
    std::fprintf(stderr, "\r%s\x1b[K", text.toUtf8().constData());
    std::fflush(stderr);
    m_shown = true;
}

void StatusLine::clear()
{
    if (m_terminal && m_shown) {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
    }
    m_shown = false;
}

} // namespace consolecontrol
