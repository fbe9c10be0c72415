#include "cli/factscommand.h"

#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "cli/linewriter.h"
#include "intake/photofactstext.h"
#include "intake/picturefactstable.h"
#include "store/dberror.h"
#include "store/statement.h"
#include "store/tdados.h"

namespace {

class FactsCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("facts"); }
    QString summary() const override
    {
        return QStringLiteral("os fatos da foto gravados pela revisão de cada imagem, um por "
                              "linha: CHAVE<TAB>CAMPO<TAB>VALOR");
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("CHAVES"),
            QStringLiteral("as chaves das imagens (\"-\": da entrada padrão, uma por linha)"),
            CliArgument::Count::Many } };
    }
    int run(CliContext &cx) override
    {
        const std::optional<QList<qint64>> keys = cx.keys(cx.arguments());
        if (!keys)
            return ExitUsage;
        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        Connection &connection = session.store().Conexao;
        LineWriter line(stdout);
        bool unknown = false;
        try {
            Statement exists(connection, QStringLiteral("SELECT 1 FROM Pictures WHERE RecId = ?1"));
            for (qint64 key : *keys) {
                bool found = false;
                {
                    Statement::Reset done(exists);
                    exists.bindInteger(1, key);
                    found = exists.step();
                }
                if (!found) {
                    line.flush();
                    cx.err(QStringLiteral("Não há imagem com a chave %1.\n").arg(key));
                    unknown = true;
                    continue;
                }
                const std::optional<PhotoFacts> facts = PictureFactsTable::read(connection, key);
                if (!facts)
                    continue;
                for (const auto &[field, value] : PhotoFactsText::fields(*facts)) {
                    line.number(key);
                    line.byte('\t');
                    line.name(field);
                    line.byte('\t');
                    line.name(value);
                    line.byte('\n');
                }
            }
        } catch (const DbError &e) {
            line.flush();
            session.prompter().error(e.message());
            return ExitFailure;
        }
        if (!line.flush())
            return ExitFailure;
        return unknown ? ExitFailure : ExitOk;
    }
};

} // namespace

std::unique_ptr<CliCommand> makeFactsCommand()
{
    return std::make_unique<FactsCommand>();
}
