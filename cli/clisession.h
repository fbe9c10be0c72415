#pragma once

#include "core/consoleprompter.h"
#include "core/programpaths.h"

#include <QString>
#include <memory>

class TDados;

// What every command of quillomar-cli shares: the program's paths (resolved as the window
// program resolves them, or from --catalogue), the console prompter and the store.
class CliSession {
public:
    // catalogue empty: the configuration beside the executable, then the default name.
    // Otherwise that file, without reading the configuration's keys.
    explicit CliSession(const QString &catalogue);
    ~CliSession();

    // Opens the store with OpenDatabaseAll; false when it failed (its boxes and "Banco de
    // dados não conectado." have gone to standard error) or showed any box on the way.
    bool openStore();
    TDados &store() { return *m_store; }
    void setCataloguePassword(const QString &password);
    ProgramPaths &paths() { return m_paths; }
    ConsolePrompter &prompter() { return m_prompter; }
    // The --catalogue value as given (empty when absent).
    QString catalogueOption() const { return m_catalogue; }

private:
    QString m_catalogue;
    ProgramPaths m_paths;
    ConsolePrompter m_prompter;
    std::unique_ptr<TDados> m_store;
};
