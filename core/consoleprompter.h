#pragma once

#include "core/prompter.h"

#include <cstdio>

// Prompter of the command-line tool: every box text goes to standard error and each
// question gets the answer of the person who typed the command.
class ConsolePrompter : public Prompter {
public:
    explicit ConsolePrompter(FILE *out = stderr) : m_out(out) { }

    Button box(Icon icon, const QString &text, Buttons buttons) override;
    // The detail follows on a line of its own, for whoever reads the script's log.
    void boxWithDetail(Icon icon, const QString &text, const QString &detail) override;
    std::optional<QString> inputText(
        const QString &caption, const QString &prompt, const QString &initial) override;
    QString pickFolder(const QString &caption, const QString &start) override;
    QString pickFile(const QString &caption, const QString &filter, const QString &start) override;
    void beep() override { }

    int boxCount() const { return m_count; }

private:
    FILE *m_out;
    int m_count = 0;
};
