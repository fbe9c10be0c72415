#include "tdados.h"

#include "programpaths.h"
#include "prompter.h"

TDados::TDados(ProgramPaths &paths, Prompter &prompter, QObject *parent)
    : QObject(parent), m_paths(paths), m_prompter(prompter)
{
    setObjectName(QStringLiteral("TDados"));
}

bool TDados::OpenDatabaseAll()
{
    return false;
}

void TDados::CloseDatabaseAll() {}
