#include "cli/clicommands.h"

#include "cli/clisession.h"
#include "store/dberror.h"
#include "cli/scancommand.h"
#include "store/schema.h"
#include "store/tdados.h"
#include "cli/thumbscommand.h"
#include "cli/treecommand.h"
#include "core/versiontools.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <functional>

namespace {

void printOut(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void printErr(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

QString usage()
{
    return QStringLiteral(
        "Uso: quillomar-cli [--catalogue ARQUIVO] COMANDO ...\n"
        "\n"
        "Opções:\n"
        "  --catalogue ARQUIVO  catálogo a usar (sem ela: o da configuração ao lado do programa)\n"
        "  --version            mostra a versão do programa\n"
        "  --help               mostra esta ajuda\n"
        "\n"
        "Comandos:\n"
        "  create ARQUIVO       cria um catálogo novo (recusa um arquivo existente)\n"
        "  info                 mostra o catálogo, o provedor, a versão e as contagens\n"
        "  tree                 lista as duas árvores, um nó por linha:\n"
        "                       ÁRVORE<TAB>NÍVEL<TAB>CÓDIGO<TAB>NOME\n"
        "  scan PASTA [--no-subfolders] [--collection ID] [--category ID]\n"
        "                       rastreia a pasta (e as subpastas) e cataloga as imagens\n"
        "  thumbs [--jobs N]    mede as imagens a revisar e grava as miniaturas, em N\n"
        "                       linhas de execução (sem ela: uma por processador)\n");
}

int usageError(const QString &message)
{
    printErr(message + QStringLiteral("\n\n") + usage());
    return ExitUsage;
}

int commandCreate(const QString &catalogue, const QStringList &args)
{
    if (args.size() > 1)
        return usageError(QStringLiteral("create: argumentos demais"));
    const QString file = args.isEmpty() ? catalogue : args.first();
    if (file.isEmpty())
        return usageError(QStringLiteral("create: falta o ARQUIVO do catálogo"));
    const QString path = QFileInfo(file).absoluteFilePath();
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        printErr(QStringLiteral("O arquivo já existe: %1\n").arg(path));
        return ExitFailure;
    }
    try {
        Schema::createCatalogue(path, compiledVersion());
    } catch (const DbError &e) {
        printErr(
            QStringLiteral("Não foi possível criar o catálogo %1: %2\n").arg(path, e.message()));
        return ExitFailure;
    }
    printOut(QStringLiteral("Catálogo criado: %1\n").arg(path));
    return ExitOk;
}

int commandInfo(const QString &catalogue, const QStringList &args)
{
    if (!args.isEmpty())
        return usageError(QStringLiteral("info: argumentos demais"));
    CliSession session(catalogue);
    if (!session.openStore())
        return ExitFailure;
    TDados &store = session.store();
    try {
        store.SQLTmp.setSql(QStringLiteral("SELECT Version FROM CatalogInfo"));
        store.SQLTmp.open();
        const QString version = store.SQLTmp.eof()
            ? QString()
            : store.SQLTmp.asString(QStringLiteral("Version")).trimmed();
        store.SQLTmp.close();
        printOut(QStringLiteral("Catálogo: %1\n").arg(session.paths().databasePath()));
        printOut(QStringLiteral("Provedor: %1\n").arg(store.providerText()));
        printOut(QStringLiteral("Versão: %1\n").arg(version));
        printOut(QStringLiteral("Coleções: %1\n").arg(store.TCollections.recordCount()));
        printOut(QStringLiteral("Categorias: %1\n").arg(store.TCategories.recordCount()));
        printOut(QStringLiteral("Locais: %1\n").arg(store.TStorages.recordCount()));
        printOut(QStringLiteral("Imagens: %1\n").arg(store.TPictures.recordCount()));
    } catch (const DbError &e) {
        session.prompter().error(e.message());
        return ExitFailure;
    }
    return ExitOk;
}

int commandTree(const QString &catalogue, const QStringList &args)
{
    if (!args.isEmpty())
        return usageError(QStringLiteral("tree: argumentos demais"));
    CliSession session(catalogue);
    if (!session.openStore())
        return ExitFailure;
    return runTreeCommand(session.store(), stdout);
}

using Command = std::function<int(const QString &catalogue, const QStringList &args)>;

const QList<QPair<QString, Command>> &commands()
{
    static const QList<QPair<QString, Command>> list = {
        { QStringLiteral("create"), commandCreate },
        { QStringLiteral("info"), commandInfo },
        { QStringLiteral("tree"), commandTree },
        { QStringLiteral("scan"), runScanCommand },
        { QStringLiteral("thumbs"), runThumbsCommand },
    };
    return list;
}

} // namespace

int runCli(const QStringList &argsIn)
{
    QStringList args = argsIn;
    QString catalogue;
    bool catalogueGiven = false;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--catalogue"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--catalogue")) {
            if (args.isEmpty())
                return usageError(QStringLiteral("--catalogue: falta o ARQUIVO"));
            catalogue = args.takeFirst();
        } else if (option.startsWith(QLatin1String("--catalogue="))) {
            catalogue = option.mid(12);
        } else {
            return usageError(QStringLiteral("Opção desconhecida: %1").arg(option));
        }
        catalogueGiven = true;
        if (catalogue.isEmpty())
            return usageError(QStringLiteral("--catalogue: falta o ARQUIVO"));
    }
    if (args.isEmpty()) {
        printErr(usage());
        return ExitUsage;
    }
    const QString first = args.first();
    if (!catalogueGiven && (first == QLatin1String("--version") || first == QLatin1String("-V"))) {
        printOut(QCoreApplication::applicationName() + QStringLiteral(" version ")
            + compiledVersion() + QLatin1Char('\n'));
        return ExitOk;
    }
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        printOut(usage());
        return ExitOk;
    }
    for (const auto &[name, command] : commands()) {
        if (name == first)
            return command(catalogue, args.mid(1));
    }
    printErr(QStringLiteral("Comando desconhecido: %1\n\n").arg(first) + usage());
    return ExitUsage;
}
