#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

// Photo files for the facts and the modern formats: TIFF structures written byte by byte
// (EXIF blocks, DNG files, hostile metadata), and files made by the tools photographers'
// files come from (exiftool, heif-enc, ImageMagick), run on files in a test's folder.
namespace samples {

// A picture whose stored top-left corner is red and top-right corner green, on blue: where
// the two corners land tells how the picture was turned.
QImage corners(int width, int height);
// The corner (0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left) whose colour is
// nearest `colour`, judged a few pixels in; -1 when none is near.
int cornerOf(const QImage &image, QRgb colour);

// One TIFF directory entry. Values are written in the file's byte order; `ifd` makes the
// entry a pointer (LONG) to another directory, `blob` a pointer to data appended to the file.
struct TiffEntry {
    quint16 tag = 0;
    quint16 type = 0;
    quint32 count = 0;
    QByteArray value; // little-endian, type-sized items
    int ifd = -1;
    int blob = -1;
    qint64 forcedOffset = -1; // a value offset written as is, wherever it points
};

struct TiffIfd {
    std::vector<TiffEntry> entries;
    int next = -1; // the directory that follows, -1 none (may be itself: a loop)
};

namespace tiff {
TiffEntry ascii(quint16 tag, const QByteArray &text);
TiffEntry shorts(quint16 tag, std::vector<quint16> values);
TiffEntry longs(quint16 tag, std::vector<quint32> values);
TiffEntry bytes(quint16 tag, quint16 type, const QByteArray &data);
TiffEntry rationals(quint16 tag, std::vector<std::pair<quint32, quint32>> values);
TiffEntry srationals(quint16 tag, std::vector<std::pair<qint32, qint32>> values);
TiffEntry pointer(quint16 tag, int ifd);
TiffEntry blobPointer(quint16 tag, int blob);
} // namespace tiff

// A little-endian TIFF: header, the directories in order (the first is IFD0), then their
// values and the blobs.
QByteArray writeTiff(const std::vector<TiffIfd> &ifds, const std::vector<QByteArray> &blobs = {});
// The JPEG with an APP1 EXIF segment holding `tiff` right after its start marker.
QByteArray withExif(const QByteArray &jpeg, const QByteArray &tiff);
// The JPEG with any segment (marker code, payload) right after its start marker.
QByteArray withSegment(const QByteArray &jpeg, uchar code, const QByteArray &payload);
// An XMP packet around `body` (rdf:Description children, prefixes dc, xmp, exif, tiff).
QByteArray xmpPacket(const QByteArray &body);

// A DNG: IFD0 holds the JPEG preview (and the camera, the orientation), its SubIFD a
// width x height 16-bit Bayer image.
QByteArray dng(const QByteArray &previewJpeg, int width, int height, int orientation);

// The tools, run in `dir`; false (and *output) when one is missing or fails.
bool run(const QString &program, const QStringList &arguments, QString *output = nullptr);
bool exiftool(const QString &path, const QStringList &assignments, QString *output = nullptr);
// heif-enc from a PNG or JPEG source, with an embedded thumbnail of at most `thumbnail`
// pixels a side when above 0; AVIF when the output ends in ".avif".
bool heifEnc(const QString &source, const QString &output, int thumbnail = 0);
// Gives a HEIF file's primary image the rotation (quarter turns anticlockwise, 1 to 3) that
// phones write for portraits, as an 'irot' property (heif-enc writes none).
bool heifRotate(const QString &path, int quarterTurns);
// ImageMagick's convert of one file into another (format by extension).
bool convert(const QString &source, const QString &output, const QStringList &options = {});

} // namespace samples
