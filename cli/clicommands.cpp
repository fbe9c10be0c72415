#include "cli/clicommands.h"

#include "cli/catalogcommands.h"
#include "cli/checkcommand.h"
#include "cli/clicontext.h"
#include "cli/diskcommands.h"
#include "cli/factscommand.h"
#include "cli/maintenancecommands.h"
#include "cli/querycommands.h"
#include "cli/scancommand.h"
#include "cli/standardoutput.h"
#include "cli/thumbscommand.h"
#include "cli/transfercommands.h"
#include "cli/transfersettingscommands.h"
#include "core/versiontools.h"
#include "store/dberror.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

const QString programName = QStringLiteral("quillomar-cli");
const QString catalogueName = QStringLiteral("catalogue");
const QString helpName = QStringLiteral("help");
const QString versionName = QStringLiteral("version");
// Before the command: the password of a catalogue on a server (after it, a transfer
// command's own --password-file).
const QString cataloguePasswordName = QStringLiteral("password-file");

QCommandLineOption cataloguePasswordOption()
{
    return { cataloguePasswordName,
        QStringLiteral("a senha do catálogo num servidor, na primeira linha de ARQUIVO (senão "
                       "o chaveiro, depois ~/.pgpass)"),
        QStringLiteral("ARQUIVO") };
}

std::vector<std::unique_ptr<CliCommand>> makeCommands()
{
    std::vector<std::unique_ptr<CliCommand>> list;
    list.push_back(makeCreateCommand());
    list.push_back(makeInfoCommand());
    list.push_back(makeTreeCommand());
    list.push_back(makeCopyCatalogueCommand());
    list.push_back(makeNewCommand());
    list.push_back(makeRenameCommand());
    list.push_back(makeDeleteCommand());
    list.push_back(makeRelinkCommand());
    list.push_back(makeCheckCommand());
    list.push_back(makeStoragesCommand());
    list.push_back(makeDuplicatesCommand());
    list.push_back(makeSearchCommand());
    list.push_back(makeStatsCommand());
    list.push_back(makeFactsCommand());
    list.push_back(makeScanCommand());
    list.push_back(makeThumbsCommand());
    list.push_back(makeFtpSendCommand());
    list.push_back(makeMailCommand());
    list.push_back(makeMailServerCommand());
    list.push_back(makeFtpAccountCommand());
    list.push_back(makeMoveCommand());
    list.push_back(makeCopyCommand());
    return list;
}

QCommandLineOption catalogueOption()
{
    return { catalogueName,
        QStringLiteral("catálogo a usar (sem ela: o da configuração ao lado do programa)"),
        QStringLiteral("ARQUIVO") };
}

QCommandLineOption helpOption(const QString &description)
{
    return { { QStringLiteral("h"), helpName }, description };
}

void write(FILE *stream, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stream);
    if (stream == stderr)
        std::fflush(stream);
}

QString optionNames(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &n : option.names())
        names << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
    QString text = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        text += QLatin1Char(' ') + option.valueName();
    return text;
}

// Two columns: the names, then the description.
QString table(const QList<QPair<QString, QString>> &rows)
{
    constexpr int column = 24;
    QString text;
    for (const auto &[left, right] : rows) {
        QString line = QStringLiteral("  ") + left;
        line = line.size() + 1 < column ? line.leftJustified(column)
                                        : line + QLatin1Char('\n') + QString(column, ' ');
        text += line + right + QLatin1Char('\n');
    }
    return text;
}

QString argumentSynopsis(const CliArgument &a)
{
    switch (a.count) {
    case CliArgument::Count::One: return a.name;
    case CliArgument::Count::Optional: return QLatin1Char('[') + a.name + QLatin1Char(']');
    case CliArgument::Count::Many: return a.name + QStringLiteral("...");
    }
    return a.name;
}

QString commandSynopsis(const CliCommand &command)
{
    QString text = command.name();
    for (const CliArgument &a : command.arguments())
        text += QLatin1Char(' ') + argumentSynopsis(a);
    for (const QCommandLineOption &o : command.options()) {
        const QString longest = o.names().constLast();
        text += QStringLiteral(" [--") + longest
            + (o.valueName().isEmpty() ? QString() : QLatin1Char(' ') + o.valueName())
            + QLatin1Char(']');
    }
    return text;
}

QString generalUsage(const std::vector<std::unique_ptr<CliCommand>> &commands)
{
    QString text = QStringLiteral("Uso: quillomar-cli [--catalogue ARQUIVO] COMANDO ...\n"
                                  "     quillomar-cli COMANDO --help\n\nOpções:\n");
    text += table({ { optionNames(catalogueOption()), catalogueOption().description() },
        { optionNames(cataloguePasswordOption()), cataloguePasswordOption().description() },
        { QStringLiteral("-V, --version"), QStringLiteral("mostra a versão do programa") },
        { QStringLiteral("-h, --help"), QStringLiteral("mostra esta ajuda") } });
    text += QStringLiteral("\nComandos:\n");
    QList<QPair<QString, QString>> rows;
    for (const auto &c : commands)
        rows.append({ commandSynopsis(*c), c->summary() });
    text += table(rows);
    text += QStringLiteral(
        "\nSaída: 0 sucesso, 1 falha, 2 erro de uso. Um \"-\" no lugar de chaves de imagens as\n"
        "lê da entrada padrão, uma por linha.\n");
    return text;
}

QString commandHelp(const CliCommand &command)
{
    QString text
        = commandUsage(command) + QLatin1Char('\n') + command.summary() + QLatin1Char('\n');
    QList<QPair<QString, QString>> rows;
    for (const CliArgument &a : command.arguments())
        rows.append({ a.name, a.description });
    if (!rows.isEmpty())
        text += QStringLiteral("\nArgumentos:\n") + table(rows);
    rows.clear();
    for (const QCommandLineOption &o : command.options())
        rows.append({ optionNames(o), o.description() });
    rows.append({ optionNames(catalogueOption()), catalogueOption().description() });
    rows.append({ QStringLiteral("-h, --help"), QStringLiteral("mostra esta ajuda") });
    text += QStringLiteral("\nOpções:\n") + table(rows);
    return text;
}

// The positional arguments against what the command takes; empty when they fit.
QString checkArguments(const CliCommand &command, const QStringList &given)
{
    int required = 0;
    int most = 0;
    bool many = false;
    QString firstMissing;
    for (const CliArgument &a : command.arguments()) {
        if (a.count == CliArgument::Count::One) {
            if (required == given.size() && firstMissing.isEmpty())
                firstMissing = a.name;
            ++required;
        }
        many = many || a.count == CliArgument::Count::Many;
        ++most;
    }
    if (given.size() < required)
        return QStringLiteral("%1: falta %2").arg(command.name(), firstMissing);
    if (!many && given.size() > most)
        return QStringLiteral("%1: argumento a mais: %2").arg(command.name(), given.at(most));
    return QString();
}

int runCommand(
    CliCommand &command, const QStringList &rest, QString catalogue, const QString &password)
{
    auto usageError = [&](const QString &message) {
        write(stderr, message + QStringLiteral("\n\n") + commandUsage(command));
        return int(ExitUsage);
    };
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(command.options());
    parser.addOption(catalogueOption());
    parser.addOption(helpOption(QString()));
    if (!parser.parse(QStringList { programName } + rest))
        return usageError(command.name() + QStringLiteral(": ") + parser.errorText());
    if (parser.isSet(helpName)) {
        write(stdout, commandHelp(command));
        return ExitOk;
    }
    const QStringList values = parser.values(catalogueName);
    if (!values.isEmpty()) {
        if (!catalogue.isEmpty() || values.size() > 1)
            return usageError(QStringLiteral("--catalogue: dado mais de uma vez"));
        catalogue = values.constFirst();
        if (catalogue.isEmpty())
            return usageError(QStringLiteral("--catalogue: falta o ARQUIVO"));
    }
    const QString argumentError = checkArguments(command, parser.positionalArguments());
    if (!argumentError.isEmpty())
        return usageError(argumentError);

    CliContext context(command, parser, catalogue);
    context.setCataloguePassword(password);
    try {
        return command.run(context);
    } catch (const DbError &e) {
        write(stderr, e.message() + QLatin1Char('\n'));
    } catch (const std::bad_alloc &) {
        write(stderr, QStringLiteral("Memória insuficiente.\n"));
    } catch (const std::exception &e) {
        write(stderr, QStringLiteral("Erro: %1\n").arg(QString::fromUtf8(e.what())));
    }
    return ExitFailure;
}

int dispatch(const QStringList &args)
{
    const std::vector<std::unique_ptr<CliCommand>> commands = makeCommands();
    const QString usage = generalUsage(commands);
    auto usageError = [&](const QString &message) {
        write(stderr, message + QStringLiteral("\n\n") + usage);
        return int(ExitUsage);
    };

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOption(catalogueOption());
    parser.addOption(helpOption(QString()));
    parser.addOption({ { QStringLiteral("V"), versionName }, QString() });
    parser.addOption(cataloguePasswordOption());
    if (!parser.parse(QStringList { programName } + args))
        return usageError(parser.errorText());
    const QStringList positional = parser.positionalArguments();

    if (parser.isSet(versionName)) {
        if (args.size() > 1)
            return usageError(QStringLiteral("--version não aceita outros argumentos"));
        write(stdout,
            QCoreApplication::applicationName() + QStringLiteral(" versão ") + compiledVersion()
                + QLatin1Char('\n'));
        return ExitOk;
    }
    const QStringList catalogues = parser.values(catalogueName);
    if (catalogues.size() > 1)
        return usageError(QStringLiteral("--catalogue: dado mais de uma vez"));
    const QString catalogue = catalogues.isEmpty() ? QString() : catalogues.constFirst();
    if (parser.isSet(catalogueName) && catalogue.isEmpty())
        return usageError(QStringLiteral("--catalogue: falta o ARQUIVO"));

    if (positional.isEmpty()) {
        if (!parser.isSet(helpName))
            return usageError(QStringLiteral("Falta o COMANDO"));
        write(stdout, usage);
        return ExitOk;
    }
    CliCommand *command = nullptr;
    for (const auto &c : commands) {
        if (c->name() == positional.constFirst())
            command = c.get();
    }
    if (!command)
        return usageError(QStringLiteral("Comando desconhecido: %1").arg(positional.constFirst()));
    if (parser.isSet(helpName)) {
        if (positional.size() > 1)
            return usageError(QStringLiteral("--help: argumento a mais: %1").arg(positional.at(1)));
        write(stdout, commandHelp(*command));
        return ExitOk;
    }
    QString password;
    if (parser.isSet(cataloguePasswordName)) {
        const QStringList files = parser.values(cataloguePasswordName);
        if (files.size() > 1 || files.constFirst().isEmpty())
            return usageError(QStringLiteral("--password-file: dado mais de uma vez ou vazio"));
        QFile file(files.constFirst());
        if (!file.open(QIODevice::ReadOnly)) {
            write(stderr, QStringLiteral("%1: %2\n").arg(file.fileName(), file.errorString()));
            return ExitFailure;
        }
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        password = QString::fromUtf8(line);
    }
    return runCommand(*command, positional.mid(1), catalogue, password);
}

} // namespace

QString commandUsage(const CliCommand &command)
{
    return QStringLiteral("Uso: quillomar-cli [--catalogue ARQUIVO] ") + commandSynopsis(command)
        + QLatin1Char('\n');
}

int runCli(const QStringList &args)
{
    standardoutput::install();
    int code = dispatch(args);
    // Data that did not reach its file is a failure, whatever the command thought.
    if (const int error = standardoutput::finish()) {
        write(stderr,
            QStringLiteral("Não foi possível escrever a saída padrão: %1\n")
                .arg(QString::fromLocal8Bit(std::strerror(error))));
        if (code == ExitOk)
            code = ExitFailure;
    }
    return code;
}
