#include "support/picturesamples.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdlib>

namespace samples {

QImage gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x]
                = qRgb(x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1), 128);
    }
    return image;
}

QImage photoLike(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb(40 + 170 * x / w, 60 + 120 * y / h, 200 - 150 * (x + y) / (w + h));
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 40, 30));
    painter.drawEllipse(QRectF(w * 0.1, h * 0.2, w * 0.3, h * 0.4));
    painter.setBrush(QColor(20, 20, 60));
    painter.drawRect(QRectF(w * 0.55, h * 0.5, w * 0.35, h * 0.3));
    painter.setPen(QPen(QColor(250, 250, 200), w / 200.0));
    painter.drawLine(QPointF(0, h * 0.9), QPointF(w, h * 0.1));
    painter.end();
    QRandomGenerator noise(7);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = int(noise.bounded(13)) - 6;
            const QRgb p = line[x];
            line[x] = qRgb(std::clamp(qRed(p) + n, 0, 255), std::clamp(qGreen(p) + n, 0, 255),
                std::clamp(qBlue(p) + n, 0, 255));
        }
    }
    return image;
}

QImage solid(int width, int height, const QColor &colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QByteArray encoded(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

QByteArray qtJpeg(const QImage &image, int quality)
{
    return encoded(image, "jpeg", quality);
}

QByteArray jpeg(int width, int height)
{
    return qtJpeg(gradient(width, height), 90);
}

JpegOptions as(Model model, bool progressive)
{
    JpegOptions options;
    options.model = model;
    options.progressive = progressive;
    return options;
}

QByteArray writeJpeg(const QImage &source, const JpegOptions &options)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    const bool grey = options.model == Model::Gray;
    const bool cmyk = options.model == Model::Cmyk || options.model == Model::Ycck;
    cinfo.input_components = grey ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    switch (options.model) {
    case Model::Rgb: jpeg_set_colorspace(&cinfo, JCS_RGB); break;
    case Model::Ycck: jpeg_set_colorspace(&cinfo, JCS_YCCK); break;
    case Model::YCbCr:
        cinfo.comp_info[0].h_samp_factor = options.lumaSampling[0];
        cinfo.comp_info[0].v_samp_factor = options.lumaSampling[1];
        break;
    default: break;
    }
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    if (!options.script.empty()) {
        cinfo.scan_info = options.script.data();
        cinfo.num_scans = int(options.script.size());
    }
    cinfo.arith_code = options.arithmetic ? TRUE : FALSE;
    cinfo.restart_interval = JDIMENSION(options.restartInterval);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> line(size_t(image.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uchar *rgb = image.constScanLine(int(cinfo.next_scanline));
        for (int x = 0; x < image.width(); ++x) {
            const int r = rgb[x * 3], g = rgb[x * 3 + 1], b = rgb[x * 3 + 2];
            if (grey) {
                line[x] = JSAMPLE(qGray(r, g, b));
            } else if (cmyk) {
                const int k = 255 - std::max({ r, g, b });
                const int c = k == 255 ? 0 : (255 - r - k) * 255 / (255 - k);
                const int m = k == 255 ? 0 : (255 - g - k) * 255 / (255 - k);
                const int y = k == 255 ? 0 : (255 - b - k) * 255 / (255 - k);
                line[x * 4] = JSAMPLE(255 - c);
                line[x * 4 + 1] = JSAMPLE(255 - m);
                line[x * 4 + 2] = JSAMPLE(255 - y);
                line[x * 4 + 3] = JSAMPLE(255 - k);
            } else {
                line[x * 3] = JSAMPLE(r);
                line[x * 3 + 1] = JSAMPLE(g);
                line[x * 3 + 2] = JSAMPLE(b);
            }
        }
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

std::vector<jpeg_scan_info> everyBitAlone()
{
    std::vector<jpeg_scan_info> scans;
    jpeg_scan_info dc {};
    dc.comps_in_scan = 3;
    for (int c = 0; c < 3; ++c)
        dc.component_index[c] = c;
    dc.Al = 10;
    scans.push_back(dc);
    for (int al = 9; al >= 0; --al) {
        dc.Ah = al + 1;
        dc.Al = al;
        scans.push_back(dc);
    }
    for (int c = 0; c < 3; ++c) {
        for (int k = 1; k < 64; ++k) {
            jpeg_scan_info s {};
            s.comps_in_scan = 1;
            s.component_index[0] = c;
            s.Ss = s.Se = k;
            s.Al = 10;
            scans.push_back(s);
            for (int al = 9; al >= 0; --al) {
                s.Ah = al + 1;
                s.Al = al;
                scans.push_back(s);
            }
        }
    }
    return scans;
}

qsizetype findMarker(const QByteArray &jpeg, uchar code)
{
    qsizetype i = 2;
    while (i + 4 <= jpeg.size()) {
        if (uchar(jpeg[i]) != 0xFF)
            return -1;
        const uchar marker = uchar(jpeg[i + 1]);
        if (marker == code)
            return i;
        if (marker == 0xDA || marker == 0xD9)
            return -1;
        i += 2 + (uchar(jpeg[i + 2]) << 8 | uchar(jpeg[i + 3]));
    }
    return -1;
}

QByteArray withFrameSize(QByteArray jpeg, int width, int height)
{
    qsizetype at = -1;
    for (uchar code = 0xC0; code <= 0xCF && at < 0; ++code) {
        if (code != 0xC4 && code != 0xC8 && code != 0xCC)
            at = findMarker(jpeg, code);
    }
    if (at >= 0) {
        jpeg[at + 5] = char(height >> 8);
        jpeg[at + 6] = char(height & 0xFF);
        jpeg[at + 7] = char(width >> 8);
        jpeg[at + 8] = char(width & 0xFF);
    }
    return jpeg;
}

QByteArray cutInFirstScan(const QByteArray &jpeg, qsizetype dataBytes)
{
    const qsizetype sos = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    const qsizetype data = sos + 2 + (uchar(jpeg[sos + 2]) << 8 | uchar(jpeg[sos + 3]));
    return jpeg.left(data + dataBytes);
}

namespace {
// Where scan number `n` (from 0) begins, or the end of the file's data.
qsizetype scanStart(const QByteArray &jpeg, int n)
{
    qsizetype at = -2;
    for (int i = 0; i <= n; ++i) {
        at = jpeg.indexOf(QByteArray("\xFF\xDA", 2), at + 2);
        if (at < 0) {
            const qsizetype end = jpeg.lastIndexOf(QByteArray("\xFF\xD9", 2));
            return end < 0 ? jpeg.size() : end;
        }
    }
    return at;
}
} // namespace

QByteArray cutAfterScans(const QByteArray &jpeg, int scans)
{
    return jpeg.left(scanStart(jpeg, scans));
}

QByteArray repeatScan(const QByteArray &jpeg, int scan, int copies)
{
    const qsizetype from = scanStart(jpeg, scan);
    const qsizetype to = scanStart(jpeg, scan + 1);
    QByteArray out = jpeg;
    out.insert(to, jpeg.mid(from, to - from).repeated(copies));
    return out;
}

void put16(QByteArray &b, int at, quint32 v)
{
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}

void put32(QByteArray &b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xff);
}

QByteArray bmp(int width, int height, int bpp, const BmpOptions &o)
{
    const int paletteEntries = bpp <= 8 ? (1 << bpp) : 0;
    const int entrySize = o.infoSize == 12 ? 3 : 4;
    const bool trailingMasks = o.infoSize == 40 && o.compression == 3;
    const int headers = 14 + o.infoSize + (trailingMasks ? 12 : 0) + paletteEntries * entrySize;
    const qsizetype stride = (qsizetype(width) * bpp + 31) / 32 * 4;

    QByteArray pixels;
    if (o.compression == 1) {
        // RLE8: runs of palette index 1, an end-of-line mark per row, end of bitmap.
        for (int y = 0; y < height; ++y) {
            for (int left = width; left > 0; left -= 255) {
                pixels.append(char(std::min(left, 255)));
                pixels.append(char(1));
            }
            pixels.append(char(0));
            pixels.append(char(y + 1 == height ? 1 : 0));
        }
    } else {
        QByteArray row(stride, '\0');
        for (int x = 0; x < width; ++x) {
            switch (bpp) {
            case 1: row[x / 8] = char(uchar(row[x / 8]) | (0x80 >> (x % 8))); break;
            case 4: row[x / 2] = char(uchar(row[x / 2]) | (x % 2 ? 0x01 : 0x10)); break;
            case 8: row[x] = 1; break;
            case 16: put16(row, x * 2, o.compression == 3 ? o.masks[0] : 0x7C00); break;
            case 24: row[x * 3 + 2] = char(0xff); break;
            case 32:
                if (o.compression == 3)
                    put32(row, x * 4, o.masks[0]);
                else
                    row[x * 4 + 2] = char(0xff);
                break;
            }
        }
        pixels = row.repeated(height);
    }

    QByteArray b(headers, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, quint32(headers + pixels.size()));
    put32(b, 10, quint32(headers));
    put32(b, 14, quint32(o.infoSize));
    if (o.infoSize == 12) {
        put16(b, 18, quint32(width));
        put16(b, 20, quint32(height));
        put16(b, 22, 1);
        put16(b, 24, quint32(bpp));
    } else {
        put32(b, 18, quint32(width));
        put32(b, 22, quint32(o.topDown ? -height : height));
        put16(b, 26, 1);
        put16(b, 28, quint32(bpp));
        put32(b, 30, o.compression);
        put32(b, 34, quint32(pixels.size()));
        put32(b, 38, 2835);
        put32(b, 42, 2835);
        put32(b, 46, quint32(paletteEntries));
        if (o.compression == 3 || o.infoSize > 40) {
            put32(b, 54, o.masks[0]);
            put32(b, 58, o.masks[1]);
            put32(b, 62, o.masks[2]);
        }
        if (o.infoSize >= 108)
            put32(b, 70, 0x73524742); // LCS_sRGB
    }
    // Palette: 0 black, 1 red, the rest grey.
    const int palette = 14 + o.infoSize + (trailingMasks ? 12 : 0);
    for (int i = 0; i < paletteEntries; ++i) {
        const int at = palette + i * entrySize;
        const uchar grey = i <= 1 ? 0 : uchar(i * 255 / std::max(1, paletteEntries - 1));
        b[at] = char(grey);
        b[at + 1] = char(grey);
        b[at + 2] = char(i == 1 ? 0xff : grey);
    }
    return b + pixels;
}

QByteArray bombBmp(int width, int height)
{
    QByteArray b(100, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, 100);
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, quint32(width));
    put32(b, 22, quint32(height));
    put16(b, 26, 1);
    put16(b, 28, 24);
    return b;
}

QByteArray gif(int width, int height, const std::vector<QRgb> &colours)
{
    QByteArray b("GIF89a");
    auto word = [&b](int v) {
        b.append(char(v & 0xff));
        b.append(char((v >> 8) & 0xff));
    };
    word(width);
    word(height);
    b.append(char(0xF7)); // global table of 256 entries
    b.append(char(0));
    b.append(char(0));
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < int(colours.size()) ? colours[size_t(i)] : qRgb(0, 0, 0);
        b.append(char(qRed(c)));
        b.append(char(qGreen(c)));
        b.append(char(qBlue(c)));
    }
    if (colours.size() > 1)
        b.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (size_t frame = 0; frame < colours.size(); ++frame) {
        b.append("\x21\xF9\x04\x00", 4);
        word(10); // 1/10 s
        b.append(char(0));
        b.append(char(0));
        b.append(char(0x2C));
        word(0);
        word(0);
        word(width);
        word(height);
        b.append(char(0));
        b.append(char(8)); // LZW minimum code size
        // 9-bit codes with a clear code often enough that the table never grows.
        QByteArray data;
        quint32 acc = 0;
        int bits = 0;
        auto code = [&](int c) {
            acc |= quint32(c) << bits;
            bits += 9;
            while (bits >= 8) {
                data.append(char(acc & 0xff));
                acc >>= 8;
                bits -= 8;
            }
        };
        for (int i = 0; i < width * height; ++i) {
            if (i % 250 == 0)
                code(256);
            code(int(frame));
        }
        code(257);
        if (bits > 0)
            data.append(char(acc & 0xff));
        for (int at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            b.append(char(block.size()));
            b.append(block);
        }
        b.append(char(0));
    }
    b.append(char(0x3B));
    return b;
}

} // namespace samples
