#include "intake/jpegconv.h"
#include "intake/jpegdecoder.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

// libjpeg is the system's uninstrumented library, so its paths give the fuzzer no coverage;
// these counters (libFuzzer's extra-counters section) turn each distinct outcome into a
// feature instead: the decoder's message code, and the size class of a success.
__attribute__((section("__libfuzzer_extra_counters"))) static uint8_t outcomes[512];

namespace {

struct Drawn {
    QImage image;
    QRect placement;
    int code = 0;
    bool fromDcOnly = false;
};

Drawn draw(const uint8_t *data, size_t size, const QSize &box, JpegDecoder::Path path)
{
    QBuffer src;
    src.setData(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    src.open(QIODevice::ReadOnly);
    Drawn drawn;
    try {
        JpegDecoder::Picture picture = JpegDecoder::decode(src, box, path);
        drawn.image = picture.image;
        drawn.placement = picture.placement;
        drawn.fromDcOnly = picture.fromDcOnly;
    } catch (const JpegError &error) {
        drawn.code = error.code();
    }
    return drawn;
}

// A box small enough that most pictures are drawn at 1/8 scale, where the DC-only decoder
// takes plain files: it must draw exactly what libjpeg draws, and fail as libjpeg fails.
void compareDcOnly(const uint8_t *data, size_t size)
{
    const QSize box(1 + int(size % 7), 1 + int((size / 7) % 5));
    const Drawn fast = draw(data, size, box, JpegDecoder::Path::Fastest);
    const Drawn plain = draw(data, size, box, JpegDecoder::Path::LibjpegOnly);
    if (fast.code != plain.code || fast.placement != plain.placement || fast.image != plain.image)
        __builtin_trap();
    if (fast.fromDcOnly)
        ++outcomes[255]; // the DC-only decoder drew it (no libjpeg code is 255)
}

} // namespace

// Any input either fails with a JpegError or gives a complete JPEG of the box's size; a
// crash, hang, sanitizer report or runaway allocation is a finding.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    compareDcOnly(data, size);
    QBuffer src;
    src.setData(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    src.open(QIODevice::ReadOnly);
    QByteArray out;
    QBuffer dst(&out);
    dst.open(QIODevice::WriteOnly);
    // The box follows the input, so that fits, enlargements and slivers all get exercised.
    const int width = 1 + int(size % 151);
    const int height = 1 + int((size / 151) % 151);
    try {
        ConvertJPEGStream(src, dst, width, height, qRgb(255, 255, 255));
    } catch (const JpegError &error) {
        ++outcomes[error.code() & 255];
        if (!out.isEmpty())
            __builtin_trap(); // a failure must write nothing
        return 0;
    }
    if (!out.startsWith("\xFF\xD8") || !out.endsWith("\xFF\xD9"))
        __builtin_trap();
    const qsizetype sof = out.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0 || sof + 9 > out.size())
        __builtin_trap();
    const int h = uchar(out[sof + 5]) << 8 | uchar(out[sof + 6]);
    const int w = uchar(out[sof + 7]) << 8 | uchar(out[sof + 8]);
    if (w != width || h != height)
        __builtin_trap();
    ++outcomes[256 + (out.size() / 64) % 256];
    return 0;
}
