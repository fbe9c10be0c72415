#pragma once

#include <QObject>
#include <QSet>

#include <memory>
#include <vector>

class TDados;
class ThumbnailTask;

// Makes the thumbnails the grids find missing, in the background, through the one review
// of the window (ThumbnailTask, the review of `quillomar-cli thumbs`): the pictures asked for
// are reviewed a batch at a time, the newest asked first, each picture once while the
// catalogue stays open. The grids leave out pictures whose disk is not connected.
class BackgroundReview : public QObject {
    Q_OBJECT
public:
    static constexpr int kJobs = 2;
    static constexpr int kBatch = 48; // about a screenful

    explicit BackgroundReview(TDados &store, QObject *parent = nullptr);
    ~BackgroundReview() override;

    void request(qint64 key);
    // Forgets what was asked and stops the review under way (the catalogue closes).
    void reset();

signals:
    // The picture's review ended: its thumbnail, when it got one, is there now.
    void reviewed(qint64 key);

private:
    void startNext();
    void batchFinished();

    TDados &m_store;
    QSet<qint64> m_asked;
    std::vector<qint64> m_queue; // the newest at the end
    std::unique_ptr<ThumbnailTask> m_task;
    std::vector<qint64> m_batch;
    bool m_startQueued = false;
};
