#include "intake/thumbnailrun.h"

#include "core/programpaths.h"
#include "intake/picturemeasure.h"
#include "intake/picturereview.h"
#include "intake/reviewrecords.h"
#include "intake/thumbnailfile.h"
#include "intake/thumbsize.h"
#include "store/dberror.h"
#include "store/formatupgrade.h"
#include "store/query.h"
#include "store/tdados.h"
#include "store/thumbnailstore.h"
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
    QVariant modified; // the row's Modified as read
    bool review = false; // Review was true
    bool thumbnailPresent = false;
    bool examinedAsIs = false; // its file was examined as it is now (and could not be drawn)
};

struct Outcome {
    qint64 recId = 0;
    QString path;
    QVariant modified;
    bool examinedAsIs = false;
    PictureReview::Result result;
    bool thumbnailWritten = false;
    bool fileWritten = false; // a thumbnail file was put in place
    std::optional<JpegError> writeError;
};

const QSize kBox(PictureReview::kViewSide, PictureReview::kViewSide);

// The reading, drawing and writing of one picture, on a worker thread. A thumbnail already
// there for a picture reviewed before stays, unless the picture turns: it was made before
// pictures were shown upright.
Outcome review(const Job &job)
{
    Outcome out;
    out.recId = job.recId;
    out.path = job.picture.path;
    out.modified = job.modified;
    out.examinedAsIs = job.examinedAsIs;
    out.result = PictureReview::examine(job.picture, kBox, true);
    if (out.result.outcome == PictureReview::Outcome::Larger
        && (job.review || !job.thumbnailPresent || out.result.orientation != 1)) {
        out.thumbnailWritten = true;
        try {
            PictureReview::writeThumbnail(out.result, job.picture.thumbnail);
            out.fileWritten = !out.result.thumbnail.isEmpty();
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
        if (m_outcomes.empty() && waitMs > 0)
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

// What the run does with a picture.
enum class Work { Skip, Ignored, Review, Restore };

// The catalogue's side: the pictures to work on in key order, a page at a time, and what
// their reviews found written in short transactions.
class Catalogue {
public:
    Catalogue(TDados &store, const std::vector<qint64> *keys, bool writable)
        : m_store(store), m_keys(keys), m_writable(writable)
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
        // A thumbnail the catalogue keeps is there, also when this machine has no copy yet.
        m_thumbnails = store.thumbnails();
        m_present = m_thumbnails->filesPresent() + m_thumbnails->keptPictures();
        // Facts recorded by this run belong to pictures it has passed already.
        m_withFacts = PictureFactsTable::exists(store.Conexao);
    }

    // Whether the picture page would measure a picture of this type.
    bool reviewed(const QString &fileType) const
    {
        return !PictureReview::isWebType(fileType) && m_support.value(fileType.toLower(), false);
    }

    void count(ThumbnailRun::Counts &counts)
    {
        Cursor cursor;
        while (!cursor.exhausted) {
            readPage(cursor, [&](const Query &q, Work work) {
                if (work == Work::Review || work == Work::Ignored)
                    ++counts.toReview;
                else if (work == Work::Restore)
                    ++counts.toRestore;
                Q_UNUSED(q);
            });
        }
    }

    // The next pictures to work on; those the picture page would not measure are counted in
    // *ignored.
    std::vector<Job> nextPage(int *ignored, bool *exhausted)
    {
        std::vector<Job> jobs;
        readPage(m_cursor, [&](const Query &q, Work work) {
            if (work == Work::Ignored) {
                ++*ignored;
                return;
            }
            if (work != Work::Review && work != Work::Restore)
                return;
            Job job;
            job.recId = q.asInt(QStringLiteral("RecId"));
            job.picture.fileType = q.asString(QStringLiteral("FileType"));
            job.picture.path = PictureMeasure::picturePath(
                q.asString(QStringLiteral("FullPath")), q.asString(QStringLiteral("FileName")));
            job.picture.thumbnail = m_store.GetThumbnailName(job.recId);
            job.modified = q.value(QStringLiteral("Modified"));
            job.review = q.asBool(QStringLiteral("Review"));
            job.thumbnailPresent = m_present.contains(job.recId);
            job.examinedAsIs = q.asBool(QStringLiteral("AsIs"));
            jobs.push_back(std::move(job));
        });
        *exhausted = m_cursor.exhausted;
        return jobs;
    }

    void record(const Outcome &outcome)
    {
        if (!m_writable || !ReviewRecords::examined(outcome.result))
            return;
        // A file that could not be drawn is tried again at every run; what it says is
        // written once for the file as it is.
        if (outcome.examinedAsIs && outcome.result.outcome == PictureReview::Outcome::NotDrawn)
            return;
        m_pending.push_back({ { outcome.recId, outcome.modified }, outcome.result });
        if (!m_since.isValid())
            m_since.start();
    }

    // A thumbnail file written: the catalogue keeps it too, with the next records.
    void keep(qint64 recId)
    {
        if (!m_writable)
            return;
        m_written.append(recId);
        if (!m_since.isValid())
            m_since.start();
    }

    // Writes what is pending in one short transaction, when the last one is old enough (or
    // when forced). A catalogue locked by another writer is tried again later.
    void commitIfDue(bool force)
    {
        if ((m_pending.empty() && m_written.isEmpty())
            || (!force && m_since.elapsed() < kCommitEveryMs))
            return;
        try {
            Transaction transaction(m_store.Conexao);
            ReviewRecords records(m_store.Conexao);
            for (const auto &[picture, result] : m_pending)
                records.record(picture, result, true);
            m_thumbnails->kept(m_written);
            transaction.commit();
            m_pending.clear();
            m_written.clear();
            m_busy = 0;
        } catch (const DbError &e) {
            if ((e.code() & 0xff) != 5 || ++m_busy > kBusyRetries || force)
                throw;
        }
        m_since.start();
    }

private:
    struct Cursor {
        qint64 after = 0; // the last key read
        size_t nextKey = 0; // into *m_keys
        bool exhausted = false;
    };

    template<typename Visit> void readPage(Cursor &cursor, Visit visit)
    {
        const QString facts = m_withFacts
            ? QStringLiteral("LEFT JOIN PictureFacts F ON F.Picture = P.RecId")
            : QString();
        const QString hasFacts
            = m_withFacts ? QStringLiteral("F.Picture IS NOT NULL") : QStringLiteral("FALSE");
        // Examined as the file is now and found to fit the view: such a picture keeps
        // Review true, and has nothing more to give.
        const QString examined = m_withFacts
            ? QStringLiteral(
                "COALESCE(F.Drawn = 1 AND F.Modified IS NOT DISTINCT FROM P.Modified, FALSE)")
            : QStringLiteral("FALSE");
        const QString asIs = m_withFacts
            ? QStringLiteral(
                "COALESCE(F.Drawn = 0 AND F.Modified IS NOT DISTINCT FROM P.Modified, FALSE)")
            : QStringLiteral("FALSE");
        QString range;
        if (m_keys) {
            QStringList some;
            for (; cursor.nextKey < m_keys->size() && some.size() < kPageRows; ++cursor.nextKey)
                some << QString::number((*m_keys)[cursor.nextKey]);
            cursor.exhausted = cursor.nextKey >= m_keys->size();
            if (some.isEmpty())
                return;
            range = QStringLiteral("P.RecId IN (%1)").arg(some.join(QLatin1Char(',')));
        } else {
            range = QStringLiteral("P.RecId > :ULTIMO");
        }
        Query q(m_store.Conexao);
        q.setSql(QStringList {
            QStringLiteral("SELECT P.RecId AS RecId, P.FullPath AS FullPath, P.FileName AS "
                           "FileName, P.FileType AS FileType, P.Review AS Review, P.Width AS "
                           "Width, P.Height AS Height, P.Modified AS Modified,"),
            QStringLiteral("%1 AS HasFacts, %2 AS Examined, %3 AS AsIs")
                .arg(hasFacts, examined, asIs),
            QStringLiteral("FROM Pictures P %1").arg(facts),
            QStringLiteral("WHERE %1 AND (P.Review <> FALSE OR NOT %2 OR %3)")
                .arg(range, hasFacts, largerOrUnknown()),
            m_keys ? QStringLiteral("ORDER BY P.RecId")
                   : QStringLiteral("ORDER BY P.RecId LIMIT %1").arg(kPageRows) });
        if (!m_keys)
            q.setParam(QStringLiteral("ULTIMO"), cursor.after);
        q.open();
        int rows = 0;
        while (!q.eof()) {
            ++rows;
            cursor.after = q.asInt(QStringLiteral("RecId"));
            visit(q, classify(q));
            q.next();
        }
        q.close();
        if (!m_keys)
            cursor.exhausted = rows < kPageRows;
    }

    Work classify(const Query &q) const
    {
        const QString fileType = q.asString(QStringLiteral("FileType"));
        if (q.asBool(QStringLiteral("Review"))) {
            if (!reviewed(fileType))
                return Work::Ignored;
            return q.asBool(QStringLiteral("Examined")) ? Work::Skip : Work::Review;
        }
        if (!reviewed(fileType))
            return Work::Skip;
        // Reviewed before its facts were read.
        if (!q.asBool(QStringLiteral("HasFacts")))
            return Work::Review;
        return restorable(q, q.asInt(QStringLiteral("RecId"))) ? Work::Restore : Work::Skip;
    }

    // A reviewed picture whose thumbnail has gone and that can have one: its recorded size
    // (when there is one) gives the writer a thumbnail at least a pixel a side.
    bool restorable(const Query &q, qint64 recId) const
    {
        if (m_present.contains(recId))
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
        return QStringLiteral("(COALESCE(P.Width, %1) > %2 OR COALESCE(P.Height, %1) > %2)")
            .arg(PictureReview::kViewSide + 1)
            .arg(PictureReview::kViewSide);
    }

    TDados &m_store;
    const std::vector<qint64> *m_keys; // null: every picture
    bool m_writable;
    bool m_withFacts = false;
    Cursor m_cursor;
    QHash<QString, bool> m_support; // Extension, case ignored -> Support
    QSet<qint64> m_present;
    std::unique_ptr<ThumbnailStore> m_thumbnails;
    QList<qint64> m_written; // thumbnail files the catalogue is still to keep
    std::vector<std::pair<ReviewRecords::Picture, PictureReview::Result>> m_pending;
    QElapsedTimer m_since;
    int m_busy = 0;
};

} // namespace

struct ThumbnailRun::State {
    Outcomes outcomes; // outlives the pool, whose workers deliver here
    QThreadPool pool;
    std::unique_ptr<Catalogue> catalogue;
    std::deque<Job> backlog;
    bool exhausted = false;
    bool stopping = false;
    int inFlight = 0;
    int total = 0;
    ~State() { pool.waitForDone(); }
};

ThumbnailRun::ThumbnailRun(TDados &store, int jobs) : m_store(store), m_jobs(jobs) { }

ThumbnailRun::~ThumbnailRun()
{
    stopWorkers();
}

void ThumbnailRun::restrictTo(std::vector<qint64> keys)
{
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    m_keys = std::move(keys);
    m_restricted = true;
}

void ThumbnailRun::stopWorkers()
{
    m_state.reset(); // waits for the pictures under way
}

ThumbnailRun::End ThumbnailRun::run()
{
    if (!start())
        return m_end;
    while (advance(100)) { }
    return m_end;
}

bool ThumbnailRun::start()
{
    stopWorkers();
    m_counts = {};
    m_end = End::Done;
    m_folderError.clear();
    const QString folder = m_store.prepareThumbnailFolder();
    if (!ThumbnailFile::canWriteIn(folder, &m_folderError)) {
        m_end = End::ThumbnailFolderFailed;
        return false;
    }
    ThumbnailFile::removeAbandoned(folder);

    // A catalogue on read-only media still gets its thumbnails, beside the program.
    const bool writable = !m_store.Conexao.isReadOnly();
    if (writable) {
        FormatUpgrade::ensure(m_store.Conexao);
        // What an earlier run wrote here but could not give the catalogue (a connection
        // lost) is given now.
        m_store.thumbnails()->keepMissing();
    }
    auto state = std::make_unique<State>();
    state->pool.setMaxThreadCount(m_jobs);
    state->catalogue
        = std::make_unique<Catalogue>(m_store, m_restricted ? &m_keys : nullptr, writable);
    state->catalogue->count(m_counts);
    state->total = m_counts.toReview + m_counts.toRestore;
    m_state = std::move(state);
    return true;
}

bool ThumbnailRun::advance(int waitMs)
{
    if (!m_state)
        return false;
    State &s = *m_state;
    const auto done = [this] {
        return m_counts.measured + m_counts.failed + m_counts.missing + m_counts.ignored;
    };
    try {
        if (!s.stopping && (m_cancelled || (cancelRequested && cancelRequested()))) {
            s.stopping = true;
            m_end = End::Cancelled;
        }
        // The workers are kept busy a little ahead, without holding the whole table.
        while (!s.stopping && s.inFlight < 2 * m_jobs) {
            if (s.backlog.empty() && !s.exhausted) {
                for (Job &job : s.catalogue->nextPage(&m_counts.ignored, &s.exhausted))
                    s.backlog.push_back(std::move(job));
                continue;
            }
            if (s.backlog.empty())
                break;
            Outcomes &outcomes = s.outcomes;
            s.pool.start(
                [job = std::move(s.backlog.front()), &outcomes] { outcomes.deliver(review(job)); });
            s.backlog.pop_front();
            ++s.inFlight;
        }
        if (s.inFlight == 0 && (s.stopping || (s.exhausted && s.backlog.empty()))) {
            s.catalogue->commitIfDue(true);
            if (progress)
                progress(done(), s.total);
            stopWorkers();
            return false;
        }
        for (Outcome &o : s.outcomes.collect(waitMs)) {
            --s.inFlight;
            const PictureReview::Result &r = o.result;
            if (r.outcome == PictureReview::Outcome::Missing) {
                ++m_counts.missing;
                continue;
            }
            // Whatever the file said is recorded, also for a picture that cannot be drawn.
            s.catalogue->record(o);
            if (o.fileWritten)
                s.catalogue->keep(o.recId);
            if (r.outcome == PictureReview::Outcome::NotDrawn) {
                ++m_counts.failed;
                if (pictureFailed)
                    pictureFailed(o.path, r.error);
            } else if (r.outcome == PictureReview::Outcome::Fits) {
                ++m_counts.measured;
                ++m_counts.fits;
            } else {
                // Recorded even when no thumbnail could be written, as the window does.
                ++m_counts.measured;
                if (!o.thumbnailWritten) {
                } else if (!o.writeError) {
                    ++m_counts.thumbnailed;
                } else if (!o.writeError->destination()) {
                    ++m_counts.failed;
                    if (pictureFailed)
                        pictureFailed(o.path, o.writeError->message());
                } else if (m_end != End::ThumbnailFolderFailed) {
                    // Every other thumbnail would fail the same way: said once, and the run
                    // ends with the pictures already under way.
                    m_end = End::ThumbnailFolderFailed;
                    m_folderError = o.writeError->message();
                    s.stopping = true;
                }
            }
        }
        s.catalogue->commitIfDue(false);
        if (progress)
            progress(done(), s.total);
        return true;
    } catch (...) {
        stopWorkers();
        throw;
    }
}
