#pragma once

// Real picture files written byte by byte (BMP layouts, GIF) or through Qt's writers (JPEG,
// PNG, ICO), for the preview tests.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QString>

#include <vector>

namespace previewfiles {

inline void put16(QByteArray &b, int at, quint32 v)
{
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}

inline void put32(QByteArray &b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xff);
}

struct BmpOptions {
    int infoSize = 40; // 12 (OS/2 core), 40, 108 (V4), 124 (V5)
    quint32 compression = 0; // 0 none, 1 RLE8, 3 bit fields
    quint32 masks[3] = { 0, 0, 0 };
    bool topDown = false;
};

// A width x height BMP of bpp bits per pixel, every pixel pure red.
inline QByteArray bmp(int width, int height, int bpp, const BmpOptions &o = {})
{
    const int paletteEntries = bpp <= 8 ? (1 << bpp) : 0;
    const int entrySize = o.infoSize == 12 ? 3 : 4;
    const bool trailingMasks = o.infoSize == 40 && o.compression == 3;
    const int headers = 14 + o.infoSize + (trailingMasks ? 12 : 0) + paletteEntries * entrySize;
    const int stride = (width * bpp + 31) / 32 * 4;

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
            case 16: {
                quint32 v = 0x7C00; // 5-5-5
                if (o.compression == 3)
                    v = o.masks[0];
                put16(row, x * 2, v);
                break;
            }
            case 24:
                row[x * 3] = 0;
                row[x * 3 + 1] = 0;
                row[x * 3 + 2] = char(0xff);
                break;
            case 32:
                if (o.compression == 3) {
                    put32(row, x * 4, o.masks[0]);
                } else {
                    row[x * 4 + 2] = char(0xff);
                }
                break;
            }
        }
        for (int y = 0; y < height; ++y)
            pixels.append(row);
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
        const uchar grey = uchar(i * 255 / std::max(1, paletteEntries - 1));
        b[at] = char(i == 1 ? 0 : i == 0 ? 0 : grey);
        b[at + 1] = char(i == 1 ? 0 : i == 0 ? 0 : grey);
        b[at + 2] = char(i == 1 ? 0xff : i == 0 ? 0 : grey);
    }
    return b + pixels;
}

// A 100-byte file whose headers promise a 5,000 x 5,000 24-bit picture.
inline QByteArray bombBmp()
{
    QByteArray b(100, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, 100);
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, 5000);
    put32(b, 22, 5000);
    put16(b, 26, 1);
    put16(b, 28, 24);
    return b;
}

// A photograph-like picture: smooth colours, so that scaled copies can be compared.
inline QImage gradient(int width, int height)
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

inline QByteArray encoded(const QImage &image, const char *format, int quality = -1)
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

inline QByteArray jpeg(int width, int height)
{
    return encoded(gradient(width, height), "jpeg", 90);
}

// GIF89a of `colours.size()` frames of width x height, each one flat colour. Its LZW data
// uses 9-bit codes with a clear code often enough that the table never grows.
inline QByteArray gif(int width, int height, const std::vector<QRgb> &colours)
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
    if (colours.size() > 1) {
        b.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    }
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
        const int pixels = width * height;
        for (int i = 0; i < pixels; ++i) {
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

inline bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace previewfiles
