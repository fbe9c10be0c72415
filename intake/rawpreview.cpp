#include "intake/rawpreview.h"

#include "intake/decodebudget.h"
#include "intake/exiv2setup.h"
#include "intake/jpegdecoder.h"
#include "intake/jpegerror.h"
#include "intake/metadatablocks.h"
#include "intake/orientation.h"
#include "intake/picturecontainer.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <exiv2/exiv2.hpp>
#include <libraw/libraw.h>

namespace {

QString noPreview()
{
    return QStringLiteral("O arquivo RAW não tem uma pré-visualização embutida que possa ser "
                          "lida.");
}

void quiet(void *, const char *, const int) { }

// The JPEG's own size, from its frame header.
QSize jpegSize(const QByteArray &jpeg)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    return reader.size();
}

// LibRaw reads the file through a path; the one of the descriptor already open names the
// same file even if it was renamed or replaced since.
QByteArray descriptorPath(const QFile &file)
{
    return QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(file.handle());
}

// What either library found.
struct Found {
    QSize size;
    int orientation = 1;
    QSize stored;
    QByteArray jpeg;
    QImage bitmap;
};

bool fromLibRaw(QFile &file, Found &found)
{
    QSize &size = found.size;
    int &orientation = found.orientation;
    QSize &stored = found.stored;
    QByteArray &jpeg = found.jpeg;
    QImage &bitmap = found.bitmap;
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    // Its default handler prints the file's faults on the standard error.
    raw->set_dataerror_handler(quiet, nullptr);
    if (raw->open_file(descriptorPath(file).constData()) != LIBRAW_SUCCESS)
        return false;
    const libraw_image_sizes_t &sizes = raw->imgdata.sizes;
    orientation = Orientation::fromLibRawFlip(sizes.flip);
    size = Orientation::upright(QSize(sizes.width, sizes.height), orientation);
    const libraw_thumbnail_t &thumbnail = raw->imgdata.thumbnail;
    if (size.isEmpty() || thumbnail.tlength == 0 || thumbnail.tlength > RawPreview::kMaxPreviewBytes
        || qint64(thumbnail.tlength) > file.size())
        return false;
    if (raw->unpack_thumb() != LIBRAW_SUCCESS)
        return false;
    // A JPEG preview is taken as LibRaw read it, without a second copy of a few megabytes.
    if (thumbnail.tformat == LIBRAW_THUMBNAIL_JPEG && thumbnail.thumb && thumbnail.tlength > 0) {
        jpeg = QByteArray(thumbnail.thumb, qsizetype(thumbnail.tlength));
        stored = jpegSize(jpeg);
        return stored.isValid() && !stored.isEmpty();
    }
    int code = 0;
    libraw_processed_image_t *image = raw->dcraw_make_mem_thumb(&code);
    if (!image)
        return false;
    std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t *)> owned(
        image, LibRaw::dcraw_clear_mem);
    if (image->type == LIBRAW_IMAGE_JPEG) {
        jpeg = QByteArray(reinterpret_cast<const char *>(image->data), qsizetype(image->data_size));
        stored = jpegSize(jpeg);
    } else if (image->type == LIBRAW_IMAGE_BITMAP && image->bits == 8
        && (image->colors == 3 || image->colors == 1)
        && qint64(image->width) * image->height * image->colors <= qint64(image->data_size)) {
        const QImage::Format format
            = image->colors == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8;
        bitmap = QImage(image->data, image->width, image->height, image->width * image->colors,
            format)
                     .copy();
        stored = bitmap.size();
    }
    return stored.isValid() && !stored.isEmpty();
}

// Exiv2 knows where more cameras keep their previews, though not the sensor's size.
bool fromExiv2(QFile &file, int exifOrientation, Found &out)
{
    QSize &size = out.size;
    int &orientation = out.orientation;
    QSize &stored = out.stored;
    QByteArray &jpeg = out.jpeg;
    QImage &bitmap = out.bitmap;
    Exiv2Setup::prepare();
    const qint64 length = file.size();
    uchar *map = file.map(0, length, QFileDevice::MapPrivateOption);
    if (!map)
        return false;
    bool found = false;
    try {
        // Its XMP is of no use here, and a hostile packet would cost seconds.
        const PictureContainer::Kind kind
            = PictureContainer::sniff(QByteArray::fromRawData(reinterpret_cast<const char *>(map),
                int(std::min<qint64>(length, PictureContainer::kHeadBytes))));
        (kind == PictureContainer::Kind::Cr3 ? EmbeddedXmp::inIsoMedia(map, length)
                                              : EmbeddedXmp::inTiff(map, length))
            .neutralise(map);
        const std::unique_ptr<Exiv2::Image> image = Exiv2Setup::openImage(map, length);
        if (image) {
            image->readMetadata();
            Exiv2::PreviewManager previews(*image);
            const Exiv2::PreviewPropertiesList list = previews.getPreviewProperties();
            // Listed from the smallest; the largest that can be drawn is wanted.
            for (auto it = list.rbegin(); it != list.rend() && !found; ++it) {
                if (it->size_ > uint32_t(RawPreview::kMaxPreviewBytes))
                    continue;
                const Exiv2::PreviewImage preview = previews.getPreviewImage(*it);
                const QByteArray data(reinterpret_cast<const char *>(preview.pData()),
                    qsizetype(preview.size()));
                if (preview.mimeType() == "image/jpeg") {
                    stored = jpegSize(data);
                    if (stored.isValid() && !stored.isEmpty()) {
                        jpeg = data;
                        found = true;
                    }
                } else {
                    QImage image = QImage::fromData(data);
                    if (!image.isNull()) {
                        bitmap = image;
                        stored = image.size();
                        found = true;
                    }
                }
            }
            if (found) {
                orientation = exifOrientation;
                QSize sensor(int(image->pixelWidth()), int(image->pixelHeight()));
                // Exiv2 gives the size of what it takes for the main image, which may
                // be a preview itself; never less than the preview.
                if (sensor.width() < stored.width() || sensor.height() < stored.height())
                    sensor = stored;
                size = Orientation::upright(sensor, orientation);
            }
        }
    } catch (...) {
        found = false;
    }
    file.unmap(map);
    return found;
}

} // namespace

std::shared_ptr<const RawPreview> RawPreview::open(QFile &file, int exifOrientation, QString *error)
{
    Found found;
    bool ok = false;
    try {
        ok = fromLibRaw(file, found);
    } catch (...) {
        ok = false;
    }
    if (!ok) {
        found = Found();
        ok = fromExiv2(file, exifOrientation, found);
    }
    if (!ok) {
        if (error)
            *error = noPreview();
        return nullptr;
    }
    auto preview = std::make_shared<RawPreview>();
    preview->m_size = found.size;
    preview->m_orientation = found.orientation;
    preview->m_previewSize = found.stored;
    preview->m_jpeg = found.jpeg;
    preview->m_bitmap = found.bitmap;
    return preview;
}

QImage RawPreview::decode(const QSize &size, QString *error) const
{
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return QImage();
    };
    if (size.width() < 1 || size.height() < 1)
        return fail(noPreview());
    // The preview is drawn as stored, at the size that turns into `size` once upright.
    const QSize stored = Orientation::upright(size, m_orientation);
    QImage image;
    if (!m_jpeg.isEmpty()) {
        QBuffer buffer;
        buffer.setData(m_jpeg);
        buffer.open(QIODevice::ReadOnly);
        try {
            image = JpegDecoder::decode(buffer, stored).image;
        } catch (const JpegError &e) {
            return fail(e.message());
        }
    } else {
        const DecodeBudget::Reservation memory(4 * qint64(stored.width()) * stored.height());
        image = m_bitmap.scaled(stored, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (image.isNull())
        return fail(noPreview());
    // A preview of another shape than the sensor's is stretched to it, as little as it is.
    if (image.size() != stored)
        image = image.scaled(stored, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return Orientation::apply(image, m_orientation);
}
