#pragma once

#include "intake/thumbnailrun.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

class TDados;

// The review of `quillomar-cli thumbs` for a window: the same ThumbnailRun, its pictures read
// and thumbnailed on worker threads while the catalogue is written a step at a time from the
// event loop of the thread the task lives in, so the window never freezes. The scan dialog's
// "Gerar miniaturas" starts one after the scan's commit for the pictures the scan found
// (FolderScan::touchedPictures), shows its progress and cancels it.
class ThumbnailTask : public QObject {
    Q_OBJECT
public:
    ThumbnailTask(TDados &store, int jobs, QObject *parent = nullptr);
    ~ThumbnailTask() override;

    // Only these pictures; without it, every picture still to review. Before start().
    void restrictTo(std::vector<qint64> keys);
    // Begins and returns at once; finished() tells the end. A task runs once.
    void start();
    bool isRunning() const { return m_timer.isActive(); }

    const ThumbnailRun::Counts &counts() const { return m_run.counts(); }
    ThumbnailRun::End end() const { return m_run.end(); }
    // The catalogue's error that ended the task, empty when none did.
    QString storeError() const { return m_storeError; }
    // Why the thumbnail folder failed.
    QString folderError() const { return m_run.folderError(); }

public slots:
    // The pictures under way are finished and recorded, then finished() comes.
    void cancel();

signals:
    void progress(int done, int total);
    void pictureFailed(const QString &path, const QString &error);
    // The run is over: end(), counts(), storeError() and folderError() say how.
    void finished();

private:
    void step();
    void finish();

    ThumbnailRun m_run;
    QTimer m_timer;
    QString m_storeError;
};
