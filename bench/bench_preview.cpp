#include "store/command.h"
#include "store/connection.h"
#include "genjpegs.h"
#include "intake/jpegconv.h"
#include "core/desktopshell.h"
#include "intake/picturepreview.h"
#include "core/programpaths.h"
#include "store/schema.h"
#include "core/scriptedprompter.h"
#include "store/tdados.h"
#include "core/versiontools.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/resource.h>

// The picture page's first showing of a 4000 x 3000 JPEG (measure, decode for the view,
// record, thumbnail) against one ConvertJPEGFile of the same file; and `quillomar-cli
// thumbs` on every core against one vipsthumbnail -s 135 given all the files at once.
//
// bench_preview [--dir FOLDER] [--rounds N]: the 200 photograph-like JPEGs of bench_thumbs
// are generated into FOLDER/pictures (default: the folder bench_thumbs uses, kept).

namespace {

double msSince(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

double cpuOfChildrenMs()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Wall-clock and processor time of a finished child process, in ms; negative on failure.
struct Timing {
    double wall = -1;
    double cpu = -1;
};

Timing timedChild(const std::function<bool()> &body)
{
    const double before = cpuOfChildrenMs();
    QElapsedTimer timer;
    timer.start();
    if (!body())
        return {};
    return { msSince(timer), cpuOfChildrenMs() - before };
}

void keepBest(Timing &best, const Timing &t)
{
    if (t.wall < 0)
        return;
    best.wall = best.wall < 0 ? t.wall : std::min(best.wall, t.wall);
    best.cpu = best.cpu < 0 ? t.cpu : std::min(best.cpu, t.cpu);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void readAll(const QStringList &files)
{
    for (const QString &path : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            while (!file.read(1 << 20).isEmpty()) { }
    }
}

void removeThumbnails(const QString &folder)
{
    QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}

// A catalogue with one picture row per file, every one to review.
bool makeCatalogue(const QString &path, const QStringList &files)
{
    QFile::remove(path);
    Schema::createCatalogue(path, compiledVersion());
    Connection c;
    c.openFile(path);
    c.beginTransaction();
    Command insert(c);
    for (const QString &file : files) {
        const QFileInfo info(file);
        insert.setSql(QStringLiteral("INSERT INTO Pictures (Name, FileName, FullPath, FileType, "
                                     "Review) VALUES (:N, :F, :P, 'jpg', 1)"));
        insert.setParam(QStringLiteral("N"), info.completeBaseName());
        insert.setParam(QStringLiteral("F"), info.fileName());
        insert.setParam(QStringLiteral("P"), info.absolutePath());
        insert.execute();
    }
    c.commit();
    c.close();
    return true;
}

// The preview opens nothing of the desktop's while it is measured.
struct NoDesktop : DesktopShell {
    bool openUrl(const QUrl &) override { return false; }
    bool startProgram(const QString &, const QStringList &) override { return false; }
};

void firstShowing(const QString &folder, const QStringList &files, int rounds)
{
    const QString programFolder = QDir(folder).filePath(QStringLiteral("preview"));
    QDir().mkpath(programFolder);
    ProgramPaths paths = ProgramPaths::forProgram(programFolder + QStringLiteral("/quillomar"));
    paths.ensureThumbnailFolder();
    makeCatalogue(paths.databasePath(), files);

    ScriptedPrompter prompter;
    TDados store(paths, prompter);
    store.setConfigurationEnabled(false);
    if (!store.OpenDatabaseAll()) {
        std::fprintf(stderr, "bench_preview: the catalogue does not open\n");
        return;
    }
    // The small preview's view as the picture page lays it out; the browser draws what the
    // preview emits, so the measured showing ends when the picture is handed over.
    NoDesktop desktop;
    PicturePreview preview(store, prompter, desktop, QSize(135, 135));
    int shown = 0;
    QObject::connect(&preview, &PicturePreview::smallPreviewShown,
        [&shown](PreviewTab, const PreviewPicture &picture) { shown += !picture.image.isNull(); });
    const QString converted = QDir(folder).filePath(QStringLiteral("converted.jpg"));

    std::vector<double> showing;
    std::vector<double> conversion;
    for (int round = 0; round < rounds; ++round) {
        store.Conexao.exec(QStringLiteral("UPDATE Pictures SET Review = 1"));
        removeThumbnails(store.thumbnailFolder());
        for (int i = 0; i < files.size(); ++i) {
            // The same picture both ways, one right after the other, from the page cache.
            QElapsedTimer timer;
            timer.start();
            ConvertJPEGFile(files[i], converted, 135, 101, qRgb(255, 255, 255));
            conversion.push_back(msSince(timer));

            store.TPictures.locate(QStringLiteral("RecId"), i + 1);
            timer.start();
            preview.ShowThumbnail();
            showing.push_back(msSince(timer));
        }
    }
    if (!prompter.boxes().isEmpty() || store.TPictures.asBool(QStringLiteral("Review"))
        || shown != int(showing.size()))
        std::fprintf(stderr, "bench_preview: the showing did not record the picture\n");
    const double show = median(showing);
    const double convert = median(conversion);
    std::printf("\nfirst showing of a 4000 x 3000 JPEG, median of %zu, ms\n", showing.size());
    std::printf("%-34s %9.1f\n", "ConvertJPEGFile (anchor)", convert);
    std::printf("%-34s %9.1f\n", "ShowThumbnail, Review true", show);
    std::printf("%-34s %9.2f   (target at most 2.00)\n", "ratio", convert > 0 ? show / convert : 0);
}

bool runProcess(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, args);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

void thumbsCommand(const QString &folder, const QStringList &files, int rounds)
{
    // A copy of the command in a folder of its own, where its thumbnails go.
    const QString programFolder = QDir(folder).filePath(QStringLiteral("cli"));
    QDir().mkpath(programFolder);
    const QString cli = QDir(programFolder).filePath(QStringLiteral("quillomar-cli"));
    QFile::remove(cli);
    if (!QFile::copy(
            QCoreApplication::applicationDirPath() + QStringLiteral("/quillomar-cli"), cli)) {
        std::fprintf(stderr, "bench_preview: quillomar-cli missing beside the benchmark\n");
        return;
    }
    const QString catalogue = QDir(programFolder).filePath(QStringLiteral("quillomar.mdb"));
    makeCatalogue(catalogue, files);
    const QString thumbs = QDir(programFolder).filePath(QStringLiteral("thumbs"));
    const QString vipsOut = QDir(folder).filePath(QStringLiteral("vips"));
    QDir().mkpath(vipsOut);
    const bool haveVips
        = !QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail")).isEmpty();

    // Best of the rounds: load from other processes only ever adds time.
    Timing ours;
    Timing vips;
    for (int round = 0; round < rounds; ++round) {
        {
            Connection c;
            c.openFile(catalogue);
            c.exec(QStringLiteral("UPDATE Pictures SET Review = 1"));
            c.close();
        }
        removeThumbnails(thumbs);
        const Timing a = timedChild([&] { return runProcess(cli, { QStringLiteral("thumbs") }); });
        if (a.wall < 0)
            std::fprintf(stderr, "bench_preview: quillomar-cli thumbs failed\n");
        keepBest(ours, a);
        if (!haveVips)
            continue;
        const Timing b = timedChild([&] {
            return runProcess(QStringLiteral("vipsthumbnail"),
                QStringList { QStringLiteral("-s"), QStringLiteral("135"), QStringLiteral("-o"),
                    QDir(vipsOut).filePath(QStringLiteral("%s.jpg[Q=90]")) }
                    + files);
        });
        if (b.wall < 0)
            std::fprintf(stderr, "bench_preview: vipsthumbnail failed\n");
        keepBest(vips, b);
        std::fprintf(stderr, "round %d: quillomar-cli thumbs %.0f ms, vipsthumbnail %.0f ms\n",
            round + 1, a.wall, b.wall);
    }
    const double n = double(files.size());
    std::printf("\n%lld pictures, best of %d interleaved rounds, ms in all (per picture)\n",
        static_cast<long long>(files.size()), rounds);
    std::printf("%-42s %16s %16s\n", "", "wall-clock", "processor");
    auto line = [n](const char *name, const Timing &t) {
        std::printf(
            "%-42s %9.0f (%5.1f) %9.0f (%5.1f)\n", name, t.wall, t.wall / n, t.cpu, t.cpu / n);
    };
    if (haveVips)
        line("vipsthumbnail -s 135, all files (anchor)", vips);
    line("quillomar-cli thumbs, every core", ours);
    if (haveVips && vips.wall > 0)
        std::printf("%-42s %9.2f         %9.2f   (target: wall-clock at most 0.50)\n", "ratio",
            ours.wall / vips.wall, vips.cpu > 0 ? ours.cpu / vips.cpu : 0.0);
    if (!haveVips)
        std::fprintf(
            stderr, "bench_preview: vipsthumbnail missing (QM_SETUP_EXTRA=bench scripts/setup)\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    QString folder = QDir(QDir::tempPath()).filePath(QStringLiteral("quillomar-bench-thumbs"));
    int rounds = 3;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--dir"))
            folder = args[++i];
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[++i].toInt());
    }
    folder = QDir(folder).absolutePath();
    const QStringList files
        = genjpegs::makeSet(QDir(folder).filePath(QStringLiteral("pictures")), 100, 100);
    if (files.size() != 200) {
        std::fprintf(
            stderr, "bench_preview: cannot write the pictures into %s\n", qPrintable(folder));
        return 1;
    }
    readAll(files);
    std::printf("processor cores: %d\n", QThread::idealThreadCount());
    firstShowing(folder, files.mid(0, 20), rounds);
    thumbsCommand(folder, files, rounds);
    return 0;
}
