#include "intake/thumbnailtask.h"

#include "store/dberror.h"

namespace {
// How often the catalogue side looks for finished pictures: often enough for a steady
// progress bar, seldom enough to leave the event loop to the window.
constexpr int kStepMs = 15;
} // namespace

ThumbnailTask::ThumbnailTask(TDados &store, int jobs, QObject *parent)
    : QObject(parent), m_run(store, jobs)
{
    m_timer.setInterval(kStepMs);
    connect(&m_timer, &QTimer::timeout, this, &ThumbnailTask::step);
    m_run.progress = [this](int done, int total) { emit progress(done, total); };
    m_run.pictureFailed
        = [this](const QString &path, const QString &error) { emit pictureFailed(path, error); };
}

ThumbnailTask::~ThumbnailTask() = default;

void ThumbnailTask::restrictTo(std::vector<qint64> keys)
{
    m_run.restrictTo(std::move(keys));
}

void ThumbnailTask::start()
{
    m_storeError.clear();
    try {
        if (!m_run.start()) {
            // Told from the event loop, as every other end is.
            QTimer::singleShot(0, this, &ThumbnailTask::finish);
            return;
        }
    } catch (const DbError &e) {
        m_storeError = e.message();
        QTimer::singleShot(0, this, &ThumbnailTask::finish);
        return;
    }
    m_timer.start();
}

void ThumbnailTask::cancel()
{
    m_run.cancel();
}

void ThumbnailTask::step()
{
    try {
        if (m_run.advance(0))
            return;
    } catch (const DbError &e) {
        m_storeError = e.message();
    }
    finish();
}

void ThumbnailTask::finish()
{
    m_timer.stop();
    emit finished();
}
