#include "cli/catalogcommands.h"

#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "cli/treecommand.h"
#include "core/versiontools.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/schema.h"
#include "store/tdados.h"

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
    int run(CliContext &cx) override
    {
        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        return runTreeCommand(session.store(), stdout);
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

std::unique_ptr<CliCommand> makeTreeCommand()
{
    return std::make_unique<TreeCommand>();
}
