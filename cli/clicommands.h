#pragma once

#include "cli/clicommand.h"

#include <QStringList>

// Runs the command line (without the program name) and returns the exit code. Options
// before the command name are the program's (--catalogue, --version, --help); the rest
// goes to the command's own parser (clicommand.h).
int runCli(const QStringList &args);

// "Uso: quillomar-cli [--catalogue ARQUIVO] NAME ARGS [OPTIONS]\n" of one command.
QString commandUsage(const CliCommand &command);
