#include "clicommands.h"

#include "versiontools.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

void printOut(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

void printErr(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stderr);
}

QString usage()
{
    return QStringLiteral(
        "Uso: quillomar-cli [--catalogue ARQUIVO] COMANDO ...\n"
        "\n"
        "Opções:\n"
        "  --catalogue ARQUIVO  catálogo a usar (sem ela: o da configuração ao lado do programa)\n"
        "  --version            mostra a versão do programa\n"
        "  --help               mostra esta ajuda\n");
}

} // namespace

int runCli(const QStringList &args)
{
    if (args.isEmpty()) {
        printErr(usage());
        return ExitUsage;
    }
    const QString first = args.first();
    if (first == QLatin1String("--version") || first == QLatin1String("-V")) {
        printOut(QCoreApplication::applicationName() + QStringLiteral(" version ")
                 + compiledVersion() + QLatin1Char('\n'));
        return ExitOk;
    }
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        printOut(usage());
        return ExitOk;
    }
    printErr(QStringLiteral("Comando desconhecido: %1\n\n").arg(first) + usage());
    return ExitUsage;
}
