#include "scancommand.h"

#include "clicommands.h"
#include "clisession.h"
#include "dberror.h"
#include "drivelist.h"
#include "folderscan.h"
#include "progresssink.h"
#include "storagefordrive.h"
#include "tdados.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int exitCancelled = 130; // as a shell reports a command ended by Ctrl-C

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int)
{
    interrupted = 1;
}

// Ctrl-C asks the scan to cancel instead of ending the process, for as long as it lives.
class InterruptGuard {
public:
    InterruptGuard()
    {
        interrupted = 0;
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &m_previous);
    }
    ~InterruptGuard() { sigaction(SIGINT, &m_previous, nullptr); }
    InterruptGuard(const InterruptGuard &) = delete;
    InterruptGuard &operator=(const InterruptGuard &) = delete;

private:
    struct sigaction m_previous;
};

// The status line rewritten in place on a terminal; nothing when standard error is a file.
class ConsoleProgress : public ProgressSink {
public:
    ConsoleProgress() : m_terminal(isatty(STDERR_FILENO) == 1) { }
    void setStatus(const QString &text) override
    {
        if (!m_terminal)
            return;
        std::fprintf(stderr, "\r%s\x1b[K", text.toUtf8().constData());
        std::fflush(stderr);
        m_shown = true;
    }
    bool cancelRequested() override { return interrupted != 0; }
    void clearLine()
    {
        if (m_terminal && m_shown) {
            std::fputs("\r\x1b[K", stderr);
            std::fflush(stderr);
        }
        m_shown = false;
    }

private:
    bool m_terminal;
    bool m_shown = false;
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
