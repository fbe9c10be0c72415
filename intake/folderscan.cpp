#include "intake/folderscan.h"

#include "store/dberror.h"
#include "store/dbvalues.h"
#include "core/programpaths.h"
#include "core/progresssink.h"
#include "core/prompter.h"
#include "store/query.h"
#include "intake/storagefordrive.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The status text goes to the sink at most this often; the window repaints no faster.
constexpr int statusIntervalMs = 25;
// Names listed in the warning about names that are not valid UTF-8.
constexpr int skippedListed = 20;
// The page cache of the scan's transaction, in KiB: index pages must stay cached while
// files arrive in directory order rather than key order.
constexpr int scanCacheKiB = 64 * 1024;
// New rows staged before one statement moves them into Pictures.
constexpr int stagedRowsPerInsert = 20000;

// SQLite's NOCASE collation: ASCII letters folded, then the shorter text first.
int compareNoCase(const QByteArray &a, const QByteArray &b)
{
    const int common = int(std::min(a.size(), b.size()));
    const int c = sqlite3_strnicmp(a.constData(), b.constData(), common);
    return c != 0 ? c : int(a.size() - b.size());
}

// SQLite's NOCASE: ASCII letters only.
QByteArray identityKey(const char *name, size_t length, const QByteArray &time)
{
    QByteArray key(name, qsizetype(length));
    for (char &c : key) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    key += '\x01';
    key += time;
    return key;
}

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF): exactly the
// byte strings that survive the trip to QString and back unchanged. Returns the length of
// the sequence at p, or 0 when it is not valid.
int utf8SequenceAt(const unsigned char *p, const unsigned char *end)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int length;
    unsigned int min;
    unsigned int code;
    if ((c & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
        code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
        code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (end - p < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

bool isValidUtf8(const char *text, size_t length)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *end = p + length;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const int n = utf8SequenceAt(p, end);
        if (n == 0)
            return false;
        p += n;
    }
    return true;
}

// A name for a message box: valid text as it is, other bytes and control characters as \xNN.
QString escapedName(const QByteArray &bytes)
{
    QString out;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const unsigned char *end = p + bytes.size();
    while (p < end) {
        const int n = utf8SequenceAt(p, end);
        if (n == 0 || *p < 0x20 || *p == 0x7F) {
            out += QStringLiteral("\\x")
                + QString::number(*p, 16).toUpper().rightJustified(2, QLatin1Char('0'));
            ++p;
            continue;
        }
        out += QString::fromUtf8(reinterpret_cast<const char *>(p), n);
        p += n;
    }
    return out;
}

// Delphi's Pos: an empty text occurs nowhere.
bool occursIn(const QString &list, const QString &text)
{
    return !text.isEmpty() && list.contains(text);
}

// Last-write time in local time, truncated to the two seconds of the DOS date-time form,
// written the way the catalogue stores date-times.
QByteArray fileTimeText(const struct stat &st)
{
    const time_t seconds = st.st_mtim.tv_sec;
    struct tm local;
    if (!localtime_r(&seconds, &local))
        return QByteArray();
    local.tm_sec &= ~1;
    char buffer[40];
    const int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d",
        local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
        local.tm_sec);
    return QByteArray(buffer, n);
}

// One prepared statement, finalized with its scan.
class Statement {
public:
    Statement(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr)
            != SQLITE_OK) {
            const DbError error(
                QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
            sqlite3_finalize(m_stmt);
            throw error;
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void text(int index, const char *data, qsizetype length)
    {
        // Empty texts are stored as null, as every post of the store does.
        check(length == 0 ? sqlite3_bind_null(m_stmt, index)
                          : sqlite3_bind_text(m_stmt, index, data, int(length), SQLITE_STATIC));
    }
    void text(int index, const QByteArray &data) { text(index, data.constData(), data.size()); }
    void integer(int index, qint64 value) { check(sqlite3_bind_int64(m_stmt, index, value)); }
    void value(int index, const QVariant &v)
    {
        const QVariant stored = dbvalues::toDbValue(v);
        if (!stored.isValid() || stored.isNull()) {
            check(sqlite3_bind_null(m_stmt, index));
            return;
        }
        switch (stored.metaType().id()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong: integer(index, stored.toLongLong()); break;
        case QMetaType::Double: check(sqlite3_bind_double(m_stmt, index, stored.toDouble())); break;
        case QMetaType::QByteArray: {
            const QByteArray blob = stored.toByteArray();
            check(sqlite3_bind_blob(
                m_stmt, index, blob.constData(), int(blob.size()), SQLITE_TRANSIENT));
            break;
        }
        default: {
            const QByteArray utf8 = stored.toString().toUtf8();
            check(utf8.isEmpty() ? sqlite3_bind_null(m_stmt, index)
                                 : sqlite3_bind_text(m_stmt, index, utf8.constData(),
                                     int(utf8.size()), SQLITE_TRANSIENT));
        }
        }
    }
    // True when a row came; the statement stays on it until reset().
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        const DbError error(
            QString::fromUtf8(sqlite3_errmsg(m_db)), sqlite3_extended_errcode(m_db));
        sqlite3_reset(m_stmt);
        throw error;
    }
    void reset() { sqlite3_reset(m_stmt); }
    qint64 columnInt(int column) const { return sqlite3_column_int64(m_stmt, column); }
    QByteArray columnText(int column) const
    {
        const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return data ? QByteArray(data, sqlite3_column_bytes(m_stmt, column)) : QByteArray();
    }
    bool columnIsNull(int column) const
    {
        return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(m_db)), sqlite3_extended_errcode(m_db));
    }

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

int pragmaValue(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *stmt = nullptr;
    int value = 0;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

// The connection's settings for the length of a scan, given back afterwards: a page cache
// that holds the index pages (files come in directory order, not key order), and the
// statement journals of the multi-row inserts kept in memory rather than in a temporary
// file (the program keeps no temporary tables that the change could drop).
class ScanSettings {
public:
    ScanSettings(sqlite3 *db, int cacheKiB)
        : m_db(db),
          m_cacheSize(pragmaValue(db, "PRAGMA cache_size")),
          m_tempStore(pragmaValue(db, "PRAGMA temp_store"))
    {
        set("PRAGMA cache_size = " + QByteArray::number(-cacheKiB));
        set("PRAGMA temp_store = MEMORY");
    }
    ~ScanSettings()
    {
        set("PRAGMA temp_store = " + QByteArray::number(m_tempStore));
        set("PRAGMA cache_size = " + QByteArray::number(m_cacheSize));
    }
    ScanSettings(const ScanSettings &) = delete;
    ScanSettings &operator=(const ScanSettings &) = delete;

private:
    void set(const QByteArray &sql)
    {
        sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr);
    }

    sqlite3 *m_db;
    int m_cacheSize;
    int m_tempStore;
};

// Mount points are written in /proc/self/mountinfo with \ooo escapes for blanks and the like.
QByteArray unescapeMountPath(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int code = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field.at(i);
    }
    return out;
}

const QString pathInvalid = QStringLiteral("Caminho inválido!");
const QString collectionInvalid = QStringLiteral("Coleção inválida!");
const QString categoryInvalid = QStringLiteral("Categoria inválida!");

} // namespace

struct FolderScan::Statements {
    std::unique_ptr<Statement> locate;
    std::unique_ptr<Statement> update;
    std::unique_ptr<Statement> stage;
    std::unique_ptr<Statement> restage;
    std::unique_ptr<Statement> insertStaged; // every staged row, RETURNING RecId
    std::unique_ptr<Statement> insertOneStaged; // one staged row
    std::unique_ptr<Statement> clearStaged;
    QList<QVariant> extraValues; // insert defaults of the store the scan does not overwrite
};

namespace {

// The staging table lives in the connection's temporary database, in memory for the scan.
const char *const createStaging
    = "CREATE TEMP TABLE qm_scan_staging (Name TEXT, FileName TEXT, FileSize INTEGER,"
      " Created TEXT, Modified TEXT, FullPath TEXT, FileType TEXT)";
const char *const dropStaging = "DROP TABLE IF EXISTS temp.qm_scan_staging";

// Collection, category, location and the store's other insert defaults, the same for
// every row of a scan.
void bindConstants(Statement &st, const FolderScan::Request &request, qint64 location,
    const QList<QVariant> &extra)
{
    st.integer(1, request.collection);
    st.integer(2, request.category);
    st.integer(3, location);
    for (int i = 0; i < extra.size(); ++i)
        st.value(4 + i, extra.at(i));
}

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
    m_tracked = m_added = m_found = 0;
    m_skipped.clear();
    m_skippedCount = 0;
    m_folders.clear();
    m_next = 0;
    m_mountPoints.clear();
    m_decisions.clear();
    m_formats.clear();
    m_extensionList.clear();
    m_variationList.clear();
    m_sql.reset();
}

void FolderScan::skip(const QByteArray &folder, const char *name, size_t length)
{
    ++m_skippedCount;
    if (m_skipped.size() < skippedListed) {
        const QByteArray path = folder + '/' + QByteArray(name, qsizetype(length));
        m_skipped << escapedName(path);
    }
}

FolderScan::Outcome FolderScan::ScanFolder(const Request &request)
{
    // Set up.
    reset();
    m_request = request;
    const QString root = folderOf(request.folder);
    m_drive = driveOfPath(root);
    m_thumbnailFolder = QFile::encodeName(m_store.paths().ThumbnailFolder);
    readThumbnails();
    m_folders.append(root == QLatin1String("/") ? QByteArray() : QFile::encodeName(root));
    m_statusTimer.start();

    // Folder walk.
    if (request.includeSubfolders) {
        readMountPoints(m_folders.first());
        walk();
    }

    // Formats.
    if (cancelRequested()) {
        m_folders.clear();
    } else {
        try {
            loadFormats();
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
    sqlite3 *db = m_store.Conexao.handle();
    ScanSettings settings(db, scanCacheKiB);
    std::unique_ptr<Transaction> transaction;
    try {
        transaction = std::make_unique<Transaction>(m_store.Conexao);
        setStatus(countsText());
        capturePictureDefaults();
        filePass();
    } catch (const std::exception &e) {
        const QString message = [&] {
            if (const auto *db = dynamic_cast<const DbError *>(&e))
                return db->message();
            return QString::fromLocal8Bit(e.what());
        }();
        // The files examined before the error count as posted.
        QString flushError;
        if (m_sql && m_store.Conexao.inTransaction()) {
            try {
                flushPending();
            } catch (const DbError &f) {
                flushError = f.message();
            }
        }
        clearPending();
        releaseStatements();
        m_folders.clear();
        m_next = 0;
        endTransactionAfterError(transaction.get(), message);
        if (!flushError.isEmpty())
            m_prompter.error(flushError);
        transaction.reset();
        refreshTables();
        return Outcome::Failed;
    }

    Outcome outcome = Outcome::Completed;
    if (cancelRequested()) {
        clearPending();
        releaseStatements();
        setStatus(cancellingText());
        m_progress.pump();
        try {
            transaction->rollback();
        } catch (const DbError &e) {
            m_prompter.error(e.message());
        }
        transaction.reset();
        refreshTables();
        if (setTreesCurrent)
            setTreesCurrent(true);
        return Outcome::Cancelled;
    }

    releaseStatements();
    if (finishing)
        finishing();
    setStatus(countsText() + finishingSuffix());
    m_progress.pump();
    try {
        transaction->commit();
        transaction.reset();
        refreshTables();
    } catch (const DbError &e) {
        transaction.reset(); // rolls back what could not be committed
        refreshTables();
        m_prompter.error(e.message());
        outcome = Outcome::Failed;
    }

    if (m_skippedCount > 0) {
        QString text
            = QStringLiteral("Estes nomes não estão em UTF-8 válido e não foram rastreados:");
        for (const QString &name : std::as_const(m_skipped))
            text += QLatin1Char('\r') + name;
        if (m_skippedCount > m_skipped.size())
            text += QStringLiteral("\r(e mais %1)").arg(m_skippedCount - m_skipped.size());
        m_prompter.warning(text);
    }
    return outcome;
}

void FolderScan::endTransactionAfterError(Transaction *transaction, const QString &message)
{
    // The rows posted before the error stay: what is still open is committed.
    QString commitError;
    if (transaction && transaction->active() && m_store.Conexao.inTransaction()) {
        try {
            transaction->commit();
        } catch (const DbError &e) {
            commitError = e.message(); // the transaction then rolls back
        }
    }
    m_prompter.error(message);
    if (!commitError.isEmpty())
        m_prompter.error(commitError);
}

void FolderScan::releaseStatements()
{
    if (!m_sql)
        return;
    m_sql.reset();
    sqlite3_exec(m_store.Conexao.handle(), dropStaging, nullptr, nullptr, nullptr);
}

void FolderScan::refreshTables()
{
    for (RecordSet *set : { &m_store.TPictures, &m_store.TStorages }) {
        try {
            if (set->state() == RecordSet::State::Insert || set->state() == RecordSet::State::Edit)
                set->cancel();
            if (set->isOpen())
                set->refresh();
        } catch (const DbError &) {
            // A table that cannot be re-read shows its old row until the next move.
        }
    }
}

void FolderScan::readMountPoints(const QByteArray &root)
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray prefix = root + '/';
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        const QByteArray point = unescapeMountPath(fields.at(4));
        if (point.startsWith(prefix) && point.size() > prefix.size())
            m_mountPoints.insert(point);
    }
}

void FolderScan::walk()
{
    for (qsizetype i = 0; i < m_folders.size(); ++i) {
        if (cancelRequested())
            return;
        const QByteArray folder = m_folders.at(i);
        const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (i == 0 ? 0 : O_NOFOLLOW);
        const int fd = ::open(folder.isEmpty() ? "/" : folder.constData(), flags);
        if (fd < 0)
            continue; // cannot be listed: passed over
        DIR *dir = fdopendir(fd);
        if (!dir) {
            ::close(fd);
            continue;
        }
        while (const dirent *entry = readdir(dir)) {
            const char *name = entry->d_name;
            if (name[0] != '.') {
                bool isDirectory = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN) {
                    struct stat st;
                    isDirectory
                        = fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
                }
                if (isDirectory) {
                    const size_t length = std::strlen(name);
                    if (!isValidUtf8(name, length)) {
                        skip(folder, name, length);
                    } else {
                        QByteArray path = folder;
                        path.reserve(folder.size() + qsizetype(length) + 1);
                        path += '/';
                        path.append(name, qsizetype(length));
                        // A mounted volume is another drive, with its own storage.
                        if (m_mountPoints.isEmpty() || !m_mountPoints.contains(path))
                            m_folders.append(path);
                    }
                }
            }
            m_progress.pump();
            if (cancelRequested())
                break;
        }
        closedir(dir);
    }
}

void FolderScan::loadFormats()
{
    Query query(m_store.Conexao);
    query.setSql(QStringLiteral("SELECT Extension, Variation FROM Formats ORDER BY rowid"));
    query.open();
    while (!query.eof()) {
        const FormatRow row { query.asString(QStringLiteral("Extension")),
            query.asString(QStringLiteral("Variation")) };
        m_formats.append(row);
        m_extensionList += QLatin1Char('.') + row.extension;
        if (!row.variation.trimmed().isEmpty())
            m_variationList += QLatin1Char('.') + row.variation;
        query.next();
    }
    query.close();
    m_extensionList += m_variationList;
}

const FolderScan::Decision &FolderScan::decisionFor(const QByteArray &extension)
{
    auto it = m_decisions.constFind(extension);
    if (it != m_decisions.cend())
        return *it;
    Decision decision;
    if (isValidUtf8(extension.constData(), size_t(extension.size()))) {
        QString ext = QString::fromUtf8(extension).toLower();
        if (occursIn(m_variationList, ext)) {
            ext.remove(0, 1);
            for (const FormatRow &row : std::as_const(m_formats)) {
                if (row.variation.compare(ext, Qt::CaseInsensitive) == 0) {
                    ext = QLatin1Char('.') + row.extension.trimmed();
                    break;
                }
            }
        }
        if (occursIn(m_extensionList, ext)) {
            if (ext.startsWith(QLatin1Char('.')))
                ext.remove(0, 1);
            decision.taken = true;
            decision.fileType = ext.toUtf8();
        }
    }
    // The key may point into the directory entry: keep a copy of its bytes.
    return *m_decisions.insert(QByteArray(extension.constData(), extension.size()), decision);
}

void FolderScan::capturePictureDefaults()
{
    // The store's insert defaults apply first; the scan then sets its own columns.
    static const char *const scanColumns[] = { "Collection", "Category", "Name", "FileName",
        "FileSize", "Created", "Modified", "FullPath", "FileType", "Location", "Review" };
    QStringList extraColumns;
    QList<QVariant> extraValues;
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
                extraColumns << QLatin1Char('"') + field + QLatin1Char('"');
                extraValues << v;
            }
        } catch (...) {
            pictures.cancel();
            throw;
        }
        pictures.cancel();
    }

    sqlite3 *db = m_store.Conexao.handle();
    m_sql = std::make_unique<Statements>();
    m_sql->locate = std::make_unique<Statement>(db,
        "SELECT RecId, FileSize, Modified, Name FROM Pictures"
        " WHERE FileName = ?1 COLLATE NOCASE AND Created = ?2");
    m_sql->update = std::make_unique<Statement>(
        db, "UPDATE Pictures SET FileSize = ?1, Modified = ?2, Review = 1 WHERE RecId = ?3");
    QByteArray insert
        = "INSERT INTO Pictures (Collection, Category, Name, FileName, FileSize, Created,"
          " Modified, FullPath, FileType, Location, Review";
    for (const QString &column : std::as_const(extraColumns))
        insert += ", " + column.toUtf8();
    insert += ") SELECT ?1, ?2, Name, FileName, FileSize, Created, Modified, FullPath, FileType, "
              "?3, 1";
    for (int i = 0; i < extraColumns.size(); ++i)
        insert += ", ?" + QByteArray::number(4 + i);
    insert += " FROM temp.qm_scan_staging";
    const QByteArray one
        = insert + " WHERE rowid = ?" + QByteArray::number(4 + extraColumns.size());

    sqlite3_exec(db, dropStaging, nullptr, nullptr, nullptr);
    char *error = nullptr;
    if (sqlite3_exec(db, createStaging, nullptr, nullptr, &error) != SQLITE_OK) {
        const DbError e(error ? QString::fromUtf8(error) : QString(), sqlite3_extended_errcode(db));
        sqlite3_free(error);
        throw e;
    }
    m_sql->stage = std::make_unique<Statement>(db,
        "INSERT INTO temp.qm_scan_staging (Name, FileName, FileSize, Created, Modified, FullPath,"
        " FileType) VALUES (?1, ?2, ?3, ?4, ?4, ?5, ?6)");
    m_sql->restage = std::make_unique<Statement>(
        db, "UPDATE temp.qm_scan_staging SET FileSize = ?1, Modified = ?2 WHERE rowid = ?3");
    m_sql->insertStaged = std::make_unique<Statement>(
        db, QByteArray(insert + " ORDER BY rowid RETURNING RecId").constData());
    m_sql->insertOneStaged = std::make_unique<Statement>(db, one.constData());
    m_sql->clearStaged = std::make_unique<Statement>(db, "DELETE FROM temp.qm_scan_staging");
    m_sql->extraValues = extraValues;
}

void FolderScan::filePass()
{
    while (m_next < m_folders.size() && !cancelRequested()) {
        const QByteArray folder = m_folders.at(m_next);
        if (folder != m_thumbnailFolder)
            examineFolder(folder);
        ++m_next;
        m_progress.pump();
    }
    m_folders.clear();
    m_next = 0;
    if (cancelRequested())
        abandonPending();
    else
        flushPending();
    setStatus(countsText());
}

void FolderScan::examineFolder(const QByteArray &folder)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (m_next == 0 ? 0 : O_NOFOLLOW);
    const int fd = ::open(folder.isEmpty() ? "/" : folder.constData(), flags);
    if (fd < 0)
        return;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    const QByteArray fullPath = folder + '/';
    try {
        while (const dirent *entry = readdir(dir)) {
            const char *name = entry->d_name;
            if (name[0] != '.' && (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN))
                examineFile(fd, name, std::strlen(name), fullPath);
            m_progress.pump();
            if (cancelRequested())
                break;
        }
    } catch (...) {
        closedir(dir);
        throw;
    }
    closedir(dir);
}

void FolderScan::examineFile(int dirFd, const char *name, size_t length, const QByteArray &fullPath)
{
    const char *dot = static_cast<const char *>(memrchr(name, '.', length));
    // No extension, or a name that ends in its dot: nothing to match.
    if (!dot || dot == name + length - 1)
        return;
    const Decision &decision
        = decisionFor(QByteArray::fromRawData(dot, qsizetype(name + length - dot)));
    if (!decision.taken)
        return;
    struct stat st;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return; // gone since it was listed, or not an ordinary file
    if (!isValidUtf8(name, length)) {
        skip(fullPath.left(fullPath.size() - 1), name, length);
        return;
    }
    ++m_tracked;

    if (!m_storageChosen) {
        chooseStorage();
        m_storageChosen = true;
    }

    const QByteArray time = fileTimeText(st);
    const qint64 size = qint64(st.st_size);
    const Counters before { m_tracked - 1, m_added, m_found };

    // A row of this scan still waiting for its insert is found like any other.
    const QByteArray key = identityKey(name, length, time);
    const auto pending = m_pendingKeys.constFind(key);
    if (pending != m_pendingKeys.cend()) {
        Statement &restage = *m_sql->restage;
        restage.integer(1, size);
        restage.text(2, time);
        restage.integer(3, m_pending.at(*pending).staged);
        restage.step();
        restage.reset();
        ++m_found;
        statusAfterFile();
        return;
    }

    Statement &locate = *m_sql->locate;
    locate.text(1, name, qsizetype(length));
    locate.text(2, time);
    if (locate.step()) {
        // The first match in the order of the Pictures table (Name, then RecId); the index
        // gives the matches unordered, and there is hardly ever more than one.
        qint64 recId = locate.columnInt(0);
        bool sameSize = !locate.columnIsNull(1) && locate.columnInt(1) == size;
        QByteArray modified = locate.columnText(2);
        QByteArray firstName = locate.columnText(3);
        bool firstNameNull = locate.columnIsNull(3);
        while (locate.step()) {
            const QByteArray otherName = locate.columnText(3);
            const bool otherNull = locate.columnIsNull(3);
            const int order = otherNull || firstNameNull ? int(firstNameNull) - int(otherNull)
                                                         : compareNoCase(otherName, firstName);
            if (order < 0 || (order == 0 && locate.columnInt(0) < recId)) {
                recId = locate.columnInt(0);
                sameSize = !locate.columnIsNull(1) && locate.columnInt(1) == size;
                modified = locate.columnText(2);
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
            flushPending(); // the catalogue is written in file order
            Statement &update = *m_sql->update;
            update.integer(1, size);
            update.text(2, time);
            update.integer(3, recId);
            update.step();
            update.reset();
            postedRow();
        }
        ++m_found;
        if (m_pending.isEmpty())
            deleteThumbnail(recId);
        else
            m_events.append({ -1, recId });
        statusAfterFile();
        return;
    }
    locate.reset();

    Statement &stage = *m_sql->stage;
    stage.text(1, name, qsizetype(dot - name));
    stage.text(2, name, qsizetype(length));
    stage.integer(3, size);
    stage.text(4, time);
    stage.text(5, fullPath);
    stage.text(6, decision.fileType);
    stage.step();
    stage.reset();
    const qint64 staged = sqlite3_last_insert_rowid(m_store.Conexao.handle());
    m_pendingKeys.insert(key, int(m_pending.size()));
    m_events.append({ int(m_pending.size()), 0 });
    m_pending.append({ staged, before });
    ++m_added;
    if (m_pending.size() >= stagedRowsPerInsert)
        flushPending();
    statusAfterFile();
}

void FolderScan::abandonPending()
{
    // The staged rows go with the rollback; the thumbnails of the catalogued files examined
    // meanwhile go as they would have gone at once.
    for (const PendingEvent &e : std::as_const(m_events)) {
        if (e.row < 0)
            deleteThumbnail(e.thumbnail);
    }
    clearPending();
}

void FolderScan::clearPending()
{
    if (!m_pending.isEmpty() && m_sql && m_sql->clearStaged) {
        m_sql->clearStaged->step();
        m_sql->clearStaged->reset();
    }
    m_pending.clear();
    m_pendingKeys.clear();
    m_events.clear();
}

void FolderScan::flushPending()
{
    if (m_pending.isEmpty())
        return;
    Statement &insert = *m_sql->insertStaged;
    bindConstants(insert, m_request, m_location, m_sql->extraValues);
    QList<qint64> keys;
    keys.reserve(m_pending.size());
    try {
        while (insert.step())
            keys << insert.columnInt(0);
        insert.reset();
    } catch (const DbError &) {
        // The statement wrote nothing: write the rows one at a time, so that the rows
        // before the one that fails stay, as with a post per row.
        insert.reset();
        insertPendingOneByOne();
        return;
    }
    postedRow();
    for (qint64 k : std::as_const(keys))
        deleteThumbnail(k);
    for (const PendingEvent &e : std::as_const(m_events)) {
        if (e.row < 0)
            deleteThumbnail(e.thumbnail);
    }
    clearPending();
}

void FolderScan::insertPendingOneByOne()
{
    Statement &one = *m_sql->insertOneStaged;
    const int rowParameter = 4 + int(m_sql->extraValues.size());
    for (const PendingEvent &e : std::as_const(m_events)) {
        if (e.row < 0) {
            deleteThumbnail(e.thumbnail);
            continue;
        }
        const PendingRow &r = m_pending.at(e.row);
        bindConstants(one, m_request, m_location, m_sql->extraValues);
        one.integer(rowParameter, r.staged);
        try {
            one.step();
        } catch (const DbError &) {
            one.reset();
            // The pass ends at this file: it was tracked, not added, and the files after
            // it were never examined.
            m_tracked = r.before.tracked + 1;
            m_added = r.before.added;
            m_found = r.before.found;
            clearPending();
            throw;
        }
        one.reset();
        postedRow();
        deleteThumbnail(sqlite3_last_insert_rowid(m_store.Conexao.handle()));
    }
    clearPending();
}

void FolderScan::chooseStorage()
{
    const bool added = StorageForDrive(
        m_store, m_drive, [this] { return driveEntryText ? driveEntryText() : m_drive; });
    if (added)
        postedRow();
    m_location = m_store.TStorages.asInt(QStringLiteral("RecId"));
}

void FolderScan::readThumbnails()
{
    // One listing of the thumbnail folder spares a failing unlink per file scanned.
    m_thumbnails.clear();
    const QFileInfo sample(m_store.GetThumbnailName(1));
    DIR *dir = ::opendir(QFile::encodeName(sample.absolutePath()).constData());
    if (!dir)
        return;
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        const size_t length = std::strlen(name);
        size_t digits = 0;
        while (digits < length && name[digits] >= '0' && name[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 18)
            continue;
        const qint64 key = QByteArray(name, qsizetype(digits)).toLongLong();
        if (QFileInfo(m_store.GetThumbnailName(key)).fileName() == QFile::decodeName(name))
            m_thumbnails.push_back(key);
    }
    ::closedir(dir);
    std::sort(m_thumbnails.begin(), m_thumbnails.end());
}

void FolderScan::deleteThumbnail(qint64 recId)
{
    if (!std::binary_search(m_thumbnails.cbegin(), m_thumbnails.cend(), recId))
        return;
    const QByteArray file = QFile::encodeName(m_store.GetThumbnailName(recId));
    ::unlink(file.constData());
}
