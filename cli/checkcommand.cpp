#include "cli/checkcommand.h"

#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "cli/linewriter.h"
#include "maintenance/cataloguecheck.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <cstdio>

namespace {

using Kind = CatalogueCheck::Kind;

class CheckCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("check"); }
    QString summary() const override
    {
        return QStringLiteral(
            "verifica o catálogo, as miniaturas e os arquivos das imagens; um achado por linha");
    }
    QList<QCommandLineOption> options() const override
    {
        return { { QStringLiteral("repair"),
            QStringLiteral("remove as miniaturas órfãs e os temporários deixados (nunca um "
                           "registro)") } };
    }
    int run(CliContext &cx) override
    {
        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        TDados &store = session.store();
        QList<CatalogueCheck::Finding> findings;
        try {
            findings = CatalogueCheck(store.Conexao, store.thumbnailFolder()).run();
        } catch (const DbError &e) {
            session.prompter().error(e.message());
            return ExitFailure;
        }
        int removed = 0;
        if (cx.isSet(QStringLiteral("repair")))
            removed = CatalogueCheck::repair(findings);

        LineWriter out(stdout);
        auto text = [&out](const QString &t) { out.name(t); };
        auto tab = [&out] { out.byte('\t'); };
        int problems = 0, offline = 0;
        for (const CatalogueCheck::Finding &f : std::as_const(findings)) {
            switch (f.kind) {
            case Kind::Integrity:
                text(QStringLiteral("integridade"));
                tab();
                text(f.text);
                break;
            case Kind::ForeignKey:
                text(QStringLiteral("chave estrangeira"));
                tab();
                text(f.table);
                tab();
                out.number(f.key);
                tab();
                text(f.parent);
                break;
            case Kind::OrphanThumbnail:
            case Kind::LeftoverTemporary:
                text(f.kind == Kind::OrphanThumbnail ? QStringLiteral("miniatura órfã")
                                                     : QStringLiteral("temporário"));
                tab();
                text(f.path);
                if (f.repaired) {
                    tab();
                    text(QStringLiteral("removido"));
                }
                break;
            case Kind::MissingFiles:
                text(QStringLiteral("arquivos ausentes"));
                tab();
                out.number(f.key);
                tab();
                text(f.name);
                tab();
                out.number(f.count);
                break;
            case Kind::OfflineStorage:
                text(QStringLiteral("local fora de linha"));
                tab();
                out.number(f.key);
                tab();
                text(f.name);
                tab();
                text(f.path);
                tab();
                out.number(f.count);
                break;
            }
            out.byte('\n');
            if (f.kind == Kind::OfflineStorage)
                ++offline; // out of reach, not damaged
            else if (!f.repaired)
                ++problems;
        }
        text(QStringLiteral("%1 problemas, %2 locais fora de linha, %3 arquivos removidos")
                 .arg(problems)
                 .arg(offline)
                 .arg(removed));
        out.byte('\n');
        if (!out.flush())
            return ExitFailure;
        return problems == 0 ? ExitOk : ExitFailure;
    }
};

} // namespace

std::unique_ptr<CliCommand> makeCheckCommand()
{
    return std::make_unique<CheckCommand>();
}
