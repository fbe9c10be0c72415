#include "intake/jpegconv.h"

#include "intake/jpegerrormanager.h"
#include "intake/picturefile.h"
#include "intake/thumbnailencoder.h"
#include "intake/thumbnailfile.h"

#include <QFile>
#include <QIODevice>

#include <sys/stat.h>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

JpegError::JpegError(const QString &message, int code, Where where)
    : std::runtime_error(message.toStdString()), m_code(code), m_where(where)
{
}

namespace {

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa;
    struct stat sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0
        || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Checked before anything is read: the width first, as the users of the writer expect.
void checkSize(int width, int height)
{
    if (width < 1)
        throw JpegError(QStringLiteral("Invalid Width"));
    if (height < 1)
        throw JpegError(QStringLiteral("Invalid Height"));
    if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION
        || static_cast<long long>(width) * height > kJpegMaxOutputPixels)
        throw jpegerrors::codeError(JERR_IMAGE_TOO_BIG);
}

QByteArray convert(QIODevice &src, int width, int height, QRgb colour)
{
    const JpegDecoder::Picture picture = JpegDecoder::decode(src, QSize(width, height));
    return ThumbnailEncoder::encode(picture.image, width, height, colour, picture.placement);
}

} // namespace

void ConvertJPEGStream(QIODevice &src, QIODevice &dst, int width, int height, QRgb colour)
{
    checkSize(width, height);
    if (!src.isReadable())
        throw jpegerrors::codeError(JERR_FILE_READ);
    if (!dst.isWritable())
        throw jpegerrors::codeError(JERR_FILE_WRITE);
    const QByteArray bytes = convert(src, width, height, colour);
    if (dst.write(bytes) != bytes.size())
        throw jpegerrors::codeError(JERR_FILE_WRITE);
}

void ConvertJPEGFile(const QString &src, const QString &dst, int width, int height, QRgb colour)
{
    const bool dstIsSource = sameFile(src, dst);
    try {
        checkSize(width, height);
        QFile in;
        QString error;
        if (PictureFile::open(src, in, &error) != PictureFile::Status::Opened)
            throw JpegError(error);
        const QByteArray bytes = convert(in, width, height, colour);
        in.close();
        ThumbnailFile::write(dst, bytes);
    } catch (const JpegError &) {
        if (!dstIsSource)
            QFile::remove(dst);
        throw;
    }
}
