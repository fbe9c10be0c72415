#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QPixmap>
#include <QSet>
#include <QThreadPool>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

// The pictures of a grid as a list of record keys: one row per key, in the order given.
// A row's name and thumbnail are read only when a view asks for them, on worker threads
// (a connection of their own per thread, the thumbnail file scaled to the grid's size), and
// kept in a cache bounded in bytes, so that a million keys cost eight bytes each and
// scrolling through them holds only what was seen last.
class ThumbnailGridModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        KeyRole = Qt::UserRole, // qint64
        LoadedRole, // bool: the row's name and thumbnail were read
        HasThumbnailRole, // bool: a thumbnail file is shown
        OfflineRole, // bool: the picture's disk is not connected
    };
    // Tasks at most at once: more would only read rows scrolled past before they finish.
    static constexpr int kMaxTasks = 8;
    // Small tasks: the first screen's thumbnails are read by both threads at once.
    static constexpr int kRowsPerTask = 8;
    // Rows read as soon as the keys are set, before any view asks: a first screen.
    static constexpr int kPrefetchRows = 48;

    explicit ThumbnailGridModel(QObject *parent = nullptr);
    ~ThumbnailGridModel() override;

    // The catalogue file the rows are read from and the folder of its thumbnails. Empties
    // the cache.
    void setCatalogue(const QString &catalogueFile, const QString &thumbnailFolder);
    // The side of the square a thumbnail is drawn in; a change reads the thumbnails again.
    void setThumbnailSide(int side);
    int thumbnailSide() const { return m_side; }
    // The storages whose disks are not connected: their pictures are marked.
    void setOfflineStorages(const QSet<qint64> &storages);
    // Cache size in kilobytes.
    void setCacheLimit(int kilobytes);

    void setKeys(QVector<qint64> keys);
    // Keys that arrive as the view reaches the end (hits read page by page): `more` gives the
    // next ones, `hasMore` whether there are any.
    void setMoreKeys(std::function<QVector<qint64>()> more, std::function<bool()> hasMore);
    void clear();
    // Reads a picture's row and thumbnail again (its thumbnail was just made).
    void reload(qint64 key);
    const QVector<qint64> &keys() const { return m_keys; }
    qint64 key(int row) const { return m_keys.value(row); }
    // Every key, reading the ones still to arrive.
    QVector<qint64> allKeys();
    // Whether a row's name and thumbnail are in the cache (asking for nothing).
    bool isCached(int row) const { return m_cache.contains(m_keys.value(row)); }
    // Rows whose reading is asked for or under way.
    bool isIdle() const { return m_wanted.isEmpty() && m_running == 0; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    struct Loaded {
        int row;
        qint64 key;
        bool found; // the picture is in the catalogue
        qint64 location; // its storage, 0 for none
        QString name;
        QImage image; // null: no thumbnail
    };

signals:
    // Every row asked for has been read (and nothing is under way).
    void idle();
    // A picture of the catalogue was read without a thumbnail to show.
    void thumbnailMissing(qint64 key);
    // A task could not read its rows (the catalogue's message).
    void readFailed(const QString &message);

private:
    struct Entry {
        QString name;
        QPixmap pixmap;
        bool found = false;
        qint64 location = 0;
    };
    void request(int row) const;
    void dispatch();
    void apply(quint64 generation, const QVector<Loaded> &rows, const QString &error);
    void reset();

    QVector<qint64> m_keys;
    std::function<QVector<qint64>()> m_more;
    std::function<bool()> m_hasMore;
    QString m_catalogue;
    QString m_thumbnails;
    int m_side = 135;
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic<quint64>> m_current;

    QSet<qint64> m_offline;
    mutable QCache<qint64, Entry> m_cache;
    // Rows asked for, in the order asked (the newest are the ones on show).
    mutable QVector<int> m_wanted;
    mutable QSet<qint64> m_pending; // asked for or under way
    mutable bool m_dispatchQueued = false;
    bool m_failed = false;
    int m_running = 0;
    QThreadPool m_pool;
};
