#include "genjpegs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace genjpegs {
namespace {

struct Rng {
    quint32 state;
    quint32 next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    double unit() { return (next() >> 8) / double(1 << 24); }
};

struct Shape {
    bool round;
    double cx, cy, rx, ry; // centre and half sizes, in pixels
    double soft; // edge width in pixels
    double r, g, b;
};

struct Scene {
    int width, height;
    double wave[3][4]; // per channel: two low-frequency waves (frequency x, frequency y)
    double base[3];
    std::vector<Shape> shapes;
    double textureTop, textureBottom;
};

Scene makeScene(int width, int height, quint32 seed)
{
    Rng rng { seed * 2654435761u + 12345u };
    Scene s;
    s.width = width;
    s.height = height;
    for (int c = 0; c < 3; ++c) {
        s.base[c] = 60 + 120 * rng.unit();
        for (int k = 0; k < 4; ++k)
            s.wave[c][k] = (0.5 + 2.5 * rng.unit()) * 2 * M_PI;
    }
    const int count = 12 + int(rng.next() % 12);
    for (int i = 0; i < count; ++i) {
        Shape shape;
        shape.round = rng.next() % 2;
        shape.cx = width * rng.unit();
        shape.cy = height * rng.unit();
        shape.rx = width * (0.02 + 0.15 * rng.unit());
        shape.ry = height * (0.02 + 0.15 * rng.unit());
        shape.soft = rng.next() % 3 == 0 ? 1.0 : 2.0 + width * 0.01 * rng.unit();
        shape.r = 255 * rng.unit();
        shape.g = 255 * rng.unit();
        shape.b = 255 * rng.unit();
        s.shapes.push_back(shape);
    }
    s.textureTop = height * (0.55 + 0.2 * rng.unit());
    s.textureBottom = height;
    return s;
}

// One row of the picture, RGB.
void paintRow(const Scene &s, int y, Rng &noise, std::vector<double> &row, uchar *out)
{
    const double fy = double(y) / s.height;
    for (int x = 0; x < s.width; ++x) {
        const double fx = double(x) / s.width;
        for (int c = 0; c < 3; ++c)
            row[x * 3 + c] = s.base[c] + 40 * std::sin(s.wave[c][0] * fx + s.wave[c][1] * fy)
                + 25 * std::cos(s.wave[c][2] * fx - s.wave[c][3] * fy);
    }
    for (const Shape &shape : s.shapes) {
        const double dy = (y - shape.cy) / shape.ry;
        if (std::abs(dy) > 1.0 + shape.soft / shape.ry)
            continue;
        const int from = std::max(0, int(shape.cx - shape.rx - shape.soft));
        const int to = std::min(s.width, int(shape.cx + shape.rx + shape.soft) + 1);
        for (int x = from; x < to; ++x) {
            double inside; // distance inside the edge, in pixels
            if (shape.round) {
                const double dx = (x - shape.cx) / shape.rx;
                const double d = std::sqrt(dx * dx + dy * dy);
                inside = (1.0 - d) * std::min(shape.rx, shape.ry);
            } else {
                inside = std::min(
                    shape.rx - std::abs(x - shape.cx), shape.ry - std::abs(y - shape.cy));
            }
            const double a = std::clamp(0.5 + inside / shape.soft, 0.0, 1.0);
            if (a <= 0.0)
                continue;
            double *p = &row[x * 3];
            p[0] += a * (shape.r - p[0]);
            p[1] += a * (shape.g - p[1]);
            p[2] += a * (shape.b - p[2]);
        }
    }
    const bool textured = y >= s.textureTop && y < s.textureBottom;
    for (int x = 0; x < s.width; ++x) {
        // Sensor noise, mostly luminance; foliage-like texture in the lower part.
        double luma = (int(noise.next() % 17) - 8) * 0.9;
        if (textured)
            luma += 18 * std::sin(x * 0.9 + 3 * std::sin(y * 0.05)) * std::sin(y * 1.3 + x * 0.02)
                + (int(noise.next() % 25) - 12);
        for (int c = 0; c < 3; ++c) {
            const double v = row[x * 3 + c] + luma + (int(noise.next() % 5) - 2);
            out[x * 3 + c] = uchar(std::clamp(v, 0.0, 255.0));
        }
    }
}

} // namespace

QByteArray photoJpeg(int width, int height, quint32 seed, const PhotoOptions &options)
{
    const Scene scene = makeScene(width, height, seed);
    Rng noise { seed ^ 0x9E3779B9u };
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (options.grey)
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<double> row(size_t(width) * 3);
    std::vector<uchar> line(size_t(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        paintRow(scene, int(cinfo.next_scanline), noise, row, line.data());
        JSAMPROW p = line.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

QStringList makeSet(const QString &folder, int count4000, int count1920)
{
    if (!QDir().mkpath(folder))
        return {};
    QStringList paths;
    const struct {
        int w, h, count;
    } sizes[] = { { 4000, 3000, count4000 }, { 1920, 1080, count1920 } };
    quint32 seed = 1;
    for (const auto &size : sizes) {
        for (int i = 0; i < size.count; ++i, ++seed) {
            const QString path = QDir(folder).filePath(QStringLiteral("photo_%1x%2_%3.jpg")
                                                           .arg(size.w)
                                                           .arg(size.h)
                                                           .arg(i, 3, 10, QLatin1Char('0')));
            if (!QFileInfo::exists(path)) {
                QFile file(path + QStringLiteral(".part"));
                if (!file.open(QIODevice::WriteOnly))
                    return {};
                const QByteArray jpeg = photoJpeg(size.w, size.h, seed);
                if (file.write(jpeg) != jpeg.size() || !file.flush())
                    return {};
                file.close();
                if (!file.rename(path))
                    return {};
                std::fprintf(stderr, "\rgenjpegs: %s", qPrintable(QFileInfo(path).fileName()));
            }
            paths << path;
        }
    }
    std::fprintf(stderr, "\n");
    return paths;
}

} // namespace genjpegs
