#pragma once

#include "intake/thumbsize.h"

#include <QRgb>
#include <QString>

#include <stdexcept>

class QIODevice;

// A failed thumbnail conversion; what() is the text shown to the user: "Invalid Width",
// "Invalid Height", "JPEG error #<libjpeg message code>", or a file that cannot be opened.
class JpegError : public std::runtime_error {
public:
    explicit JpegError(const QString &message, int code = 0);
    QString message() const { return QString::fromUtf8(what()); }
    // The libjpeg message code behind a "JPEG error #" text, 0 otherwise.
    int code() const { return m_code; }

private:
    int m_code;
};

// Limits that keep hostile files from taking the machine. Refusals use libjpeg's own codes:
// a picture above kJpegMaxSourcePixels or an output above kJpegMaxOutputPixels or 65,500
// pixels a side is JERR_IMAGE_TOO_BIG, more than kJpegMaxScans scans (or scans that would
// sweep more than kJpegMaxScanBlocks 8x8 blocks in all) is JERR_BAD_PROGRESSION, and
// libjpeg's buffers above kJpegMaxMemory are its own JERR_NO_BACKING_STORE. A file cut short
// is drawn as far as it goes, the rest grey, unless it holds less than one bit per 8x8
// block of the frame it declares: that is JERR_INPUT_EOF.
inline constexpr long long kJpegMaxSourcePixels = 1LL << 30;
inline constexpr long long kJpegMaxOutputPixels = 1LL << 26;
inline constexpr long kJpegMaxMemory = 256L * 1024 * 1024;
inline constexpr int kJpegMaxScans = 1000;
inline constexpr long long kJpegMaxScanBlocks = 32'000'000;

// Reads a JPEG from src (from its current position) and writes to dst a baseline colour JPEG
// of quality 90, exactly width by height pixels, the picture scaled to fit, centred and with
// its proportions, on a background of colour. Throws JpegError; on failure nothing at all is
// written to dst. Re-entrant: any number of threads may convert at once.
void ConvertJPEGStream(QIODevice &src, QIODevice &dst, int width, int height, QRgb colour);

// ConvertJPEGStream from the file src to the file dst. dst is replaced atomically (written
// under a temporary name in its folder, then renamed), so it is never seen half written.
// On failure dst does not exist afterwards (an older file there is removed), because any
// file under a thumbnail's name is taken as the thumbnail; only when dst names the source
// file itself is it left alone.
void ConvertJPEGFile(const QString &src, const QString &dst, int width, int height, QRgb colour);
