#include "intake/folderscan.h"

#include "core/programpaths.h"
#include "core/progresssink.h"
#include "core/prompter.h"
#include "intake/folderwalk.h"
#include "intake/scansettings.h"
#include "intake/scanstatement.h"
#include "intake/storagefordrive.h"
#include "intake/thumbnailsweep.h"
#include "store/thumbnailstore.h"
#include "store/dberror.h"
#include "store/dbvalues.h"
#include "store/cataloguelocks.h"
#include "store/formatupgrade.h"
#include "store/query.h"
#include "store/statement.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// The status text goes to the sink at most this often; the window repaints no faster.
constexpr int statusIntervalMs = 25;
// The page cache of the scan's transaction, in KiB: index pages must stay cached while
// files arrive in directory order rather than key order.
constexpr int scanCacheKiB = 64 * 1024;

// SQLite's NOCASE collation: ASCII letters folded, then the shorter text first.
int compareNoCase(const QByteArray &a, const QByteArray &b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        const int fx = x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x;
        const int fy = y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y;
        if (fx != fy)
            return fx - fy;
    }
    return int(a.size() - b.size());
}

const QString pathInvalid = QStringLiteral("Caminho inválido!");
const QString collectionInvalid = QStringLiteral("Coleção inválida!");
const QString categoryInvalid = QStringLiteral("Categoria inválida!");

} // namespace

FolderScan::FolderScan(TDados &store, Prompter &prompter, ProgressSink &progress)
    : m_store(store), m_prompter(prompter), m_progress(progress)
{
}

FolderScan::~FolderScan() = default;

QString FolderScan::cancellingText()
{
    return QStringLiteral("Cancelando a operação. Aguarde...");
}

QString FolderScan::finishingSuffix()
{
    return QStringLiteral(". Finalizando...");
}

QString FolderScan::endMessage()
{
    return QStringLiteral("Execução encerrada!");
}

QString FolderScan::countsText(int tracked, int added, int found)
{
    QString text
        = QStringLiteral("Rastreados ") + QString::number(tracked) + QStringLiteral(" arquivos");
    if (added > 0)
        text += QLatin1Char(' ') + QString::number(added) + QStringLiteral(" novos");
    if (found > 0)
        text += QLatin1Char(' ') + QString::number(found)
            + QStringLiteral(" já catalogados anteriormente");
    return text;
}

QString FolderScan::folderOf(const QString &path)
{
    if (path.isEmpty())
        return QString();
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

FolderScan::Check FolderScan::checkRequest(TDados &store, const Request &request)
{
    if (request.folder.isEmpty() || !QFileInfo(request.folder).isDir())
        return Check::InvalidPath;
    if (request.collection <= 0)
        return Check::InvalidCollection;
    Query query(store.Conexao);
    query.setSql(QStringLiteral("SELECT RecId FROM Collections WHERE RecId = :COLECAO"));
    query.setParam(QStringLiteral("COLECAO"), request.collection);
    query.open();
    const bool collectionFound = !query.eof();
    query.close();
    if (!collectionFound)
        return Check::InvalidCollection;
    if (request.category <= 0)
        return Check::InvalidCategory;
    query.setSql(QStringLiteral(
        "SELECT RecId FROM Categories WHERE RecId = :CATEGORIA AND Collection = :COLECAO"));
    query.setParam(QStringLiteral("CATEGORIA"), request.category);
    query.setParam(QStringLiteral("COLECAO"), request.collection);
    query.open();
    const bool categoryFound = !query.eof();
    query.close();
    return categoryFound ? Check::Ok : Check::InvalidCategory;
}

QString FolderScan::checkMessage(Check check)
{
    switch (check) {
    case Check::Ok: return QString();
    case Check::InvalidPath: return pathInvalid;
    case Check::InvalidCollection: return collectionInvalid;
    case Check::InvalidCategory: return categoryInvalid;
    }
    return QString();
}

bool FolderScan::cancelRequested() const
{
    return m_progress.cancelRequested();
}

void FolderScan::setStatus(const QString &text)
{
    m_status = text;
    m_progress.setStatus(text);
    m_statusTimer.start();
}

void FolderScan::statusAfterFile()
{
    if (m_statusTimer.elapsed() >= statusIntervalMs)
        setStatus(countsText());
}

void FolderScan::postedRow()
{
    if (setTreesCurrent)
        setTreesCurrent(false);
}

void FolderScan::reset()
{
    m_storageChosen = false;
    m_location = 0;
    m_counts = ScanCounts();
    m_skipped.clear();
    m_folders.clear();
    m_next = 0;
    m_catalogueWasEmpty = false;
    m_touched.clear();
    stopWriting();
}

FolderScan::Outcome FolderScan::ScanFolder(const Request &request)
{
    // Set up.
    reset();
    m_request = request;
    const QString root = folderOf(request.folder);
    m_drive = driveOfPath(root);
    // Another process may have given the catalogue its thumbnail folder since it was found.
    m_store.rereadThumbnailFolder();
    m_thumbnailFolders.clear();
    for (const QString &folder : m_store.allThumbnailFolders())
        m_thumbnailFolders.append(fileIdOf(QFile::encodeName(folder)));
    m_thumbnails = std::make_unique<ThumbnailSweep>(
        [this](qint64 recId) { return m_store.GetThumbnailName(recId); }, m_store.thumbnails());
    m_folders.append(root == QLatin1String("/") ? QByteArray() : QFile::encodeName(root));
    m_statusTimer.start();

    // Folder walk.
    if (request.includeSubfolders)
        walkFolders(m_folders, m_progress, m_skipped);

    // Formats.
    if (cancelRequested()) {
        m_folders.clear();
    } else {
        try {
            m_formats.load(m_store.Conexao);
        } catch (const DbError &e) {
            m_folders.clear();
            m_prompter.error(e.message());
            return Outcome::NotStarted;
        }
    }

    if (cancelRequested()) {
        // Nothing was written yet: there is no transaction to roll back.
        setStatus(cancellingText());
        m_progress.pump();
        if (setTreesCurrent)
            setTreesCurrent(true);
        return Outcome::Cancelled;
    }

    // File pass, in one transaction.
    ScanSettings settings(m_store.Conexao, scanCacheKiB);
    std::unique_ptr<Transaction> transaction;
    try {
        transaction = std::make_unique<Transaction>(m_store.Conexao);
        // Whether a file is catalogued already is decided against the rows committed before
        // this transaction: two scans at once would both add the same file. A scan holds
        // back only other scans and saves that give a picture a new file, no other writer.
        CatalogueLocks::scannedFiles(m_store.Conexao, false);
        // A catalogue made before the program read HEIC, RAW and WebP files gets their rows
        // with its first scan, and the scan takes their files.
        if (FormatUpgrade::apply(m_store.Conexao))
            m_formats.load(m_store.Conexao);
        setStatus(countsText());
        startWriting();
        filePass();
    } catch (const std::exception &e) {
        const auto *db = dynamic_cast<const DbError *>(&e);
        afterError(transaction.get(), db ? db->message() : QString::fromLocal8Bit(e.what()));
        transaction.reset();
        m_touched.clear();
        refreshTables();
        return Outcome::Failed;
    }

    if (cancelRequested()) {
        stopWriting();
        setStatus(cancellingText());
        m_progress.pump();
        try {
            transaction->rollback();
        } catch (const DbError &e) {
            m_prompter.error(e.message());
        }
        transaction.reset();
        refreshTables();
        m_touched.clear();
        if (setTreesCurrent)
            setTreesCurrent(true);
        return Outcome::Cancelled;
    }

    stopWriting();
    if (finishing)
        finishing();
    setStatus(countsText() + finishingSuffix());
    m_progress.pump();
    Outcome outcome = Outcome::Completed;
    try {
        transaction->commit();
    } catch (const DbError &e) {
        // The transaction rolls back: nothing of this scan was stored.
        m_counts.added = 0;
        setStatus(countsText());
        m_prompter.error(e.message());
        outcome = Outcome::Failed;
        m_touched.clear();
    }
    transaction.reset();
    refreshTables();

    if (!m_skipped.isEmpty())
        m_prompter.warning(m_skipped.warningText());
    return outcome;
}

void FolderScan::afterError(Transaction *transaction, const QString &message)
{
    // The files examined before the error count as posted: the rows still waiting are
    // written and what is open is committed. A refused row ends the pass at its file.
    QString laterError;
    if (m_writer && m_writer->refusedAt()) {
        const ScanCounts before = *m_writer->refusedAt();
        m_counts = { before.tracked + 1, before.added, before.found };
    } else if (m_writer && m_store.Conexao.inTransaction()) {
        try {
            m_writer->flush();
        } catch (const DbError &e) {
            laterError = e.message();
            if (m_writer->refusedAt()) {
                const ScanCounts before = *m_writer->refusedAt();
                m_counts = { before.tracked + 1, before.added, before.found };
            }
        }
    }
    stopWriting();
    m_folders.clear();
    m_next = 0;
    if (transaction && transaction->active() && m_store.Conexao.inTransaction()) {
        try {
            transaction->commit();
        } catch (const DbError &e) {
            laterError = laterError.isEmpty() ? e.message() : laterError;
            m_counts.added = 0; // rolled back
        }
    } else {
        m_counts.added = 0; // the engine ended the transaction: nothing of it stays
    }
    setStatus(countsText());
    m_prompter.error(message);
    if (!laterError.isEmpty())
        m_prompter.error(laterError);
}

void FolderScan::startWriting()
{
    // The store's insert defaults apply first; the scan then sets its own columns.
    static const char *const scanColumns[] = { "Collection", "Category", "Name", "FileName",
        "FileSize", "Created", "Modified", "FullPath", "FileType", "Location", "Review" };
    StagedWriter::Constants constants;
    RecordSet &pictures = m_store.TPictures;
    if (pictures.isOpen()) {
        pictures.insert();
        try {
            for (const QString &field : pictures.fieldNames()) {
                bool ours = field.compare(QLatin1String("RecId"), Qt::CaseInsensitive) == 0;
                for (const char *c : scanColumns)
                    ours = ours || field.compare(QLatin1String(c), Qt::CaseInsensitive) == 0;
                const QVariant v = pictures.value(field);
                if (ours || !v.isValid() || v.isNull())
                    continue;
                constants.extraColumns << QLatin1Char('"') + field + QLatin1Char('"');
                constants.extraValues << v;
            }
        } catch (...) {
            pictures.cancel();
            throw;
        }
        pictures.cancel();
    }
    constants.collection = m_request.collection;
    constants.category = m_request.category;

    Connection &db = m_store.Conexao;
    {
        Statement any(db, QByteArrayLiteral("SELECT EXISTS (SELECT 1 FROM Pictures)"));
        Statement::Reset done(any);
        m_catalogueWasEmpty = any.step() && any.integer(0) == 0;
    }
    m_locate = std::make_unique<Statement>(db,
        QByteArrayLiteral("SELECT RecId, FileSize, Modified, Name FROM Pictures"
                          " WHERE FileName = ?1 COLLATE NOCASE AND Created = ?2"),
        Statement::Lifetime::Persistent);
    m_update = std::make_unique<Statement>(db,
        QByteArrayLiteral(
            "UPDATE Pictures SET FileSize = ?1, Modified = ?2, Review = TRUE WHERE RecId = ?3"),
        Statement::Lifetime::Persistent);
    // The location is known once the first file is tracked (chooseStorage).
    m_writer = std::make_unique<StagedWriter>(m_store.Conexao, constants);
    m_writer->removeThumbnail = [this](qint64 recId) {
        m_thumbnails->remove(recId);
        // Every picture of a file matched passes here once its row is written.
        if (m_keepTouched)
            m_touched.push_back(recId);
    };
    m_writer->rowsPosted = [this] { postedRow(); };
}

void FolderScan::stopWriting()
{
    if (m_thumbnails && m_store.Conexao.inTransaction()) {
        try {
            m_thumbnails->flush();
        } catch (const DbError &) {
            // The transaction cannot commit either: the commit tells why.
        }
    }
    m_writer.reset();
    m_locate.reset();
    m_update.reset();
}

void FolderScan::filePass()
{
    while (m_next < m_folders.size() && !cancelRequested()) {
        examineFolder(m_folders.at(m_next));
        ++m_next;
        m_progress.pump();
    }
    m_folders.clear();
    m_next = 0;
    if (cancelRequested())
        m_writer->abandon();
    else
        m_writer->flush();
    setStatus(countsText());
}

void FolderScan::examineFolder(const QByteArray &folder)
{
    DirectoryListing listing(folder,
        m_next == 0 ? DirectoryListing::Links::Follow : DirectoryListing::Links::DoNotFollow);
    // A thumbnail folder, of this catalogue or another, whatever path reaches it, holds no
    // pictures of the user's.
    if (!listing.isOpen() || m_thumbnailFolders.contains(listing.id()))
        return;
    const QByteArray fullPath = folder + '/';
    while (const dirent *entry = listing.next()) {
        const char *name = entry->d_name;
        if (name[0] != '.' && (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN))
            examineFile(listing.fd(), name, std::strlen(name), fullPath);
        m_progress.pump();
        if (cancelRequested())
            break;
    }
}

void FolderScan::examineFile(int dirFd, const char *name, size_t length, const QByteArray &fullPath)
{
    const char *dot = static_cast<const char *>(memrchr(name, '.', length));
    // No extension, or a name that ends in its dot: nothing to match.
    if (!dot || dot == name + length - 1)
        return;
    const FormatMatcher::Decision &decision
        = m_formats.decide(QByteArray::fromRawData(dot, qsizetype(name + length - dot)));
    if (!decision.taken)
        return;
    struct stat st;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return; // gone since it was listed, or not an ordinary file
    if (!scannames::isValidUtf8(name, length)) {
        m_skipped.add(
            SkippedNames::Reason::NotUtf8, fullPath + QByteArray(name, qsizetype(length)));
        return;
    }
    if (fullPath.size() + qsizetype(length) > scannames::pathLimit) {
        m_skipped.add(
            SkippedNames::Reason::TooLong, fullPath + QByteArray(name, qsizetype(length)));
        return;
    }
    ++m_counts.tracked;

    if (!m_storageChosen) {
        chooseStorage();
        m_storageChosen = true;
    }

    const QByteArray time = m_times.text(st.st_mtim.tv_sec);
    const qint64 size = qint64(st.st_size);
    const ScanCounts before { m_counts.tracked - 1, m_counts.added, m_counts.found };

    // A row of this scan still waiting to be written is found like any other.
    const quint64 hash = StagedWriter::identityHash(name, qsizetype(length), time);
    if (m_writer->updateWaiting(hash, name, qsizetype(length), time, size)
        || ((!m_catalogueWasEmpty || m_writer->hasWritten()) && lookUp(name, length, time, size))) {
        ++m_counts.found;
        statusAfterFile();
        return;
    }

    m_writer->add(hash, name, qsizetype(length), qsizetype(dot - name), time, size, fullPath,
        decision.fileType, before);
    ++m_counts.added;
    if (m_writer->isFull())
        m_writer->flush();
    statusAfterFile();
}

bool FolderScan::lookUp(const char *name, size_t length, const QByteArray &time, qint64 size)
{
    Statement &locate = *m_locate;
    scanstatement::bindText(locate, 1, name, qsizetype(length));
    scanstatement::bindText(locate, 2, time);
    if (!locate.step()) {
        locate.reset();
        return false;
    }
    // The first match in the order of the Pictures table (Name, then RecId); the index gives
    // the matches unordered, and there is hardly ever more than one.
    qint64 recId = locate.integer(0);
    bool sameSize = !locate.isNull(1) && locate.integer(1) == size;
    QByteArray modified = locate.utf8(2);
    QByteArray firstName = locate.utf8(3);
    bool firstNameNull = locate.isNull(3);
    while (locate.step()) {
        const QByteArray otherName = locate.utf8(3);
        const bool otherNull = locate.isNull(3);
        const int order = otherNull || firstNameNull ? int(firstNameNull) - int(otherNull)
                                                     : compareNoCase(otherName, firstName);
        if (order < 0 || (order == 0 && locate.integer(0) < recId)) {
            recId = locate.integer(0);
            sameSize = !locate.isNull(1) && locate.integer(1) == size;
            modified = locate.utf8(2);
            firstName = otherName;
            firstNameNull = otherNull;
        }
    }
    locate.reset();
    const bool sameTime = modified == time
        || (!modified.isEmpty()
            && dbvalues::fromDbDate(QString::fromUtf8(modified))
                == dbvalues::fromDbDate(QString::fromLatin1(time)));
    if (!sameSize || !sameTime) {
        m_writer->flush(); // the catalogue is written in file order
        Statement &update = *m_update;
        update.bindInteger(1, size);
        scanstatement::bindText(update, 2, time);
        update.bindInteger(3, recId);
        update.exec();
        postedRow();
    }
    m_writer->foundRow(recId);
    return true;
}

void FolderScan::chooseStorage()
{
    // A known disk found at another mount point moves there inside this transaction, so
    // that its pictures are found where they now are.
    const StorageChoice choice = StorageForDrive(
        m_store, m_drive, [this] { return driveEntryText ? driveEntryText() : m_drive; });
    if (choice.added || choice.relocated)
        postedRow();
    m_location = choice.storage;
    m_writer->setLocation(m_location);
}

void FolderScan::refreshTables()
{
    for (RecordSet *set : { &m_store.TPictures, &m_store.TStorages }) {
        try {
            if (set->isEditing())
                set->cancel();
            if (set->isOpen())
                set->refresh();
        } catch (const DbError &) {
            // A table that cannot be re-read shows its old row until the next move.
        }
    }
}
