#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRgb>

#include <cstdio>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

// Real picture files for the tests and the fuzz seeds: JPEGs of every colour model and scan
// layout (written with libjpeg itself), BMP layouts and animated GIFs written byte by byte,
// other formats through Qt's writers, and the damaged or hostile variants made from them.
namespace samples {

// Smooth colours, so that scaled copies can be compared pixel by pixel.
QImage gradient(int width, int height);
// Something like a photograph: gradients, soft and hard edges, sensor noise.
QImage photoLike(int width, int height);
QImage solid(int width, int height, const QColor &colour);

// The image in a format Qt writes ("png", "tiff", "ico", "jpeg").
QByteArray encoded(const QImage &image, const char *format, int quality = -1);
// The image as a JPEG written by Qt.
QByteArray qtJpeg(const QImage &image, int quality = 92);
// A quality-90 JPEG of a gradient, written by Qt.
QByteArray jpeg(int width, int height);

// How libjpeg is asked to write a JPEG. Cmyk and Ycck samples are stored inverted, as
// Adobe applications store them.
enum class Model { YCbCr, Rgb, Gray, Cmyk, Ycck };
struct JpegOptions {
    Model model = Model::YCbCr;
    int quality = 92;
    bool progressive = false;
    bool arithmetic = false;
    int restartInterval = 0;
    int lumaSampling[2] = { 2, 2 }; // horizontal, vertical (YCbCr only)
    std::vector<jpeg_scan_info> script; // custom scans, when not empty
};
QByteArray writeJpeg(const QImage &image, const JpegOptions &options = {});
JpegOptions as(Model model, bool progressive = false);

// Every legal scan of a 3-component progressive file, each coefficient one bit at a time:
// a valid file of 2,090 scans that no encoder makes.
std::vector<jpeg_scan_info> everyBitAlone();

// Offset of the first marker 0xFF `code` before the first scan, -1 when absent.
qsizetype findMarker(const QByteArray &jpeg, uchar code);
// The same file with its frame declaring width x height.
QByteArray withFrameSize(QByteArray jpeg, int width, int height);
// The bytes up to the first scan's header plus `dataBytes` of its data.
QByteArray cutInFirstScan(const QByteArray &jpeg, qsizetype dataBytes);
// The first `scans` scans complete, then the end of the file, as a cut download leaves it.
QByteArray cutAfterScans(const QByteArray &jpeg, int scans);
// Scan number `scan` (from 0) followed by `copies` more copies of itself.
QByteArray repeatScan(const QByteArray &jpeg, int scan, int copies);

// Little-endian fields, as BMP headers hold them.
void put16(QByteArray &bytes, int at, quint32 value);
void put32(QByteArray &bytes, int at, quint32 value);

struct BmpOptions {
    int infoSize = 40; // 12 (OS/2 core), 40, 108 (V4), 124 (V5)
    quint32 compression = 0; // 0 none, 1 RLE8, 3 bit fields
    quint32 masks[3] = { 0, 0, 0 };
    bool topDown = false;
};
// A width x height BMP of bpp bits per pixel, every pixel pure red.
QByteArray bmp(int width, int height, int bpp, const BmpOptions &options = {});
// A 100-byte file whose headers promise a width x height 24-bit picture.
QByteArray bombBmp(int width = 5000, int height = 5000);

// GIF89a of one flat-coloured frame per colour.
QByteArray gif(int width, int height, const std::vector<QRgb> &colours);

} // namespace samples
