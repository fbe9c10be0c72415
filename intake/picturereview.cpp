#include "intake/picturereview.h"

#include "intake/perceptualhash.h"
#include "intake/picturemeasure.h"
#include "intake/thumbnailencoder.h"
#include "intake/thumbnailfile.h"
#include "intake/thumbsize.h"

#include <QFile>

namespace {
const QRgb kWhite = qRgb(255, 255, 255);
}

bool PictureReview::isWebType(const QString &fileType)
{
    return fileType == QLatin1String("gif") || fileType == QLatin1String("png");
}

PictureReview::Result PictureReview::examine(
    const Picture &picture, const QSize &box, bool makeThumbnail)
{
    Result result;
    const PictureMeasure measure = PictureMeasure::measure(picture.path, picture.fileType);
    if (measure.isMissing())
        return result;
    result.outcome = Outcome::NotDrawn;
    result.facts = measure.facts();
    result.orientation = measure.orientation();
    if (const QByteArray *whole = measure.wholeFile())
        result.fingerprint.content = ContentFingerprint::ofBytes(*whole);
    else if (measure.fileSize() >= 0)
        result.fingerprint.content
            = ContentFingerprint::sampledFile(picture.path).value_or(ContentFingerprint());
    if (!measure.isValid()) {
        result.error = measure.errorText();
        return result;
    }
    result.size = measure.size();
    result.colorType = measure.colorType();
    // Larger than the view, the picture is drawn at its thumbnail's size: the view shows
    // exactly what the thumbnail will hold.
    result.view = measure.decode(measure.viewSize(box), &result.error);
    if (result.view.isNull())
        return result;
    result.error.clear();
    quint64 looks = 0;
    if (perceptualhash::of(result.view, looks))
        result.fingerprint.perceptual = looks;
    const std::optional<QSize> thumb
        = thumbnailSize(result.size.width(), result.size.height(), box.width(), box.height());
    if (!thumb) {
        result.outcome = Outcome::Fits;
        return result;
    }
    result.outcome = Outcome::Larger;
    if (makeThumbnail) {
        try {
            result.thumbnail
                = ThumbnailEncoder::encode(result.view, thumb->width(), thumb->height(), kWhite);
        } catch (const JpegError &e) {
            result.thumbnailError = e;
        }
    }
    return result;
}

QList<QPair<QString, QVariant>> PictureReview::details(const Result &result, bool clearReview)
{
    QList<QPair<QString, QVariant>> columns;
    if (result.colorType)
        columns.append({ QStringLiteral("ColorType"), *result.colorType });
    columns.append({ QStringLiteral("Width"), result.size.width() });
    columns.append({ QStringLiteral("Height"), result.size.height() });
    if (clearReview)
        columns.append({ QStringLiteral("Review"), false });
    return columns;
}

void PictureReview::writeThumbnail(const Result &result, const QString &thumbnail)
{
    if (result.thumbnailError) {
        QFile::remove(thumbnail);
        throw *result.thumbnailError;
    }
    if (!result.thumbnail.isEmpty())
        ThumbnailFile::write(thumbnail, result.thumbnail);
}
