#include "cli/diskcommands.h"

#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "cli/linewriter.h"
#include "intake/storagereach.h"
#include "maintenance/duplicatefinder.h"
#include "maintenance/storageoverview.h"
#include "store/tdados.h"

#include <cstdio>

namespace {

const QString similarName = QStringLiteral("similar");
const QString distanceName = QStringLiteral("distance");
constexpr int defaultDistance = 6;

class StoragesCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("storages"); }
    QString summary() const override
    {
        return QStringLiteral("lista os locais: chave, nome, unidade, rótulo e UUID do disco, "
                              "online ou offline, imagens");
    }
    int run(CliContext &cx) override
    {
        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        const StorageReach reach;
        const QList<StorageOverview::Line> lines
            = StorageOverview::lines(session.store().Conexao, reach);
        LineWriter out(stdout);
        for (const StorageOverview::Line &l : lines) {
            out.number(l.recId);
            for (const QString &field : { l.name, l.unit, l.label, l.uuid }) {
                out.byte('\t');
                out.name(field);
            }
            out.byte('\t');
            out.name(l.online ? QStringLiteral("online") : QStringLiteral("offline"));
            out.byte('\t');
            out.number(l.pictures);
            out.byte('\n');
        }
        return out.flush() ? ExitOk : ExitFailure;
    }
};

class DuplicatesCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("duplicates"); }
    QString summary() const override
    {
        return QStringLiteral("lista as cópias de uma mesma imagem (com --similar, também as "
                              "parecidas), um grupo por bloco: CHAVE, LOCAL, CAMINHO");
    }
    QList<QCommandLineOption> options() const override
    {
        return {
            { similarName,
                QStringLiteral("também as imagens parecidas: redimensionadas ou recomprimidas") },
            { distanceName,
                QStringLiteral("com --similar: quantos bits (0 a %1) as imagens podem diferir "
                               "(sem ela: %2)")
                    .arg(DuplicateFinder::kMaxDistance)
                    .arg(defaultDistance),
                QStringLiteral("N") },
        };
    }
    int run(CliContext &cx) override
    {
        const bool similar = cx.isSet(similarName);
        int distance = defaultDistance;
        if (cx.isSet(distanceName)) {
            if (!similar)
                return cx.usageError(QStringLiteral("duplicates: --distance só com --similar"));
            bool ok = false;
            distance = cx.value(distanceName).toInt(&ok);
            if (!ok || distance < 0 || distance > DuplicateFinder::kMaxDistance)
                return cx.usageError(QStringLiteral("duplicates: --distance deve ser de 0 a %1: %2")
                                         .arg(DuplicateFinder::kMaxDistance)
                                         .arg(cx.value(distanceName)));
        }
        CliSession &session = cx.session();
        if (!session.openStore())
            return ExitFailure;
        const StorageReach reach;
        DuplicateFinder finder(session.store().Conexao, reach);
        const QList<DuplicateFinder::Group> groups
            = similar ? finder.similarGroups(distance) : finder.exactGroups();
        LineWriter out(stdout);
        bool first = true;
        for (const DuplicateFinder::Group &group : groups) {
            if (!first)
                out.byte('\n');
            first = false;
            for (const DuplicateFinder::Member &m : group) {
                out.number(m.picture);
                out.byte('\t');
                out.name(m.storageName);
                out.byte('\t');
                out.name(m.fullPath.endsWith(QLatin1Char('/')) || m.fullPath.isEmpty()
                        ? m.fullPath + m.fileName
                        : m.fullPath + QLatin1Char('/') + m.fileName);
                out.byte('\n');
            }
        }
        return out.flush() ? ExitOk : ExitFailure;
    }
};

} // namespace

std::unique_ptr<CliCommand> makeStoragesCommand()
{
    return std::make_unique<StoragesCommand>();
}

std::unique_ptr<CliCommand> makeDuplicatesCommand()
{
    return std::make_unique<DuplicatesCommand>();
}
