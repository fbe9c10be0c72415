#pragma once

#include <QString>

// What the long commands of quillomar-cli share with the person at the terminal: Ctrl-C
// asks to cancel instead of ending the process, and a status line rewritten in place.
namespace consolecontrol {

// Exit status of a command ended by Ctrl-C, as a shell reports it.
constexpr int exitCancelled = 130;

// While it lives, SIGINT only sets the flag that interrupted() reads.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard &) = delete;
    InterruptGuard &operator=(const InterruptGuard &) = delete;

private:
    struct Saved;
    Saved *m_previous;
};

bool interrupted();

// One line on standard error, rewritten in place; silent when it is not a terminal.
class StatusLine {
public:
    StatusLine();
    void show(const QString &text);
    void clear();

private:
    bool m_terminal;
    bool m_shown = false;
};

} // namespace consolecontrol
