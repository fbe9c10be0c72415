#include "support/photosamples.h"

#include <QPainter>
#include <QProcess>
#include <QtEndian>

#include <cmath>

namespace samples {

QImage corners(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(0, 0, 255));
    const int side = std::max(2, std::min(width, height) / 5);
    QPainter painter(&image);
    painter.fillRect(0, 0, side, side, QColor(255, 0, 0));
    painter.fillRect(width - side, 0, side, side, QColor(0, 255, 0));
    return image;
}

int cornerOf(const QImage &image, QRgb colour)
{
    if (image.width() < 8 || image.height() < 8)
        return -1;
    const int in = std::max(2, std::min(image.width(), image.height()) / 20);
    const QPoint points[4] = { { in, in }, { image.width() - 1 - in, in },
        { image.width() - 1 - in, image.height() - 1 - in }, { in, image.height() - 1 - in } };
    for (int i = 0; i < 4; ++i) {
        const QRgb p = image.pixel(points[i]);
        if (std::abs(qRed(p) - qRed(colour)) < 60 && std::abs(qGreen(p) - qGreen(colour)) < 60
            && std::abs(qBlue(p) - qBlue(colour)) < 60)
            return i;
    }
    return -1;
}

namespace tiff {

namespace {
TiffEntry make(quint16 tag, quint16 type, quint32 count, const QByteArray &value)
{
    TiffEntry e;
    e.tag = tag;
    e.type = type;
    e.count = count;
    e.value = value;
    return e;
}

void append16(QByteArray &b, quint16 v)
{
    char d[2];
    qToLittleEndian(v, d);
    b.append(d, 2);
}

void append32(QByteArray &b, quint32 v)
{
    char d[4];
    qToLittleEndian(v, d);
    b.append(d, 4);
}
} // namespace

TiffEntry ascii(quint16 tag, const QByteArray &text)
{
    QByteArray v = text;
    v.append('\0');
    return make(tag, 2, quint32(v.size()), v);
}

TiffEntry shorts(quint16 tag, std::vector<quint16> values)
{
    QByteArray v;
    for (quint16 x : values)
        append16(v, x);
    return make(tag, 3, quint32(values.size()), v);
}

TiffEntry longs(quint16 tag, std::vector<quint32> values)
{
    QByteArray v;
    for (quint32 x : values)
        append32(v, x);
    return make(tag, 4, quint32(values.size()), v);
}

TiffEntry bytes(quint16 tag, quint16 type, const QByteArray &data)
{
    return make(tag, type, quint32(data.size()), data);
}

TiffEntry rationals(quint16 tag, std::vector<std::pair<quint32, quint32>> values)
{
    QByteArray v;
    for (auto [n, d] : values) {
        append32(v, n);
        append32(v, d);
    }
    return make(tag, 5, quint32(values.size()), v);
}

TiffEntry srationals(quint16 tag, std::vector<std::pair<qint32, qint32>> values)
{
    QByteArray v;
    for (auto [n, d] : values) {
        append32(v, quint32(n));
        append32(v, quint32(d));
    }
    return make(tag, 10, quint32(values.size()), v);
}

TiffEntry pointer(quint16 tag, int ifd)
{
    TiffEntry e = make(tag, 4, 1, QByteArray(4, '\0'));
    e.ifd = ifd;
    return e;
}

TiffEntry blobPointer(quint16 tag, int blob)
{
    TiffEntry e = make(tag, 4, 1, QByteArray(4, '\0'));
    e.blob = blob;
    return e;
}

} // namespace tiff

QByteArray writeTiff(const std::vector<TiffIfd> &ifds, const std::vector<QByteArray> &blobs)
{
    // Directories first, at known offsets; then every value longer than four bytes; then
    // the blobs.
    std::vector<quint32> ifdOffsets;
    quint32 at = 8;
    for (const TiffIfd &ifd : ifds) {
        ifdOffsets.push_back(at);
        at += 2 + 12 * quint32(ifd.entries.size()) + 4;
    }
    QByteArray values;
    std::vector<std::vector<quint32>> valueOffsets(ifds.size());
    for (size_t i = 0; i < ifds.size(); ++i) {
        for (const TiffEntry &e : ifds[i].entries) {
            if (e.value.size() > 4 && e.forcedOffset < 0) {
                valueOffsets[i].push_back(at + quint32(values.size()));
                values += e.value;
                if (values.size() & 1)
                    values.append('\0');
            } else {
                valueOffsets[i].push_back(0);
            }
        }
    }
    std::vector<quint32> blobOffsets;
    quint32 blobAt = at + quint32(values.size());
    for (const QByteArray &blob : blobs) {
        blobOffsets.push_back(blobAt);
        blobAt += quint32(blob.size());
    }

    QByteArray out("II*\0", 4);
    tiff::append32(out, 8);
    for (size_t i = 0; i < ifds.size(); ++i) {
        const TiffIfd &ifd = ifds[i];
        tiff::append16(out, quint16(ifd.entries.size()));
        for (size_t k = 0; k < ifd.entries.size(); ++k) {
            const TiffEntry &e = ifd.entries[k];
            tiff::append16(out, e.tag);
            tiff::append16(out, e.type);
            tiff::append32(out, e.count);
            if (e.ifd >= 0) {
                tiff::append32(out, ifdOffsets[size_t(e.ifd)]);
            } else if (e.blob >= 0) {
                tiff::append32(out, blobOffsets[size_t(e.blob)]);
            } else if (e.forcedOffset >= 0) {
                tiff::append32(out, quint32(e.forcedOffset));
            } else if (e.value.size() > 4) {
                tiff::append32(out, valueOffsets[i][k]);
            } else {
                out += e.value + QByteArray(4 - e.value.size(), '\0');
            }
        }
        tiff::append32(out, ifd.next >= 0 ? ifdOffsets[size_t(ifd.next)] : 0);
    }
    out += values;
    for (const QByteArray &blob : blobs)
        out += blob;
    return out;
}

QByteArray withSegment(const QByteArray &jpeg, uchar code, const QByteArray &payload)
{
    QByteArray segment;
    segment.append(char(0xFF));
    segment.append(char(code));
    const int length = int(payload.size()) + 2;
    segment.append(char(length >> 8));
    segment.append(char(length & 0xFF));
    segment += payload;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

QByteArray withExif(const QByteArray &jpeg, const QByteArray &tiff)
{
    return withSegment(jpeg, 0xE1, QByteArray("Exif\0\0", 6) + tiff);
}

QByteArray xmpPacket(const QByteArray &body)
{
    return QByteArray("<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
                      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
                      "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                      "<rdf:Description rdf:about=\"\""
                      " xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
                      " xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\""
                      " xmlns:exif=\"http://ns.adobe.com/exif/1.0/\""
                      " xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\">")
        + body + "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}

QByteArray dng(const QByteArray &previewJpeg, int width, int height, int orientation)
{
    // The preview's own size, from its frame header.
    int pw = 0;
    int ph = 0;
    for (qsizetype i = 2; i + 9 < previewJpeg.size();) {
        const uchar marker = uchar(previewJpeg[i + 1]);
        const int length = uchar(previewJpeg[i + 2]) << 8 | uchar(previewJpeg[i + 3]);
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            ph = uchar(previewJpeg[i + 5]) << 8 | uchar(previewJpeg[i + 6]);
            pw = uchar(previewJpeg[i + 7]) << 8 | uchar(previewJpeg[i + 8]);
            break;
        }
        i += 2 + length;
    }
    // A Bayer mosaic of a flat grey scene, RGGB.
    QByteArray sensor(qsizetype(width) * height * 2, '\0');
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const quint16 v = (x % 2 == 0 && y % 2 == 0) ? 3000 : (x % 2 && y % 2) ? 1000 : 2000;
            qToLittleEndian(v, sensor.data() + (qsizetype(y) * width + x) * 2);
        }

    TiffIfd preview;
    preview.entries = {
        tiff::longs(254, { 1 }), // a reduced image
        tiff::longs(256, { quint32(pw) }),
        tiff::longs(257, { quint32(ph) }),
        tiff::shorts(258, { 8, 8, 8 }),
        tiff::shorts(259, { 7 }), // JPEG
        tiff::shorts(262, { 6 }), // YCbCr
        tiff::ascii(271, "Quillomar"),
        tiff::ascii(272, "Test Camera"),
        tiff::blobPointer(273, 0),
        tiff::shorts(274, { quint16(orientation) }),
        tiff::shorts(277, { 3 }),
        tiff::longs(278, { quint32(ph) }),
        tiff::longs(279, { quint32(previewJpeg.size()) }),
        tiff::pointer(330, 1), // SubIFDs
        tiff::bytes(50706, 1, QByteArray("\x01\x04\x00\x00", 4)), // DNGVersion
        tiff::ascii(50708, "Quillomar Test Camera"),
    };
    TiffIfd raw;
    raw.entries = {
        tiff::longs(254, { 0 }),
        tiff::longs(256, { quint32(width) }),
        tiff::longs(257, { quint32(height) }),
        tiff::shorts(258, { 16 }),
        tiff::shorts(259, { 1 }),
        tiff::shorts(262, { 32803 }), // CFA
        tiff::blobPointer(273, 1),
        tiff::shorts(277, { 1 }),
        tiff::longs(278, { quint32(height) }),
        tiff::longs(279, { quint32(sensor.size()) }),
        tiff::shorts(33421, { 2, 2 }),
        tiff::bytes(33422, 1, QByteArray("\x00\x01\x01\x02", 4)),
        tiff::shorts(50717, { 4095 }), // WhiteLevel
    };
    return writeTiff({ preview, raw }, { previewJpeg, sensor });
}

bool run(const QString &program, const QStringList &arguments, QString *output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    const bool done = p.waitForFinished(120000);
    const QString text = QString::fromLocal8Bit(p.readAll());
    if (output)
        *output = text;
    return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool exiftool(const QString &path, const QStringList &assignments, QString *output)
{
    return run(QStringLiteral("exiftool"),
        QStringList { QStringLiteral("-q"), QStringLiteral("-m"),
            QStringLiteral("-overwrite_original"), QStringLiteral("-n") }
            + assignments + QStringList { path },
        output);
}

bool heifEnc(const QString &source, const QString &output, int thumbnail)
{
    QStringList args { QStringLiteral("-q"), QStringLiteral("85") };
    if (thumbnail > 0)
        args << QStringLiteral("-t") << QString::number(thumbnail);
    args << QStringLiteral("-o") << output << source;
    return run(QStringLiteral("heif-enc"), args);
}

bool heifRotate(const QString &path, int quarterTurns)
{
    return run(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(QM_TEST_SUPPORT_DIR "/heifrotate.py"), path, QString::number(quarterTurns) });
}

bool convert(const QString &source, const QString &output, const QStringList &options)
{
    return run(QStringLiteral("convert"), QStringList { source } + options + QStringList { output });
}

} // namespace samples
