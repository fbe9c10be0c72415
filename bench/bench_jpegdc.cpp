// The DC-only decoder against libjpeg on the thumbnails' 1/8 scale: each JPEG of a folder is
// decoded from memory to the thumbnails' box both ways, on one thread; the processor time of
// the best of N rounds is reported per file, and the two pictures are checked to be the same.
//
// bench_jpegdc [--dir FOLDER] [--rounds N] [--side PIXELS]: FOLDER defaults to the JPEGs
// bench_photos makes (/tmp/quillomar-bench-photos/jpeg).

#include "intake/jpegdecoder.h"
#include "intake/jpegerror.h"
#include "intake/picturereview.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double threadMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

QImage decode(const QByteArray &bytes, const QSize &box, JpegDecoder::Path path, bool *dc)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        JpegDecoder::Picture picture = JpegDecoder::decode(buffer, box, path);
        if (dc)
            *dc = picture.fromDcOnly;
        return picture.image;
    } catch (const JpegError &) {
        return QImage();
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString dir = QStringLiteral("/tmp/quillomar-bench-photos/jpeg");
    int rounds = 5;
    int side = PictureReview::kViewSide;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--dir"))
            dir = args[i + 1];
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--side"))
            side = std::max(1, args[i + 1].toInt());
    }
    std::vector<QByteArray> files;
    for (const QFileInfo &info : QDir(dir).entryInfoList(
             { QStringLiteral("*.jpg"), QStringLiteral("*.JPG") }, QDir::Files)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            files.push_back(file.readAll());
    }
    if (files.empty()) {
        std::fprintf(stderr, "no JPEG files in %s\n", qPrintable(dir));
        return 1;
    }
    const QSize box(side, side);
    int fromDc = 0;
    int differ = 0;
    for (const QByteArray &bytes : files) {
        bool dc = false;
        if (decode(bytes, box, JpegDecoder::Path::Fastest, &dc)
            != decode(bytes, box, JpegDecoder::Path::LibjpegOnly, nullptr))
            ++differ;
        fromDc += dc ? 1 : 0;
    }
    double best[2] = { 1e300, 1e300 };
    for (int round = 0; round < rounds; ++round) {
        for (int which = 0; which < 2; ++which) {
            const auto path = which ? JpegDecoder::Path::LibjpegOnly : JpegDecoder::Path::Fastest;
            const double start = threadMs();
            for (const QByteArray &bytes : files)
                decode(bytes, box, path, nullptr);
            best[which] = std::min(best[which], threadMs() - start);
        }
    }
    const double n = double(files.size());
    std::printf("%zu JPEGs of %s to %dx%d, best of %d rounds, processor ms per file\n",
        files.size(), qPrintable(dir), side, side, rounds);
    std::printf("  DC-only decoder (drew %d of them)  %8.2f\n", fromDc, best[0] / n);
    std::printf("  libjpeg                            %8.2f\n", best[1] / n);
    std::printf("  ratio                              %8.2f\n", best[0] / best[1]);
    if (differ)
        std::printf("  %d pictures DIFFER between the two\n", differ);
    return differ ? 1 : 0;
}
