#include "cli/thumbscommand.h"

#include "cli/clicommands.h"
#include "cli/clisession.h"
#include "store/command.h"
#include "cli/consolecontrol.h"
#include "store/dberror.h"
#include "intake/jpegconv.h"
#include "intake/picturemeasure.h"
#include "core/programpaths.h"
#include "store/query.h"
#include "store/tdados.h"
#include "intake/thumbnailencoder.h"
#include "intake/thumbsize.h"
#include "store/transaction.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using consolecontrol::exitCancelled;
using consolecontrol::InterruptGuard;
constexpr int kBox = 135; // the picture page's thumbnail view
constexpr int kPageRows = 256; // pictures read from the catalogue at a time
constexpr int kBatchRows = 200; // rows written per transaction at most
constexpr qint64 kBatchMs = 250; // and for at most this long
const QRgb kWhite = qRgb(255, 255, 255);

struct Job {
    qint64 recId = 0;
    QString path;
    QString fileType;
    QString thumbnail;
};

struct Outcome {
    qint64 recId = 0;
    QString path;
    bool missing = false;
    bool fits = false; // no larger than the view: nothing is recorded
    QSize size;
    std::optional<int> colorType;
    QString error;
};

// The reading, decoding and encoding of one picture, on a worker thread.
Outcome process(const Job &job)
{
    Outcome out;
    out.recId = job.recId;
    out.path = job.path;
    const QFileInfo info(job.path);
    if (!info.exists() || info.isDir()) {
        out.missing = true;
        return out;
    }
    const PictureMeasure measure = PictureMeasure::measure(job.path, job.fileType);
    if (!measure.isValid()) {
        out.error = measure.errorText();
        return out;
    }
    out.size = measure.size();
    out.colorType = measure.colorType();
    const std::optional<QSize> thumb
        = thumbnailSize(out.size.width(), out.size.height(), kBox, kBox);
    if (!thumb) {
        out.fits = true;
        return out;
    }
    try {
        if (measure.isJpeg()) {
            ConvertJPEGFile(job.path, job.thumbnail, thumb->width(), thumb->height(), kWhite);
        } else {
            const QImage view = measure.decode(measure.viewSize(QSize(kBox, kBox)), &out.error);
            if (view.isNull())
                return out;
            ThumbnailEncoder::writeFile(
                view, job.thumbnail, thumb->width(), thumb->height(), kWhite);
        }
    } catch (const JpegError &e) {
        out.error = e.message();
    }
    return out;
}

// Jobs to the workers, outcomes back to the catalogue thread.
class WorkQueue {
public:
    void push(Job job)
    {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_jobReady.notify_one();
    }
    // Blocks for a job; none once closed.
    std::optional<Job> take()
    {
        std::unique_lock lock(m_mutex);
        m_jobReady.wait(lock, [this] { return m_closed || !m_jobs.empty(); });
        if (m_jobs.empty())
            return std::nullopt;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        return job;
    }
    void deliver(Outcome outcome)
    {
        {
            std::lock_guard lock(m_mutex);
            m_outcomes.push_back(std::move(outcome));
        }
        m_outcomeReady.notify_one();
    }
    // Waits up to the timeout for outcomes and takes all there are.
    std::vector<Outcome> collect(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        m_outcomeReady.wait_for(lock, timeout, [this] { return !m_outcomes.empty(); });
        std::vector<Outcome> out(
            std::make_move_iterator(m_outcomes.begin()), std::make_move_iterator(m_outcomes.end()));
        m_outcomes.clear();
        return out;
    }
    size_t queuedJobs()
    {
        std::lock_guard lock(m_mutex);
        return m_jobs.size();
    }
    // Drops the jobs not started yet; returns how many.
    size_t dropJobs()
    {
        std::lock_guard lock(m_mutex);
        const size_t n = m_jobs.size();
        m_jobs.clear();
        return n;
    }
    void close()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_jobReady.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_outcomeReady;
    std::deque<Job> m_jobs;
    std::deque<Outcome> m_outcomes;
    bool m_closed = false;
};

class Workers {
public:
    Workers(WorkQueue &queue, int count)
    {
        for (int i = 0; i < count; ++i)
            m_threads.emplace_back([&queue] {
                while (std::optional<Job> job = queue.take())
                    queue.deliver(process(*job));
            });
    }
    ~Workers() { join(); }
    void join()
    {
        for (std::thread &t : m_threads)
            if (t.joinable())
                t.join();
    }

private:
    std::vector<std::thread> m_threads;
};

class ProgressLine {
public:
    void show(int done, int total)
    {
        m_line.show(QStringLiteral("Miniaturas: %1 de %2 imagens").arg(done).arg(total));
    }
    void clear() { m_line.clear(); }

private:
    consolecontrol::StatusLine m_line;
};

// The catalogue's side: pictures to review in key order, a page at a time, and their
// details written in short transactions.
class Catalogue {
public:
    explicit Catalogue(TDados &store) : m_store(store) { readFormats(); }

    int countToReview()
    {
        Query q(m_store.Conexao);
        q.setSql(QStringLiteral("SELECT COUNT(*) AS N FROM Pictures WHERE Review <> 0"));
        q.open();
        const int n = int(q.asInt(QStringLiteral("N")));
        q.close();
        return n;
    }

    // The next pictures to review after the key `after`; those the picture page would not
    // measure (GIF and PNG, formats it does not draw) are counted in *ignored.
    std::vector<Job> nextPage(qint64 &after, int *ignored, bool *exhausted)
    {
        std::vector<Job> jobs;
        Query q(m_store.Conexao);
        q.setSql(QStringList {
            QStringLiteral("SELECT RecId, FullPath, FileName, FileType FROM Pictures"),
            QStringLiteral("WHERE Review <> 0 AND RecId > :ULTIMO ORDER BY RecId LIMIT %1")
                .arg(kPageRows) });
        q.setParam(QStringLiteral("ULTIMO"), after);
        q.open();
        int rows = 0;
        while (!q.eof()) {
            ++rows;
            Job job;
            job.recId = q.asInt(QStringLiteral("RecId"));
            after = job.recId;
            job.fileType = q.asString(QStringLiteral("FileType"));
            const bool web
                = job.fileType == QLatin1String("gif") || job.fileType == QLatin1String("png");
            if (web || !m_support.value(job.fileType.toLower(), false)) {
                ++*ignored;
            } else {
                job.path = PictureMeasure::picturePath(
                    q.asString(QStringLiteral("FullPath")), q.asString(QStringLiteral("FileName")));
                job.thumbnail = m_store.GetThumbnailName(job.recId);
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
        if (!m_transaction) {
            m_transaction.emplace(m_store.Conexao);
            m_since.start();
        }
        Command cmd(m_store.Conexao);
        if (outcome.colorType) {
            cmd.setSql(QStringLiteral("UPDATE Pictures SET ColorType = :COR, Width = :LARGURA, "
                                      "Height = :ALTURA, Review = :REVISAR WHERE RecId = :CHAVE"));
            cmd.setParam(QStringLiteral("COR"), *outcome.colorType);
        } else {
            cmd.setSql(QStringLiteral("UPDATE Pictures SET Width = :LARGURA, Height = :ALTURA, "
                                      "Review = :REVISAR WHERE RecId = :CHAVE"));
        }
        cmd.setParam(QStringLiteral("LARGURA"), outcome.size.width());
        cmd.setParam(QStringLiteral("ALTURA"), outcome.size.height());
        cmd.setParam(QStringLiteral("REVISAR"), false);
        cmd.setParam(QStringLiteral("CHAVE"), outcome.recId);
        cmd.execute();
        ++m_rows;
    }

    // Ends the transaction when it is full or old enough (always when asked to).
    void commitIfDue(bool force)
    {
        if (!m_transaction)
            return;
        if (force || m_rows >= kBatchRows || m_since.elapsed() >= kBatchMs) {
            m_transaction->commit();
            m_transaction.reset();
            m_rows = 0;
        }
    }

private:
    void readFormats()
    {
        Query q(m_store.Conexao);
        q.setSql(QStringLiteral("SELECT Extension, Support FROM Formats ORDER BY rowid"));
        q.open();
        while (!q.eof()) {
            const QString ext = q.asString(QStringLiteral("Extension")).toLower();
            if (!m_support.contains(ext))
                m_support.insert(ext, q.asBool(QStringLiteral("Support")));
            q.next();
        }
        q.close();
    }

    TDados &m_store;
    QHash<QString, bool> m_support; // Extension, case ignored -> Support
    std::optional<Transaction> m_transaction;
    QElapsedTimer m_since;
    int m_rows = 0;
};

QString thumbsUsage()
{
    return QStringLiteral("Uso: quillomar-cli [--catalogue ARQUIVO] thumbs [--jobs N]\n");
}

int usageError(const QString &message)
{
    std::fprintf(
        stderr, "%s\n\n%s", message.toUtf8().constData(), thumbsUsage().toUtf8().constData());
    return ExitUsage;
}

} // namespace

int runThumbsCommand(const QString &catalogue, const QStringList &args)
{
    int jobs = std::max(1, QThread::idealThreadCount());
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        QString value;
        if (arg == QLatin1String("--jobs")) {
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("thumbs: falta o N de --jobs"));
            value = args.at(++i);
        } else if (arg.startsWith(QLatin1String("--jobs="))) {
            value = arg.mid(7);
        } else {
            return usageError(QStringLiteral("thumbs: argumento desconhecido: %1").arg(arg));
        }
        bool ok = false;
        jobs = value.toInt(&ok);
        if (!ok || jobs < 1 || jobs > 256)
            return usageError(QStringLiteral("thumbs: --jobs precisa de um número de 1 a 256"));
    }

    CliSession session(catalogue);
    if (!session.openStore())
        return ExitFailure;
    TDados &store = session.store();
    session.paths().ensureThumbnailFolder();

    int total = 0;
    int measured = 0;
    int thumbnailed = 0;
    int fits = 0;
    int ignored = 0;
    int missing = 0;
    int failed = 0;
    bool cancelled = false;
    QString storeError;
    ProgressLine progress;
    {
        InterruptGuard guard;
        WorkQueue queue;
        std::optional<Catalogue> pictures;
        try {
            pictures.emplace(store);
            total = pictures->countToReview();
        } catch (const DbError &e) {
            session.prompter().error(e.message());
            return ExitFailure;
        }
        Workers workers(queue, jobs);
        qint64 after = 0;
        bool exhausted = false;
        size_t outstanding = 0;
        try {
            for (;;) {
                if (consolecontrol::interrupted() && !cancelled) {
                    cancelled = true;
                    outstanding -= queue.dropJobs();
                }
                // Keep the workers fed a page ahead, without holding the whole table.
                if (!cancelled && !exhausted && queue.queuedJobs() < size_t(kPageRows / 2)) {
                    for (Job &job : pictures->nextPage(after, &ignored, &exhausted)) {
                        queue.push(std::move(job));
                        ++outstanding;
                    }
                    continue;
                }
                if (outstanding == 0 && (exhausted || cancelled))
                    break;
                for (const Outcome &o : queue.collect(std::chrono::milliseconds(100))) {
                    --outstanding;
                    if (o.missing) {
                        ++missing;
                    } else if (!o.error.isEmpty()) {
                        ++failed;
                        progress.clear();
                        std::fprintf(stderr, "%s: %s\n", o.path.toUtf8().constData(),
                            o.error.toUtf8().constData());
                    } else if (o.fits) {
                        ++measured;
                        ++fits;
                    } else {
                        pictures->record(o);
                        ++measured;
                        ++thumbnailed;
                    }
                }
                pictures->commitIfDue(false);
                progress.show(measured + failed + missing + ignored, total);
            }
            pictures->commitIfDue(true);
        } catch (const DbError &e) {
            storeError = e.message();
            queue.dropJobs();
        }
        queue.close();
        workers.join();
    }
    progress.clear();
    if (!storeError.isEmpty()) {
        session.prompter().error(storeError);
        return ExitFailure;
    }

    std::printf("Imagens a revisar: %d\n"
                "Medidas: %d\n"
                "Miniaturas gravadas: %d\n"
                "Sem miniatura (até %d pixels): %d\n"
                "Ignoradas (GIF, PNG ou formato não suportado): %d\n"
                "Arquivos ausentes: %d\n"
                "Falhas: %d\n",
        total, measured, thumbnailed, kBox, fits, ignored, missing, failed);
    std::fflush(stdout);
    if (cancelled)
        return exitCancelled;
    return failed > 0 ? ExitFailure : ExitOk;
}
