#pragma once

#include <QStringList>

// Exit codes of quillomar-cli.
enum CliExit { ExitOk = 0, ExitFailure = 1, ExitUsage = 2 };

// Runs the command line (without the program name) and returns the exit code.
int runCli(const QStringList &args);
