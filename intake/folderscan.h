#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class Prompter;
class ProgressSink;
class TDados;
class Transaction;

// The folder scan: walks a folder (and, when asked, its subfolders), catalogues every file
// of a known format that is not catalogued yet, refreshes the size and time of the ones that
// are, and deletes their stale thumbnails, all inside one transaction that a cancel request
// rolls back. The scan dialog and the command line drive it; it reports through the
// prompter and the progress sink and holds no window.
//
// Names are read with the POSIX directory calls, so that no byte of a name is lost. A name
// that is not valid UTF-8 cannot be stored as text nor opened again through a text path: such
// files and folders are passed over and listed in one warning at the end of the scan.
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

    int trackedFiles() const { return m_tracked; }
    int newPictures() const { return m_added; }
    int alreadyCatalogued() const { return m_found; }
    // "Rastreados N arquivos" with the new and found counts of the last scan.
    QString countsText() const { return countsText(m_tracked, m_added, m_found); }
    // The last status text given to the progress sink.
    QString statusText() const { return m_status; }
    // Paths passed over by the last scan because their names are not valid UTF-8, with
    // every byte that is not printable text written as \xNN.
    QStringList skippedNames() const { return m_skipped; }
    // Folders queued by the walk and not yet examined (empty between scans).
    int pendingFolders() const { return int(m_folders.size() - m_next); }

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
    struct Decision {
        bool taken = false;
        QByteArray fileType;
    };
    struct Counters {
        int tracked = 0;
        int added = 0;
        int found = 0;
    };
    // A new row staged in a temporary table until the next insert of many rows: one
    // statement for thousands of rows spares the engine a statement journal per row.
    struct PendingRow {
        qint64 staged = 0; // its row in the staging table
        Counters before; // the counters before its file was examined
    };
    // In file order: the insert of a pending row (row >= 0), or a thumbnail to delete.
    struct PendingEvent {
        int row = -1;
        qint64 thumbnail = 0;
    };
    struct Statements;

    void reset();
    void walk();
    void loadFormats();
    void capturePictureDefaults();
    void filePass();
    void examineFolder(const QByteArray &folder);
    void examineFile(int dirFd, const char *name, size_t length, const QByteArray &fullPath);
    const Decision &decisionFor(const QByteArray &extension);
    void flushPending();
    void insertPendingOneByOne();
    void clearPending();
    void abandonPending();
    void chooseStorage();
    void readThumbnails();
    void deleteThumbnail(qint64 recId);
    void postedRow();
    void setStatus(const QString &text);
    void statusAfterFile();
    void skip(const QByteArray &folder, const char *name, size_t length);
    bool cancelRequested() const;
    void endTransactionAfterError(Transaction *transaction, const QString &message);
    void refreshTables();
    void releaseStatements();
    void readMountPoints(const QByteArray &root);

    TDados &m_store;
    Prompter &m_prompter;
    ProgressSink &m_progress;

    Request m_request;
    QString m_drive;
    bool m_storageChosen = false;
    qint64 m_location = 0;
    int m_tracked = 0;
    int m_added = 0;
    int m_found = 0;
    QString m_status;
    QElapsedTimer m_statusTimer;
    QStringList m_skipped;
    int m_skippedCount = 0;

    // FolderList: the queue of the walk, then of the file pass (paths as bytes, without a
    // trailing delimiter; the root file system is the empty path).
    QList<QByteArray> m_folders;
    qsizetype m_next = 0;
    QSet<QByteArray> m_mountPoints; // other drives inside the scanned folder
    QByteArray m_thumbnailFolder;
    std::vector<qint64> m_thumbnails; // keys that have a thumbnail file, sorted

    QString m_extensionList;
    QString m_variationList;
    struct FormatRow {
        QString extension;
        QString variation;
    };
    QList<FormatRow> m_formats;
    QHash<QByteArray, Decision> m_decisions;
    std::unique_ptr<Statements> m_sql;
    QList<PendingRow> m_pending;
    QHash<QByteArray, int> m_pendingKeys; // FileName (ASCII letters lowered) and Created
    QList<PendingEvent> m_events;
};
