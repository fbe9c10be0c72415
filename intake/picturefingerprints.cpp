#include "intake/picturefingerprints.h"

#include "intake/perceptualhash.h"
#include "store/connection.h"
#include "store/statement.h"

#include <QImage>

namespace {

const char *const createStatements[] = {
    "CREATE TABLE IF NOT EXISTS PictureFingerprints ("
    " Picture INTEGER NOT NULL PRIMARY KEY REFERENCES Pictures (RecId) ON DELETE CASCADE,"
    " FileSize INTEGER NOT NULL,"
    " Modified DATETIME,"
    " Sample INTEGER NOT NULL,"
    " Content BLOB,"
    " Perceptual INTEGER)",
    // Exact copies share size and samples; the similar ones are found from the hashes alone.
    "CREATE INDEX IF NOT EXISTS PictureFingerprints_Sample"
    " ON PictureFingerprints (FileSize, Sample)",
    "CREATE INDEX IF NOT EXISTS PictureFingerprints_Perceptual"
    " ON PictureFingerprints (Perceptual) WHERE Perceptual IS NOT NULL",
};

} // namespace

PictureFingerprints::Entry PictureFingerprints::entryOf(qint64 picture, const QDateTime &modified,
    const QString &path, const QByteArray *wholeFile, const QImage &thumbnail)
{
    Entry e;
    e.picture = picture;
    e.modified = modified;
    if (wholeFile)
        e.content = ContentFingerprint::ofBytes(*wholeFile);
    else if (std::optional<ContentFingerprint> sampled = ContentFingerprint::sampledFile(path))
        e.content = *sampled;
    quint64 hash = 0;
    if (perceptualhash::of(thumbnail, hash))
        e.perceptual = hash;
    return e;
}

bool PictureFingerprints::exists(Connection &connection)
{
    return connection.hasTable(QStringLiteral("PictureFingerprints"));
}

PictureFingerprints::Writer::Writer(Connection &connection) : m_connection(connection) { }

void PictureFingerprints::createTable(Connection &connection)
{
    for (const char *sql : createStatements)
        connection.exec(QString::fromUtf8(sql));
}

PictureFingerprints::Writer::~Writer() = default;

void PictureFingerprints::Writer::record(const Entry &entry)
{
    if (!entry.content.isValid() && !entry.perceptual)
        return;
    if (!m_put) {
        createTable(m_connection);
        m_put = std::make_unique<Statement>(m_connection,
            QStringLiteral("INSERT INTO PictureFingerprints"
                           " (Picture, FileSize, Modified, Sample, Content, Perceptual)"
                           " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"
                           " ON CONFLICT (Picture) DO UPDATE SET FileSize = excluded.FileSize,"
                           " Modified = excluded.Modified, Sample = excluded.Sample,"
                           " Content = excluded.Content, Perceptual = excluded.Perceptual"),
            Statement::Lifetime::Persistent);
    }
    Statement &put = *m_put;
    Statement::Reset done(put);
    put.bindInteger(1, entry.picture);
    // Without a readable file only the look is known: a size of -1 matches no copy.
    put.bindInteger(2, entry.content.isValid() ? entry.content.size : -1);
    put.bind(3, entry.modified.isValid() ? QVariant(entry.modified) : QVariant());
    put.bindInteger(4, qint64(entry.content.sample));
    put.bind(5, entry.content.isWhole() ? QVariant(entry.content.content) : QVariant());
    if (entry.perceptual)
        put.bindInteger(6, qint64(*entry.perceptual));
    else
        put.bindNull(6);
    put.exec();
}

void PictureFingerprints::record(Connection &connection, const Entry &entry)
{
    Writer(connection).record(entry);
}
