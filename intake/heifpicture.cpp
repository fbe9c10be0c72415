#include "intake/heifpicture.h"

#include "intake/decodebudget.h"
#include "intake/jpegscaler.h"

#include <libheif/heif.h>

#include <cmath>
#include <vector>

namespace {

void prepareLibheif()
{
    static std::once_flag once;
    // Registers the decoders once; never undone, as the process uses them to its end.
    std::call_once(once, [] { heif_init(nullptr); });
}

QString unreadable()
{
    return QStringLiteral("Não foi possível ler os dados da imagem.");
}

QString tooLarge()
{
    return QStringLiteral("A imagem é grande demais para ser desenhada.");
}

QSize handleSize(const heif_image_handle *handle)
{
    return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

bool sameShape(const QSize &a, const QSize &b)
{
    // Thumbnails are rounded to whole pixels; a thumbnail lying on its side is not the same.
    const double ra = double(a.width()) / a.height();
    const double rb = double(b.width()) / b.height();
    return std::abs(ra - rb) <= 0.02 * std::max(ra, rb);
}

} // namespace

std::shared_ptr<HeifPicture> HeifPicture::open(const QByteArray &bytes, QString *error)
{
    prepareLibheif();
    std::shared_ptr<HeifPicture> picture(new HeifPicture);
    picture->m_bytes = bytes;
    picture->m_context = heif_context_alloc();
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return std::shared_ptr<HeifPicture>();
    };
    if (!picture->m_context)
        return fail(unreadable());
    heif_context_set_maximum_image_size_limit(picture->m_context, kMaxSide);
    if (heif_context_read_from_memory_without_copy(picture->m_context,
            picture->m_bytes.constData(), size_t(picture->m_bytes.size()), nullptr)
            .code
        != heif_error_Ok)
        return fail(unreadable());
    if (heif_context_get_primary_image_handle(picture->m_context, &picture->m_primary).code
        != heif_error_Ok)
        return fail(unreadable());
    picture->m_size = handleSize(picture->m_primary);
    if (picture->m_size.width() < 1 || picture->m_size.height() < 1
        || picture->m_size.width() > kMaxSide || picture->m_size.height() > kMaxSide)
        return fail(unreadable());

    const int count = heif_image_handle_get_number_of_thumbnails(picture->m_primary);
    if (count > 0) {
        std::vector<heif_item_id> ids(size_t(std::min(count, 64)));
        const int listed = heif_image_handle_get_list_of_thumbnail_IDs(
            picture->m_primary, ids.data(), int(ids.size()));
        qint64 best = 0;
        for (int i = 0; i < listed; ++i) {
            heif_image_handle *thumbnail = nullptr;
            if (heif_image_handle_get_thumbnail(picture->m_primary, ids[size_t(i)], &thumbnail).code
                != heif_error_Ok)
                continue;
            const QSize s = handleSize(thumbnail);
            const qint64 area = qint64(s.width()) * s.height();
            if (s.width() >= 1 && s.height() >= 1 && s.width() <= picture->m_size.width()
                && s.height() <= picture->m_size.height() && area > best) {
                if (picture->m_thumbnail)
                    heif_image_handle_release(picture->m_thumbnail);
                picture->m_thumbnail = thumbnail;
                best = area;
            } else {
                heif_image_handle_release(thumbnail);
            }
        }
    }
    return picture;
}

HeifPicture::~HeifPicture()
{
    if (m_thumbnail)
        heif_image_handle_release(m_thumbnail);
    if (m_primary)
        heif_image_handle_release(m_primary);
    if (m_context)
        heif_context_free(m_context);
}

MetadataBlocks HeifPicture::metadata() const
{
    std::lock_guard lock(m_mutex);
    return MetadataBlocks::fromHeif(m_primary);
}

heif_image_handle *HeifPicture::thumbnailFor(const QSize &size) const
{
    if (!m_thumbnail)
        return nullptr;
    const QSize s = handleSize(m_thumbnail);
    return s.width() >= size.width() && s.height() >= size.height() && sameShape(s, m_size)
        ? m_thumbnail
        : nullptr;
}

bool HeifPicture::thumbnailServes(const QSize &size) const
{
    return thumbnailFor(size) != nullptr;
}

QImage HeifPicture::decode(const QSize &size, QString *error) const
{
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return QImage();
    };
    if (size.width() < 1 || size.height() < 1)
        return fail(unreadable());
    std::lock_guard lock(m_mutex);
    heif_image_handle *handle = thumbnailFor(size);
    if (!handle)
        handle = m_primary;
    const QSize source = handleSize(handle);
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    // The decoder's planes (4:2:0, as cameras and phones write them; two bytes a sample
    // above 8 bits), the interleaved picture, and the scaled copy.
    const qint64 pixels = qint64(source.width()) * source.height();
    const qint64 sample = heif_image_handle_get_luma_bits_per_pixel(handle) > 8 ? 2 : 1;
    const qint64 planes = pixels * sample * (alpha ? 5 : 3) / 2;
    const qint64 bytes
        = planes + pixels * (alpha ? 4 : 3) + 4 * qint64(size.width()) * size.height();
    if (bytes > DecodeBudget::kTotal)
        return fail(tooLarge());
    const DecodeBudget::Reservation memory(bytes);

    heif_decoding_options *options = heif_decoding_options_alloc();
    options->convert_hdr_to_8bit = 1;
    heif_image *image = nullptr;
    const heif_error decoded = heif_decode_image(handle, &image, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options);
    heif_decoding_options_free(options);
    if (decoded.code != heif_error_Ok || !image)
        return fail(unreadable());
    std::unique_ptr<heif_image, void (*)(const heif_image *)> owned(image, heif_image_release);

    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    if (!plane || width < 1 || height < 1 || stride < width * (alpha ? 4 : 3))
        return fail(unreadable());
    if (!alpha && size.width() <= width && size.height() <= height) {
        // Averaged by area in one pass over the rows, as the JPEG decoder reduces pictures.
        QImage result(size, QImage::Format_RGB888);
        if (result.isNull())
            return fail(tooLarge());
        JpegScaler scaler;
        scaler.start(width, height, width, height, size.width(), size.height(), 3, result.bits(),
            result.bytesPerLine());
        for (int y = 0; y < height && !scaler.done(); ++y)
            scaler.addRow(plane + qsizetype(y) * stride);
        return result;
    }
    const QImage wrapped(plane, width, height, stride,
        alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    QImage result = wrapped.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (result.isNull())
        return fail(tooLarge());
    return result;
}
