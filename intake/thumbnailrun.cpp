#include "intake/thumbnailrun.h"

#include "core/programpaths.h"
#include "intake/picturemeasure.h"
#include "intake/picturereview.h"
#include "intake/thumbnailfile.h"
#include "intake/thumbsize.h"
#include "store/command.h"
#include "store/dberror.h"
#include "store/query.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThreadPool>
#include <QWaitCondition>

#include <algorithm>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr int kPageRows = 256; // pictures read from the catalogue at a time
constexpr qint64 kCommitEveryMs = 500; // the catalogue is free for other writers between
constexpr int kBusyRetries = 12; // commits that found the catalogue locked, in a row

struct Job {
    qint64 recId = 0;
    PictureReview::Picture picture;
};

struct Outcome {
    qint64 recId = 0;
    QString path;
    PictureReview::Result result;
    std::optional<JpegError> writeError;
};

const QSize kBox(PictureReview::kViewSide, PictureReview::kViewSide);

// The reading, drawing and writing of one picture, on a worker thread.
Outcome review(const Job &job)
{
    Outcome out;
    out.recId = job.recId;
    out.path = job.picture.path;
    out.result = PictureReview::examine(job.picture, kBox, true);
    if (out.result.outcome == PictureReview::Outcome::Larger) {
        try {
            PictureReview::writeThumbnail(out.result, job.picture.thumbnail);
        } catch (const JpegError &e) {
            out.writeError = e;
        }
    }
    out.result.view = QImage();
    out.result.thumbnail.clear();
    return out;
}

// Outcomes from the workers to the catalogue thread.
class Outcomes {
public:
    void deliver(Outcome outcome)
    {
        QMutexLocker lock(&m_mutex);
        m_outcomes.push_back(std::move(outcome));
        m_ready.wakeOne();
    }
    std::vector<Outcome> collect(int waitMs)
    {
        QMutexLocker lock(&m_mutex);
        if (m_outcomes.empty())
            m_ready.wait(&m_mutex, waitMs);
        std::vector<Outcome> out;
        out.swap(m_outcomes);
        return out;
    }

private:
    QMutex m_mutex;
    QWaitCondition m_ready;
    std::vector<Outcome> m_outcomes;
};

// The numbers of the thumbnails in the folder (00000042.jpg is 42).
QSet<qint64> thumbnailsPresent(const QString &folder)
{
    QSet<qint64> ids;
    const QStringList names = QDir(folder).entryList({ QStringLiteral("*.jpg") }, QDir::Files);
    for (const QString &name : names) {
        const QStringView stem = QStringView(name).chopped(4);
        bool ok = false;
        const qint64 id = stem.toLongLong(&ok);
        if (ok && id > 0 && stem.size() >= 8 && (stem.size() == 8 || stem.front() != u'0'))
            ids.insert(id);
    }
    return ids;
}

// The catalogue's side: the pictures to work on in key order, a page at a time, and their
// details written in short transactions.
class Catalogue {
public:
    explicit Catalogue(TDados &store) : m_store(store)
    {
        Query q(store.Conexao);
        q.setSql(QStringLiteral("SELECT Extension, Support FROM Formats ORDER BY rowid"));
        q.open();
        while (!q.eof()) {
            const QString ext = q.asString(QStringLiteral("Extension")).toLower();
            if (!m_support.contains(ext))
                m_support.insert(ext, q.asBool(QStringLiteral("Support")));
            q.next();
        }
        q.close();
        m_present = thumbnailsPresent(store.thumbnailFolder());
    }

    // Whether the picture page would measure a picture of this type.
    bool reviewed(const QString &fileType) const
    {
        return !PictureReview::isWebType(fileType) && m_support.value(fileType.toLower(), false);
    }

    void count(ThumbnailRun::Counts &counts)
    {
        Query q(m_store.Conexao);
        q.setSql(QStringLiteral("SELECT COUNT(*) AS N FROM Pictures WHERE Review <> FALSE"));
        q.open();
        counts.toReview = int(q.asInt(QStringLiteral("N")));
        q.close();
        q.setSql(
            QStringList { QStringLiteral("SELECT RecId, FileType, Width, Height FROM Pictures"),
                QStringLiteral("WHERE Review = FALSE AND %1").arg(largerOrUnknown()) });
        q.open();
        while (!q.eof()) {
            if (restorable(q, q.asInt(QStringLiteral("RecId"))))
                ++counts.toRestore;
            q.next();
        }
        q.close();
    }

    // The next pictures to work on after the key `after`; those the picture page would not
    // measure are counted in *ignored.
    std::vector<Job> nextPage(qint64 &after, int *ignored, bool *exhausted)
    {
        std::vector<Job> jobs;
        Query q(m_store.Conexao);
        q.setSql(QStringList {
            QStringLiteral("SELECT RecId, FullPath, FileName, FileType, Review, Width, Height"),
            QStringLiteral("FROM Pictures"),
            QStringLiteral("WHERE RecId > :ULTIMO AND (Review <> FALSE OR %1)").arg(largerOrUnknown()),
            QStringLiteral("ORDER BY RecId LIMIT %1").arg(kPageRows) });
        q.setParam(QStringLiteral("ULTIMO"), after);
        q.open();
        int rows = 0;
        while (!q.eof()) {
            ++rows;
            Job job;
            job.recId = q.asInt(QStringLiteral("RecId"));
            after = job.recId;
            job.picture.fileType = q.asString(QStringLiteral("FileType"));
            const bool review = q.asBool(QStringLiteral("Review"));
            if (!reviewed(job.picture.fileType)) {
                if (review)
                    ++*ignored;
            } else if (review || restorable(q, job.recId)) {
                job.picture.path = PictureMeasure::picturePath(
                    q.asString(QStringLiteral("FullPath")), q.asString(QStringLiteral("FileName")));
                job.picture.thumbnail = m_store.GetThumbnailName(job.recId);
                jobs.push_back(std::move(job));
            }
            q.next();
        }
        q.close();
        *exhausted = rows < kPageRows;
        return jobs;
    }

    void record(const Outcome &outcome)
    {
        m_pending.push_back({ outcome.recId, PictureReview::details(outcome.result, true) });
        if (!m_since.isValid())
            m_since.start();
    }

    // Writes what is pending in one short transaction, when the last one is old enough (or
    // when forced). A catalogue locked by another writer is tried again later.
    void commitIfDue(bool force)
    {
        if (m_pending.empty() || (!force && m_since.elapsed() < kCommitEveryMs))
            return;
        try {
            Transaction transaction(m_store.Conexao);
            Command cmd(m_store.Conexao);
            for (const auto &[recId, columns] : m_pending) {
                QStringList sets;
                for (const auto &column : columns)
                    sets << QStringLiteral("%1 = :%2").arg(column.first, column.first.toUpper());
                cmd.setSql(QStringLiteral("UPDATE Pictures SET %1 WHERE RecId = :CHAVE")
                               .arg(sets.join(QStringLiteral(", "))));
                for (const auto &column : columns)
                    cmd.setParam(column.first.toUpper(), column.second);
                cmd.setParam(QStringLiteral("CHAVE"), recId);
                cmd.execute();
            }
            transaction.commit();
            m_pending.clear();
            m_busy = 0;
        } catch (const DbError &e) {
            if (!e.isBusy() || ++m_busy > kBusyRetries || force)
                throw;
        }
        m_since.start();
    }

private:
    // A reviewed picture whose thumbnail has gone and that can have one: its recorded size
    // (when there is one) gives the writer a thumbnail at least a pixel a side.
    bool restorable(const Query &q, qint64 recId) const
    {
        if (m_present.contains(recId) || !reviewed(q.asString(QStringLiteral("FileType"))))
            return false;
        if (q.isNull(QStringLiteral("Width")) || q.isNull(QStringLiteral("Height")))
            return true;
        const auto side = [&q](const QString &column) {
            return int(std::clamp<qint64>(q.asInt(column), 0, std::numeric_limits<int>::max()));
        };
        const std::optional<QSize> thumb = thumbnailSize(side(QStringLiteral("Width")),
            side(QStringLiteral("Height")), PictureReview::kViewSide, PictureReview::kViewSide);
        return thumb && thumb->width() >= 1 && thumb->height() >= 1;
    }

    // Pictures whose recorded size is larger than the view, or not recorded.
    static QString largerOrUnknown()
    {
        return QStringLiteral("(COALESCE(Width, %1) > %2 OR COALESCE(Height, %1) > %2)")
            .arg(PictureReview::kViewSide + 1)
            .arg(PictureReview::kViewSide);
    }

    TDados &m_store;
    QHash<QString, bool> m_support; // Extension, case ignored -> Support
    QSet<qint64> m_present;
    std::vector<std::pair<qint64, QList<QPair<QString, QVariant>>>> m_pending;
    QElapsedTimer m_since;
    int m_busy = 0;
};

} // namespace

ThumbnailRun::ThumbnailRun(TDados &store, int jobs) : m_store(store), m_jobs(jobs) { }

ThumbnailRun::End ThumbnailRun::run()
{
    m_counts = {};
    const QString folder = m_store.prepareThumbnailFolder();
    if (!ThumbnailFile::canWriteIn(folder, &m_folderError))
        return End::ThumbnailFolderFailed;
    ThumbnailFile::removeAbandoned(folder);

    Catalogue catalogue(m_store);
    catalogue.count(m_counts);
    const int total = m_counts.toReview + m_counts.toRestore;

    QThreadPool pool;
    pool.setMaxThreadCount(m_jobs);
    Outcomes outcomes;
    std::deque<Job> backlog;
    qint64 after = 0;
    bool exhausted = false;
    bool stopping = false;
    int inFlight = 0;
    End end = End::Done;
    const auto done = [this] {
        return m_counts.measured + m_counts.failed + m_counts.missing + m_counts.ignored;
    };
    try {
        for (;;) {
            if (!stopping && cancelRequested && cancelRequested()) {
                stopping = true;
                end = End::Cancelled;
            }
            // The workers are kept busy a little ahead, without holding the whole table.
            while (!stopping && inFlight < 2 * m_jobs) {
                if (backlog.empty() && !exhausted) {
                    for (Job &job : catalogue.nextPage(after, &m_counts.ignored, &exhausted))
                        backlog.push_back(std::move(job));
                    continue;
                }
                if (backlog.empty())
                    break;
                pool.start([job = std::move(backlog.front()), &outcomes] {
                    outcomes.deliver(review(job));
                });
                backlog.pop_front();
                ++inFlight;
            }
            if (inFlight == 0 && (stopping || (exhausted && backlog.empty())))
                break;
            for (Outcome &o : outcomes.collect(100)) {
                --inFlight;
                const PictureReview::Result &r = o.result;
                if (r.outcome == PictureReview::Outcome::Missing) {
                    ++m_counts.missing;
                } else if (r.outcome == PictureReview::Outcome::NotDrawn) {
                    ++m_counts.failed;
                    if (pictureFailed)
                        pictureFailed(o.path, r.error);
                } else if (r.outcome == PictureReview::Outcome::Fits) {
                    ++m_counts.measured;
                    ++m_counts.fits;
                } else {
                    // Recorded even when no thumbnail could be written, as the window does.
                    catalogue.record(o);
                    ++m_counts.measured;
                    if (!o.writeError) {
                        ++m_counts.thumbnailed;
                    } else if (!o.writeError->destination()) {
                        ++m_counts.failed;
                        if (pictureFailed)
                            pictureFailed(o.path, o.writeError->message());
                    } else if (end != End::ThumbnailFolderFailed) {
                        // Every other thumbnail would fail the same way: said once, and
                        // the run ends with the pictures already under way.
                        end = End::ThumbnailFolderFailed;
                        m_folderError = o.writeError->message();
                        stopping = true;
                    }
                }
            }
            catalogue.commitIfDue(false);
            if (progress)
                progress(done(), total);
        }
        catalogue.commitIfDue(true);
    } catch (...) {
        pool.waitForDone();
        throw;
    }
    pool.waitForDone();
    return end;
}
