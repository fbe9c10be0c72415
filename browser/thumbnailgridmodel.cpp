#include "browser/thumbnailgridmodel.h"

#include "store/connection.h"
#include "store/dberror.h"
#include "store/statement.h"
#include "store/thumbnailstore.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QTimer>

#include <climits>

namespace {

// Each worker thread keeps one connection to the catalogue it last read.
struct WorkerConnection {
    QString path;
    std::unique_ptr<Connection> connection;
    QString folder;
    std::unique_ptr<ThumbnailStore> thumbnails;
};
thread_local WorkerConnection t_connection;

Connection &workerConnection(const QString &path)
{
    if (!t_connection.connection || t_connection.path != path) {
        t_connection.thumbnails.reset();
        t_connection.connection.reset();
        auto c = std::make_unique<Connection>();
        c->openFile(path);
        t_connection.connection = std::move(c);
        t_connection.path = path;
    }
    return *t_connection.connection;
}

// The thumbnails of the catalogue workerConnection() last opened.
ThumbnailStore &workerThumbnails(const QString &folder)
{
    if (!t_connection.thumbnails || t_connection.folder != folder) {
        t_connection.thumbnails = ThumbnailStore::of(*t_connection.connection, folder);
        t_connection.folder = folder;
    }
    return *t_connection.thumbnails;
}

// The thumbnail file as the grid shows it: scaled down to the side, never up. The name is
// the store's (GetThumbnailName): the key zero-filled to 8 digits.
QImage readThumbnail(const QString &folder, qint64 key, int side)
{
    const QString file
        = QDir(folder).filePath(QStringLiteral("%1.jpg").arg(key, 8, 10, QLatin1Char('0')));
    QImageReader reader(file);
    const QSize size = reader.size(); // invalid for a missing or unreadable file
    if (size.isValid() && (size.width() > side || size.height() > side))
        reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > side || image.height() > side))
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

ThumbnailGridModel::ThumbnailGridModel(QObject *parent)
    : QAbstractListModel(parent), m_current(std::make_shared<std::atomic<quint64>>(0))
{
    m_pool.setMaxThreadCount(2);
    m_pool.setExpiryTimeout(10000);
    m_cache.setMaxCost(64 * 1024);
}

ThumbnailGridModel::~ThumbnailGridModel()
{
    m_current->store(~quint64(0));
    m_pool.clear();
    m_pool.waitForDone();
}

void ThumbnailGridModel::setCatalogue(const QString &catalogueFile, const QString &thumbnailFolder)
{
    if (catalogueFile == m_catalogue && thumbnailFolder == m_thumbnails)
        return;
    m_catalogue = catalogueFile;
    m_thumbnails = thumbnailFolder;
    beginResetModel();
    reset();
    endResetModel();
}

void ThumbnailGridModel::setThumbnailSide(int side)
{
    if (side == m_side)
        return;
    m_side = side;
    reset();
    if (!m_keys.isEmpty())
        emit dataChanged(index(0), index(int(m_keys.size()) - 1));
}

void ThumbnailGridModel::setOfflineStorages(const QSet<qint64> &storages)
{
    if (storages == m_offline)
        return;
    m_offline = storages;
    if (!m_keys.isEmpty())
        emit dataChanged(index(0), index(int(m_keys.size()) - 1), { OfflineRole, Qt::ToolTipRole });
}

void ThumbnailGridModel::setCacheLimit(int kilobytes)
{
    m_cache.setMaxCost(kilobytes);
}

void ThumbnailGridModel::reset()
{
    // Rows under way belong to the previous keys: their results are dropped.
    m_current->store(++m_generation);
    m_cache.clear();
    m_wanted.clear();
    m_pending.clear();
    m_failed = false;
}

void ThumbnailGridModel::setKeys(QVector<qint64> keys)
{
    beginResetModel();
    reset();
    m_keys = std::move(keys);
    m_more = nullptr;
    m_hasMore = nullptr;
    endResetModel();
    // A grid opens at its top: its first rows are read while the view lays out the rest.
    for (int row = qMin(int(m_keys.size()), kPrefetchRows) - 1; row >= 0; --row)
        request(row);
    dispatch();
}

void ThumbnailGridModel::setMoreKeys(
    std::function<QVector<qint64>()> more, std::function<bool()> hasMore)
{
    m_more = std::move(more);
    m_hasMore = std::move(hasMore);
}

void ThumbnailGridModel::clear()
{
    setKeys({});
}

void ThumbnailGridModel::reload(qint64 key)
{
    if (!m_cache.remove(key))
        return;
    // The rows on show ask for it again when they are painted.
    if (!m_keys.isEmpty())
        emit dataChanged(index(0), index(int(m_keys.size()) - 1));
}

QVector<qint64> ThumbnailGridModel::allKeys()
{
    while (canFetchMore({}))
        fetchMore({});
    return m_keys;
}

bool ThumbnailGridModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_hasMore && m_hasMore();
}

void ThumbnailGridModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || !m_more)
        return;
    const QVector<qint64> more = m_more();
    if (more.isEmpty())
        return;
    const int first = int(m_keys.size());
    beginInsertRows({}, first, first + int(more.size()) - 1);
    m_keys += more;
    endInsertRows();
}

int ThumbnailGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_keys.size());
}

Qt::ItemFlags ThumbnailGridModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant ThumbnailGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_keys.size())
        return {};
    const qint64 key = m_keys[index.row()];
    if (role == KeyRole)
        return key;
    const Entry *entry = m_cache.object(key);
    if (!entry) {
        request(index.row());
        switch (role) {
        case LoadedRole:
        case HasThumbnailRole:
        case OfflineRole: return false;
        default: return {};
        }
    }
    const bool offline = entry->location != 0 && m_offline.contains(entry->location);
    switch (role) {
    case Qt::DisplayRole: return entry->name;
    case Qt::ToolTipRole:
        return offline ? entry->name + QStringLiteral("\nDisco não conectado") : entry->name;
    case OfflineRole: return offline;
    case Qt::DecorationRole: return entry->pixmap.isNull() ? QVariant() : QVariant(entry->pixmap);
    case LoadedRole: return true;
    case HasThumbnailRole: return !entry->pixmap.isNull();
    default: return {};
    }
}

void ThumbnailGridModel::request(int row) const
{
    const qint64 key = m_keys[row];
    if (m_failed || m_pending.contains(key))
        return;
    m_pending.insert(key);
    m_wanted.append(row);
    if (!m_dispatchQueued) {
        m_dispatchQueued = true;
        // After the paint that asked: all rows on show go out together.
        QTimer::singleShot(0, const_cast<ThumbnailGridModel *>(this), [this] {
            m_dispatchQueued = false;
            const_cast<ThumbnailGridModel *>(this)->dispatch();
        });
    }
}

void ThumbnailGridModel::dispatch()
{
    if (m_catalogue.isEmpty()) {
        m_wanted.clear();
        m_pending.clear();
        return;
    }
    // Rows asked for long ago were scrolled past: a later paint asks again for any on show.
    constexpr int kKeep = kMaxTasks * kRowsPerTask * 2;
    if (m_wanted.size() > kKeep) {
        for (qsizetype i = 0; i < m_wanted.size() - kKeep; ++i)
            m_pending.remove(m_keys.value(m_wanted[i]));
        m_wanted.remove(0, m_wanted.size() - kKeep);
    }
    while (m_running < kMaxTasks && !m_wanted.isEmpty()) {
        // The newest first: they are on show now.
        const qsizetype take = qMin<qsizetype>(kRowsPerTask, m_wanted.size());
        QVector<int> rows = m_wanted.mid(m_wanted.size() - take);
        m_wanted.resize(m_wanted.size() - take);
        QVector<qint64> keys;
        keys.reserve(rows.size());
        for (int r : rows)
            keys.append(m_keys[r]);
        ++m_running;
        const quint64 generation = m_generation;
        m_pool.start([this, rows, keys, generation, current = m_current, catalogue = m_catalogue,
                         folder = m_thumbnails, side = m_side] {
            QVector<Loaded> loaded;
            QString error;
            if (current->load() == generation) {
                try {
                    Connection &c = workerConnection(catalogue);
                    QStringList list;
                    for (qint64 k : keys)
                        list << QString::number(k);
                    Statement s(c,
                        QStringLiteral(
                            "SELECT RecId, Name, Review, Location FROM Pictures WHERE RecId IN (")
                            + list.join(QLatin1Char(',')) + QLatin1Char(')'));
                    Statement::Reset done(s);
                    struct Row {
                        QString name;
                        bool review;
                        qint64 location;
                    };
                    QHash<qint64, Row> found;
                    while (s.step())
                        found.insert(s.integer(0),
                            { s.text(1), s.integer(2) != 0, s.isNull(3) ? 0 : s.integer(3) });
                    s.reset();
                    // The thumbnails the catalogue keeps, fetched for the whole task at once.
                    QList<qint64> shown;
                    for (qint64 k : keys) {
                        const auto it = found.constFind(k);
                        if (it == found.cend() || !it->review)
                            shown << k;
                    }
                    workerThumbnails(folder).refresh(shown);
                    for (int i = 0; i < rows.size(); ++i) {
                        if (current->load() != generation)
                            break;
                        const auto it = found.constFind(keys[i]);
                        Loaded l { rows[i], keys[i], it != found.cend(), 0, {}, {} };
                        if (l.found) {
                            l.name = it->name;
                            l.location = it->location;
                            // A picture to review has a stale thumbnail, if any.
                            if (!it->review)
                                l.image = readThumbnail(folder, keys[i], side);
                        }
                        loaded.append(std::move(l));
                    }
                } catch (const DbError &e) {
                    error = e.message();
                }
            }
            QMetaObject::invokeMethod(
                this, [this, generation, loaded, error] { apply(generation, loaded, error); },
                Qt::QueuedConnection);
        });
    }
}

void ThumbnailGridModel::apply(
    quint64 generation, const QVector<Loaded> &rows, const QString &error)
{
    --m_running;
    QVector<qint64> missing;
    if (generation == m_generation) {
        int first = INT_MAX, last = -1;
        for (const Loaded &l : rows) {
            m_pending.remove(l.key);
            auto *entry = new Entry { l.name, QPixmap::fromImage(l.image), l.found, l.location };
            const int cost = 1 + int(l.image.sizeInBytes() / 1024);
            m_cache.insert(l.key, entry, cost);
            // A picture of an unplugged disk waits for its disk.
            if (l.found && l.image.isNull() && !(l.location != 0 && m_offline.contains(l.location)))
                missing.append(l.key);
            if (l.row < m_keys.size() && m_keys[l.row] == l.key) {
                first = qMin(first, l.row);
                last = qMax(last, l.row);
            }
        }
        if (!error.isEmpty()) {
            // Told once; the rows are asked for again with the next keys.
            m_failed = true;
            m_wanted.clear();
            m_pending.clear();
            emit readFailed(error);
        }
        if (last >= 0)
            emit dataChanged(index(first), index(last));
    }
    for (const qint64 key : missing)
        emit thumbnailMissing(key);
    dispatch();
    if (isIdle())
        emit idle();
}
