#pragma once

#include "intake/picturefactstable.h"
#include "intake/picturefingerprints.h"
#include "intake/picturereview.h"

#include <QVariant>

#include <memory>

class Command;
class Connection;

// What the review of a picture leaves in the catalogue, written by one writer inside the
// caller's transaction: for a picture larger than the view its details (ColorType, Width and
// Height as seen upright, Review false), and for every picture whose file was examined, also
// one that fits the view or cannot be drawn, its photo facts and its fingerprints. The facts
// and fingerprints tables are made by the first write that needs them. Throws DbError.
class ReviewRecords {
public:
    // The catalogue's row of the picture reviewed.
    struct Picture {
        qint64 recId = 0;
        QVariant modified; // its Modified as stored when its file was read
    };

    explicit ReviewRecords(Connection &connection);
    ~ReviewRecords();
    ReviewRecords(const ReviewRecords &) = delete;
    ReviewRecords &operator=(const ReviewRecords &) = delete;

    // Records what `result` found; the details only when `details` (the window records them
    // through the row the person may be editing). A missing file leaves nothing.
    void record(const Picture &picture, const PictureReview::Result &result, bool details);

    // Whether a result holds anything to record.
    static bool examined(const PictureReview::Result &result)
    {
        return result.outcome != PictureReview::Outcome::Missing;
    }

private:
    Connection &m_connection;
    PictureFactsTable::Writer m_facts;
    PictureFingerprints::Writer m_fingerprints;
    std::unique_ptr<Command> m_details;
};
