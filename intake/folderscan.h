#pragma once

#include "intake/directorylisting.h"
#include "intake/filetimetext.h"
#include "intake/formatmatcher.h"
#include "intake/scannames.h"
#include "intake/stagedwriter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class Prompter;
class ProgressSink;
class Statement;
class TDados;
class ThumbnailSweep;
class Transaction;

// The folder scan: walks a folder (and, when asked, its subfolders), catalogues every file
// of a known format that is not catalogued yet, refreshes the size and time of the ones that
// are, and deletes their stale thumbnails, all inside one transaction that a cancel request
// rolls back. The scan dialog and the command line drive it; it reports through the
// prompter and the progress sink and holds no window.
//
// Names are read with the POSIX directory calls, so that no byte of a name is lost. A name
// that is not valid UTF-8 cannot be stored as text nor opened again through a text path, and
// a path longer than the system's limit cannot be opened again: such files and folders are
// passed over and listed in one warning at the end of the scan. The thumbnail folders (every
// catalogue's) are known by their device and inode, whatever path reaches them.
class FolderScan {
public:
    enum class Outcome {
        Completed, // every row committed
        Cancelled, // rolled back: no row of this scan stays
        Failed, // an error ended the file pass (shown); rows posted before it committed
        NotStarted, // an error before the transaction (shown); nothing written
    };
    enum class Check { Ok, InvalidPath, InvalidCollection, InvalidCategory };

    struct Request {
        QString folder;
        bool includeSubfolders = true;
        qint64 collection = 0;
        qint64 category = 0;
    };

    FolderScan(TDados &store, Prompter &prompter, ProgressSink &progress);
    ~FolderScan();
    FolderScan(const FolderScan &) = delete;
    FolderScan &operator=(const FolderScan &) = delete;

    // Told false after every row the scan writes, and true after a cancelled scan has been
    // rolled back (the main window's TreesCurrent).
    std::function<void(bool)> setTreesCurrent;
    // Text of the drive picker's selected entry; names a storage the scan has to add.
    std::function<QString()> driveEntryText;
    // Runs right before the commit, when a cancel request can no longer act.
    std::function<void()> finishing;

    // The scan of request.folder into request.collection and request.category. The caller
    // has validated the request (checkRequest) and shows "Execução encerrada!" afterwards
    // unless the outcome is Cancelled or NotStarted.
    Outcome ScanFolder(const Request &request);

    int trackedFiles() const { return m_counts.tracked; }
    // The rows the last scan stored: a scan whose changes were rolled back stored none.
    int newPictures() const { return m_counts.added; }
    int alreadyCatalogued() const { return m_counts.found; }
    // "Rastreados N arquivos" with the new and found counts of the last scan.
    QString countsText() const
    {
        return countsText(m_counts.tracked, m_counts.added, m_counts.found);
    }
    // The last status text given to the progress sink.
    QString statusText() const { return m_status; }
    // Paths the last scan passed over because of their names (shown in one warning).
    const SkippedNames &skippedNames() const { return m_skipped; }
    // Folders queued by the walk and not yet examined (empty between scans).
    int pendingFolders() const { return int(m_folders.size() - m_next); }

    // Keep the keys of the pictures the scan finds (new or catalogued before), for a review
    // of them after its commit ("Gerar miniaturas", `scan --thumbs`). Off by default.
    void keepTouchedPictures(bool keep) { m_keepTouched = keep; }
    // The pictures the last completed scan found, in no particular order; empty after a
    // cancelled or failed one.
    const std::vector<qint64> &touchedPictures() const { return m_touched; }

    static QString countsText(int tracked, int added, int found);
    // The validation of "Executar": the folder must exist, the collection must be a row of
    // Collections and the category one of that collection's categories.
    static Check checkRequest(TDados &store, const Request &request);
    // The error text of a failed check ("Caminho inválido!", ...); empty for Ok.
    static QString checkMessage(Check check);
    // The folder as the scan takes it: absolute, cleaned, without a trailing delimiter
    // (the root stays "/").
    static QString folderOf(const QString &path);

    static QString cancellingText(); // "Cancelando a operação. Aguarde..."
    static QString finishingSuffix(); // ". Finalizando..."
    static QString endMessage(); // "Execução encerrada!"

private:
    void reset();
    void filePass();
    void examineFolder(const QByteArray &folder);
    void examineFile(int dirFd, const char *name, size_t length, const QByteArray &fullPath);
    bool lookUp(const char *name, size_t length, const QByteArray &time, qint64 size);
    void startWriting();
    void stopWriting();
    void chooseStorage();
    void postedRow();
    void setStatus(const QString &text);
    void statusAfterFile();
    bool cancelRequested() const;
    void afterError(Transaction *transaction, const QString &message);
    void refreshTables();

    TDados &m_store;
    Prompter &m_prompter;
    ProgressSink &m_progress;

    Request m_request;
    QString m_drive;
    bool m_storageChosen = false;
    qint64 m_location = 0;
    ScanCounts m_counts;
    QString m_status;
    QElapsedTimer m_statusTimer;
    SkippedNames m_skipped;

    // FolderList: the queue of the walk, then of the file pass (paths as bytes, without a
    // trailing delimiter; the root file system is the empty path).
    QList<QByteArray> m_folders;
    qsizetype m_next = 0;
    QList<FileId> m_thumbnailFolders;
    std::unique_ptr<ThumbnailSweep> m_thumbnails;
    FormatMatcher m_formats;
    FileTimeText m_times;
    // Pictures held no row when the transaction began: until this scan writes one, a lookup
    // in the catalogue cannot find anything.
    bool m_catalogueWasEmpty = false;
    bool m_keepTouched = false;
    std::vector<qint64> m_touched;
    std::unique_ptr<Statement> m_locate;
    std::unique_ptr<Statement> m_update;
    std::unique_ptr<StagedWriter> m_writer;
};
