#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Connection;
class Statement;

// Counts of one scan: files tracked, pictures added, pictures already catalogued.
struct ScanCounts {
    int tracked = 0;
    int added = 0;
    int found = 0;
};

// The new Pictures rows of a scan. They are kept in memory and written many at a time, in
// name order: one statement for hundreds of rows spares the engine a statement journal per
// row, and index entries that arrive in order go in as runs instead of at random places;
// the keys the rows get follow that order. When the catalogue refuses one of them, the rows
// are written again one at a time in file order, so that exactly the rows before the refused
// one stay, as with one post per file. Thumbnails of the new keys, and of the catalogued
// files examined meanwhile, are deleted once the rows before them are written.
class StagedWriter {
public:
    // What every new row of a scan shares.
    struct Constants {
        qint64 collection = 0;
        qint64 category = 0;
        qint64 location = 0; // may be given later, with setLocation
        QStringList extraColumns; // the store's other insert defaults, quoted names
        QList<QVariant> extraValues;
    };

    StagedWriter(Connection &connection, const Constants &constants);
    ~StagedWriter();
    StagedWriter(const StagedWriter &) = delete;
    StagedWriter &operator=(const StagedWriter &) = delete;

    std::function<void(qint64 recId)> removeThumbnail;
    // The storage of the rows, once the scan has chosen it (before the first add).
    void setLocation(qint64 location);
    std::function<void()> rowsPosted;

    // The hash of a file's identity (file name ignoring ASCII case, and time), computed once
    // per file for updateWaiting and add.
    static quint64 identityHash(const char *fileName, qsizetype length, const QByteArray &time);
    // A file the catalogue does not hold yet. `name` ends before the extension's dot of
    // `fileName`; `folder` is the row's FullPath. `before`: the counts before the file.
    void add(quint64 hash, const char *fileName, qsizetype fileNameLength, qsizetype nameLength,
        const QByteArray &time, qint64 size, const QByteArray &folder, const QByteArray &fileType,
        const ScanCounts &before);
    // When a row waiting here has the identity, takes the new size and returns true.
    bool updateWaiting(quint64 hash, const char *fileName, qsizetype fileNameLength,
        const QByteArray &time, qint64 size);
    // The thumbnail of a catalogued file, deleted once the rows before it are written.
    void foundRow(qint64 recId);

    bool isEmpty() const { return m_rows.empty(); }
    bool isFull() const;
    // True once a row has been written: the catalogue's lookups may then find this scan's rows.
    bool hasWritten() const { return m_written; }

    // Writes the waiting rows. Throws DbError when the catalogue refuses one; the rows before
    // it in file order are written, and refusedAt() gives the counts before its file.
    void flush();
    // Drops the waiting rows (a cancelled scan); the thumbnails of the catalogued files
    // examined meanwhile go as they would have gone.
    void abandon();
    std::optional<ScanCounts> refusedAt() const { return m_refusedAt; }

private:
    struct Row {
        quint64 hash = 0;
        qint64 size = 0;
        qsizetype text = 0; // file name, then time, in m_text
        int fileNameLength = 0;
        int nameLength = 0;
        int timeLength = 0;
        int nextInBucket = -1;
        QByteArray folder;
        QByteArray fileType;
        ScanCounts before;
    };
    struct FoundThumbnail {
        size_t rowsBefore = 0;
        qint64 recId = 0;
    };

    const char *fileNameOf(const Row &row) const { return m_text.constData() + row.text; }
    const char *timeOf(const Row &row) const
    {
        return m_text.constData() + row.text + row.fileNameLength;
    }
    void growBuckets();
    std::unique_ptr<Statement> prepareInsert(int rows) const;
    void bindRow(Statement &statement, int slot, const Row &row) const;
    std::vector<qint64> insertInNameOrder();
    void insertOneByOne();
    void clear();

    Connection &m_connection;
    Constants m_constants;
    std::vector<Row> m_rows;
    QByteArray m_text;
    std::vector<int> m_buckets;
    std::vector<FoundThumbnail> m_found;
    std::unique_ptr<Statement> m_chunk; // chunkRows rows at a time
    std::unique_ptr<Statement> m_single;
    bool m_written = false;
    std::optional<ScanCounts> m_refusedAt;
};
