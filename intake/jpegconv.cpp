#include "intake/jpegconv.h"

#include "intake/jpegerrormanager.h"

#include "intake/jpegscaler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <sys/stat.h>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

JpegError::JpegError(const QString &message, int code)
    : std::runtime_error(message.toStdString()), m_code(code)
{
}

namespace {

using jpegerrors::codeError;
using jpegerrors::ErrorManager;
using jpegerrors::installErrorManager;

[[noreturn]] void refuse(j_common_ptr cinfo, int code)
{
    cinfo->err->msg_code = code;
    cinfo->err->error_exit(cinfo);
    std::abort(); // error_exit never returns
}

// Reads the JPEG stream from a QIODevice in large chunks.
struct DeviceSource {
    jpeg_source_mgr pub;
    QIODevice *device;
    JOCTET *buffer;
    size_t capacity;
    bool started;
    bool ended;
};

void initSource(j_decompress_ptr cinfo)
{
    reinterpret_cast<DeviceSource *>(cinfo->src)->started = false;
}

boolean fillInput(j_decompress_ptr cinfo)
{
    auto *source = reinterpret_cast<DeviceSource *>(cinfo->src);
    qint64 count = 0;
    if (!source->ended)
        count = source->device->read(
            reinterpret_cast<char *>(source->buffer), static_cast<qint64>(source->capacity));
    if (count < 0)
        refuse(reinterpret_cast<j_common_ptr>(cinfo), JERR_FILE_READ);
    if (count == 0) {
        if (!source->started)
            refuse(reinterpret_cast<j_common_ptr>(cinfo), JERR_INPUT_EMPTY);
        // A fake end-of-image marker lets the decoder finish a truncated file.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->ended = true;
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        count = 2;
    }
    source->started = true;
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = static_cast<size_t>(count);
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count)
{
    auto *source = reinterpret_cast<DeviceSource *>(cinfo->src);
    if (count <= 0)
        return;
    if (static_cast<size_t>(count) <= source->pub.bytes_in_buffer) {
        source->pub.next_input_byte += count;
        source->pub.bytes_in_buffer -= static_cast<size_t>(count);
        return;
    }
    const qint64 rest = count - static_cast<qint64>(source->pub.bytes_in_buffer);
    source->pub.bytes_in_buffer = 0;
    // Skipping past the end leaves the next fill to find the end of the data.
    if (!source->ended && source->device->skip(rest) < 0)
        refuse(reinterpret_cast<j_common_ptr>(cinfo), JERR_FILE_READ);
}

void termSource(j_decompress_ptr) { }

// Refuses files whose scans would take too long: each scan sweeps the blocks of its
// components, so thousands of (even empty) scans over a large frame cost minutes.
struct ScanGuard {
    jpeg_progress_mgr pub;
    int lastScan;
    long long blocks;
};

void watchScans(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto *dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto *guard = reinterpret_cast<ScanGuard *>(cinfo->progress);
    if (dinfo->input_scan_number == guard->lastScan)
        return;
    guard->lastScan = dinfo->input_scan_number;
    if (guard->lastScan > kJpegMaxScans)
        refuse(cinfo, JERR_BAD_PROGRESSION);
    for (int i = 0; i < dinfo->comps_in_scan; ++i) {
        const jpeg_component_info *component = dinfo->cur_comp_info[i];
        guard->blocks
            += static_cast<long long>(component->width_in_blocks) * component->height_in_blocks;
    }
    if (guard->blocks > kJpegMaxScanBlocks)
        refuse(cinfo, JERR_BAD_PROGRESSION);
}

// Where the picture goes in the output: the rectangle [left, left + w) x [top, top + h).
struct Placement {
    int left = 0;
    int top = 0;
    int w = 1;
    int h = 1;
};

Placement place(int jw, int jh, int width, int height)
{
    const QRect r = thumbnailPlacement(QSize(jw, jh), width, height);
    Placement p;
    p.left = r.left();
    p.top = r.top();
    p.w = r.width();
    p.h = r.height();
    return p;
}

// Everything the decoder needs that has a destructor lives here, outside the frame that
// libjpeg may longjmp into.
struct DecodeJob {
    QIODevice *device = nullptr;
    int width = 0;
    int height = 0;
    std::vector<JOCTET> input;
    std::vector<JSAMPLE> lines;
    std::vector<JSAMPROW> linePointers;
    std::vector<JSAMPLE> converted;
    JpegScaler scaler;
    Placement placement;
    std::vector<uchar> picture; // placement.w x placement.h, RGB

    bool allocateInput()
    {
        try {
            input.resize(64 * 1024);
            return true;
        } catch (const std::bad_alloc &) {
            return false;
        }
    }

    bool prepare(const jpeg_decompress_struct &cinfo, int channels, double extentX, double extentY,
        int batch)
    {
        try {
            const size_t stride = size_t(cinfo.output_width) * cinfo.output_components;
            lines.resize(stride * batch);
            linePointers.resize(batch);
            for (int i = 0; i < batch; ++i)
                linePointers[i] = lines.data() + stride * i;
            if (channels != cinfo.output_components)
                converted.resize(size_t(cinfo.output_width) * channels);
            picture.resize(size_t(placement.w) * placement.h * 3);
            scaler.start(int(cinfo.output_width), int(cinfo.output_height), extentX, extentY,
                placement.w, placement.h, channels, picture.data(), placement.w * 3);
            return true;
        } catch (const std::bad_alloc &) {
            return false;
        }
    }
};

// Adobe CMYK is stored inverted (0 = full ink), as Photoshop writes it.
void cmykToRgb(const JSAMPLE *cmyk, JSAMPLE *rgb, JDIMENSION count)
{
    for (JDIMENSION i = 0; i < count; ++i, cmyk += 4, rgb += 3) {
        const unsigned k = cmyk[3];
        rgb[0] = JSAMPLE((cmyk[0] * k + 127) / 255);
        rgb[1] = JSAMPLE((cmyk[1] * k + 127) / 255);
        rgb[2] = JSAMPLE((cmyk[2] * k + 127) / 255);
    }
}

// Decodes into job.picture at the placement's size; returns 0 or the libjpeg message code.
int decode(DecodeJob &job)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    DeviceSource source;
    ScanGuard guard;
    installErrorManager(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        const int code = err.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        return code;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kJpegMaxMemory;

    if (!job.allocateInput())
        refuse(reinterpret_cast<j_common_ptr>(&cinfo), JERR_OUT_OF_MEMORY);
    source.pub.init_source = initSource;
    source.pub.fill_input_buffer = fillInput;
    source.pub.skip_input_data = skipInput;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = termSource;
    source.pub.bytes_in_buffer = 0;
    source.pub.next_input_byte = nullptr;
    source.device = job.device;
    source.buffer = job.input.data();
    source.capacity = job.input.size();
    source.started = false;
    source.ended = false;
    cinfo.src = &source.pub;

    guard.pub.progress_monitor = watchScans;
    guard.lastScan = 0;
    guard.blocks = 0;
    cinfo.progress = &guard.pub;

    jpeg_read_header(&cinfo, TRUE);
    const long long jw = cinfo.image_width;
    const long long jh = cinfo.image_height;
    if (jw < 1 || jh < 1)
        refuse(reinterpret_cast<j_common_ptr>(&cinfo), JERR_EMPTY_IMAGE);
    if (jw * jh > kJpegMaxSourcePixels)
        refuse(reinterpret_cast<j_common_ptr>(&cinfo), JERR_IMAGE_TOO_BIG);
    // Each block costs a Huffman-coded file at least one bit; a file shorter than that is
    // cut short so far that only grey would be drawn, yet a progressive one would first
    // take buffers for its whole frame.
    if (!cinfo.arith_code && !job.device->isSequential()) {
        long long blocks = 0;
        for (int i = 0; i < cinfo.num_components; ++i)
            blocks += static_cast<long long>(cinfo.comp_info[i].width_in_blocks)
                * cinfo.comp_info[i].height_in_blocks;
        const long long left
            = job.device->bytesAvailable() + static_cast<long long>(source.pub.bytes_in_buffer);
        if (left * 8 < blocks)
            refuse(reinterpret_cast<j_common_ptr>(&cinfo), JERR_INPUT_EOF);
    }
    job.placement = place(int(jw), int(jh), job.width, job.height);

    int channels = 3;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        channels = 1;
        break;
    case JCS_CMYK:
    case JCS_YCCK: cinfo.out_color_space = JCS_CMYK; break;
    default: cinfo.out_color_space = JCS_RGB; break;
    }
    cinfo.dct_method = JDCT_ISLOW;

    // The smallest DCT scale that still gives at least the placement's pixels; the rest
    // of the reduction is area averaging.
    cinfo.scale_denom = 8;
    for (unsigned num = 1; num <= 8; ++num) {
        cinfo.scale_num = num;
        jpeg_calc_output_dimensions(&cinfo);
        if (long(cinfo.output_width) >= job.placement.w
            && long(cinfo.output_height) >= job.placement.h)
            break;
    }
    // The last scaled column and row may stand for a partial block.
    const double extentX = std::min(double(cinfo.output_width), jw * cinfo.scale_num / 8.0);
    const double extentY = std::min(double(cinfo.output_height), jh * cinfo.scale_num / 8.0);

    jpeg_start_decompress(&cinfo);
    const int batch = std::max(1, cinfo.rec_outbuf_height);
    if (!job.prepare(cinfo, channels, extentX, extentY, batch))
        refuse(reinterpret_cast<j_common_ptr>(&cinfo), JERR_OUT_OF_MEMORY);

    while (cinfo.output_scanline < cinfo.output_height && !job.scaler.done()) {
        const JDIMENSION got = jpeg_read_scanlines(&cinfo, job.linePointers.data(), batch);
        for (JDIMENSION i = 0; i < got; ++i) {
            const JSAMPLE *line = job.linePointers[i];
            if (cinfo.out_color_space == JCS_CMYK) {
                cmykToRgb(line, job.converted.data(), cinfo.output_width);
                line = job.converted.data();
            }
            job.scaler.addRow(line);
        }
    }
    // The rest of the file (trailing markers) does not change the picture.
    jpeg_destroy_decompress(&cinfo);
    return 0;
}

// Collects the encoded JPEG in memory, so that a failure writes nothing to the destination.
struct MemoryDestination {
    jpeg_destination_mgr pub;
    std::vector<JOCTET> *bytes;
    bool grown;
};

bool growTo(std::vector<JOCTET> &bytes, size_t size)
{
    try {
        bytes.resize(size);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void initDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<MemoryDestination *>(cinfo->dest);
    if (!growTo(*dest->bytes, 64 * 1024))
        refuse(reinterpret_cast<j_common_ptr>(cinfo), JERR_OUT_OF_MEMORY);
    dest->pub.next_output_byte = dest->bytes->data();
    dest->pub.free_in_buffer = dest->bytes->size();
}

boolean emptyOutput(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<MemoryDestination *>(cinfo->dest);
    const size_t used = dest->bytes->size();
    if (!growTo(*dest->bytes, used * 2))
        refuse(reinterpret_cast<j_common_ptr>(cinfo), JERR_OUT_OF_MEMORY);
    dest->pub.next_output_byte = dest->bytes->data() + used;
    dest->pub.free_in_buffer = dest->bytes->size() - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<MemoryDestination *>(cinfo->dest);
    dest->bytes->resize(dest->bytes->size() - dest->pub.free_in_buffer);
}

struct EncodeJob {
    const DecodeJob *decoded = nullptr;
    QRgb colour = 0;
    std::vector<JSAMPLE> background;
    std::vector<JSAMPLE> line;
    std::vector<JOCTET> bytes;

    bool prepare()
    {
        try {
            const size_t stride = size_t(decoded->width) * 3;
            background.resize(stride);
            for (size_t x = 0; x < stride; x += 3) {
                background[x] = JSAMPLE(qRed(colour));
                background[x + 1] = JSAMPLE(qGreen(colour));
                background[x + 2] = JSAMPLE(qBlue(colour));
            }
            line = background;
            return true;
        } catch (const std::bad_alloc &) {
            return false;
        }
    }
};

// Encodes the placed picture on the background colour; returns 0 or the libjpeg code.
int encode(EncodeJob &job)
{
    jpeg_compress_struct cinfo;
    ErrorManager err;
    MemoryDestination dest;
    installErrorManager(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        const int code = err.pub.msg_code;
        jpeg_destroy_compress(&cinfo);
        return code;
    }
    jpeg_create_compress(&cinfo);
    if (!job.prepare())
        refuse(reinterpret_cast<j_common_ptr>(&cinfo), JERR_OUT_OF_MEMORY);
    dest.pub.init_destination = initDestination;
    dest.pub.empty_output_buffer = emptyOutput;
    dest.pub.term_destination = termDestination;
    dest.bytes = &job.bytes;
    cinfo.dest = &dest.pub;

    const DecodeJob &picture = *job.decoded;
    const Placement &p = picture.placement;
    jpegerrors::setThumbnailEncoding(cinfo, picture.width, picture.height);
    jpeg_start_compress(&cinfo, TRUE);

    const size_t rectStride = size_t(p.w) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        JSAMPROW row = job.background.data();
        if (y >= p.top && y < p.top + p.h) {
            std::copy_n(picture.picture.data() + rectStride * size_t(y - p.top), rectStride,
                job.line.data() + size_t(p.left) * 3);
            row = job.line.data();
        }
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 0;
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa;
    struct stat sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0
        || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Opens a fresh file beside target, under a hidden name no one else uses.
bool openTemporary(QFile &file, const QString &target)
{
    const QFileInfo info(target);
    const QString stem = info.dir().filePath(QLatin1Char('.') + info.fileName());
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.setFileName(stem + QLatin1Char('.')
            + QString::number(QRandomGenerator::global()->generate(), 16) + QStringLiteral(".tmp"));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!file.exists())
            return false;
    }
    return false;
}

} // namespace

void ConvertJPEGStream(QIODevice &src, QIODevice &dst, int width, int height, QRgb colour)
{
    if (width < 1)
        throw JpegError(QStringLiteral("Invalid Width"));
    if (height < 1)
        throw JpegError(QStringLiteral("Invalid Height"));
    if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION
        || static_cast<long long>(width) * height > kJpegMaxOutputPixels)
        throw codeError(JERR_IMAGE_TOO_BIG);
    if (!src.isReadable())
        throw codeError(JERR_FILE_READ);
    if (!dst.isWritable())
        throw codeError(JERR_FILE_WRITE);

    DecodeJob decoded;
    decoded.device = &src;
    decoded.width = width;
    decoded.height = height;
    if (const int code = decode(decoded))
        throw codeError(code);

    EncodeJob encoded;
    encoded.decoded = &decoded;
    encoded.colour = colour;
    if (const int code = encode(encoded))
        throw codeError(code);

    const auto size = static_cast<qint64>(encoded.bytes.size());
    if (dst.write(reinterpret_cast<const char *>(encoded.bytes.data()), size) != size)
        throw codeError(JERR_FILE_WRITE);
}

void ConvertJPEGFile(const QString &src, const QString &dst, int width, int height, QRgb colour)
{
    const bool dstIsSource = sameFile(src, dst);
    const auto fail = [&](const JpegError &error) {
        if (!dstIsSource)
            QFile::remove(dst);
        throw error;
    };

    QFile in(src);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        fail(JpegError(QStringLiteral("Cannot open file \"%1\". %2")
                           .arg(QDir::toNativeSeparators(src), in.errorString())));
    QFile out;
    if (!openTemporary(out, dst))
        fail(JpegError(QStringLiteral("Cannot create file \"%1\". %2")
                           .arg(QDir::toNativeSeparators(dst), out.errorString())));
    try {
        ConvertJPEGStream(in, out, width, height, colour);
    } catch (const JpegError &error) {
        out.remove();
        fail(error);
    }
    in.close();
    out.close();
    const bool written = out.error() == QFileDevice::NoError;
    // rename(2) replaces the destination in one step; QFile::rename refuses to.
    if (!written
        || std::rename(
               QFile::encodeName(out.fileName()).constData(), QFile::encodeName(dst).constData())
            != 0) {
        const QString reason
            = written ? QString::fromLocal8Bit(std::strerror(errno)) : out.errorString();
        out.remove();
        fail(JpegError(QStringLiteral("Cannot create file \"%1\". %2")
                           .arg(QDir::toNativeSeparators(dst), reason)));
    }
}
