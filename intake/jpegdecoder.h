#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

class QIODevice;

// Limits that keep hostile files from taking the machine. Refusals use libjpeg's own codes:
// a picture above kJpegMaxSourcePixels or an output above kJpegMaxOutputPixels or 65,500
// pixels a side is JERR_IMAGE_TOO_BIG, more than kJpegMaxScans scans (or scans that would
// sweep more than kJpegMaxScanBlocks 8x8 blocks in all) is JERR_BAD_PROGRESSION, and a
// decode that would hold more than kJpegMaxMemory is libjpeg's own JERR_NO_BACKING_STORE.
// A file cut short is drawn as far as it goes, the rest grey, unless it holds less than one
// bit per 64 blocks of the frame it declares (nothing worth drawing): JERR_INPUT_EOF.
inline constexpr long long kJpegMaxSourcePixels = 1LL << 30;
inline constexpr long long kJpegMaxOutputPixels = 1LL << 26;
inline constexpr long kJpegMaxMemory = 256L * 1024 * 1024;
inline constexpr int kJpegMaxScans = 1000;
inline constexpr long long kJpegMaxScanBlocks = 32'000'000;

// The one JPEG decoder of the program, for the views and the thumbnails alike, so that a
// picture one of them can draw the other can too. It decodes with libjpeg's DCT scaling to
// the smallest scale not below the size needed, then averages areas down to it. Decodes
// hold their memory within DecodeBudget. Re-entrant.
namespace JpegDecoder {

struct Picture {
    QImage image; // RGB888, placement's size
    QRect placement; // where the picture goes in the box: fitted, centred
    bool fromDcOnly = false; // drawn by the DC-only decoder rather than by libjpeg
};

// How the entropy-coded data is read. Plain files drawn at 1/8 scale from memory (a
// QBuffer) skip libjpeg's decoding of every coefficient; LibjpegOnly is there to compare.
enum class Path { Fastest, LibjpegOnly };

// Reads a JPEG from src (from its current position) and draws it scaled to fit box (both
// sides at least 1, at most 65,500, at most kJpegMaxOutputPixels in all). Throws JpegError
// with the libjpeg message code. Both paths give the same pixels and the same errors.
Picture decode(QIODevice &src, const QSize &box, Path path = Path::Fastest);

} // namespace JpegDecoder
