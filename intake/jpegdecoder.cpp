#include "intake/jpegdecoder.h"

#include "intake/decodebudget.h"
#include "intake/jpegdcdecode.h"
#include "intake/jpegerror.h"
#include "intake/jpegerrormanager.h"
#include "intake/jpegscaler.h"
#include "intake/thumbsize.h"

#include <QBuffer>
#include <QIODevice>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
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
    bool dcAllowed = false;
    bool fromDcOnly = false;
    int width = 0;
    int height = 0;
    std::vector<JOCTET> input;
    std::vector<JSAMPLE> lines;
    std::vector<JSAMPROW> linePointers;
    std::vector<JSAMPLE> converted;
    JpegScaler scaler;
    Placement placement;
    QImage picture; // placement.w x placement.h, RGB
    DecodeBudget::Reservation memory;

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
            picture = QImage(placement.w, placement.h, QImage::Format_RGB888);
            if (picture.isNull())
                return false;
            scaler.start(int(cinfo.output_width), int(cinfo.output_height), extentX, extentY,
                placement.w, placement.h, channels, picture.bits(), picture.bytesPerLine());
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

// What a decode will hold, known once its header is read: the whole picture's coefficients
// when it comes in several scans, the scaled rows and the picture made.
qint64 memoryNeeded(const jpeg_decompress_struct &cinfo, const Placement &placement)
{
    qint64 bytes = 256 * 1024;
    if (jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&cinfo))) {
        for (int i = 0; i < cinfo.num_components; ++i) {
            const jpeg_component_info &c = cinfo.comp_info[i];
            const qint64 across = (qint64(c.width_in_blocks) + c.h_samp_factor - 1)
                / c.h_samp_factor * c.h_samp_factor;
            const qint64 down = (qint64(c.height_in_blocks) + c.v_samp_factor - 1) / c.v_samp_factor
                * c.v_samp_factor;
            bytes += across * down * qint64(sizeof(JBLOCK));
        }
    }
    bytes += qint64(cinfo.output_width) * (cinfo.num_components + 4) * 64;
    bytes += qint64(placement.w) * placement.h * 3 * 2;
    return bytes;
}

// What decodeInto returns when the DC-only decoder gave up: decode again with libjpeg.
constexpr int kRetryWithLibjpeg = -1;

// The scan's blocks as watchScans counts them at libjpeg's first row.
bool scanWithinLimit(const jpeg_decompress_struct &cinfo)
{
    long long blocks = 0;
    for (int i = 0; i < cinfo.comps_in_scan; ++i)
        blocks += static_cast<long long>(cinfo.cur_comp_info[i]->width_in_blocks)
            * cinfo.cur_comp_info[i]->height_in_blocks;
    return cinfo.input_scan_number <= kJpegMaxScans && blocks <= kJpegMaxScanBlocks;
}

// Decodes into job.picture at the placement's size; returns 0 or the libjpeg message code,
// or kRetryWithLibjpeg.
int decodeInto(DecodeJob &job)
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
    // Each block costs a Huffman-coded file at least one bit; a file with less than one bit
    // per 64 blocks is cut short so far that only grey would be drawn, yet a progressive one
    // would first take buffers for its whole frame. Less cut is drawn as far as it goes.
    if (!cinfo.arith_code && !job.device->isSequential()) {
        long long blocks = 0;
        for (int i = 0; i < cinfo.num_components; ++i)
            blocks += static_cast<long long>(cinfo.comp_info[i].width_in_blocks)
                * cinfo.comp_info[i].height_in_blocks;
        const long long left
            = job.device->bytesAvailable() + static_cast<long long>(source.pub.bytes_in_buffer);
        if (left * 8 * 64 < blocks)
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

    // Held before libjpeg allocates, so that decodes on many threads stay within one budget.
    const qint64 needed = memoryNeeded(cinfo, job.placement);
    if (needed > kJpegMaxMemory)
        refuse(reinterpret_cast<j_common_ptr>(&cinfo), JERR_NO_BACKING_STORE);
    job.memory = DecodeBudget::Reservation(needed);

    // The file is in memory already (its fingerprint read it): the entropy-coded data
    // starts where libjpeg's reading of the header stopped.
    auto *memory = qobject_cast<QBuffer *>(job.device);
    if (job.dcAllowed && memory && JpegDcDecode::applies(cinfo)) {
        const QByteArray &bytes = memory->buffer();
        const qint64 start = memory->pos() - qint64(source.pub.bytes_in_buffer);
        bool drawn = false;
        if (!source.ended && start >= 0 && start <= bytes.size() && scanWithinLimit(cinfo)
            && job.prepare(cinfo, channels, extentX, extentY, 1))
            drawn = JpegDcDecode::decode(cinfo,
                reinterpret_cast<const unsigned char *>(bytes.constData()) + start,
                size_t(bytes.size() - start), job.scaler);
        jpeg_destroy_decompress(&cinfo);
        if (!drawn)
            return kRetryWithLibjpeg;
        job.fromDcOnly = true;
        return 0;
    }

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

} // namespace

namespace JpegDecoder {

Picture decode(QIODevice &src, const QSize &box, Path path)
{
    if (box.width() < 1 || box.height() < 1 || box.width() > JPEG_MAX_DIMENSION
        || box.height() > JPEG_MAX_DIMENSION
        || static_cast<long long>(box.width()) * box.height() > kJpegMaxOutputPixels)
        throw codeError(JERR_IMAGE_TOO_BIG);
    if (!src.isReadable())
        throw codeError(JERR_FILE_READ);
    const qint64 start = src.pos();
    {
        DecodeJob job;
        job.device = &src;
        job.width = box.width();
        job.height = box.height();
        job.dcAllowed = path == Path::Fastest && !src.isSequential();
        const int code = decodeInto(job);
        if (code > 0)
            throw codeError(code);
        if (code == 0) {
            const Placement &p = job.placement;
            return Picture { std::move(job.picture), QRect(p.left, p.top, p.w, p.h),
                job.fromDcOnly };
        }
    }
    // The DC-only decoder gave up: libjpeg reads the file again from its start, so that it
    // alone decides what an unusual or damaged file shows.
    if (!src.seek(start))
        throw codeError(JERR_FILE_READ);
    DecodeJob job;
    job.device = &src;
    job.width = box.width();
    job.height = box.height();
    if (const int code = decodeInto(job))
        throw codeError(code);
    const Placement &p = job.placement;
    return Picture { std::move(job.picture), QRect(p.left, p.top, p.w, p.h), false };
}

} // namespace JpegDecoder
