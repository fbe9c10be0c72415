#pragma once

#include <QString>

#include <functional>

class TDados;

// What `quillomar-cli thumbs` does: the review of the picture page's first showing
// (PictureReview) for every picture still to review, and for every picture whose thumbnail
// has gone (a rescan deletes them) while it is larger than the view and its recorded size
// allows a thumbnail (the writer refuses one of 0 pixels a side, every time). Pictures are read and
// thumbnailed on a thread pool; the catalogue is written on the calling thread in short
// transactions with room between them, so that other processes can write meanwhile. A
// thumbnail folder that cannot be written stops the run at its first failure.
class ThumbnailRun {
public:
    static constexpr int kMaxJobs = 32;

    struct Counts {
        int toReview = 0; // Review true
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

    // Runs to the end; throws DbError when the catalogue cannot be read or written (what was
    // committed before stays).
    End run();
    const Counts &counts() const { return m_counts; }
    // Why the thumbnail folder failed, in one text.
    QString folderError() const { return m_folderError; }

    // A picture that could not be measured, drawn or thumbnailed, with why.
    std::function<void(const QString &path, const QString &error)> pictureFailed;
    std::function<void(int done, int total)> progress;
    std::function<bool()> cancelRequested;

private:
    TDados &m_store;
    int m_jobs;
    Counts m_counts;
    QString m_folderError;
};
