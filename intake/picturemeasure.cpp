#include "intake/picturemeasure.h"

#include "intake/decodebudget.h"
#include "intake/heifpicture.h"
#include "intake/jpegdecoder.h"
#include "intake/jpegerror.h"
#include "intake/orientation.h"
#include "intake/photofactsreader.h"
#include "intake/picturefile.h"
#include "intake/rawpreview.h"
#include "intake/thumbsize.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <shared_mutex>

namespace {

quint32 u32(const QByteArray &b, int at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16
        | quint32(uchar(b[at + 3])) << 24;
}

quint16 u16(const QByteArray &b, int at)
{
    return quint16(uchar(b[at]) | uchar(b[at + 1]) << 8);
}

// BITMAPINFOHEADER compression codes.
constexpr quint32 kRgb = 0;
constexpr quint32 kBitFields = 3;
constexpr quint32 kAlphaBitFields = 6;

// OS/2 2.x headers reuse the compression codes for other schemes and carry no masks.
constexpr quint32 kOs2HeaderSize = 64;

// Qt's readers give their failures in English; the program says them in its own words.
QString readerError(const QImageReader &reader, bool reading)
{
    if (reader.error() == QImageReader::UnsupportedFormatError || !reading)
        return QStringLiteral("Formato de imagem não suportado.");
    return QStringLiteral("Não foi possível ler os dados da imagem.");
}

QString tooLargeError()
{
    return QStringLiteral("A imagem é grande demais para ser desenhada.");
}

// Qt's allocation limit is one value for the whole process. Every read takes it shared; a
// read of a bitmap whose pixels were counted in its file raises it, alone.
std::shared_mutex &allocationLimitLock()
{
    static std::shared_mutex lock;
    return lock;
}

QImage readWithLimit(QImageReader &reader, qint64 bytes, bool raise)
{
    if (!raise) {
        std::shared_lock shared(allocationLimitLock());
        return reader.read();
    }
    std::unique_lock alone(allocationLimitLock());
    const int limit = QImageReader::allocationLimit();
    const int needed = int(bytes / (1024 * 1024) + 1);
    if (limit > 0 && needed > limit)
        QImageReader::setAllocationLimit(needed);
    QImage image = reader.read();
    QImageReader::setAllocationLimit(limit);
    return image;
}

} // namespace

std::optional<BmpLayout> PictureMeasure::readBmpLayout(QIODevice &device, qint64 fileSize)
{
    // File header, the largest info header (V5, 124 bytes) and masks after a short one.
    const QByteArray head = device.read(14 + 124 + 16);
    if (head.size() < 26 || head[0] != 'B' || head[1] != 'M')
        return std::nullopt;
    const qint64 offBits = u32(head, 10);
    const quint32 infoSize = u32(head, 14);
    BmpLayout layout;
    qint64 width = 0;
    qint64 height = 0;
    if (infoSize == 12) {
        width = u16(head, 18);
        height = u16(head, 20);
        layout.bitsPerPixel = u16(head, 24);
    } else if (infoSize >= 16 && head.size() >= 30) {
        width = qint32(u32(head, 18));
        height = qint32(u32(head, 22));
        layout.bitsPerPixel = u16(head, 28);
        if (infoSize >= 20 && head.size() >= 34)
            layout.compression = u32(head, 30);
    } else {
        return std::nullopt;
    }
    // Masks sit at offset 54 both inside a V2..V5 header and after a 40-byte one.
    layout.hasMasks = infoSize != kOs2HeaderSize
        && (layout.compression == kBitFields || layout.compression == kAlphaBitFields);
    if (layout.hasMasks && head.size() >= 66) {
        layout.redMask = u32(head, 54);
        layout.greenMask = u32(head, 58);
        layout.blueMask = u32(head, 62);
    }
    height = std::abs(height); // negative: stored top row first
    if (width < 1 || height < 1 || width > 0x7fffffff || height > 0x7fffffff)
        return layout;
    layout.width = int(width);
    layout.height = int(height);

    // Some writers leave the pixel offset wrong; the pixels never start before the headers.
    const qint64 headers = 14 + qint64(infoSize);
    const qint64 dataStart = offBits >= headers && offBits <= fileSize ? offBits : headers;
    const qint64 available = std::max<qint64>(0, fileSize - dataStart);
    const bool uncompressed = infoSize == 12 || layout.compression == kRgb
        || (infoSize != kOs2HeaderSize
            && (layout.compression == kBitFields || layout.compression == kAlphaBitFields));
    if (uncompressed) {
        if (layout.bitsPerPixel < 1 || layout.bitsPerPixel > 32)
            return layout;
        const qint64 bits = width * layout.bitsPerPixel;
        const qint64 stride = (bits + 31) / 32 * 4;
        // The last row's padding may be missing; divided, so that no product overflows.
        const qint64 lastRow = (bits + 7) / 8;
        layout.complete = available >= lastRow && (available - lastRow) / stride >= height - 1;
    } else {
        // Run-length rows each end with a two-byte mark, whatever they hold.
        layout.complete = available >= 2 * height;
    }
    return layout;
}

std::optional<int> PictureMeasure::colorTypeFor(
    const QString &fileType, const std::optional<BmpLayout> &bmp)
{
    if (fileType == QLatin1String("bmp")) {
        if (!bmp)
            return 0;
        switch (bmp->bitsPerPixel) {
        case 1: return 16;
        case 4: return std::nullopt;
        case 8: return 15;
        case 16:
            if (!bmp->hasMasks)
                return std::nullopt; // 5-5-5
            return bmp->greenMask == 0x07E0 ? 17 : 0;
        case 24: return std::nullopt;
        default: return 0;
        }
    }
    if (fileType == QLatin1String("jpg"))
        return 3;
    if (fileType == QLatin1String("emf") || fileType == QLatin1String("wmf"))
        return 15;
    if (fileType == QLatin1String("ico"))
        return 11;
    return std::nullopt;
}

PictureMeasure PictureMeasure::measure(const QString &path, const QString &fileType)
{
    PictureMeasure m;
    m.m_path = path;
    m.m_fileType = fileType;
    QFile file;
    const PictureFile::Status status = PictureFile::open(path, file, &m.m_error);
    if (status != PictureFile::Status::Opened) {
        m.m_missing = status == PictureFile::Status::Missing;
        return m;
    }
    m.m_fileSize = file.size();
    m.m_kind = PictureContainer::sniff(file.peek(PictureContainer::kHeadBytes));

    if (m.m_kind == PictureContainer::Kind::Heif) {
        // libheif reads from memory; the bytes serve the facts and the pixels alike.
        if (file.size() > kMaxHeifFileBytes) {
            m.m_error = tooLargeError();
            return m;
        }
        const QByteArray bytes = file.readAll();
        if (bytes.size() != file.size()) {
            m.m_error = QStringLiteral("Não foi possível ler os dados da imagem.");
            return m;
        }
        m.m_whole = bytes;
        m.m_heif = HeifPicture::open(bytes, &m.m_error);
        if (!m.m_heif)
            return m;
        m.m_facts = PhotoFactsReader::fromBlocks(m.m_heif->metadata());
        m.m_format = "heif";
        m.m_size = m.m_storedSize = m.m_heif->size();
        return m;
    }

    const bool raw = PictureContainer::isRaw(m.m_kind, fileType);
    // Drawn from its whole content: read once, and everything below reads the memory.
    if (!raw && m.m_fileSize <= kMaxWholeReadBytes) {
        QByteArray bytes = file.readAll();
        if (bytes.size() != m.m_fileSize) {
            m.m_error = QStringLiteral("Não foi possível ler os dados da imagem.");
            return m;
        }
        m.m_whole = std::move(bytes);
    }

    // A damaged picture still has its date and camera.
    if (m.m_kind != PictureContainer::Kind::Other)
        m.m_facts
            = m.m_whole.isNull() ? PhotoFactsReader::read(file) : PhotoFactsReader::read(m.m_whole);

    if (raw) {
        m.m_raw = RawPreview::open(file, m.m_facts.orientation.value_or(1), &m.m_error);
        if (!m.m_raw)
            return m;
        m.m_format = "raw";
        m.m_orientation = m.m_raw->orientation();
        m.m_size = m.m_raw->size();
        m.m_storedSize = Orientation::upright(m.m_size, m.m_orientation);
        return m;
    }

    QBuffer memory;
    QIODevice *device = &file;
    if (!m.m_whole.isNull()) {
        memory.setData(m.m_whole);
        memory.open(QIODevice::ReadOnly);
        device = &memory;
    }
    if (!device->seek(0)) {
        m.m_error = device->errorString();
        return m;
    }
    m.m_bmp = readBmpLayout(*device, m.m_fileSize);
    if (!device->seek(0)) {
        m.m_error = device->errorString();
        return m;
    }
    QImageReader reader(device);
    // The orientation is the program's to apply, once.
    reader.setAutoTransform(false);
    m.m_format = reader.format();
    m.m_storedSize = reader.size();
    // Qt reports a top-down bitmap's height as negative.
    if (m.m_bmp && m.m_format == "bmp" && m.m_bmp->width > 0)
        m.m_storedSize = QSize(m.m_bmp->width, m.m_bmp->height);
    if (m.m_format.isEmpty() || !m.m_storedSize.isValid() || m.m_storedSize.isEmpty()) {
        m.m_storedSize = QSize();
        m.m_error = readerError(reader, false);
        return m;
    }
    // Formats with EXIF: JPEG, TIFF, WebP, PNG.
    if (m.m_kind != PictureContainer::Kind::Other)
        m.m_orientation = m.m_facts.orientation.value_or(1);
    m.m_size = Orientation::upright(m.m_storedSize, m.m_orientation);
    // Qt's reader would draw a short file's missing rows as black: a few bytes that claim
    // millions of pixels would then take the memory of a real picture.
    if (m.m_bmp && m.m_format == "bmp" && !m.m_bmp->complete)
        m.m_error = QStringLiteral("O arquivo tem menos dados de imagem do que o seu cabeçalho "
                                   "declara.");
    return m;
}

QString PictureMeasure::picturePath(const QString &fullPath, const QString &fileName)
{
    return fullPath.endsWith(QLatin1Char('/')) ? fullPath + fileName
                                               : fullPath + QLatin1Char('/') + fileName;
}

QSize PictureMeasure::viewSize(const QSize &box) const
{
    const std::optional<QSize> scaled
        = thumbnailSize(m_size.width(), m_size.height(), box.width(), box.height());
    if (!scaled)
        return m_size;
    return QSize(std::max(1, scaled->width()), std::max(1, scaled->height()));
}

QImage PictureMeasure::decode(const QSize &size, QString *error) const
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return QImage();
    };
    if (!isValid())
        return fail(m_error);
    const QSize wanted = size.isValid() && !size.isEmpty() ? size : m_size;
    if (m_heif)
        return m_heif->decode(wanted, error);
    if (m_raw)
        return m_raw->decode(wanted, error);
    // Drawn as stored at the size that is `wanted` once upright, then turned: the scaled
    // picture is what moves, not the file's.
    const QImage stored = decodeWithQt(Orientation::upright(wanted, m_orientation), error);
    return Orientation::apply(stored, m_orientation);
}

QImage PictureMeasure::decodeWithQt(const QSize &wanted, QString *error) const
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return QImage();
    };
    QFile file;
    QBuffer inMemory;
    QIODevice *device = &file;
    if (!m_whole.isNull()) {
        inMemory.setData(m_whole);
        inMemory.open(QIODevice::ReadOnly);
        device = &inMemory;
    } else {
        QString openError;
        if (PictureFile::open(m_path, file, &openError) != PictureFile::Status::Opened)
            return fail(openError);
    }
    if (isJpeg()) {
        try {
            return JpegDecoder::decode(*device, wanted).image;
        } catch (const JpegError &e) {
            return fail(e.message());
        }
    }

    QImageReader reader(device, m_format);
    reader.setAutoTransform(false);
    const bool scale = wanted != m_storedSize;
    const bool readerScales = reader.supportsOption(QImageIOHandler::ScaledSize);
    if (scale && readerScales)
        reader.setScaledSize(wanted);
    // What the read holds: the picture as read (at most 4 bytes a pixel) and its copy.
    const QSize read = scale && readerScales ? wanted : m_storedSize;
    const qint64 bytes
        = 4 * (qint64(read.width()) * read.height() + qint64(wanted.width()) * wanted.height());
    const bool counted = m_bmp && m_format == "bmp" && m_bmp->complete;
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    if (bytes > DecodeBudget::kTotal && (counted || limit <= 0))
        return fail(tooLargeError());
    // Any other file is held to Qt's limit, whatever size it declares.
    const qint64 held = counted || limit <= 0
        ? bytes
        : std::min(bytes, limit + 4 * qint64(wanted.width()) * wanted.height());
    const DecodeBudget::Reservation memory(std::min(held, DecodeBudget::kTotal));
    QImage image = readWithLimit(reader, bytes, counted && bytes > limit);
    if (image.isNull())
        return fail(readerError(reader, true));
    if (scale && !readerScales) {
        // Smooth scaling keeps a palette picture's format, and averages 1-bit ones to black.
        if (image.depth() < 32)
            image = image.convertToFormat(
                image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        image = image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}
