#include "store/thumbnailstore.h"

#include "core/ownedtemporary.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/dialect.h"
#include "store/statement.h"
#include "store/transaction.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const kTable = "PictureThumbnails";
constexpr int kBatch = 200; // pictures asked for in one statement

// The thumbnail files of the catalogue file: nothing beyond the folder.
class FileThumbnails final : public ThumbnailStore {
public:
    FileThumbnails(Connection &connection, const QString &folder)
        : ThumbnailStore(connection, folder)
    {
    }
};

// When a cached copy's thumbnail was made (its modification time), in milliseconds; -1 when
// there is no copy.
qint64 stampOf(const QString &file)
{
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

bool setStamp(const QByteArray &path, qint64 made)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(made / 1000);
    times[1].tv_nsec = long(made % 1000) * 1000000;
    return ::utimensat(AT_FDCWD, path.constData(), times, 0) == 0;
}

// Puts bytes in place under target in one step, stamped with made: written under a
// temporary of this process and renamed, so no reader ever sees half a copy.
bool writeCopy(const QString &target, const QByteArray &bytes, qint64 made)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        const QString temporary = OwnedTemporary::nameFor(target);
        const QByteArray path = QFile::encodeName(temporary);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        OwnedTemporary owned(path);
        bool ok = true;
        const char *data = bytes.constData();
        qsizetype left = bytes.size();
        while (ok && left > 0) {
            const ssize_t n = ::write(fd, data, size_t(left));
            if (n < 0 && errno != EINTR)
                ok = false;
            else if (n > 0) {
                data += n;
                left -= n;
            }
        }
        ok = ::close(fd) == 0 && ok;
        ok = ok && setStamp(path, made);
        ok = ok && std::rename(path.constData(), QFile::encodeName(target).constData()) == 0;
        if (!ok)
            ::unlink(path.constData());
        return ok;
    }
    return false;
}

QString keyList(const QList<qint64> &keys, qsizetype from, qsizetype count)
{
    QStringList out;
    for (qsizetype i = from; i < from + count && i < keys.size(); ++i)
        out << QString::number(keys.at(i));
    return out.join(QLatin1Char(','));
}

// The server's thumbnails in a table of their own; the folder is this machine's cache.
class ServerThumbnails final : public ThumbnailStore {
public:
    ServerThumbnails(Connection &connection, const QString &folder)
        : ThumbnailStore(connection, folder)
    {
    }

    void kept(const QList<qint64> &pictures) override
    {
        if (pictures.isEmpty() || m_connection.isReadOnly())
            return;
        // Many at once in one transaction of their own, unless the caller has one.
        std::optional<Transaction> transaction;
        if (pictures.size() > 1 && !m_connection.inTransaction())
            transaction.emplace(m_connection);
        ensureTable();
        // A picture deleted meanwhile gets no row: its thumbnail went with it.
        Statement put(m_connection,
            QStringLiteral("INSERT INTO PictureThumbnails (Picture, Made, Thumbnail)"
                           " SELECT ?1, ?2, ?3 WHERE EXISTS (SELECT 1 FROM Pictures WHERE RecId = ?1)"
                           " ON CONFLICT (Picture) DO UPDATE SET Made = excluded.Made,"
                           " Thumbnail = excluded.Thumbnail"));
        for (const qint64 picture : pictures) {
            const QString file = fileOf(picture);
            QFile in(file);
            if (!in.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = in.readAll();
            in.close();
            if (bytes.isEmpty())
                continue;
            // Never the stamp the copy already carries: a copy fetched before is then told
            // from the one made now.
            qint64 made = QDateTime::currentMSecsSinceEpoch();
            if (made == stampOf(file))
                ++made;
            Statement::Reset done(put);
            put.bindInteger(1, picture);
            put.bindInteger(2, made);
            put.bind(3, bytes);
            put.exec();
            setStamp(QFile::encodeName(file), made);
        }
        if (transaction)
            transaction->commit();
    }

    void refresh(const QList<qint64> &pictures) override
    {
        if (pictures.isEmpty())
            return;
        const bool table = hasTable();
        for (qsizetype from = 0; from < pictures.size(); from += kBatch) {
            const QString keys = keyList(pictures, from, kBatch);
            QHash<qint64, qint64> made; // picture -> its thumbnail's time, -1 for none
            {
                Statement s(m_connection,
                    table ? QStringLiteral("SELECT P.RecId, T.Made FROM Pictures P"
                                           " LEFT JOIN PictureThumbnails T ON T.Picture = P.RecId"
                                           " WHERE P.RecId IN (%1)")
                                .arg(keys)
                          : QStringLiteral("SELECT RecId, NULL FROM Pictures WHERE RecId IN (%1)")
                                .arg(keys));
                Statement::Reset done(s);
                while (s.step())
                    made.insert(s.integer(0), s.isNull(1) ? -1 : s.integer(1));
            }
            QList<qint64> stale;
            for (qsizetype i = from; i < from + kBatch && i < pictures.size(); ++i) {
                const qint64 picture = pictures.at(i);
                const auto it = made.constFind(picture);
                if (it == made.cend())
                    QFile::remove(fileOf(picture)); // the picture has left the catalogue
                else if (*it >= 0 && stampOf(fileOf(picture)) != *it)
                    stale << picture;
            }
            if (stale.isEmpty())
                continue;
            Statement s(m_connection,
                QStringLiteral(
                    "SELECT Picture, Made, Thumbnail FROM PictureThumbnails WHERE Picture IN (%1)")
                    .arg(keyList(stale, 0, stale.size())));
            Statement::Reset done(s);
            if (!stale.isEmpty())
                QDir().mkpath(m_folder);
            while (s.step())
                writeCopy(fileOf(s.integer(0)), s.value(2).toByteArray(), s.integer(1));
        }
    }

    void forget(const QList<qint64> &pictures) override
    {
        if (pictures.isEmpty() || !hasTable())
            return;
        for (qsizetype from = 0; from < pictures.size(); from += kBatch)
            Statement(m_connection,
                QStringLiteral("DELETE FROM PictureThumbnails WHERE Picture IN (%1)")
                    .arg(keyList(pictures, from, kBatch)))
                .exec();
    }

    QSet<qint64> keptPictures() override
    {
        QSet<qint64> out;
        if (!hasTable())
            return out;
        Statement s(m_connection, QStringLiteral("SELECT Picture FROM PictureThumbnails"));
        Statement::Reset done(s);
        while (s.step())
            out.insert(s.integer(0));
        return out;
    }

    int keepMissing() override
    {
        if (m_connection.isReadOnly())
            return 0;
        const QList<qint64> present = filesPresent().values();
        if (present.isEmpty())
            return 0;
        ensureTable();
        // A picture still to review has a stale copy at best (a rescan on another machine
        // deleted the server's); its review gives the server the new one.
        QList<qint64> missing;
        for (qsizetype from = 0; from < present.size(); from += kBatch) {
            Statement s(m_connection,
                QStringLiteral("SELECT P.RecId FROM Pictures P WHERE P.RecId IN (%1) AND "
                               "P.Review = FALSE AND NOT EXISTS (SELECT 1 FROM "
                               "PictureThumbnails T WHERE T.Picture = P.RecId)")
                    .arg(keyList(present, from, kBatch)));
            Statement::Reset done(s);
            while (s.step())
                missing << s.integer(0);
        }
        kept(missing);
        return int(missing.size());
    }

private:
    bool hasTable()
    {
        if (!m_hasTable)
            m_hasTable = m_connection.hasTable(QString::fromLatin1(kTable));
        return m_hasTable;
    }

    // Made by `create`; an older server catalogue gets it with its first thumbnail.
    void ensureTable()
    {
        if (hasTable())
            return;
        m_connection.exec(createSql());
        m_hasTable = true;
    }

public:
    static QString createSql()
    {
        return QStringLiteral("CREATE TABLE IF NOT EXISTS PictureThumbnails ("
                              " Picture INTEGER PRIMARY KEY REFERENCES Pictures (RecId) ON DELETE CASCADE,"
                              " Made INTEGER NOT NULL,"
                              " Thumbnail BLOB NOT NULL)");
    }

private:
    bool m_hasTable = false;
};

} // namespace

std::unique_ptr<ThumbnailStore> ThumbnailStore::of(Connection &connection, const QString &folder)
{
    if (connection.isOpen() && connection.dialect().keepsThumbnails())
        return std::make_unique<ServerThumbnails>(connection, folder);
    return std::make_unique<FileThumbnails>(connection, folder);
}

QString ThumbnailStore::tableSql()
{
    return ServerThumbnails::createSql();
}

QString ThumbnailStore::fileName(qint64 picture)
{
    return QStringLiteral("%1.jpg").arg(picture, 8, 10, QLatin1Char('0'));
}

qint64 ThumbnailStore::pictureOf(const QString &fileName)
{
    if (!fileName.endsWith(QLatin1String(".jpg")))
        return 0;
    bool ok = false;
    const qint64 key = QStringView(fileName).chopped(4).toLongLong(&ok);
    return ok && key > 0 && ThumbnailStore::fileName(key) == fileName ? key : 0;
}

QString ThumbnailStore::fileOf(qint64 picture) const
{
    return QDir(m_folder).filePath(fileName(picture));
}

QSet<qint64> ThumbnailStore::filesPresent() const
{
    QSet<qint64> out;
    const QStringList names = QDir(m_folder).entryList({ QStringLiteral("*.jpg") }, QDir::Files);
    for (const QString &name : names) {
        if (const qint64 key = pictureOf(name))
            out.insert(key);
    }
    return out;
}

int ThumbnailStore::fetchAll()
{
    QList<qint64> pictures = keptPictures().values();
    std::sort(pictures.begin(), pictures.end());
    refresh(pictures);
    return int(pictures.size());
}
