#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class TDados;

// What `quillomar-cli thumbs` does: the review of the picture page's first showing
// (PictureReview) for every picture still to review, and for every picture whose thumbnail
// has gone (a rescan deletes them) while it is larger than the view and its recorded size
// allows a thumbnail (the writer refuses one of 0 pixels a side, every time). Every picture
// examined also gets its photo facts and fingerprints recorded: one that fits the view keeps
// Review true and is not examined again while its file stays as it was, and one reviewed
// before the facts were read (Review false, no facts) is examined once more, its details
// recorded as seen upright and its thumbnail made again when its orientation turns it.
// Pictures are read and thumbnailed on a thread pool; the catalogue is written on the calling
// thread in short transactions with room between them, so that other processes can write
// meanwhile. A read-only catalogue gets its thumbnails and nothing recorded. A thumbnail
// folder that cannot be written stops the run at its first failure.
//
// run() works to the end; start() and advance() do the same a step at a time, for a caller
// that keeps an event loop going meanwhile (ThumbnailTask).
class ThumbnailRun {
public:
    static constexpr int kMaxJobs = 32;

    struct Counts {
        int toReview = 0; // Review true and not examined as it is, or facts still to read
        int toRestore = 0; // Review false, thumbnail missing, larger than the view
        int measured = 0;
        int thumbnailed = 0;
        int fits = 0; // no larger than the view
        int ignored = 0; // GIF, PNG, or a format the view does not draw
        int missing = 0; // no file
        int failed = 0;
    };
    enum class End { Done, Cancelled, ThumbnailFolderFailed };

    ThumbnailRun(TDados &store, int jobs);
    ~ThumbnailRun();
    ThumbnailRun(const ThumbnailRun &) = delete;
    ThumbnailRun &operator=(const ThumbnailRun &) = delete;

    // Only these pictures (those a scan found, say); without it, every picture. Before run().
    void restrictTo(std::vector<qint64> keys);

    // Runs to the end; throws DbError when the catalogue cannot be read or written (what was
    // committed before stays).
    End run();

    // Begins: false when there is nothing to start (the thumbnail folder failed; end() says
    // so). Throws DbError.
    bool start();
    // Hands finished pictures to the catalogue and more to the workers, waiting up to waitMs
    // for one to finish; false once the run is over (end() says how). Throws DbError; the
    // workers have stopped when it does.
    bool advance(int waitMs);
    End end() const { return m_end; }
    // Asks the run to stop: the pictures under way are finished and recorded.
    void cancel() { m_cancelled = true; }

    const Counts &counts() const { return m_counts; }
    // Why the thumbnail folder failed, in one text.
    QString folderError() const { return m_folderError; }

    // A picture that could not be measured, drawn or thumbnailed, with why.
    std::function<void(const QString &path, const QString &error)> pictureFailed;
    std::function<void(int done, int total)> progress;
    std::function<bool()> cancelRequested;

private:
    struct State;
    void stopWorkers();

    TDados &m_store;
    int m_jobs;
    Counts m_counts;
    QString m_folderError;
    std::vector<qint64> m_keys;
    bool m_restricted = false;
    bool m_cancelled = false;
    End m_end = End::Done;
    std::unique_ptr<State> m_state;
};
