#include "intake/stagedwriter.h"

#include "intake/scanstatement.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/statement.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Rows kept in memory before they are written: about 15 MB.
constexpr size_t rowsPerFlush = 100000;
// Rows of one insert statement (six parameters each, far below the engine's limit).
constexpr int chunkRows = 500;
constexpr int valuesPerRow = 6;
const QString savepoint = QStringLiteral("qm_scan_rows");

char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// SQLite's NOCASE: ASCII letters folded, then the shorter text first.
int compareNoCase(const char *a, int aLength, const char *b, int bLength)
{
    const int common = std::min(aLength, bLength);
    for (int i = 0; i < common; ++i) {
        const unsigned char x = static_cast<unsigned char>(foldAscii(a[i]));
        const unsigned char y = static_cast<unsigned char>(foldAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return aLength - bLength;
}

bool equalNoCase(const char *a, const char *b, qsizetype length)
{
    for (qsizetype i = 0; i < length; ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    }
    return true;
}

} // namespace

StagedWriter::StagedWriter(Connection &connection, const Constants &constants)
    : m_connection(connection), m_constants(constants), m_buckets(1024, -1)
{
    m_chunk = prepareInsert(chunkRows);
    m_single = prepareInsert(1);
}

StagedWriter::~StagedWriter() = default;

void StagedWriter::setLocation(qint64 location)
{
    m_constants.location = location;
    m_chunk->bindInteger(3, location);
    m_single->bindInteger(3, location);
}

bool StagedWriter::isFull() const
{
    return m_rows.size() >= rowsPerFlush;
}

quint64 StagedWriter::identityHash(const char *fileName, qsizetype length, const QByteArray &time)
{
    // FNV-1a over the identity as the catalogue's lookup compares it.
    quint64 h = 14695981039346656037ull;
    auto mix = [&h](unsigned char c) {
        h ^= c;
        h *= 1099511628211ull;
    };
    for (qsizetype i = 0; i < length; ++i)
        mix(static_cast<unsigned char>(foldAscii(fileName[i])));
    mix(0);
    for (char c : time)
        mix(static_cast<unsigned char>(c));
    return h ^ (h >> 29);
}

void StagedWriter::growBuckets()
{
    m_buckets.assign(m_buckets.size() * 2, -1);
    for (size_t i = 0; i < m_rows.size(); ++i) {
        Row &row = m_rows[i];
        const size_t bucket = size_t(row.hash) & (m_buckets.size() - 1);
        row.nextInBucket = m_buckets[bucket];
        m_buckets[bucket] = int(i);
    }
}

void StagedWriter::add(quint64 hash, const char *fileName, qsizetype fileNameLength,
    qsizetype nameLength, const QByteArray &time, qint64 size, const QByteArray &folder,
    const QByteArray &fileType, const ScanCounts &before)
{
    if (m_rows.size() * 4 >= m_buckets.size() * 3)
        growBuckets();
    Row row;
    row.hash = hash;
    row.size = size;
    row.text = m_text.size();
    row.fileNameLength = int(fileNameLength);
    row.nameLength = int(nameLength);
    row.timeLength = int(time.size());
    row.folder = folder;
    row.fileType = fileType;
    row.before = before;
    m_text.append(fileName, fileNameLength);
    m_text.append(time);
    const size_t bucket = size_t(hash) & (m_buckets.size() - 1);
    row.nextInBucket = m_buckets[bucket];
    m_buckets[bucket] = int(m_rows.size());
    m_rows.push_back(std::move(row));
}

bool StagedWriter::updateWaiting(quint64 hash, const char *fileName, qsizetype fileNameLength,
    const QByteArray &time, qint64 size)
{
    for (int i = m_buckets[size_t(hash) & (m_buckets.size() - 1)]; i >= 0;
         i = m_rows[size_t(i)].nextInBucket) {
        Row &row = m_rows[size_t(i)];
        if (row.hash != hash || row.fileNameLength != fileNameLength
            || row.timeLength != time.size()
            || std::memcmp(timeOf(row), time.constData(), size_t(time.size())) != 0
            || !equalNoCase(fileNameOf(row), fileName, fileNameLength))
            continue;
        // Same name and time: only the size can follow the later file.
        row.size = size;
        return true;
    }
    return false;
}

void StagedWriter::foundRow(qint64 recId)
{
    if (m_rows.empty()) {
        if (removeThumbnail)
            removeThumbnail(recId);
        return;
    }
    m_found.push_back({ m_rows.size(), recId });
}

std::unique_ptr<Statement> StagedWriter::prepareInsert(int rows) const
{
    QByteArray sql = "INSERT INTO Pictures (Collection, Category, Location, Review";
    for (const QString &column : m_constants.extraColumns)
        sql += ", " + column.toUtf8();
    sql += ", Name, FileName, FileSize, Created, Modified, FullPath, FileType) VALUES ";
    const int first = 4 + int(m_constants.extraValues.size());
    QByteArray constants = "?1, ?2, ?3, TRUE";
    for (int i = 0; i < m_constants.extraValues.size(); ++i)
        constants += ", ?" + QByteArray::number(4 + i);
    for (int r = 0; r < rows; ++r) {
        const int p = first + r * valuesPerRow;
        sql += r == 0 ? "(" : ", (";
        sql += constants;
        for (int v : { 0, 1, 2, 3, 3, 4, 5 })
            sql += ", ?" + QByteArray::number(p + v);
        sql += ')';
    }
    sql += " RETURNING RecId";
    auto statement
        = std::make_unique<Statement>(m_connection, sql, Statement::Lifetime::Persistent);
    // The leading parameters stay bound for the writer's life: runs end with rewind().
    statement->bindInteger(1, m_constants.collection);
    statement->bindInteger(2, m_constants.category);
    statement->bindInteger(3, m_constants.location);
    for (int i = 0; i < m_constants.extraValues.size(); ++i)
        scanstatement::bindValue(*statement, 4 + i, m_constants.extraValues.at(i));
    return statement;
}

void StagedWriter::bindRow(Statement &statement, int slot, const Row &row) const
{
    using scanstatement::bindText;
    const int p = 4 + int(m_constants.extraValues.size()) + slot * valuesPerRow;
    bindText(statement, p, fileNameOf(row), row.nameLength);
    bindText(statement, p + 1, fileNameOf(row), row.fileNameLength);
    statement.bindInteger(p + 2, row.size);
    bindText(statement, p + 3, timeOf(row), row.timeLength);
    bindText(statement, p + 4, row.folder);
    bindText(statement, p + 5, row.fileType);
}

void StagedWriter::flush()
{
    m_refusedAt.reset();
    if (!m_rows.empty()) {
        std::vector<qint64> keys;
        m_connection.exec(QStringLiteral("SAVEPOINT ") + savepoint);
        try {
            keys = insertInNameOrder();
            m_connection.exec(QStringLiteral("RELEASE ") + savepoint);
        } catch (const DbError &) {
            // An engine that ended the whole transaction (a full disk) leaves nothing to retry.
            if (!m_connection.inTransaction())
                throw;
            // Nothing of this flush stays: the rows go again one at a time, in file order.
            m_connection.exec(QStringLiteral("ROLLBACK TO ") + savepoint);
            m_connection.exec(QStringLiteral("RELEASE ") + savepoint);
            insertOneByOne();
            return;
        }
        m_written = true;
        if (rowsPosted)
            rowsPosted();
        if (removeThumbnail) {
            for (qint64 key : keys)
                removeThumbnail(key);
        }
    }
    if (removeThumbnail) {
        for (const FoundThumbnail &f : m_found)
            removeThumbnail(f.recId);
    }
    clear();
}

std::vector<qint64> StagedWriter::insertInNameOrder()
{
    // The first eight bytes of each name, folded and read big-endian, decide most
    // comparisons at the cost of one integer compare.
    struct Entry {
        quint64 prefix;
        int row;
    };
    std::vector<Entry> entries(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const Row &row = m_rows[i];
        quint64 prefix = 0;
        const char *name = fileNameOf(row);
        for (int b = 0; b < 8; ++b) {
            const unsigned char c = b < row.nameLength ? foldAscii(name[b]) : 0;
            prefix = (prefix << 8) | c;
        }
        entries[i] = { prefix, int(i) };
    }
    std::sort(entries.begin(), entries.end(), [this](const Entry &a, const Entry &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const Row &x = m_rows[size_t(a.row)];
        const Row &y = m_rows[size_t(b.row)];
        const int c = compareNoCase(fileNameOf(x), x.nameLength, fileNameOf(y), y.nameLength);
        return c != 0 ? c < 0 : a.row < b.row;
    });
    std::vector<int> order(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        order[i] = entries[i].row;
    std::vector<qint64> keys;
    keys.reserve(m_rows.size());
    std::unique_ptr<Statement> rest;
    for (size_t done = 0; done < order.size();) {
        const int rows = int(std::min<size_t>(chunkRows, order.size() - done));
        if (rows < chunkRows)
            rest = prepareInsert(rows);
        Statement &insert = rows == chunkRows ? *m_chunk : *rest;
        for (int r = 0; r < rows; ++r)
            bindRow(insert, r, m_rows[size_t(order[done + size_t(r)])]);
        try {
            while (insert.step())
                keys.push_back(insert.integer(0));
        } catch (...) {
            insert.rewind();
            throw;
        }
        insert.rewind();
        done += size_t(rows);
    }
    return keys;
}

void StagedWriter::insertOneByOne()
{
    size_t nextFound = 0;
    auto foundBefore = [&](size_t row) {
        for (; nextFound < m_found.size() && m_found[nextFound].rowsBefore <= row; ++nextFound) {
            if (removeThumbnail)
                removeThumbnail(m_found[nextFound].recId);
        }
    };
    for (size_t i = 0; i < m_rows.size(); ++i) {
        foundBefore(i);
        const Row &row = m_rows[i];
        Statement &insert = *m_single;
        bindRow(insert, 0, row);
        qint64 key = 0;
        try {
            while (insert.step())
                key = insert.integer(0);
            insert.rewind();
        } catch (const DbError &) {
            insert.rewind();
            m_refusedAt = row.before;
            clear();
            throw;
        }
        m_written = true;
        if (rowsPosted)
            rowsPosted();
        if (removeThumbnail)
            removeThumbnail(key);
    }
    foundBefore(m_rows.size());
    clear();
}

void StagedWriter::abandon()
{
    for (const FoundThumbnail &f : m_found) {
        if (removeThumbnail)
            removeThumbnail(f.recId);
    }
    clear();
}

void StagedWriter::clear()
{
    m_rows.clear();
    m_text.clear();
    m_found.clear();
    std::fill(m_buckets.begin(), m_buckets.end(), -1);
}
