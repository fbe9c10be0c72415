#include "core/versiontools.h"
#include "intake/jpegconv.h"
#include "store/command.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/query.h"
#include "store/schema.h"
#include "support/catalogfixture.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace samples;
using testsupport::writeFile;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// A copy of quillomar-cli in a folder of its own, so that its thumbnails land there, with
// the default catalogue beside it and a folder of real pictures.
struct ThumbsFixture {
    CatalogFixture catalog;
    const QTemporaryDir &program = catalog.folder.dir;
    QTemporaryDir pictures;
    QString cli;
    QString catalogue = catalog.path;

    ThumbsFixture()
    {
        cli = program.filePath("quillomar-cli");
        QFile::copy(testsupport::binDir() + "/quillomar-cli", cli);
        QFile::setPermissions(cli, QFile::permissions(cli) | QFile::ExeOwner);
    }

    QString file(const QString &name) const { return pictures.filePath(name); }
    QString thumbnail(qint64 id) const { return catalog.thumbnail(id); }

    qint64 exec(const QString &sql, const QVariantMap &params = {}) const
    {
        return catalog.exec(sql, params);
    }

    qint64 picture(
        const QString &name, const QString &type, const QByteArray &bytes, bool review = true)
    {
        if (!bytes.isNull())
            writeFile(file(name), bytes);
        return exec("INSERT INTO Pictures (Name, FileName, FullPath, FileType, ColorType, Review) "
                    "VALUES (:N, :N2, :P, :T, 4, :R)",
            { { "N", name }, { "N2", name }, { "P", pictures.path() + "/" }, { "T", type },
                { "R", review } });
    }

    // count JPEG files prefix0.jpg, prefix1.jpg... with the same bytes, in one transaction.
    void pictureSeries(const QString &prefix, const QByteArray &bytes, int count)
    {
        Connection c;
        c.openFile(catalogue);
        c.beginTransaction();
        Command cmd(c);
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("%1%2.jpg").arg(prefix).arg(i);
            writeFile(file(name), bytes);
            cmd.setSql("INSERT INTO Pictures (Name, FileName, FullPath, FileType, Review) "
                       "VALUES (:N, :F, :P, 'jpg', TRUE)");
            cmd.setParam("N", name);
            cmd.setParam("F", name);
            cmd.setParam("P", pictures.path());
            cmd.execute();
        }
        c.commit();
        c.close();
    }

    qint64 idOf(const QString &fileName) const
    {
        return scalar("SELECT RecId AS V FROM Pictures WHERE FileName = :F", { { "F", fileName } })
            .toLongLong();
    }
    int count(const QString &where) const
    {
        return scalar("SELECT COUNT(*) AS V FROM Pictures WHERE " + where).toInt();
    }
    QVariant scalar(const QString &sql, const QVariantMap &params = {}) const
    {
        Connection c;
        c.openFile(catalogue);
        Query q(c);
        q.setSql(sql);
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            q.setParam(it.key(), it.value());
        q.open();
        const QVariant v = q.eof() ? QVariant() : q.value("V");
        q.close();
        c.close();
        return v;
    }

    QVariant stored(qint64 id, const QString &column) const
    {
        Connection c;
        c.openFile(catalogue);
        Query q(c);
        q.setSql(QStringLiteral("SELECT %1 AS V FROM Pictures WHERE RecId = :ID").arg(column));
        q.setParam("ID", id);
        q.open();
        const QVariant v = q.value("V");
        q.close();
        c.close();
        return v;
    }

    Run run(const QStringList &args) const { return runProgram(cli, args); }

    // A program that has not ended within the time is killed and counts as failed.
    static Run runProgram(const QString &program, const QStringList &args, int ms = 120000)
    {
        QProcess p;
        p.start(program, args);
        Run r;
        if (!p.waitForFinished(ms)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    // thumbs in a mount namespace of its own where the thumbnail folder is a tmpfs mounted
    // with `options`; exit code -2 when this system allows no such namespace.
    Run thumbsOnTmpfs(const QString &options) const
    {
        const QString thumbs = program.filePath("thumbs");
        QDir().mkpath(thumbs);
        if (runProgram("unshare", { "-Urm", "true" }).exitCode != 0)
            return { -2, {}, {} };
        return runProgram("unshare",
            { "-Urm", "sh", "-c", "mount -t tmpfs -o \"$1\" quillomar \"$2\" && exec \"$3\" thumbs",
                "sh", options, thumbs, cli });
    }

    // thumbs with its peak memory (kB), read from the kernel when it has ended.
    QPair<Run, long> runMeasured(const QStringList &args) const
    {
        QTemporaryDir out;
        const QByteArray program = QFile::encodeName(cli);
        QList<QByteArray> bytes;
        for (const QString &a : args)
            bytes << a.toUtf8();
        std::vector<char *> argv { const_cast<char *>(program.constData()) };
        for (QByteArray &a : bytes)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const QByteArray outFile = QFile::encodeName(out.filePath("out"));
        const QByteArray errFile = QFile::encodeName(out.filePath("err"));
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int o = ::open(outFile.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int e = ::open(errFile.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(o, 1);
            ::dup2(e, 2);
            ::execv(program.constData(), argv.data());
            ::_exit(127);
        }
        int status = 0;
        rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        Run r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = QString::fromUtf8(testsupport::readFile(out.filePath("out")));
        r.err = QString::fromUtf8(testsupport::readFile(out.filePath("err")));
        return { r, usage.ru_maxrss };
    }

    // Standard error on a terminal, standard output on a pipe; what each received.
    QPair<QByteArray, QByteArray> runOnTerminal(const QStringList &args) const
    {
        int master = -1;
        int slave = -1;
        int outPipe[2];
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || ::pipe(outPipe) != 0)
            return {};
        const QByteArray program = QFile::encodeName(cli);
        QList<QByteArray> bytes;
        for (const QString &a : args)
            bytes << a.toUtf8();
        std::vector<char *> argv { const_cast<char *>(program.constData()) };
        for (QByteArray &a : bytes)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(outPipe[1], 1);
            ::dup2(slave, 2);
            ::close(master);
            ::execv(program.constData(), argv.data());
            ::_exit(127);
        }
        ::close(slave);
        ::close(outPipe[1]);
        QByteArray terminal;
        QByteArray out;
        bool terminalOpen = true;
        bool outOpen = true;
        while (terminalOpen || outOpen) {
            pollfd fds[2] = { { terminalOpen ? master : -1, POLLIN, 0 },
                { outOpen ? outPipe[0] : -1, POLLIN, 0 } };
            if (::poll(fds, 2, 60000) <= 0)
                break;
            char buffer[4096];
            if (fds[0].revents) {
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0)
                    terminal.append(buffer, n);
                else
                    terminalOpen = false;
            }
            if (fds[1].revents) {
                const ssize_t n = ::read(outPipe[0], buffer, sizeof buffer);
                if (n > 0)
                    out.append(buffer, n);
                else
                    outOpen = false;
            }
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(master);
        ::close(outPipe[0]);
        return { terminal, out };
    }
};

QString summary(int review, int restore, int measured, int thumbnailed, int fits, int ignored,
    int missing, int failed)
{
    return QStringLiteral("Imagens a revisar: %1\nMiniaturas a refazer: %2\nMedidas: %3\n"
                          "Miniaturas gravadas: %4\nSem miniatura (até 135 pixels): %5\n"
                          "Ignoradas (GIF, PNG ou formato não suportado): %6\n"
                          "Arquivos ausentes: %7\nFalhas: %8\n")
        .arg(review)
        .arg(restore)
        .arg(measured)
        .arg(thumbnailed)
        .arg(fits)
        .arg(ignored)
        .arg(missing)
        .arg(failed);
}

} // namespace

class TestThumbsCli : public QObject {
    Q_OBJECT
private slots:
    void thumbsDoesWhatTheFirstShowingDoes()
    {
        QM_FILE_ONLY("thumbnails laid out by the catalogue file's own folder");
        ThumbsFixture f;
        const qint64 photo = f.picture("foto.jpg", "jpg", jpeg(2000, 1500));
        const qint64 board = f.picture("quadro.bmp", "bmp", bmp(1000, 750, 8));
        const qint64 small = f.picture("pequena.jpg", "jpg", jpeg(100, 80));
        const qint64 gif = f.picture("anima.gif", "gif", samples::gif(300, 200, { qRgb(1, 2, 3) }));
        const qint64 tif = f.picture("scan.tif", "tif", encoded(gradient(300, 200), "tiff"));
        const qint64 gone = f.picture("sumiu.jpg", "jpg", QByteArray());
        const qint64 text = f.picture("texto.jpg", "jpg", QByteArray("not a picture"));
        const qint64 bomb = f.picture("bomba.bmp", "bmp", bombBmp());
        const qint64 strip = f.picture("faixa.jpg", "jpg", jpeg(27000, 100));
        // Reviewed before: one whose thumbnail is gone, one whose thumbnail is there, one
        // that fits the view.
        const qint64 done = f.picture("feita.jpg", "jpg", jpeg(2000, 1500), false);
        const qint64 kept = f.picture("guardada.jpg", "jpg", jpeg(2000, 1500), false);
        QVERIFY(QDir().mkpath(f.program.filePath("thumbs")));
        QVERIFY(writeFile(f.thumbnail(kept), jpeg(135, 101)));
        const qint64 tiny = f.picture("mini.jpg", "jpg", jpeg(100, 80), false);
        f.exec(
            "UPDATE Pictures SET Width = 100, Height = 80 WHERE RecId = :ID", { { "ID", tiny } });

        const Run r = f.run({ "thumbs", "--jobs", "2" });
        QCOMPARE(r.exitCode, 1);
        // The three reviewed before facts were read are examined again for them.
        QCOMPARE(r.out, summary(12, 0, 8, 4, 2, 1, 1, 3));
        // Each failure with its path and the error's text; no progress line off a terminal.
        const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.contains(f.file("faixa.jpg") + ": Invalid Height"));
        QVERIFY(lines.contains(f.file("bomba.bmp")
            + ": O arquivo tem menos dados de imagem do que o seu cabeçalho declara."));
        QVERIFY(lines.contains(f.file("texto.jpg") + ": Formato de imagem não suportado."));

        QCOMPARE(f.stored(photo, "ColorType").toInt(), 3);
        QCOMPARE(f.stored(photo, "Width").toInt(), 2000);
        QCOMPARE(f.stored(photo, "Height").toInt(), 1500);
        QCOMPARE(f.stored(photo, "Review").toInt(), 0);
        QCOMPARE(f.stored(board, "ColorType").toInt(), 15);
        QCOMPARE(f.stored(board, "Review").toInt(), 0);
        QCOMPARE(f.stored(done, "Width").toInt(), 2000);
        QCOMPARE(f.stored(strip, "Width").toInt(), 27000); // recorded, though not thumbnailed
        // The program draws TIFF now: measured and thumbnailed like the others.
        QCOMPARE(f.stored(tif, "Width").toInt(), 300);
        QCOMPARE(f.stored(tif, "Review").toInt(), 0);
        QCOMPARE(f.stored(tif, "ColorType").toInt(), 4);
        for (qint64 id : { small, gif, gone, text, bomb }) {
            QCOMPARE(f.stored(id, "Review").toInt(), 1);
            QVERIFY(f.stored(id, "Width").isNull());
            QCOMPARE(f.stored(id, "ColorType").toInt(), 4);
        }
        // Reviewed before: its details recorded again, upright; its thumbnail kept.
        QCOMPARE(f.stored(kept, "Width").toInt(), 2000);
        QCOMPARE(testsupport::readFile(f.thumbnail(kept)), jpeg(135, 101));
        // Every file examined has its facts recorded, also one that fits or cannot be drawn;
        // a file that is not there has none.
        for (qint64 id : { photo, board, small, tif, text, bomb, strip, done, kept, tiny })
            QCOMPARE(f.scalar("SELECT COUNT(*) AS V FROM PictureFacts WHERE Picture = :P",
                          { { "P", id } })
                         .toInt(),
                1);
        for (qint64 id : { gif, gone })
            QCOMPARE(f.scalar("SELECT COUNT(*) AS V FROM PictureFacts WHERE Picture = :P",
                          { { "P", id } })
                         .toInt(),
                0);

        // The thumbnails are the writer's: the same bytes ConvertJPEGFile writes.
        QCOMPARE(QImageReader(f.thumbnail(photo)).size(), QSize(135, 101));
        QCOMPARE(QImageReader(f.thumbnail(board)).size(), QSize(135, 101));
        const QString reference = f.program.filePath("reference.jpg");
        ConvertJPEGFile(f.file("foto.jpg"), reference, 135, 101, qRgb(255, 255, 255));
        QCOMPARE(testsupport::readFile(f.thumbnail(photo)), testsupport::readFile(reference));
        QCOMPARE(testsupport::readFile(f.thumbnail(done)), testsupport::readFile(reference));
        // Beside them only the file naming the default catalogue the folder's owner.
        QCOMPARE(QDir(f.program.filePath("thumbs")).entryList(QDir::Files | QDir::Hidden),
            (QStringList { ".catalogue", QFileInfo(f.thumbnail(photo)).fileName(),
                QFileInfo(f.thumbnail(board)).fileName(), QFileInfo(f.thumbnail(tif)).fileName(),
                QFileInfo(f.thumbnail(done)).fileName(),
                QFileInfo(f.thumbnail(kept)).fileName() }));

        // What failed is still to review; what fits the view keeps Review true but, examined
        // as its file is, is not read again; the rest is not measured again.
        const QByteArray catalogueBefore = testsupport::readFile(f.catalogue);
        const Run again = f.run({ "thumbs" });
        QCOMPARE(again.exitCode, 1);
        QCOMPARE(again.out, summary(4, 0, 0, 0, 0, 1, 1, 2));
        // Tried again, the files that cannot be drawn have their facts written once.
        QCOMPARE(testsupport::readFile(f.catalogue), catalogueBefore);
        QCOMPARE(f.stored(small, "Review").toInt(), 1);
    }

    void progressLineOnlyOnATerminal()
    {
        ThumbsFixture f;
        for (int i = 0; i < 3; ++i)
            f.picture(QStringLiteral("foto%1.jpg").arg(i), "jpg", jpeg(400, 300));
        const auto [terminal, out] = f.runOnTerminal({ "thumbs", "--jobs", "1" });
        QVERIFY(terminal.contains("\rMiniaturas: 3 de 3 imagens"));
        QCOMPARE(QString::fromUtf8(out), summary(3, 0, 3, 3, 0, 0, 0, 0));
        QVERIFY(!out.contains("Miniaturas:"));

        const Run nothing = f.run({ "thumbs" });
        QCOMPARE(nothing.exitCode, 0);
        QCOMPARE(nothing.out, summary(0, 0, 0, 0, 0, 0, 0, 0));
        QCOMPARE(nothing.err, QString());
    }

    void usageErrors()
    {
        ThumbsFixture f;
        for (const QStringList &args :
            { QStringList { "thumbs", "--jobs", "0" }, QStringList { "thumbs", "--jobs" },
                QStringList { "thumbs", "--jobs=muitos" }, QStringList { "thumbs", "pasta" } }) {
            const Run r = f.run(args);
            QCOMPARE(r.exitCode, 2);
            QVERIFY(r.err.contains("Uso: quillomar-cli [--catalogue ARQUIVO] thumbs [--jobs N]"));
            QCOMPARE(r.out, QString());
        }
        const Run noCatalogue = f.run({ "--catalogue", f.program.filePath("none.mdb"), "thumbs" });
        QCOMPARE(noCatalogue.exitCode, 1);
        QVERIFY(noCatalogue.err.contains("Banco de dados não conectado."));
    }

    void thumbsAfterARescanRestoresTheThumbnails()
    {
        QM_FILE_ONLY("thumbnails laid out by the catalogue file's own folder");
        ThumbsFixture f;
        writeFile(f.file("foto.jpg"), jpeg(2000, 1500));
        writeFile(f.file("quadro.bmp"), bmp(1000, 750, 8));
        // 270 times wider than high: drawn, but the writer refuses a 0-pixel height.
        writeFile(f.file("faixa.jpg"), jpeg(27000, 100));
        QCOMPARE(f.run({ "scan", f.pictures.path() }).exitCode, 0);
        const qint64 photo = f.idOf("foto.jpg");
        const qint64 board = f.idOf("quadro.bmp");
        const qint64 strip = f.idOf("faixa.jpg");

        const Run first = f.run({ "thumbs" });
        QCOMPARE(first.exitCode, 1);
        QCOMPARE(first.err, f.file("faixa.jpg") + ": Invalid Height\n");
        QVERIFY(QFileInfo::exists(f.thumbnail(photo)));
        QVERIFY(QFileInfo::exists(f.thumbnail(board)));
        // What was measured is recorded even when the writer fails, as the window does.
        QCOMPARE(f.stored(strip, "Width").toInt(), 27000);
        QCOMPARE(f.stored(strip, "Height").toInt(), 100);
        QCOMPARE(f.stored(strip, "Review").toInt(), 0);

        // The rescan deletes the thumbnails of the files it matches and keeps Review false.
        QCOMPARE(f.run({ "scan", f.pictures.path() }).exitCode, 0);
        QVERIFY(!QFileInfo::exists(f.thumbnail(photo)));
        QCOMPARE(f.stored(photo, "Review").toInt(), 0);
        // The strip, whose recorded size allows no thumbnail, is not tried again.
        const Run again = f.run({ "thumbs" });
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.err, QString());
        QCOMPARE(QImageReader(f.thumbnail(photo)).size(), QSize(135, 101));
        QCOMPARE(QImageReader(f.thumbnail(board)).size(), QSize(135, 101));
        QVERIFY(again.out.startsWith("Imagens a revisar: 0\nMiniaturas a refazer: 2\n"));
    }

    void aPictureThatIsNotARegularFileFailsWithoutWaiting()
    {
        ThumbsFixture f;
        const qint64 good = f.picture("boa.jpg", "jpg", jpeg(400, 300));
        const qint64 fifo = f.picture("fila.jpg", "jpg", QByteArray());
        QCOMPARE(::mkfifo(QFile::encodeName(f.file("fila.jpg")).constData(), 0600), 0);
        const qint64 folder = f.picture("pasta.jpg", "jpg", QByteArray());
        QVERIFY(QDir().mkdir(f.file("pasta.jpg")));

        const Run r = ThumbsFixture::runProgram(f.cli, { "thumbs" }, 60000);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, f.file("fila.jpg") + ": O arquivo não é um arquivo comum.\n");
        QCOMPARE(f.stored(good, "Review").toInt(), 0);
        QCOMPARE(f.stored(fifo, "Review").toInt(), 1);
        QCOMPARE(f.stored(folder, "Review").toInt(), 1);
        QVERIFY(r.out.contains("Arquivos ausentes: 1\n"));
    }

    void anotherWriterIsNeverKeptWaiting()
    {
        QM_FILE_ONLY("SQLite's write lock and busy timeout");
        ThumbsFixture f;
        const QByteArray picture = jpeg(400, 300);
        f.pictureSeries("foto", picture, 3000);
        QTemporaryDir other;
        writeFile(other.filePath("nova.jpg"), picture);

        QProcess thumbs;
        thumbs.start(f.cli, { "thumbs", "--jobs", "2" });
        QTRY_VERIFY_WITH_TIMEOUT(f.count("Review = FALSE") > 0, 60000);
        // Writers that give up after one second of waiting, while thumbs writes its rows.
        Connection c;
        c.openFile(f.catalogue);
        c.exec("PRAGMA busy_timeout = 1000");
        int writes = 0;
        try {
            while (thumbs.state() == QProcess::Running && writes < 20) {
                c.beginTransaction();
                Command cmd(c);
                cmd.setSql("UPDATE Collections SET Notes = :N");
                cmd.setParam("N", QString::number(writes));
                cmd.execute();
                c.commit();
                ++writes;
            }
        } catch (const DbError &e) {
            QFAIL(qPrintable(QStringLiteral("write %1: %2").arg(writes).arg(e.message())));
        }
        c.close();
        const bool stillRunning = thumbs.state() == QProcess::Running;
        const Run scan = f.run({ "scan", other.path(), "--no-subfolders" });
        const bool scannedMeanwhile = stillRunning && thumbs.state() == QProcess::Running;
        QVERIFY(thumbs.waitForFinished(120000));
        QCOMPARE(thumbs.exitCode(), 0);
        QVERIFY2(writes > 0, "thumbs ended before another writer could try");
        QCOMPARE(scan.exitCode, 0);
        if (!scannedMeanwhile)
            qWarning("thumbs ended before the scan did");
        QCOMPARE(f.count("Review = FALSE AND FileName LIKE 'foto%'"), 3000);
    }

    void workersShareOneMemoryBudget()
    {
        ThumbsFixture f;
        // Progressive pictures are held whole while decoded: about 36 MB each.
        const QByteArray picture = writeJpeg(photoLike(4000, 3000), as(Model::YCbCr, true));
        f.pictureSeries("foto", picture, 16);
        const auto [r, peakKb] = f.runMeasured({ "thumbs", "--jobs", "16" });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(f.count("Review = FALSE"), 16);
#if !defined(__SANITIZE_ADDRESS__)
        QVERIFY2(peakKb < 450 * 1024, qPrintable(QStringLiteral("peak %1 kB").arg(peakKb)));
#else
        Q_UNUSED(peakKb);
#endif
        // More workers than make sense are a usage error.
        const Run many = f.run({ "thumbs", "--jobs", "33" });
        QCOMPARE(many.exitCode, 2);
        QVERIFY(many.err.contains("--jobs"));
    }

    void temporariesNoLiveProcessOwnsAreRemoved()
    {
        ThumbsFixture f;
        QProcess ended;
        ended.start("true");
        QVERIFY(ended.waitForFinished());
        const qint64 deadPid = ended.processId() ? ended.processId() : 999999;
        const QString thumbs = QFileInfo(f.thumbnail(42)).path();
        QVERIFY(QDir().mkpath(thumbs));
        const QString dead
            = QStringLiteral("%1/.00000042.jpg.%2.1f2e.tmp").arg(thumbs).arg(deadPid);
        const QString live = QStringLiteral("%1/.00000043.jpg.%2.3c4d.tmp")
                                 .arg(thumbs)
                                 .arg(QCoreApplication::applicationPid());
        const QString other = thumbs + "/.nota";
        for (const QString &path : { dead, live, other })
            QVERIFY(writeFile(path, "half a thumbnail"));
        QCOMPARE(f.run({ "thumbs" }).exitCode, 0);
        QVERIFY(!QFileInfo::exists(dead));
        QVERIFY(QFileInfo::exists(live));
        QVERIFY(QFileInfo::exists(other));
    }

    void aLargeBitmapWhosePixelsAreThereIsThumbnailed()
    {
        ThumbsFixture f;
        const qint64 big = f.picture("grande.bmp", "bmp", bmp(6000, 6000, 24));
        const qint64 bomb = f.picture("bomba.bmp", "bmp", bombBmp(6000, 6000));
        const Run r = f.run({ "thumbs" });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(f.stored(big, "Width").toInt(), 6000);
        QCOMPARE(f.stored(big, "Review").toInt(), 0);
        const QImage thumb(f.thumbnail(big));
        QCOMPARE(thumb.size(), QSize(135, 135));
        QVERIFY(thumb.pixelColor(67, 67).red() > 230 && thumb.pixelColor(67, 67).blue() < 30);
        // A file that only declares as many pixels stays refused.
        QCOMPARE(f.stored(bomb, "Review").toInt(), 1);
        QVERIFY(r.err.startsWith(f.file("bomba.bmp") + ": "));
        QCOMPARE(r.err.count('\n'), 1);
    }

    void aThumbnailFolderThatCannotBeWrittenIsReportedOnce()
    {
        QM_FILE_ONLY("a read-only thumbnail folder beside the catalogue file");
        ThumbsFixture f;
        f.pictureSeries("foto", jpeg(800, 600), 20);
        // A file where the folder should be.
        QVERIFY(writeFile(f.program.filePath("thumbs"), "not a folder"));
        Run r = f.run({ "thumbs" });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(r.err.contains(f.program.filePath("thumbs")), qPrintable(r.err));
        QCOMPARE(f.count("Review = FALSE"), 0);
        QVERIFY(QFile::remove(f.program.filePath("thumbs")));

        // A read-only file system, and a full one: the system's reason, once, and the run
        // stops.
        r = f.thumbsOnTmpfs("ro");
        if (r.exitCode == -2)
            QSKIP("no mount namespace for a small file system here");
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(r.err.contains("Read-only file system"), qPrintable(r.err));
        QCOMPARE(f.count("Review = FALSE"), 0);

        r = f.thumbsOnTmpfs("size=16k");
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(r.err.contains("No space left on device"), qPrintable(r.err));
        QVERIFY(f.count("Review = FALSE") < 10);
    }
};

QTEST_MAIN(TestThumbsCli)
#include "test_thumbs_cli.moc"
