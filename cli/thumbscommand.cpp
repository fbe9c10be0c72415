#include "cli/thumbscommand.h"

#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "cli/consolecontrol.h"
#include "intake/picturereview.h"
#include "intake/thumbnailrun.h"
#include "store/dberror.h"

#include <QThread>

#include <algorithm>

namespace {

const QString kJobs = QStringLiteral("jobs");

class ThumbsCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("thumbs"); }
    QString summary() const override
    {
        return QStringLiteral("mede as imagens a revisar e grava as miniaturas que faltam");
    }
    QList<QCommandLineOption> options() const override
    {
        return { { kJobs,
            QStringLiteral("linhas de execução (de 1 a %1; sem ela: uma por processador)")
                .arg(ThumbnailRun::kMaxJobs),
            QStringLiteral("N") } };
    }
    int run(CliContext &cx) override;
};

int ThumbsCommand::run(CliContext &cx)
{
    int jobs = defaultThumbnailJobs();
    if (cx.isSet(kJobs)) {
        bool ok = false;
        jobs = cx.value(kJobs).toInt(&ok);
        if (!ok || jobs < 1 || jobs > ThumbnailRun::kMaxJobs)
            return cx.usageError(QStringLiteral("thumbs: --jobs precisa de um número de 1 a %1")
                                     .arg(ThumbnailRun::kMaxJobs));
    }

    CliSession &session = cx.session();
    if (!session.openStore())
        return ExitFailure;
    ThumbnailRun run(session.store(), jobs);
    return runThumbnails(cx, run);
}

} // namespace

int defaultThumbnailJobs()
{
    return std::clamp(QThread::idealThreadCount(), 1, ThumbnailRun::kMaxJobs);
}

int runThumbnails(CliContext &cx, ThumbnailRun &run)
{
    CliSession &session = cx.session();
    consolecontrol::StatusLine line;
    run.pictureFailed = [&](const QString &path, const QString &error) {
        line.clear();
        cx.err(path + QStringLiteral(": ") + error + QLatin1Char('\n'));
    };
    run.progress = [&line](int done, int total) {
        line.show(QStringLiteral("Miniaturas: %1 de %2 imagens").arg(done).arg(total));
    };
    run.cancelRequested = [] { return consolecontrol::interrupted(); };
    ThumbnailRun::End end;
    try {
        consolecontrol::InterruptGuard guard;
        end = run.run();
    } catch (const DbError &e) {
        line.clear();
        session.prompter().error(e.message());
        return ExitFailure;
    }
    line.clear();
    if (end == ThumbnailRun::End::ThumbnailFolderFailed)
        cx.err(run.folderError() + QLatin1Char('\n'));

    const ThumbnailRun::Counts &c = run.counts();
    cx.out(QStringLiteral("Imagens a revisar: %1\n"
                          "Miniaturas a refazer: %2\n"
                          "Medidas: %3\n"
                          "Miniaturas gravadas: %4\n"
                          "Sem miniatura (até %5 pixels): %6\n"
                          "Ignoradas (GIF, PNG ou formato não suportado): %7\n"
                          "Arquivos ausentes: %8\n"
                          "Falhas: %9\n")
               .arg(c.toReview)
               .arg(c.toRestore)
               .arg(c.measured)
               .arg(c.thumbnailed)
               .arg(PictureReview::kViewSide)
               .arg(c.fits)
               .arg(c.ignored)
               .arg(c.missing)
               .arg(c.failed));
    if (end == ThumbnailRun::End::Cancelled)
        return consolecontrol::exitCancelled;
    return c.failed > 0 || end != ThumbnailRun::End::Done ? ExitFailure : ExitOk;
}

std::unique_ptr<CliCommand> makeThumbsCommand()
{
    return std::make_unique<ThumbsCommand>();
}
