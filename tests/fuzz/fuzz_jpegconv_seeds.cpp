#include "support/picturesamples.h"

#include <QDir>
#include <QFile>

#include <cstdio>

// Writes small JPEGs of every kind the decoder meets into a corpus folder, so the fuzzer
// starts from well-formed files instead of finding the format from nothing.

namespace {

bool save(const QDir &corpus, const QString &name, const QByteArray &bytes)
{
    QFile file(corpus.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

samples::JpegOptions kind(samples::Model model, bool progressive = false, bool arithmetic = false,
    int restart = 0, int hs = 2, int vs = 2)
{
    samples::JpegOptions options = samples::as(model, progressive);
    options.quality = 75;
    options.arithmetic = arithmetic;
    options.restartInterval = restart;
    options.lumaSampling[0] = hs;
    options.lumaSampling[1] = vs;
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    using samples::Model;
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_jpegconv_seeds CORPUS_FOLDER\n");
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    const std::pair<const char *, samples::JpegOptions> kinds[] = {
        { "baseline420", kind(Model::YCbCr) },
        { "baseline444", kind(Model::YCbCr, false, false, 0, 1, 1) },
        { "baseline422-restart", kind(Model::YCbCr, false, false, 2, 2, 1) },
        { "baseline440-restart", kind(Model::YCbCr, false, false, 1, 1, 2) },
        { "grey-restart", kind(Model::Gray, false, false, 3) },
        { "progressive", kind(Model::YCbCr, true) },
        { "arithmetic", kind(Model::YCbCr, false, true) },
        { "arithmetic-progressive", kind(Model::YCbCr, true, true) },
        { "grey", kind(Model::Gray) },
        { "grey-progressive", kind(Model::Gray, true) },
        { "rgb", kind(Model::Rgb) },
        { "cmyk", kind(Model::Cmyk) },
        { "ycck", kind(Model::Ycck) },
    };
    for (const auto &[name, options] : kinds) {
        for (auto [w, h] : { std::pair { 37, 21 }, std::pair { 8, 200 } }) {
            const QString file
                = QStringLiteral("seed-%1-%2x%3.jpg").arg(QLatin1String(name)).arg(w).arg(h);
            if (!save(corpus, file, samples::writeJpeg(samples::photoLike(w, h), options)))
                return 1;
        }
    }
    // Files that declare far more than they hold, and many scans.
    const QImage picture = samples::photoLike(37, 21);
    const QByteArray progressive = samples::writeJpeg(picture, kinds[3].second);
    const QByteArray grey = samples::writeJpeg(picture, kinds[7].second);
    const bool saved = save(corpus, "hostile-progressive-20000.jpg",
                           samples::withFrameSize(progressive, 20000, 20000))
        && save(corpus, "hostile-baseline-65000.jpg",
            samples::withFrameSize(samples::writeJpeg(picture, kinds[0].second), 65000, 65000))
        && save(corpus, "hostile-grey-4096-scans.jpg",
            samples::withFrameSize(samples::repeatScan(grey, 1, 50), 4096, 4096))
        && save(corpus, "hostile-scans.jpg", samples::repeatScan(progressive, 1, 200))
        && save(corpus, "cut-after-first-scan.jpg", samples::cutAfterScans(progressive, 1));
    return saved ? 0 : 1;
}
