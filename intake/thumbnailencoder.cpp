#include "intake/thumbnailencoder.h"

#include "intake/jpegdecoder.h"
#include "intake/jpegerror.h"
#include "intake/jpegerrormanager.h"
#include "intake/thumbsize.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace {

using jpegerrors::codeError;
using jpegerrors::ErrorManager;

// Compresses RGB rows into a malloc'ed buffer; returns 0 or the libjpeg message code.
// Nothing with a destructor lives in this frame, which libjpeg may longjmp into.
int compress(const uchar *rgb, qsizetype stride, int width, int height, unsigned char **buffer,
    unsigned long *size)
{
    jpeg_compress_struct cinfo;
    ErrorManager err;
    jpegerrors::installErrorManager(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        const int code = err.pub.msg_code;
        jpeg_destroy_compress(&cinfo);
        return code;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    jpegerrors::setThumbnailEncoding(cinfo, width, height);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + stride * qsizetype(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 0;
}

// The picture drawn into its rectangle over the background, alpha blended.
QImage compose(const QImage &image, const QRect &rect, int width, int height, QRgb colour)
{
    QImage canvas(width, height, QImage::Format_RGB888);
    if (canvas.isNull())
        throw codeError(JERR_OUT_OF_MEMORY);
    canvas.fill(QColor(qRed(colour), qGreen(colour), qBlue(colour)));
    QImage picture = image.size() == rect.size()
        ? image
        : image.scaled(rect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!picture.hasAlphaChannel()) {
        picture = picture.convertToFormat(QImage::Format_RGB888);
        if (picture.isNull())
            throw codeError(JERR_OUT_OF_MEMORY);
        for (int y = 0; y < rect.height(); ++y)
            std::copy_n(picture.constScanLine(y), size_t(rect.width()) * 3,
                canvas.scanLine(rect.top() + y) + rect.left() * 3);
        return canvas;
    }
    picture = picture.convertToFormat(QImage::Format_ARGB32);
    if (picture.isNull())
        throw codeError(JERR_OUT_OF_MEMORY);
    const int r0 = qRed(colour), g0 = qGreen(colour), b0 = qBlue(colour);
    for (int y = 0; y < rect.height(); ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        uchar *dst = canvas.scanLine(rect.top() + y) + rect.left() * 3;
        for (int x = 0; x < rect.width(); ++x, dst += 3) {
            const QRgb p = src[x];
            const int a = qAlpha(p);
            dst[0] = uchar((qRed(p) * a + r0 * (255 - a) + 127) / 255);
            dst[1] = uchar((qGreen(p) * a + g0 * (255 - a) + 127) / 255);
            dst[2] = uchar((qBlue(p) * a + b0 * (255 - a) + 127) / 255);
        }
    }
    return canvas;
}

} // namespace

QRect ThumbnailEncoder::placement(const QSize &picture, int width, int height)
{
    return thumbnailPlacement(picture, width, height);
}

QByteArray ThumbnailEncoder::encode(
    const QImage &image, int width, int height, QRgb colour, std::optional<QRect> at)
{
    if (width < 1)
        throw JpegError(QStringLiteral("Invalid Width"));
    if (height < 1)
        throw JpegError(QStringLiteral("Invalid Height"));
    if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION
        || qint64(width) * height > kJpegMaxOutputPixels)
        throw codeError(JERR_IMAGE_TOO_BIG);
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        throw codeError(JERR_EMPTY_IMAGE);

    const QRect rect = at.value_or(placement(image.size(), width, height))
                           .intersected(QRect(0, 0, width, height));
    if (rect.isEmpty())
        throw codeError(JERR_EMPTY_IMAGE);
    const QImage canvas = compose(image, rect, width, height, colour);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    const int code
        = compress(canvas.constBits(), canvas.bytesPerLine(), width, height, &buffer, &size);
    QByteArray bytes;
    if (code == 0)
        bytes = QByteArray(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    if (code != 0)
        throw codeError(code);
    return bytes;
}
