#include "cli/catalogcommands.h"

#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "batch/cataloguepassword.h"
#include "cli/treecommand.h"
#include "core/programpaths.h"
#include "core/prompter.h"
#include "core/versiontools.h"
#include "maintenance/cataloguecopy.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/schema.h"
#include "store/tdados.h"
#include "store/thumbnailstore.h"

#include <QFileInfo>

namespace {

// `create [FILE]`: a new catalogue; refuses an existing file.
class CreateCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("create"); }
    QString summary() const override
    {
        return QStringLiteral("cria um catálogo novo (recusa um arquivo existente)");
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("ARQUIVO"),
            QStringLiteral("o catálogo a criar (sem ele: o de --catalogue)"),
            CliArgument::Count::Optional } };
    }
    int run(CliContext &cx) override
    {
        const QStringList args = cx.arguments();
        const QString file = args.isEmpty() ? cx.catalogue() : args.first();
        if (file.isEmpty())
            return cx.usageError(QStringLiteral("create: falta o ARQUIVO do catálogo"));
        const QString path = Connection::absoluteLocation(file);
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
            cx.err(QStringLiteral("O arquivo já existe: %1\n").arg(path));
            return ExitFailure;
        }
        try {
            Schema::createCatalogue(path, compiledVersion());
        } catch (const DbError &e) {
            cx.err(QStringLiteral("Não foi possível criar o catálogo %1: %2\n")
                       .arg(path, e.message()));
            return ExitFailure;
        }
        cx.out(QStringLiteral("Catálogo criado: %1\n").arg(path));
        return ExitOk;
    }
};

// `info`: the catalogue's path, provider, stored version and row counts.
class InfoCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("info"); }
    QString summary() const override
    {
        return QStringLiteral("mostra o catálogo, o provedor, a versão e as contagens");
    }
    int run(CliContext &cx) override
    {
        CliSession &session = cx.session();
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
            const QString text
                = QStringLiteral("Catálogo: %1\n").arg(session.paths().databasePath())
                + QStringLiteral("Provedor: %1\n").arg(store.providerText())
                + QStringLiteral("Versão: %1\n").arg(version)
                + QStringLiteral("Coleções: %1\n").arg(store.TCollections.recordCount())
                + QStringLiteral("Categorias: %1\n").arg(store.TCategories.recordCount())
                + QStringLiteral("Locais: %1\n").arg(store.TStorages.recordCount())
                + QStringLiteral("Imagens: %1\n").arg(store.TPictures.recordCount());
            cx.out(text);
        } catch (const DbError &e) {
            session.prompter().error(e.message());
            return ExitFailure;
        }
        return ExitOk;
    }
};

// `tree`: both trees as the main window loads them.
class TreeCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("tree"); }
    QString summary() const override
    {
        return QStringLiteral(
            "lista as duas árvores, um nó por linha: ÁRVORE<TAB>NÍVEL<TAB>CÓDIGO<TAB>NOME");
    }
    QList<QCommandLineOption> options() const override
    {
        return { { QStringLiteral("folders"),
            QStringLiteral("lista a árvore \"Pastas\" (árvore 3): locais, pastas e imagens") } };
    }
    int run(CliContext &cx) override
    {
        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        if (cx.isSet(QStringLiteral("folders")))
            return runFolderTreeCommand(session.store(), stdout);
        return runTreeCommand(session.store(), stdout);
    }
};

// `copy-catalogue FROM TO`: a whole catalogue into a new one, on either engine.
class CopyCatalogueCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("copy-catalogue"); }
    QString summary() const override
    {
        return QStringLiteral("copia um catálogo inteiro (chaves, extras e miniaturas) para um "
                              "catálogo novo, arquivo ou servidor");
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("ORIGEM"), QStringLiteral("o catálogo a copiar") },
            { QStringLiteral("DESTINO"),
                QStringLiteral("o catálogo a criar (um arquivo novo ou um banco vazio num "
                               "servidor)") } };
    }
    int run(CliContext &cx) override
    {
        const QString from = Connection::absoluteLocation(cx.arguments().at(0));
        const QString to = Connection::absoluteLocation(cx.arguments().at(1));
        if (!Connection::isServerLocation(to) && (QFileInfo::exists(to) || QFileInfo(to).isSymLink())) {
            cx.err(QStringLiteral("O arquivo já existe: %1\n").arg(to));
            return ExitFailure;
        }
        // Both opened as the program opens a catalogue, so each finds its own thumbnails.
        ProgramPaths fromPaths = ProgramPaths::forRunningProgram(QStringLiteral("quillomar"));
        ProgramPaths toPaths = fromPaths;
        Connection::splitLocation(from, &fromPaths.DatabaseFolder, &fromPaths.DatabaseFileName);
        Connection::splitLocation(to, &toPaths.DatabaseFolder, &toPaths.DatabaseFileName);
        Prompter &prompter = cx.session().prompter();
        TDados source(fromPaths, prompter);
        source.setConfigurationEnabled(false);
        source.setPasswordSource(&cataloguepassword::fromKeyring);
        if (!source.OpenDatabaseAll() || !source.connected())
            return ExitFailure;
        try {
            Schema::createCatalogue(to, compiledVersion());
        } catch (const DbError &e) {
            cx.err(QStringLiteral("Não foi possível criar o catálogo %1: %2\n").arg(to, e.message()));
            return ExitFailure;
        }
        TDados target(toPaths, prompter);
        target.setConfigurationEnabled(false);
        target.setPasswordSource(&cataloguepassword::fromKeyring);
        if (!target.OpenDatabaseAll() || !target.connected())
            return ExitFailure;
        qint64 rows = 0;
        try {
            rows = CatalogueCopy::copyRows(source.Conexao, target.Conexao);
        } catch (const DbError &e) {
            cx.err(QStringLiteral("Não foi possível copiar o catálogo: %1\n").arg(e.message()));
            return ExitFailure;
        }
        int thumbnails = 0;
        try {
            target.prepareThumbnailFolder();
            thumbnails = CatalogueCopy::copyThumbnails(*source.thumbnails(), *target.thumbnails());
        } catch (const DbError &e) {
            cx.err(QStringLiteral("Não foi possível copiar as miniaturas: %1\n").arg(e.message()));
            return ExitFailure;
        }
        cx.out(QStringLiteral("Catálogo copiado para %1: %2 linhas, %3 miniaturas\n")
                   .arg(to)
                   .arg(rows)
                   .arg(thumbnails));
        return ExitOk;
    }
};

} // namespace

std::unique_ptr<CliCommand> makeCreateCommand()
{
    return std::make_unique<CreateCommand>();
}

std::unique_ptr<CliCommand> makeInfoCommand()
{
    return std::make_unique<InfoCommand>();
}

std::unique_ptr<CliCommand> makeCopyCatalogueCommand()
{
    return std::make_unique<CopyCatalogueCommand>();
}

std::unique_ptr<CliCommand> makeTreeCommand()
{
    return std::make_unique<TreeCommand>();
}
