#pragma once

#include "intake/contentfingerprint.h"
#include "intake/jpegerror.h"
#include "intake/photofacts.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPair>
#include <QSize>
#include <QString>
#include <QVariant>

#include <optional>

// The review of one picture, as its first showing on the picture page does it and as
// `quillomar-cli thumbs` does it for many: measure the file, draw it at the size the
// thumbnail view needs, and when it is larger than the view make its thumbnail from the
// picture as drawn, so that whatever the view can draw gets a thumbnail. The details to
// record (ColorType, Width, Height, Review) come from here too. No windows; re-entrant.
class PictureReview {
public:
    // The thumbnail view of the picture page.
    static constexpr int kViewSide = 135;

    struct Picture {
        QString path; // the picture's file
        QString fileType; // the catalogue's FileType
        QString thumbnail; // where its thumbnail goes
    };

    enum class Outcome {
        Missing, // no file at the path
        NotDrawn, // neither measured nor drawn: error says why
        Fits, // drawn; no larger than the view, so nothing is recorded
        Larger, // drawn; larger than the view: its details are recorded, a thumbnail made
    };

    // What tells a picture's copies from other pictures: its bytes, hashed from what the
    // review read of them (whole when it read the file whole, else fixed samples, as for a
    // RAW file of which it reads the preview only), and its looks, hashed from the picture as
    // drawn for the view (the thumbnail's picture).
    struct Fingerprint {
        ContentFingerprint content; // not valid when the file could not be read
        std::optional<quint64> perceptual;
    };

    struct Result {
        Outcome outcome = Outcome::Missing;
        QString error;
        QSize size; // the picture's own, as seen upright
        std::optional<int> colorType;
        // What the file says of the photo: read for every picture examined, also one that
        // fits the view or cannot be drawn.
        PhotoFacts facts;
        int orientation = 1; // the EXIF orientation the view and the thumbnail were turned by
        Fingerprint fingerprint;
        QImage view; // the picture as the view draws it, upright
        QByteArray thumbnail; // the thumbnail's JPEG bytes, when made
        std::optional<JpegError> thumbnailError; // why no thumbnail could be made
    };

    // Reads and draws the picture for a view of `box`; for a picture larger than it, makes
    // the thumbnail's bytes too when `makeThumbnail`. Writes nothing.
    static Result examine(const Picture &picture, const QSize &box, bool makeThumbnail);

    // The columns a larger picture's showing records, in order; Review := false only when
    // `clearReview` (not while the person edits the row).
    static QList<QPair<QString, QVariant>> details(const Result &result, bool clearReview);

    // Puts the thumbnail in place; throws the JpegError that prevented it. When the picture
    // got no thumbnail, the file under its name is removed, since any file there is taken
    // as its thumbnail.
    static void writeThumbnail(const Result &result, const QString &thumbnail);

    // GIF and PNG pictures are shown in the web view and never reviewed.
    static bool isWebType(const QString &fileType);
};
