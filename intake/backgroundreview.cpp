#include "intake/backgroundreview.h"

#include "intake/thumbnailtask.h"

#include <QTimer>

BackgroundReview::BackgroundReview(TDados &store, QObject *parent)
    : QObject(parent), m_store(store)
{
}

BackgroundReview::~BackgroundReview() = default;

void BackgroundReview::reset()
{
    m_task.reset();
    m_batch.clear();
    m_queue.clear();
    m_asked.clear();
}

void BackgroundReview::request(qint64 key)
{
    if (m_asked.contains(key))
        return;
    m_asked.insert(key);
    m_queue.push_back(key);
    // The rows of one paint go together.
    if (!m_task && !m_startQueued) {
        m_startQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_startQueued = false;
            startNext();
        });
    }
}

void BackgroundReview::startNext()
{
    if (m_task || m_queue.empty())
        return;
    const size_t take = std::min<size_t>(kBatch, m_queue.size());
    m_batch.assign(m_queue.end() - qsizetype(take), m_queue.end());
    m_queue.resize(m_queue.size() - take);
    m_task = std::make_unique<ThumbnailTask>(m_store, kJobs);
    m_task->restrictTo(m_batch);
    connect(m_task.get(), &ThumbnailTask::finished, this, &BackgroundReview::batchFinished,
        Qt::QueuedConnection);
    m_task->start();
}

void BackgroundReview::batchFinished()
{
    m_task.reset();
    const std::vector<qint64> done = std::move(m_batch);
    m_batch.clear();
    for (const qint64 key : done)
        emit reviewed(key);
    startNext();
}
