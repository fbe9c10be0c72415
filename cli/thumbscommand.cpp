#include "cli/thumbscommand.h"

#include "cli/clicommands.h"
#include "cli/clisession.h"
#include "cli/consolecontrol.h"
#include "intake/picturereview.h"
#include "intake/thumbnailrun.h"
#include "store/dberror.h"

#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

QString thumbsUsage()
{
    return QStringLiteral("Uso: quillomar-cli [--catalogue ARQUIVO] thumbs [--jobs N]\n");
}

int usageError(const QString &message)
{
    std::fprintf(
        stderr, "%s\n\n%s", message.toUtf8().constData(), thumbsUsage().toUtf8().constData());
    return ExitUsage;
}

void printLine(FILE *to, const QString &text)
{
    std::fprintf(to, "%s\n", text.toUtf8().constData());
    std::fflush(to);
}

} // namespace

int runThumbsCommand(const QString &catalogue, const QStringList &args)
{
    int jobs = std::clamp(QThread::idealThreadCount(), 1, ThumbnailRun::kMaxJobs);
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        QString value;
        if (arg == QLatin1String("--jobs")) {
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("thumbs: falta o N de --jobs"));
            value = args.at(++i);
        } else if (arg.startsWith(QLatin1String("--jobs="))) {
            value = arg.mid(7);
        } else {
            return usageError(QStringLiteral("thumbs: argumento desconhecido: %1").arg(arg));
        }
        bool ok = false;
        jobs = value.toInt(&ok);
        if (!ok || jobs < 1 || jobs > ThumbnailRun::kMaxJobs)
            return usageError(QStringLiteral("thumbs: --jobs precisa de um número de 1 a %1")
                                  .arg(ThumbnailRun::kMaxJobs));
    }

    CliSession session(catalogue);
    if (!session.openStore())
        return ExitFailure;

    consolecontrol::StatusLine line;
    ThumbnailRun run(session.store(), jobs);
    run.pictureFailed = [&line](const QString &path, const QString &error) {
        line.clear();
        printLine(stderr, path + QStringLiteral(": ") + error);
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
        printLine(stderr, run.folderError());

    const ThumbnailRun::Counts &c = run.counts();
    std::printf("Imagens a revisar: %d\n"
                "Miniaturas a refazer: %d\n"
                "Medidas: %d\n"
                "Miniaturas gravadas: %d\n"
                "Sem miniatura (até %d pixels): %d\n"
                "Ignoradas (GIF, PNG ou formato não suportado): %d\n"
                "Arquivos ausentes: %d\n"
                "Falhas: %d\n",
        c.toReview, c.toRestore, c.measured, c.thumbnailed, PictureReview::kViewSide, c.fits,
        c.ignored, c.missing, c.failed);
    std::fflush(stdout);
    if (end == ThumbnailRun::End::Cancelled)
        return consolecontrol::exitCancelled;
    return c.failed > 0 || end != ThumbnailRun::End::Done ? ExitFailure : ExitOk;
}
