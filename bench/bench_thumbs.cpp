#include "genjpegs.h"
#include "intake/jpegconv.h"
#include "intake/thumbsize.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/resource.h>

// Thumbnails of 200 photograph-like JPEGs by ConvertJPEGFile on one thread, against
// vipsthumbnail on the same files in the same run, one process per picture and one process
// for all of them; then how fast hostile files are refused.
//
// bench_thumbs [--dir FOLDER] [--rounds N]: pictures are generated into FOLDER (default
// a folder in the temporary directory, kept for the next run).

namespace {

struct Group {
    QString name;
    QStringList files;
};

double msSince(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

double cpuMs(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Wall-clock and processor time of one run, in milliseconds; negative when it failed.
struct Timing {
    double wall = -1;
    double cpu = -1;
};

// Runs body and times it; processor time counts this process or its finished children.
Timing timed(int who, const std::function<bool()> &body)
{
    const double cpuBefore = cpuMs(who);
    QElapsedTimer timer;
    timer.start();
    if (!body())
        return {};
    return { msSince(timer), cpuMs(who) - cpuBefore };
}

void readAll(const QStringList &files)
{
    for (const QString &path : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            while (!file.read(1 << 20).isEmpty()) { }
    }
}

bool ours(const QStringList &files, const std::vector<QSize> &boxes, const QString &out)
{
    for (qsizetype i = 0; i < files.size(); ++i) {
        try {
            ConvertJPEGFile(files[i], QDir(out).filePath(QFileInfo(files[i]).fileName()),
                boxes[size_t(i)].width(), boxes[size_t(i)].height(), qRgb(255, 255, 255));
        } catch (const JpegError &e) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(files[i]), e.what());
            return false;
        }
    }
    return true;
}

bool vips(const QStringList &files, const QString &out, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args { QStringLiteral("-s"), QStringLiteral("135"), QStringLiteral("-o"),
        QDir(out).filePath(QStringLiteral("%s.jpg[Q=90]")) };
    process.start(QStringLiteral("vipsthumbnail"), args + files);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

bool vipsEach(const QStringList &files, const QString &out, const QProcessEnvironment &env)
{
    for (const QString &file : files)
        if (!vips({ file }, out, env))
            return false;
    return true;
}

// The best of several runs, kept separately for wall-clock and processor time.
void keepBest(Timing &best, const Timing &t)
{
    if (t.wall < 0)
        return;
    best.wall = best.wall < 0 ? t.wall : std::min(best.wall, t.wall);
    best.cpu = best.cpu < 0 ? t.cpu : std::min(best.cpu, t.cpu);
}

QByteArray withFrameSize(QByteArray jpeg, int w, int h)
{
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const uchar m = uchar(jpeg[i + 1]);
        if (uchar(jpeg[i]) == 0xFF && (m == 0xC0 || m == 0xC2)) {
            jpeg[i + 5] = char(h >> 8);
            jpeg[i + 6] = char(h);
            jpeg[i + 7] = char(w >> 8);
            jpeg[i + 8] = char(w);
            break;
        }
    }
    return jpeg;
}

QByteArray firstScanCut(const QByteArray &jpeg, qsizetype dataBytes)
{
    const qsizetype sos = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    return jpeg.left(sos + 2 + (uchar(jpeg[sos + 2]) << 8 | uchar(jpeg[sos + 3])) + dataBytes);
}

// The progressive file with its second scan repeated `copies` times.
QByteArray repeatedScan(const QByteArray &jpeg, int copies)
{
    const qsizetype first = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    const qsizetype next = jpeg.indexOf(QByteArray("\xFF\xDA", 2), first + 2);
    const qsizetype after = jpeg.indexOf(QByteArray("\xFF\xDA", 2), next + 2);
    QByteArray out = jpeg;
    out.insert(after, jpeg.mid(next, after - next).repeated(copies));
    return out;
}

// Zero bytes appended, which the decoder reads as entropy-coded data.
QByteArray padded(const QByteArray &jpeg, qsizetype size)
{
    return jpeg + QByteArray(std::max<qsizetype>(0, size - jpeg.size()), '\0');
}

void hostile()
{
    genjpegs::PhotoOptions progressive;
    progressive.progressive = true;
    genjpegs::PhotoOptions greyProgressive = progressive;
    greyProgressive.grey = true;
    const QByteArray small = genjpegs::photoJpeg(64, 48, 5);
    const QByteArray smallProgressive = genjpegs::photoJpeg(64, 48, 5, progressive);
    const QByteArray greySmall = genjpegs::photoJpeg(64, 48, 5, greyProgressive);
    const struct {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        { "progressive 20000 x 20000, 1 KB",
            withFrameSize(firstScanCut(smallProgressive, 300), 20000, 20000) },
        { "progressive 20000 x 20000, padded to 1.2 MB",
            padded(withFrameSize(firstScanCut(smallProgressive, 300), 20000, 20000), 1200000) },
        { "baseline 20000 x 20000, 1 KB", withFrameSize(firstScanCut(small, 300), 20000, 20000) },
        { "baseline 20000 x 20000, padded to 1.2 MB",
            padded(withFrameSize(firstScanCut(small, 300), 20000, 20000), 1200000) },
        { "baseline 65000 x 65000, 1 KB", withFrameSize(firstScanCut(small, 300), 65000, 65000) },
        { "progressive 64 x 48, 5,000 scans", repeatedScan(smallProgressive, 5000) },
        { "grey progressive 4096 x 4096, 990 scans",
            withFrameSize(repeatedScan(greySmall, 980), 4096, 4096) },
        { "grey progressive 11000 x 11000, 100 scans",
            withFrameSize(repeatedScan(greySmall, 90), 11000, 11000) },
        { "  the same padded to 240 KB",
            padded(withFrameSize(repeatedScan(greySmall, 90), 11000, 11000), 240000) },
    };
    std::printf("\n%-46s %8s %7s  %s\n", "hostile input", "bytes", "ms", "result");
    for (const auto &c : cases) {
        QBuffer src;
        src.setData(c.bytes);
        src.open(QIODevice::ReadOnly);
        QByteArray out;
        QBuffer dst(&out);
        dst.open(QIODevice::WriteOnly);
        QString result = QStringLiteral("thumbnail");
        QElapsedTimer timer;
        timer.start();
        try {
            ConvertJPEGStream(src, dst, 135, 135, qRgb(255, 255, 255));
        } catch (const JpegError &e) {
            result = e.message();
        }
        std::printf("%-46s %8lld %7.1f  %s\n", c.name, static_cast<long long>(c.bytes.size()),
            msSince(timer), qPrintable(result));
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory after the hostile inputs: %ld MB\n", usage.ru_maxrss / 1024);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    QString folder = QDir(QDir::tempPath()).filePath(QStringLiteral("quillomar-bench-thumbs"));
    int rounds = 3;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--dir"))
            folder = args[++i];
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[++i].toInt());
    }

    folder = QDir(folder).absolutePath(); // vipsthumbnail reads -o relative to each input
    hostile();

    const QStringList files
        = genjpegs::makeSet(QDir(folder).filePath(QStringLiteral("pictures")), 100, 100);
    if (files.size() != 200) {
        std::fprintf(
            stderr, "bench_thumbs: cannot write the pictures into %s\n", qPrintable(folder));
        return 1;
    }
    const bool haveVips
        = !QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail")).isEmpty();
    if (!haveVips)
        std::fprintf(
            stderr, "bench_thumbs: vipsthumbnail missing (QM_SETUP_EXTRA=bench scripts/setup)\n");

    const QString oursOut = QDir(folder).filePath(QStringLiteral("ours"));
    const QString vipsOut = QDir(folder).filePath(QStringLiteral("vips"));
    QDir().mkpath(oursOut);
    QDir().mkpath(vipsOut);
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment oneThread = env;
    oneThread.insert(QStringLiteral("VIPS_CONCURRENCY"), QStringLiteral("1"));

    const Group groups[] = {
        { QStringLiteral("4000 x 3000"), files.mid(0, 100) },
        { QStringLiteral("1920 x 1080"), files.mid(100, 100) },
        { QStringLiteral("all 200"), files },
    };
    std::vector<QSize> boxes;
    for (const QString &path : files) {
        const QSize size = QImageReader(path).size();
        boxes.push_back(thumbnailSize(size.width(), size.height()).value_or(size));
    }
    readAll(files); // every contender reads from the page cache
    qint64 bytes = 0;
    for (const QString &f : files)
        bytes += QFileInfo(f).size();

    // Rounds interleave the contenders, so that load from elsewhere falls on all of them.
    enum { Ours, VipsEach, VipsAll, VipsAllOneThread, Contenders };
    Timing best[3][Contenders];
    for (int round = 0; round < rounds; ++round) {
        for (int g = 0; g < 3; ++g) {
            const QStringList &group = groups[g].files;
            const std::vector<QSize> groupBoxes(boxes.begin() + (g == 1 ? 100 : 0),
                boxes.begin()
                    + (g == 1        ? 200
                            : g == 0 ? 100
                                     : 200));
            keepBest(best[g][Ours],
                timed(RUSAGE_SELF, [&] { return ours(group, groupBoxes, oursOut); }));
            if (!haveVips)
                continue;
            keepBest(best[g][VipsEach],
                timed(RUSAGE_CHILDREN, [&] { return vipsEach(group, vipsOut, env); }));
            keepBest(best[g][VipsAll],
                timed(RUSAGE_CHILDREN, [&] { return vips(group, vipsOut, env); }));
            keepBest(best[g][VipsAllOneThread],
                timed(RUSAGE_CHILDREN, [&] { return vips(group, vipsOut, oneThread); }));
        }
    }

    std::printf("\n%lld pictures, %.1f MB, best of %d interleaved rounds, ms per picture\n",
        static_cast<long long>(files.size()), bytes / 1e6, rounds);
    for (const bool cpu : { false, true }) {
        std::printf("\n%s\n%-12s %9s %10s %10s %12s %9s %9s\n",
            cpu ? "processor time (user + system, all threads)" : "wall-clock time", "pictures",
            "ours", "vips each", "vips all", "vips all 1t", "ours/each", "ours/all");
        for (int g = 0; g < 3; ++g) {
            const double n = groups[g].files.size();
            auto per = [&](int c) { return (cpu ? best[g][c].cpu : best[g][c].wall) / n; };
            std::printf("%-12s %9.1f %10.1f %10.1f %12.1f %9.2f %9.2f\n",
                qPrintable(groups[g].name), per(Ours), per(VipsEach), per(VipsAll),
                per(VipsAllOneThread), per(VipsEach) > 0 ? per(Ours) / per(VipsEach) : 0.0,
                per(VipsAll) > 0 ? per(Ours) / per(VipsAll) : 0.0);
        }
    }
    std::printf("\nours: ConvertJPEGFile on one thread; vips each: one vipsthumbnail -s 135 "
                "process per picture; vips all: one process for the group, default threads; "
                "1t: VIPS_CONCURRENCY=1\n");
    return 0;
}
