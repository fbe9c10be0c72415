#include "cli/scancommand.h"

#include "cli/clicommands.h"
#include "cli/clisession.h"
#include "cli/consolecontrol.h"
#include "store/dberror.h"
#include "intake/drivelist.h"
#include "intake/folderscan.h"
#include "core/progresssink.h"
#include "intake/storagefordrive.h"
#include "store/tdados.h"

#include <cstdio>

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

QString scanUsage()
{
    return QStringLiteral("Uso: quillomar-cli [--catalogue ARQUIVO] scan PASTA [--no-subfolders] "
                          "[--collection ID] [--category ID]\n");
}

int usageError(const QString &message)
{
    std::fprintf(
        stderr, "%s\n\n%s", message.toUtf8().constData(), scanUsage().toUtf8().constData());
    return ExitUsage;
}

// An ID that is not a positive number names no row: 0.
qint64 idOf(const QString &text)
{
    bool ok = false;
    const qint64 id = text.toLongLong(&ok);
    return ok && id > 0 ? id : 0;
}

} // namespace

int runScanCommand(const QString &catalogue, const QStringList &args)
{
    QString folder;
    bool folderGiven = false;
    bool subfolders = true;
    QString collection;
    QString category;
    bool collectionGiven = false;
    bool categoryGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        auto valueOf = [&](const QString &option, QString *value, bool *given) {
            if (arg == option) {
                if (i + 1 >= args.size())
                    return false;
                *value = args.at(++i);
            } else {
                *value = arg.mid(option.size() + 1);
            }
            *given = true;
            return true;
        };
        if (arg == QLatin1String("--no-subfolders")) {
            subfolders = false;
        } else if (arg == QLatin1String("--collection")
            || arg.startsWith(QLatin1String("--collection="))) {
            if (!valueOf(QStringLiteral("--collection"), &collection, &collectionGiven))
                return usageError(QStringLiteral("scan: falta o ID de --collection"));
        } else if (arg == QLatin1String("--category")
            || arg.startsWith(QLatin1String("--category="))) {
            if (!valueOf(QStringLiteral("--category"), &category, &categoryGiven))
                return usageError(QStringLiteral("scan: falta o ID de --category"));
        } else if (arg.startsWith(QLatin1String("--")) && arg != QLatin1String("--")) {
            return usageError(QStringLiteral("scan: opção desconhecida: %1").arg(arg));
        } else if (!folderGiven) {
            folder = arg;
            folderGiven = true;
        } else {
            return usageError(QStringLiteral("scan: argumentos demais"));
        }
    }
    if (!folderGiven)
        return usageError(QStringLiteral("scan: falta a PASTA"));

    CliSession session(catalogue);
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
    case FolderScan::Outcome::Completed:
        std::printf("%s\n", scan.countsText().toUtf8().constData());
        std::fflush(stdout);
        return ExitOk;
    case FolderScan::Outcome::Failed:
        std::printf("%s\n", scan.countsText().toUtf8().constData());
        std::fflush(stdout);
        return ExitFailure;
    case FolderScan::Outcome::Cancelled:
        std::fprintf(stderr, "%s\n", FolderScan::cancellingText().toUtf8().constData());
        return exitCancelled;
    case FolderScan::Outcome::NotStarted: break;
    }
    return ExitFailure;
}
