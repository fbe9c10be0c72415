#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

// Writes small JPEGs of every kind the decoder meets into a corpus folder, so the fuzzer
// starts from well-formed files instead of finding the format from nothing.

namespace {

struct Kind {
    const char *name;
    J_COLOR_SPACE space;
    bool progressive;
    bool arithmetic;
    int restart;
    int hs, vs; // luminance sampling
};

QByteArray write(const Kind &kind, int w, int h)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    const bool cmyk = kind.space == JCS_CMYK || kind.space == JCS_YCCK;
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = kind.space == JCS_GRAYSCALE ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = kind.space == JCS_GRAYSCALE ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, kind.space);
    jpeg_set_quality(&cinfo, 75, TRUE);
    if (kind.space == JCS_YCbCr) {
        cinfo.comp_info[0].h_samp_factor = kind.hs;
        cinfo.comp_info[0].v_samp_factor = kind.vs;
    }
    if (kind.progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.arith_code = kind.arithmetic ? TRUE : FALSE;
    cinfo.restart_interval = JDIMENSION(kind.restart);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> line(size_t(w) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < w * cinfo.input_components; ++x)
            line[x] = JSAMPLE(128 + 100 * std::sin(x * 0.3 + y * 0.2) + (x * y) % 17);
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

// The frame of a file declared at another size, as hostile files do.
QByteArray withFrameSize(QByteArray jpeg, int w, int h)
{
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const uchar m = uchar(jpeg[i + 1]);
        if (uchar(jpeg[i]) == 0xFF && m >= 0xC0 && m <= 0xCA && m != 0xC4 && m != 0xC8) {
            jpeg[i + 5] = char(h >> 8);
            jpeg[i + 6] = char(h);
            jpeg[i + 7] = char(w >> 8);
            jpeg[i + 8] = char(w);
            break;
        }
    }
    return jpeg;
}

// The second scan of a progressive file repeated.
QByteArray repeatedScan(const QByteArray &jpeg, int copies)
{
    const qsizetype first = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    const qsizetype next = jpeg.indexOf(QByteArray("\xFF\xDA", 2), first + 2);
    const qsizetype after = jpeg.indexOf(QByteArray("\xFF\xDA", 2), next + 2);
    QByteArray out = jpeg;
    out.insert(after, jpeg.mid(next, after - next).repeated(copies));
    return out;
}

bool save(const QDir &corpus, const QString &name, const QByteArray &bytes)
{
    QFile file(corpus.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_jpegconv_seeds CORPUS_FOLDER\n");
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    const Kind kinds[] = {
        { "baseline420", JCS_YCbCr, false, false, 0, 2, 2 },
        { "baseline444", JCS_YCbCr, false, false, 0, 1, 1 },
        { "baseline422-restart", JCS_YCbCr, false, false, 2, 2, 1 },
        { "progressive", JCS_YCbCr, true, false, 0, 2, 2 },
        { "arithmetic", JCS_YCbCr, false, true, 0, 2, 2 },
        { "arithmetic-progressive", JCS_YCbCr, true, true, 0, 2, 2 },
        { "grey", JCS_GRAYSCALE, false, false, 0, 1, 1 },
        { "grey-progressive", JCS_GRAYSCALE, true, false, 0, 1, 1 },
        { "rgb", JCS_RGB, false, false, 0, 1, 1 },
        { "cmyk", JCS_CMYK, false, false, 0, 1, 1 },
        { "ycck", JCS_YCCK, false, false, 0, 1, 1 },
    };
    for (const Kind &kind : kinds) {
        for (auto [w, h] : { std::pair { 37, 21 }, std::pair { 8, 200 } }) {
            const QString name
                = QStringLiteral("seed-%1-%2x%3.jpg").arg(QLatin1String(kind.name)).arg(w).arg(h);
            if (!save(corpus, name, write(kind, w, h)))
                return 1;
        }
    }
    // Files that declare far more than they hold, and many scans.
    const QByteArray progressive = write(kinds[3], 37, 21);
    const QByteArray grey = write(kinds[7], 37, 21);
    const bool saved
        = save(corpus, "hostile-progressive-20000.jpg", withFrameSize(progressive, 20000, 20000))
        && save(corpus, "hostile-baseline-65000.jpg",
            withFrameSize(write(kinds[0], 37, 21), 65000, 65000))
        && save(corpus, "hostile-grey-4096-scans.jpg",
            withFrameSize(repeatedScan(grey, 50), 4096, 4096))
        && save(corpus, "hostile-scans.jpg", repeatedScan(progressive, 200));
    return saved ? 0 : 1;
}
