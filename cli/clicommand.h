#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

class CliContext;

// Exit codes of quillomar-cli.
enum CliExit { ExitOk = 0, ExitFailure = 1, ExitUsage = 2 };

// One positional argument of a command, as its help shows it.
struct CliArgument {
    enum class Count { One, Optional, Many };
    QString name; // "PASTA", "CHAVE"
    QString description;
    Count count = Count::One;
};

// One command of quillomar-cli.
//
// Adding a command: derive from CliCommand, give it a name, a one-line summary, its options
// (QCommandLineOption, value names in capitals) and its positional arguments, and list its
// factory in the table of clicommands.cpp. The frame (runCli) gives every command a parser
// of its own, so the command never sees a command line that is not valid for it:
//   - `--help`/`-h` prints the command's help and exits 0 without running it;
//   - an unknown option, a missing or unexpected value, a missing or stray argument is a
//     usage error (exit 2, the message and the command's usage on stderr) before run();
//   - `--catalogue FILE` is taken before or after the command name;
//   - after run(), a failed write to standard output turns exit 0 into 1.
// In run(), read the options through the context (cx.isSet, cx.value, cx.arguments), write
// data with cx.out() (one record a line, tabs between fields), messages with cx.err() or
// the session's prompter, and return a CliExit code (130 for Ctrl-C, consolecontrol.h).
// Picture keys go through cx.keys(), which takes integers and reads "-" from standard
// input one key a line; a bad key has already been reported as a usage error when it
// returns nothing:
//
//     int run(CliContext &cx) override
//     {
//         const std::optional<QList<qint64>> keys = cx.keys(cx.arguments());
//         if (!keys)
//             return ExitUsage;
//         if (!cx.session().openStore())
//             return ExitFailure;
//         ... the logic the window runs, with cx.session().store() and its prompter ...
//     }
class CliCommand {
public:
    virtual ~CliCommand() = default;

    virtual QString name() const = 0;
    // One line for the general help.
    virtual QString summary() const = 0;
    virtual QList<CliArgument> arguments() const { return {}; }
    virtual QList<QCommandLineOption> options() const { return {}; }
    virtual int run(CliContext &cx) = 0;
};
