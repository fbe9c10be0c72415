#include "genjpegs.h"
#include "support/photosamples.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/resource.h>

// The review of phone and camera files by `quillomar-cli thumbs` (measure, facts, content and
// perceptual fingerprints, thumbnail, all recorded), each against an anchor in the same run,
// one process each, best of interleaved rounds:
//   40 JPEGs of 12 MP carrying full EXIF (with its thumbnail), GPS, XMP and IPTC, a quarter
//     of them portraits: against vipsthumbnail on the same files (target <= 0.45x);
//   40 HEIC files of 12 MP with embedded thumbnails: against vipsthumbnail (target <= 0.6x);
//   20 DNG files of 12 MP with full-size JPEG previews: against LibRaw's own extraction of the
//     previews (simple_dcraw -e, as dcraw -e; LibRaw 0.20's dcraw_emu has no -e) followed by
//     vipsthumbnail of the extracted JPEGs (target <= 0.5x);
//   `scan --thumbs` of the 40 JPEGs against `scan` followed by `thumbs` (target <= 1.2x).
//
// bench_photos [--dir FOLDER] [--rounds N]: the files are made into FOLDER (default: a folder
// in the temporary directory, kept for the next run; the HEIC files take minutes to encode).

namespace {

struct Timing {
    double wall = -1;
    double cpu = -1;
};

double childrenCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

bool run(const QString &program, const QStringList &args, const QString &workingDir = QString())
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s %s: %s\n", qPrintable(program), qPrintable(args.join(' ')),
            p.readAllStandardError().constData());
        return false;
    }
    return true;
}

Timing timed(const std::function<bool()> &body)
{
    const double cpu = childrenCpuMs();
    QElapsedTimer t;
    t.start();
    if (!body())
        return {};
    return { t.nsecsElapsed() / 1e6, childrenCpuMs() - cpu };
}

void keepBest(Timing &best, const Timing &t)
{
    if (t.wall < 0)
        return;
    best.wall = best.wall < 0 ? t.wall : std::min(best.wall, t.wall);
    best.cpu = best.cpu < 0 ? t.cpu : std::min(best.cpu, t.cpu);
}

void readAll(const QStringList &files)
{
    for (const QString &path : files) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            while (!f.read(1 << 20).isEmpty()) { }
    }
}

QStringList filesIn(const QString &folder, const QString &pattern)
{
    QStringList out;
    for (const QString &name : QDir(folder).entryList({ pattern }, QDir::Files, QDir::Name))
        out << QDir(folder).filePath(name);
    return out;
}

// 40 camera JPEGs: the picture, then what a camera and a photo program write into it.
QStringList makeJpegs(const QString &folder)
{
    QStringList files = filesIn(folder, QStringLiteral("*.jpg"));
    if (files.size() == 40)
        return files;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QString thumb = QDir(folder).filePath(QStringLiteral("exif-thumbnail.jpeg"));
    QFile t(thumb);
    t.open(QIODevice::WriteOnly);
    t.write(genjpegs::photoJpeg(160, 120, 99));
    t.close();
    files.clear();
    for (int i = 0; i < 40; ++i) {
        const QString path = QDir(folder).filePath(QStringLiteral("IMG_%1.jpg").arg(1000 + i));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(genjpegs::photoJpeg(4000, 3000, quint32(i + 1)));
        files << path;
    }
    const QStringList tags = { "-overwrite_original", "-q", "-Make=Canon",
        "-Model=Canon EOS 5D Mark IV", "-LensModel=EF24-105mm f/4L IS USM", "-ExposureTime=1/250",
        "-FNumber=8", "-ISO=200", "-FocalLength=35", "-DateTimeOriginal=2019:07:14 10:20:30",
        "-SubSecTimeOriginal=120", "-OffsetTimeOriginal=-03:00", "-CreateDate=2019:07:14 10:20:30",
        "-GPSLatitude=23.55052", "-GPSLatitudeRef=S", "-GPSLongitude=46.633309",
        "-GPSLongitudeRef=W", "-GPSAltitude=760", "-Artist=Ana Souza", "-Copyright=Ana Souza",
        "-ImageDescription=Festa junina", "-XMP-dc:Title=Festa de São João",
        "-XMP-dc:Description=Quadrilha na praça", "-XMP-dc:Subject=festa",
        "-XMP-dc:Subject=São João", "-XMP-dc:Subject=forró", "-XMP-xmp:Rating=4",
        "-XMP-photoshop:City=São Paulo", "-IPTC:Keywords=festa", "-IPTC:Keywords=junina",
        "-IPTC:City=São Paulo", "-ThumbnailImage<=" + thumb };
    if (!samples::exiftool(files.first(), tags.mid(0) + files.mid(1)))
        return {};
    // A quarter of them held upright: the camera says so.
    QStringList portraits = { "-overwrite_original", "-q", "-Orientation#=6" };
    for (int i = 0; i < files.size(); i += 4)
        portraits << files[i];
    if (!samples::run(QStringLiteral("exiftool"), portraits))
        return {};
    QFile::remove(thumb);
    return filesIn(folder, QStringLiteral("*.jpg"));
}

QStringList makeHeics(const QString &folder, const QStringList &jpegs)
{
    QStringList files = filesIn(folder, QStringLiteral("*.heic"));
    if (files.size() == jpegs.size())
        return files;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (const QString &jpeg : jpegs) {
        const QString out
            = QDir(folder).filePath(QFileInfo(jpeg).completeBaseName() + QStringLiteral(".heic"));
        std::fprintf(stderr, "\r(encoding %s)", qPrintable(QFileInfo(out).fileName()));
        if (!samples::run(QStringLiteral("heif-enc"),
                { "-q", "50", "-t", "320", "-p", "preset=ultrafast", "-o", out, jpeg }))
            return {};
    }
    std::fprintf(stderr, "\n");
    return filesIn(folder, QStringLiteral("*.heic"));
}

QStringList makeDngs(const QString &folder)
{
    QStringList files = filesIn(folder, QStringLiteral("*.dng"));
    if (files.size() == 20)
        return files;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (int i = 0; i < 20; ++i) {
        QFile f(QDir(folder).filePath(QStringLiteral("RAW_%1.dng").arg(2000 + i)));
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(samples::dng(genjpegs::photoJpeg(4000, 3000, quint32(100 + i)), 4000, 3000, 1));
    }
    return filesIn(folder, QStringLiteral("*.dng"));
}

// A copy of the command in a folder of its own, whose default catalogue is made afresh.
struct Program {
    QString folder;
    QString cli;
    QString catalogue;

    explicit Program(const QString &where) : folder(where)
    {
        QDir().mkpath(folder);
        cli = QDir(folder).filePath(QStringLiteral("quillomar-cli"));
        QFile::remove(cli);
        QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/quillomar-cli"), cli);
        catalogue = QDir(folder).filePath(QStringLiteral("quillomar.mdb"));
    }
    bool fresh() const
    {
        QDir(QDir(folder).filePath(QStringLiteral("thumbs"))).removeRecursively();
        QFile::remove(catalogue);
        return run(cli, { QStringLiteral("create"), catalogue });
    }
};

void line(const char *name, const Timing &t, double n)
{
    std::printf(
        "  %-52s %8.0f (%5.1f) %8.0f (%5.1f)\n", name, t.wall, t.wall / n, t.cpu, t.cpu / n);
}

void ratio(const Timing &ours, const Timing &anchor, const char *target)
{
    std::printf("  %-52s %8.2f         %8.2f          (target: wall-clock %s)\n", "ratio",
        ours.wall / anchor.wall, anchor.cpu > 0 ? ours.cpu / anchor.cpu : 0.0, target);
}

// `thumbs` of the files of `folder` against an anchor, best of the rounds.
void thumbsAgainst(const char *title, const Program &program, const QString &folder,
    const QStringList &files, const char *anchorName, const std::function<bool()> &anchor,
    const char *target, int rounds)
{
    Timing ours, theirs;
    for (int round = 0; round < rounds; ++round) {
        if (!program.fresh() || !run(program.cli, { "scan", folder }))
            return;
        keepBest(ours, timed([&] { return run(program.cli, { "thumbs" }); }));
        keepBest(theirs, timed(anchor));
    }
    std::printf("\n%s: %lld files, best of %d interleaved rounds, ms in all (per file)\n", title,
        static_cast<long long>(files.size()), rounds);
    std::printf("  %-52s %17s %17s\n", "", "wall-clock", "processor");
    line(anchorName, theirs, files.size());
    line("quillomar-cli thumbs", ours, files.size());
    ratio(ours, theirs, target);
}

bool vipsthumbnail(const QStringList &files, const QString &out)
{
    QDir().mkpath(out);
    return run(QStringLiteral("vipsthumbnail"),
        QStringList { "-s", "135", "-o", QDir(out).filePath(QStringLiteral("%s.jpg[Q=90]")) }
            + files);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString folder = QDir(QDir::tempPath()).filePath(QStringLiteral("quillomar-bench-photos"));
    int rounds = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--dir"))
            folder = args[++i];
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[++i].toInt());
    }
    folder = QDir(folder).absolutePath();
    for (const char *tool : { "vipsthumbnail", "simple_dcraw", "exiftool", "heif-enc" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::fprintf(
                stderr, "bench_photos: %s missing (QM_SETUP_EXTRA=bench scripts/setup)\n", tool);
            return 1;
        }
    const QString jpegFolder = QDir(folder).filePath(QStringLiteral("jpeg"));
    const QString heicFolder = QDir(folder).filePath(QStringLiteral("heic"));
    const QString dngFolder = QDir(folder).filePath(QStringLiteral("dng"));
    const QStringList jpegs = makeJpegs(jpegFolder);
    const QStringList heics = makeHeics(heicFolder, jpegs);
    const QStringList dngs = makeDngs(dngFolder);
    if (jpegs.size() != 40 || heics.size() != 40 || dngs.size() != 20) {
        std::fprintf(
            stderr, "bench_photos: the files could not be made in %s\n", qPrintable(folder));
        return 1;
    }
    readAll(jpegs + heics + dngs);
    const Program program(QDir(folder).filePath(QStringLiteral("program")));
    const QString out = QDir(folder).filePath(QStringLiteral("anchor"));

    thumbsAgainst(
        "JPEG 12 MP, EXIF, GPS, XMP, IPTC", program, jpegFolder, jpegs,
        "vipsthumbnail -s 135, all files (anchor)", [&] { return vipsthumbnail(jpegs, out); },
        "at most 0.45", rounds);
    thumbsAgainst(
        "HEIC 12 MP with thumbnails", program, heicFolder, heics,
        "vipsthumbnail -s 135, all files (anchor)", [&] { return vipsthumbnail(heics, out); },
        "at most 0.60", rounds);
    const QString extracted = QDir(folder).filePath(QStringLiteral("extracted"));
    thumbsAgainst(
        "DNG 12 MP with previews", program, dngFolder, dngs,
        "simple_dcraw -e, then vipsthumbnail (anchor)",
        [&] {
            QDir(extracted).removeRecursively();
            QDir().mkpath(extracted);
            QStringList copies;
            for (const QString &dng : dngs) {
                const QString link = QDir(extracted).filePath(QFileInfo(dng).fileName());
                QFile::link(dng, link);
                copies << link;
            }
            if (!run(QStringLiteral("simple_dcraw"), QStringList { "-e" } + copies, extracted))
                return false;
            return vipsthumbnail(filesIn(extracted, QStringLiteral("*.thumb.jpg")), out);
        },
        "at most 0.50", rounds);

    // The scan with its thumbnails against the scan, then thumbs.
    Timing together, apart;
    for (int round = 0; round < rounds; ++round) {
        if (!program.fresh())
            return 1;
        keepBest(together, timed([&] {
            return run(program.cli, { "scan", "--thumbs", jpegFolder });
        }));
        if (!program.fresh())
            return 1;
        keepBest(apart, timed([&] {
            return run(program.cli, { "scan", jpegFolder }) && run(program.cli, { "thumbs" });
        }));
    }
    std::printf("\nscan --thumbs of the 40 JPEGs, best of %d interleaved rounds, ms in all (per "
                "file)\n",
        rounds);
    std::printf("  %-52s %17s %17s\n", "", "wall-clock", "processor");
    line("quillomar-cli scan, then quillomar-cli thumbs (anchor)", apart, 40);
    line("quillomar-cli scan --thumbs", together, 40);
    ratio(together, apart, "at most 1.20");
    return 0;
}
