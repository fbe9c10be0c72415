#include "cli/querycommands.h"

#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "cli/linewriter.h"
#include "maintenance/catalogsearch.h"
#include "maintenance/catalogstatistics.h"
#include "store/dberror.h"
#include "store/query.h"
#include "store/resultmodel.h"
#include "store/statement.h"
#include "store/tdados.h"

#include <memory>

namespace {

QString kindWord(NodeKind kind)
{
    switch (kind) {
    case NodeKind::Collection: return QStringLiteral("coleção");
    case NodeKind::Category: return QStringLiteral("categoria");
    case NodeKind::Storage: return QStringLiteral("local");
    default: return QString();
    }
}

// `search TEXT`: the hits of "Procurar no Catálogo", one a line, in the grid's order.
class SearchCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("search"); }
    QString summary() const override
    {
        return QStringLiteral("procura imagens pelo texto, uma por linha: "
                              "CHAVE<TAB>COLEÇÃO<TAB>CATEGORIA<TAB>IMAGEM");
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("TEXTO"),
            QStringLiteral("o texto procurado no nome, arquivo, pasta, formato, notas e "
                           "palavras-chave (\"%\" e \"_\" são curingas; uma letra sem acento "
                           "acha a letra com ou sem acento; vazio ou ausente: todas)"),
            CliArgument::Count::Optional } };
    }
    QList<QCommandLineOption> options() const override
    {
        return {
            { QStringLiteral("taken"),
                QStringLiteral("só as fotos tiradas no período: AAAA, AAAA-MM ou AAAA-MM-DD, "
                               "ou DE..ATÉ (inclusive)"),
                QStringLiteral("PERÍODO") },
            { QStringLiteral("camera"),
                QStringLiteral("só as fotos da câmera: o texto procurado na marca e no modelo, "
                               "como TEXTO"),
                QStringLiteral("TEXTO") },
        };
    }
    int run(CliContext &cx) override
    {
        const QString typed = cx.arguments().value(0);
        CatalogSearch::Narrowing narrowing;
        if (cx.isSet(QStringLiteral("taken"))) {
            QString error;
            if (!CatalogSearch::parseTaken(cx.value(QStringLiteral("taken")), narrowing, &error))
                return cx.usageError(QStringLiteral("search: --taken: ") + error);
        }
        if (cx.isSet(QStringLiteral("camera"))) {
            narrowing.camera = cx.value(QStringLiteral("camera"));
            if (narrowing.camera.isEmpty())
                return cx.usageError(QStringLiteral("search: --camera precisa de um texto"));
        }
        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        LineWriter line(stdout);
        bool any = false;
        try {
            CatalogSearch::forEachHit(
                session.store().Conexao, typed, narrowing, [&](const CatalogSearch::Hit &hit) {
                    any = true;
                    line.number(hit.recId);
                    line.byte('\t');
                    line.name(hit.collection);
                    line.byte('\t');
                    line.name(hit.category);
                    line.byte('\t');
                    line.name(hit.picture);
                    line.byte('\n');
                    return true;
                });
        } catch (const DbError &e) {
            line.flush();
            session.prompter().error(e.message());
            return ExitFailure;
        }
        line.flush();
        if (!any) {
            // As grep does: nothing found is a failure, told on standard error.
            cx.err(CatalogSearch::noHitMessage(typed) + QLatin1Char('\n'));
            return ExitFailure;
        }
        return ExitOk;
    }
};

// `stats collection|category|storage ID`: the grid under that record's page.
class StatsCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("stats"); }
    QString summary() const override
    {
        return QStringLiteral("a contagem da página de uma coleção, categoria ou local: "
                              "o título, depois uma linha por contagem");
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("TIPO"), QStringLiteral("collection, category ou storage") },
            { QStringLiteral("CHAVE"), QStringLiteral("o RecId do registro") } };
    }
    int run(CliContext &cx) override
    {
        const QStringList args = cx.arguments();
        const QString kindName = args.value(0);
        const NodeKind kind = kindName == QLatin1String("collection") ? NodeKind::Collection
            : kindName == QLatin1String("category")                   ? NodeKind::Category
            : kindName == QLatin1String("storage")                    ? NodeKind::Storage
                                                                      : NodeKind::None;
        if (kind == NodeKind::None)
            return cx.usageError(
                QStringLiteral("stats: TIPO deve ser collection, category ou storage: %1")
                    .arg(kindName));
        bool ok = false;
        const qint64 key = args.value(1).toLongLong(&ok);
        if (!ok || key <= 0)
            return cx.usageError(QStringLiteral("stats: chave inválida: %1").arg(args.value(1)));

        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        Connection &connection = session.store().Conexao;
        std::unique_ptr<ResultModel> rows;
        try {
            {
                Statement exists(connection,
                    QStringLiteral("SELECT 1 FROM %1 WHERE RecId = :KEY")
                        .arg(CatalogStatistics::tableOf(kind)));
                Statement::Reset done(exists);
                exists.bind(QStringLiteral("KEY"), key);
                if (!exists.step()) {
                    cx.err(
                        QStringLiteral("Não há %1 com a chave %2.\n").arg(kindWord(kind)).arg(key));
                    return ExitFailure;
                }
            }
            Query query(connection);
            rows.reset(CatalogStatistics::run(query, kind, key));
        } catch (const DbError &e) {
            session.prompter().error(e.message());
            return ExitFailure;
        }
        // A grid without rows is not shown: nothing is printed.
        if (rows->rowCount() == 0)
            return ExitOk;
        LineWriter line(stdout);
        const QStringList titles = rows->columnNames();
        for (int c = 0; c < titles.size(); ++c) {
            if (c > 0)
                line.byte('\t');
            line.name(titles.at(c));
        }
        line.byte('\n');
        for (int r = 0; r < rows->rowCount(); ++r) {
            for (int c = 0; c < titles.size(); ++c) {
                if (c > 0)
                    line.byte('\t');
                line.name(rows->data(rows->index(r, c)).toString());
            }
            line.byte('\n');
        }
        line.flush();
        return ExitOk;
    }
};

} // namespace

std::unique_ptr<CliCommand> makeSearchCommand()
{
    return std::make_unique<SearchCommand>();
}

std::unique_ptr<CliCommand> makeStatsCommand()
{
    return std::make_unique<StatsCommand>();
}
