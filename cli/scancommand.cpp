#include "cli/scancommand.h"

#include "cli/clicontext.h"
#include "cli/clisession.h"
#include "cli/consolecontrol.h"
#include "cli/thumbscommand.h"
#include "core/progresssink.h"
#include "intake/drivelist.h"
#include "intake/folderscan.h"
#include "intake/storagefordrive.h"
#include "intake/thumbnailrun.h"
#include "store/dberror.h"
#include "store/tdados.h"

namespace {

using consolecontrol::exitCancelled;
using consolecontrol::InterruptGuard;

// The scan's status texts on the terminal's status line; Ctrl-C is its "Cancelar".
class ConsoleProgress : public ProgressSink {
public:
    void setStatus(const QString &text) override { m_line.show(text); }
    bool cancelRequested() override { return consolecontrol::interrupted(); }
    void clearLine() { m_line.clear(); }

private:
    consolecontrol::StatusLine m_line;
};

// An ID that is not a positive number names no row: 0.
qint64 idOf(const QString &text)
{
    bool ok = false;
    const qint64 id = text.toLongLong(&ok);
    return ok && id > 0 ? id : 0;
}

class ScanCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("scan"); }
    QString summary() const override
    {
        return QStringLiteral("rastreia a pasta (e as subpastas) e cataloga as imagens");
    }
    QList<CliArgument> arguments() const override
    {
        return { { QStringLiteral("PASTA"), QStringLiteral("a pasta a rastrear") } };
    }
    QList<QCommandLineOption> options() const override
    {
        return {
            { QStringLiteral("no-subfolders"), QStringLiteral("só a pasta, sem as subpastas") },
            { QStringLiteral("collection"),
                QStringLiteral("coleção das imagens novas (sem ela: a do sistema)"),
                QStringLiteral("ID") },
            { QStringLiteral("category"),
                QStringLiteral("categoria das imagens novas (sem ela: a do sistema)"),
                QStringLiteral("ID") },
            { QStringLiteral("thumbs"),
                QStringLiteral("depois de gravado o rastreamento, revisa as imagens encontradas "
                               "que ainda pedem revisão e grava as suas miniaturas, como thumbs") },
        };
    }
    int run(CliContext &cx) override;
};

int ScanCommand::run(CliContext &cx)
{
    const QString folder = cx.arguments().constFirst();
    const bool subfolders = !cx.isSet(QStringLiteral("no-subfolders"));
    const bool collectionGiven = cx.isSet(QStringLiteral("collection"));
    const bool categoryGiven = cx.isSet(QStringLiteral("category"));
    const QString collection = cx.value(QStringLiteral("collection"));
    const QString category = cx.value(QStringLiteral("category"));
    const bool thumbs = cx.isSet(QStringLiteral("thumbs"));

    CliSession &session = cx.session();
    if (!session.openStore())
        return ExitFailure;
    TDados &store = session.store();
    Prompter &prompter = session.prompter();

    FolderScan::Request request;
    request.folder = folder;
    request.includeSubfolders = subfolders;
    request.collection = collectionGiven ? idOf(collection) : store.DefaultCollectionId;
    request.category = categoryGiven ? idOf(category) : store.DefaultCategoryId;
    try {
        const FolderScan::Check check = FolderScan::checkRequest(store, request);
        if (check != FolderScan::Check::Ok) {
            prompter.error(FolderScan::checkMessage(check));
            return ExitFailure;
        }
    } catch (const DbError &e) {
        prompter.error(e.message());
        return ExitFailure;
    }

    // The drive picker would show the scanned folder's drive, as after "Procurar".
    const QString entryText = DriveList::displayName(driveOfPath(FolderScan::folderOf(folder)));
    ConsoleProgress progress;
    FolderScan scan(store, prompter, progress);
    scan.driveEntryText = [&entryText] { return entryText; };
    scan.keepTouchedPictures(thumbs);
    FolderScan::Outcome outcome;
    {
        InterruptGuard guard;
        try {
            outcome = scan.ScanFolder(request);
        } catch (const std::exception &e) {
            progress.clearLine();
            const auto *db = dynamic_cast<const DbError *>(&e);
            prompter.error(db ? db->message() : QString::fromLocal8Bit(e.what()));
            return ExitFailure;
        }
    }
    progress.clearLine();

    switch (outcome) {
    case FolderScan::Outcome::Completed: {
        cx.out(scan.countsText() + QLatin1Char('\n'));
        if (!thumbs)
            return ExitOk;
        // After the commit, outside the scan's transaction: the review of `thumbs`, for the
        // pictures this scan found.
        ThumbnailRun run(store, defaultThumbnailJobs());
        run.restrictTo(scan.touchedPictures());
        return runThumbnails(cx, run);
    }
    case FolderScan::Outcome::Failed:
        cx.out(scan.countsText() + QLatin1Char('\n'));
        return ExitFailure;
    case FolderScan::Outcome::Cancelled:
        cx.err(FolderScan::cancellingText() + QLatin1Char('\n'));
        return exitCancelled;
    case FolderScan::Outcome::NotStarted: break;
    }
    return ExitFailure;
}

} // namespace

std::unique_ptr<CliCommand> makeScanCommand()
{
    return std::make_unique<ScanCommand>();
}
