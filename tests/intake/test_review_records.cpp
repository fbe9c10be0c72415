#include "core/programpaths.h"
#include "core/scriptedprompter.h"
#include "intake/firstshowing.h"
#include "intake/picturefactstable.h"
#include "intake/picturemeasure.h"
#include "intake/picturereview.h"
#include "intake/thumbnailtask.h"
#include "store/formatupgrade.h"
#include "store/tdados.h"
#include "support/catalogfixture.h"
#include "support/photosamples.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"
#include "support/unwritable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace samples;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// Where the stored top-left (red) and top-right (green) corners are seen once upright.
const std::pair<int, int> kUpright[9]
    = { {}, { 0, 1 }, { 1, 0 }, { 2, 3 }, { 3, 2 }, { 0, 3 }, { 1, 2 }, { 2, 1 }, { 3, 0 } };

bool upright(const QImage &image, int orientation)
{
    return cornerOf(image, kRed) == kUpright[orientation].first
        && cornerOf(image, kGreen) == kUpright[orientation].second;
}

QByteArray digest(const QString &path)
{
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

// quillomar-cli copied into the fixture's program folder beside its default catalogue, so
// that its thumbnails land there, and a folder for the pictures.
struct Catalogue {
    CatalogFixture catalog;
    QString cli;
    QTemporaryDir pictures;
    QString path = catalog.path;

    Catalogue()
    {
        cli = catalog.folder.dir.filePath("quillomar-cli");
        QFile::copy(testsupport::binDir() + "/quillomar-cli", cli);
        QFile::setPermissions(cli, QFile::permissions(cli) | QFile::ExeOwner);
    }

    QString file(const QString &name) const { return pictures.filePath(name); }
    QString thumbnail(qint64 id) const
    {
        return catalog.folder.dir.filePath(
            QStringLiteral("thumbs/%1.jpg").arg(id, 8, 10, QLatin1Char('0')));
    }

    Run run(const QStringList &args, const QByteArray &input = QByteArray(),
        const QString &catalogue = QString()) const
    {
        QProcess p;
        const QStringList all = catalogue.isEmpty()
            ? args
            : QStringList { QStringLiteral("--catalogue"), catalogue } + args;
        p.start(cli, all);
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(120000))
            p.kill();
        return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError()) };
    }

    QVariant scalar(const QString &sql, const QVariantMap &params = {}) const
    {
        Connection c;
        c.openFile(path);
        Query q(c);
        q.setSql(sql);
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            q.setParam(it.key(), it.value());
        q.open();
        const QVariant v = q.eof() ? QVariant() : q.value(q.fieldNames().first());
        q.close();
        c.close();
        return v;
    }
    qint64 idOf(const QString &fileName) const
    {
        return scalar("SELECT RecId FROM Pictures WHERE FileName = :F", { { "F", fileName } })
            .toLongLong();
    }
    QVariant stored(qint64 id, const QString &column) const
    {
        return scalar(QStringLiteral("SELECT %1 FROM Pictures WHERE RecId = :ID").arg(column),
            { { "ID", id } });
    }
    QVariant fact(qint64 id, const QString &column) const
    {
        return scalar(QStringLiteral("SELECT %1 FROM PictureFacts WHERE Picture = :ID").arg(column),
            { { "ID", id } });
    }
    bool hasTable(const QString &table) const
    {
        return scalar("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = :T",
                   { { "T", table } })
                   .toInt()
            == 1;
    }
    qint64 picture(const QString &name, const QString &type, bool review = true,
        const QVariant &width = QVariant(), const QVariant &height = QVariant()) const
    {
        return catalog.exec("INSERT INTO Pictures (Name, FileName, FullPath, FileType, Review, "
                            "Width, Height, Modified) VALUES (:N, :F, :P, :T, :R, :W, :H, "
                            "'2020-01-02T03:04:06')",
            { { "N", name }, { "F", name }, { "P", pictures.path() + "/" }, { "T", type },
                { "R", review ? 1 : 0 }, { "W", width }, { "H", height } });
    }
};

// The catalogue as an older program left it: without the rows of the formats of phones and
// cameras, TIFF not drawn by the program, none of the tables of the facts.
void makeOlder(const Catalogue &c)
{
    c.catalog.exec("DELETE FROM Formats WHERE Extension IN ('heic', 'avif', 'webp', 'dng', 'cr2', "
                   "'cr3', 'nef', 'arw', 'orf', 'rw2', 'raf', 'pef', 'srw')");
    c.catalog.exec("UPDATE Formats SET Support = 0 WHERE Extension = 'tif'");
}

// A camera JPEG of the corner picture, with everything a camera and a photo program write.
bool cameraJpeg(const QString &path, int orientation, QString *output)
{
    if (!writeFile(path, qtJpeg(corners(400, 300), 95)))
        return false;
    return exiftool(path,
        { "-DateTimeOriginal=2019:06:24 18:30:05", "-OffsetTimeOriginal=-03:00", "-Make=Canon",
            "-Model=Canon EOS 80D", "-LensModel=EF-S18-55mm", "-ExposureTime=0.004", "-FNumber=8",
            "-ISO=200", "-FocalLength=35", QStringLiteral("-Orientation#=%1").arg(orientation),
            "-GPSLatitude=23.5505", "-GPSLatitudeRef=S", "-GPSLongitude=46.6333",
            "-GPSLongitudeRef=W", "-GPSAltitude=760", "-XMP-dc:Title=São João",
            "-XMP-dc:Subject=forró", "-IPTC:Keywords=quadrilha", "-IPTC:CodedCharacterSet=UTF8",
            "-XMP-xmp:Rating=4" },
        output);
}

} // namespace

class TestReviewRecords : public QObject {
    Q_OBJECT
private slots:
    // A folder of phone and camera files scanned with its thumbnails: every file catalogued
    // under its format, examined, recorded upright with its facts and fingerprints.
    void phoneAndCameraFilesScanAndReviewUpright()
    {
        Catalogue c;
        QString output;
        for (int o = 1; o <= 8; ++o)
            QVERIFY2(cameraJpeg(c.file(QStringLiteral("IMG_%1.JPG").arg(o)), o, &output),
                qPrintable(output));
        const QString source = c.pictures.filePath("source.png");
        QVERIFY(writeFile(source, encoded(corners(400, 300), "png")));
        QVERIFY(heifEnc(source, c.file("phone.heic"), 160));
        QVERIFY(heifEnc(source, c.file("plain.heif"), 0));
        QVERIFY(heifEnc(source, c.file("web.avif"), 0));
        QVERIFY(QFile::remove(source));
        QVERIFY(writeFile(c.file("web.webp"), encoded(corners(400, 300), "webp", 90)));
        QVERIFY(writeFile(c.file("scan.tiff"), encoded(corners(400, 300), "tiff")));
        QVERIFY(writeFile(c.file("camera.dng"), dng(qtJpeg(corners(400, 300), 95), 800, 600, 6)));

        const Run r = c.run({ "scan", "--thumbs", c.pictures.path() });
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(
            r.out.startsWith("Rastreados 14 arquivos 14 novos\nImagens a revisar: 14\n"
                             "Miniaturas a refazer: 0\nMedidas: 14\nMiniaturas gravadas: 14\n"),
            qPrintable(r.out + r.err));
        QCOMPARE(c.stored(c.idOf("phone.heic"), "FileType").toString(), QStringLiteral("heic"));
        QCOMPARE(c.stored(c.idOf("plain.heif"), "FileType").toString(), QStringLiteral("heic"));
        QCOMPARE(c.stored(c.idOf("scan.tiff"), "FileType").toString(), QStringLiteral("tif"));

        for (int o = 1; o <= 8; ++o) {
            const qint64 id = c.idOf(QStringLiteral("IMG_%1.JPG").arg(o));
            // Width and Height as the picture is seen, and its thumbnail upright.
            QCOMPARE(c.stored(id, "Width").toInt(), o >= 5 ? 300 : 400);
            QCOMPARE(c.stored(id, "Height").toInt(), o >= 5 ? 400 : 300);
            QCOMPARE(c.stored(id, "Review").toInt(), 0);
            const QImage thumbnail(c.thumbnail(id));
            QCOMPARE(thumbnail.size(), o >= 5 ? QSize(101, 135) : QSize(135, 101));
            QVERIFY2(upright(thumbnail, o), qPrintable(QString::number(o)));
            QCOMPARE(c.fact(id, "Taken").toString(), QStringLiteral("2019-06-24T18:30:05"));
            QCOMPARE(c.fact(id, "TakenOffset").toInt(), -180);
            QCOMPARE(c.fact(id, "Orientation").toInt(), o);
            QCOMPARE(c.fact(id, "Drawn").toInt(), 2);
        }
        // A phone's HEIC, turned by itself; the DNG turned by its camera.
        for (const char *name :
            { "phone.heic", "plain.heif", "web.avif", "web.webp", "scan.tiff" }) {
            const qint64 id = c.idOf(name);
            QCOMPARE(c.stored(id, "Width").toInt(), 400);
            QVERIFY2(upright(QImage(c.thumbnail(id)), 1), qPrintable(name));
            QCOMPARE(c.fact(id, "Drawn").toInt(), 2);
        }
        const qint64 raw = c.idOf("camera.dng");
        QCOMPARE(c.stored(raw, "Width").toInt(), 600); // the sensor's size, upright
        QCOMPARE(c.stored(raw, "Height").toInt(), 800);
        QVERIFY(upright(QImage(c.thumbnail(raw)), 6));
        QCOMPARE(c.fact(raw, "Make").toString(), QStringLiteral("Quillomar"));

        // Fingerprints of every file: its bytes hashed whole when read whole, in samples for
        // a RAW file read in part; its looks from the picture drawn.
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM PictureFingerprints WHERE Perceptual IS NOT NULL")
                     .toInt(),
            14);
        QCOMPARE(
            c.scalar("SELECT COUNT(*) FROM PictureFingerprints WHERE Content IS NULL").toInt(), 1);
        QVERIFY(
            c.scalar("SELECT Content FROM PictureFingerprints WHERE Picture = :P", { { "P", raw } })
                .isNull());
        const qint64 first = c.idOf("IMG_1.JPG");
        QCOMPARE(c.scalar("SELECT FileSize FROM PictureFingerprints WHERE Picture = :P",
                      { { "P", first } })
                     .toLongLong(),
            QFileInfo(c.file("IMG_1.JPG")).size());

        // Every fact, as `facts` tells it.
        const Run facts = c.run({ "facts", QString::number(first) });
        QCOMPARE(facts.exitCode, 0);
        const QString k = QString::number(first) + QLatin1Char('\t');
        QCOMPARE(facts.out,
            k + "taken\t2019-06-24T18:30:05-03:00\n" + k + "make\tCanon\n" + k
                + "model\tCanon EOS 80D\n" + k + "lens\tEF-S18-55mm\n" + k + "exposure\t1/250\n" + k
                + "fnumber\t8\n" + k + "iso\t200\n" + k + "focal\t35\n" + k + "orientation\t1\n" + k
                + "latitude\t-23.5505\n" + k + "longitude\t-46.6333\n" + k + "altitude\t760\n" + k
                + "title\tSão João\n" + k + "keywords\tforró; quadrilha\n" + k + "rating\t4\n");

        // Nothing is left to do.
        const Run again = c.run({ "thumbs" });
        QCOMPARE(again.exitCode, 0);
        QVERIFY(
            again.out.startsWith("Imagens a revisar: 0\nMiniaturas a refazer: 0\nMedidas: 0\n"));
    }

    // Pictures reviewed before the facts were read: examined once more at the next `thumbs`,
    // their sizes recorded upright, the thumbnail of one that turns made again, the others'
    // kept as they are.
    void picturesReviewedBeforeGetFactsAndUprightThumbnails()
    {
        Catalogue c;
        QString output;
        QVERIFY2(cameraJpeg(c.file("retrato.jpg"), 6, &output), qPrintable(output));
        QVERIFY2(cameraJpeg(c.file("paisagem.jpg"), 1, &output), qPrintable(output));
        QVERIFY(writeFile(c.file("pequena.jpg"), jpeg(100, 80)));
        // As an older program recorded them: the stored size, thumbnails made sideways.
        const qint64 portrait = c.picture("retrato.jpg", "jpg", false, 400, 300);
        const qint64 landscape = c.picture("paisagem.jpg", "jpg", false, 400, 300);
        const qint64 small = c.picture("pequena.jpg", "jpg", true);
        QVERIFY(QDir().mkpath(c.catalog.folder.dir.filePath("thumbs")));
        QVERIFY(writeFile(c.thumbnail(portrait), qtJpeg(corners(135, 101), 90)));
        const QByteArray kept = qtJpeg(corners(135, 101), 60);
        QVERIFY(writeFile(c.thumbnail(landscape), kept));
        QVERIFY(!c.hasTable("PictureFacts"));

        const Run r = c.run({ "thumbs" });
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith("Imagens a revisar: 3\nMiniaturas a refazer: 0\nMedidas: 3\n"
                                  "Miniaturas gravadas: 1\nSem miniatura (até 135 pixels): 1\n"),
            qPrintable(r.out));
        QCOMPARE(c.stored(portrait, "Width").toInt(), 300);
        QCOMPARE(c.stored(portrait, "Height").toInt(), 400);
        QCOMPARE(QImageReader(c.thumbnail(portrait)).size(), QSize(101, 135));
        QVERIFY(upright(QImage(c.thumbnail(portrait)), 6));
        QCOMPARE(readFile(c.thumbnail(landscape)), kept);
        QCOMPARE(c.fact(portrait, "Make").toString(), QStringLiteral("Canon"));
        QCOMPARE(c.fact(landscape, "Make").toString(), QStringLiteral("Canon"));
        QVERIFY(c.fact(small, "Make").isNull());
        // The small one keeps Review true, as a picture that fits does, and is examined once.
        QCOMPARE(c.stored(small, "Review").toInt(), 1);
        QCOMPARE(c.fact(small, "Drawn").toInt(), 1);
        const Run again = c.run({ "thumbs" });
        QVERIFY(again.out.startsWith("Imagens a revisar: 0\n"));
        // A rescan that finds it changed has it examined again.
        c.catalog.exec("UPDATE Pictures SET Modified = '2021-01-01T00:00:00' WHERE RecId = :P",
            { { "P", small } });
        QVERIFY(c.run({ "thumbs" }).out.startsWith("Imagens a revisar: 1\n"));
    }

    // A catalogue made before: opening and reading write nothing; the first write that needs
    // them brings the rows of the new formats (so the scan takes their files), TIFF drawn by
    // the program, and the tables of the facts and fingerprints.
    void anOlderCatalogueGetsItsNewRowsAndTablesAtItsFirstWrite()
    {
        Catalogue c;
        QVERIFY(c.run({ "info" }, {}, c.path).exitCode == 0); // the default rows, as it was used
        makeOlder(c);
        const QString source = c.pictures.filePath("source.png");
        QVERIFY(writeFile(source, encoded(corners(400, 300), "png")));
        QVERIFY(heifEnc(source, c.file("a.heic"), 160));
        QVERIFY(QFile::remove(source));
        QVERIFY(writeFile(c.file("b.webp"), encoded(corners(400, 300), "webp", 90)));
        QVERIFY(writeFile(c.file("c.dng"), dng(qtJpeg(corners(400, 300), 95), 800, 600, 1)));
        QVERIFY(writeFile(c.file("d.tif"), encoded(corners(400, 300), "tiff")));
        const qint64 old = c.picture("velha.jpg", "jpg", true);

        const QByteArray before = digest(c.path);
        for (const QStringList &args : { QStringList { "info" }, QStringList { "tree" },
                 QStringList { "facts", QString::number(old) },
                 QStringList { "search", "--taken", "2019" }, QStringList { "search", "d" } })
            c.run(args, {}, c.path);
        {
            Connection conn;
            conn.openFile(c.path);
            QVERIFY(FormatUpgrade::needed(conn));
            QVERIFY(!PictureFactsTable::read(conn, old));
            QVERIFY(!PictureFactsTable::examinedAsNow(conn, old));
        }
        QCOMPARE(digest(c.path), before);
        QVERIFY(!c.hasTable("PictureFacts"));

        const Run scan = c.run({ "scan", c.pictures.path() }, {}, c.path);
        QCOMPARE(scan.exitCode, 0);
        QCOMPARE(scan.out, QStringLiteral("Rastreados 4 arquivos 4 novos\n"));
        QCOMPARE(c.scalar("SELECT Support FROM Formats WHERE Extension = 'tif'").toInt(), 1);
        QCOMPARE(c.scalar("SELECT Variation FROM Formats WHERE Extension = 'heic'").toString(),
            QStringLiteral("heif"));
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM Formats WHERE Used = 1 AND Support = 1 AND "
                          "Extension IN ('heic', 'avif', 'webp', 'dng', 'cr2', 'cr3', 'nef', 'arw',"
                          " 'orf', 'rw2', 'raf', 'pef', 'srw')")
                     .toInt(),
            13);
        QVERIFY(!c.hasTable("PictureFacts"));
        const Run thumbs = c.run({ "thumbs" }, {}, c.path);
        QCOMPARE(thumbs.exitCode, 0);
        QVERIFY(c.hasTable("PictureFacts"));
        QVERIFY(c.hasTable("PictureFingerprints"));
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM PictureFacts").toInt(), 4);
        QCOMPARE(c.stored(c.idOf("d.tif"), "Width").toInt(), 400);
        QVERIFY(c.fact(old, "Drawn").isNull());
        {
            Connection conn;
            conn.openFile(c.path);
            QVERIFY(!FormatUpgrade::needed(conn));
            QVERIFY(!FormatUpgrade::ensure(conn));
        }
        // A person's choice of the formats offered is never undone.
        c.catalog.exec("UPDATE Formats SET Used = 0 WHERE Extension = 'webp'");
        c.catalog.exec("DELETE FROM Formats WHERE Extension = 'avif'");
        {
            Connection conn;
            conn.openFile(c.path);
            QVERIFY(FormatUpgrade::ensure(conn));
        }
        QCOMPARE(c.scalar("SELECT Used FROM Formats WHERE Extension = 'webp'").toInt(), 0);
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM Formats WHERE Extension = 'avif'").toInt(), 1);
    }

    void factsGoWithTheirPicture()
    {
        Catalogue c;
        QString output;
        QVERIFY2(cameraJpeg(c.file("a.jpg"), 1, &output), qPrintable(output));
        QVERIFY2(cameraJpeg(c.file("b.jpg"), 1, &output), qPrintable(output));
        const qint64 collection = c.catalog.collection("Festas");
        const qint64 category = c.catalog.category(collection, "Juninas");
        QCOMPARE(c.run({ "scan", "--thumbs", "--collection", QString::number(collection),
                           "--category", QString::number(category), c.pictures.path() })
                     .exitCode,
            0);
        const qint64 a = c.idOf("a.jpg");
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM PictureFacts").toInt(), 2);
        QCOMPARE(c.run({ "delete", "picture", QString::number(a) }).exitCode, 0);
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM PictureFacts").toInt(), 1);
        QVERIFY(c.fact(a, "Make").isNull());
        QCOMPARE(c.run({ "delete", "collection", QString::number(collection) }).exitCode, 0);
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM PictureFacts").toInt(), 0);
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM PictureFingerprints").toInt(), 0);
    }

    // `scan --thumbs` reviews what the scan found, nothing else; Ctrl-C's twin, cancel, stops
    // the review of the window's task with what was done kept.
    void theScansThumbnailsAreThoseOfWhatItFound()
    {
        Catalogue c;
        QTemporaryDir elsewhere;
        QVERIFY(writeFile(elsewhere.filePath("outra.jpg"), jpeg(400, 300)));
        const qint64 other = c.catalog.exec(
            "INSERT INTO Pictures (Name, FileName, FullPath, FileType, Review) VALUES ('outra', "
            "'outra.jpg', :P, 'jpg', 1)",
            { { "P", elsewhere.path() + "/" } });
        for (int i = 0; i < 3; ++i)
            QVERIFY(writeFile(c.file(QStringLiteral("f%1.jpg").arg(i)), jpeg(400, 300)));
        QCOMPARE(c.run({ "scan", c.pictures.path() }).exitCode, 0);
        // Found again by a second scan, which deletes their thumbnails: made again.
        const Run r = c.run({ "scan", "--thumbs", c.pictures.path() });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out,
            QStringLiteral("Rastreados 3 arquivos 3 já catalogados anteriormente\n"
                           "Imagens a revisar: 3\nMiniaturas a refazer: 0\nMedidas: 3\n"
                           "Miniaturas gravadas: 3\nSem miniatura (até 135 pixels): 0\n"
                           "Ignoradas (GIF, PNG ou formato não suportado): 0\n"
                           "Arquivos ausentes: 0\nFalhas: 0\n"));
        QCOMPARE(c.stored(other, "Review").toInt(), 1);
        QVERIFY(!QFileInfo::exists(c.thumbnail(other)));
        const Run again = c.run({ "scan", "--thumbs", c.pictures.path() });
        QVERIFY(again.out.contains("Miniaturas a refazer: 3\n"));
        QCOMPARE(c.run({ "scan", "--thumbs", "pasta", "outra" }).exitCode, 2);
    }

    void theWindowsTaskReportsProgressAndCancels()
    {
        Catalogue c;
        const QByteArray picture = jpeg(600, 400);
        QList<qint64> keys;
        for (int i = 0; i < 40; ++i) {
            const QString name = QStringLiteral("p%1.jpg").arg(i);
            QVERIFY(writeFile(c.file(name), picture));
            keys << c.picture(name, "jpg");
        }
        ScriptedPrompter prompter;
        ProgramPaths paths = c.catalog.folder.paths;
        TDados store(paths, prompter);
        store.setConfigurationEnabled(false);
        QVERIFY(store.OpenDatabaseAll());

        // The first half only.
        {
            ThumbnailTask task(store, 2);
            task.restrictTo(std::vector<qint64>(keys.begin(), keys.begin() + 20));
            QSignalSpy progress(&task, &ThumbnailTask::progress);
            QSignalSpy finished(&task, &ThumbnailTask::finished);
            task.start();
            QVERIFY(task.isRunning());
            QVERIFY(finished.wait(60000));
            QCOMPARE(task.end(), ThumbnailRun::End::Done);
            QCOMPARE(task.counts().thumbnailed, 20);
            QVERIFY(!progress.isEmpty());
            QCOMPARE(progress.last().at(0).toInt(), 20);
            QCOMPARE(progress.last().at(1).toInt(), 20);
            QVERIFY(task.storeError().isEmpty());
        }
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM Pictures WHERE Review = 0").toInt(), 20);
        QVERIFY(QFileInfo::exists(c.thumbnail(keys[19])));
        QVERIFY(!QFileInfo::exists(c.thumbnail(keys[20])));

        // The rest, cancelled at its first step: what was under way is finished and kept.
        {
            ThumbnailTask task(store, 1);
            QSignalSpy finished(&task, &ThumbnailTask::finished);
            connect(&task, &ThumbnailTask::progress, &task, &ThumbnailTask::cancel);
            task.start();
            QVERIFY(finished.wait(60000));
            QCOMPARE(task.end(), ThumbnailRun::End::Cancelled);
            QVERIFY(task.counts().measured < 20);
        }
        const int done = c.scalar("SELECT COUNT(*) FROM Pictures WHERE Review = 0").toInt();
        QVERIFY(done >= 20 && done < 40);
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM PictureFacts").toInt(), done);
    }

    // The first showing's record, as the picture page will make it: without windows.
    void theFirstShowingRecordsWhatThumbsRecords()
    {
        Catalogue c;
        QString output;
        QVERIFY2(cameraJpeg(c.file("retrato.jpg"), 8, &output), qPrintable(output));
        QVERIFY(writeFile(c.file("pequena.jpg"), jpeg(100, 80)));
        QVERIFY(writeFile(c.file("quebrada.jpg"), QByteArray("\xFF\xD8 not a picture")));
        const qint64 portrait = c.picture("retrato.jpg", "jpg");
        const qint64 small = c.picture("pequena.jpg", "jpg");
        const qint64 broken = c.picture("quebrada.jpg", "jpg");
        const qint64 gone = c.picture("sumiu.jpg", "jpg");

        ScriptedPrompter prompter;
        ProgramPaths paths = c.catalog.folder.paths;
        TDados store(paths, prompter);
        store.setConfigurationEnabled(false);
        QVERIFY(store.OpenDatabaseAll());
        const auto show = [&](qint64 id, bool idle) {
            if (idle)
                store.TPictures.locate(QStringLiteral("RecId"), id);
            const PictureReview::Picture p { PictureMeasure::picturePath(
                                                 store.TPictures.asString("FullPath"),
                                                 store.TPictures.asString("FileName")),
                store.TPictures.asString("FileType"), store.GetThumbnailName(id) };
            const PictureReview::Result result = PictureReview::examine(p, QSize(135, 135), idle);
            FirstShowing::record(store, result, idle, prompter);
            return result;
        };

        // Reviewed before facts were read, it is loaded again while its file is there.
        QVERIFY(FirstShowing::needsReview(store, portrait, false, c.file("retrato.jpg")));
        QVERIFY(!FirstShowing::needsReview(store, portrait, false, c.file("nenhum.jpg")));
        show(portrait, true);
        QCOMPARE(c.stored(portrait, "Width").toInt(), 300);
        QCOMPARE(c.stored(portrait, "Height").toInt(), 400);
        QCOMPARE(c.stored(portrait, "Review").toInt(), 0);
        QCOMPARE(c.fact(portrait, "Orientation").toInt(), 8);
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM PictureFingerprints WHERE Picture = :P",
                      { { "P", portrait } })
                     .toInt(),
            1);
        QVERIFY(!FirstShowing::needsReview(store, portrait, false, c.file("retrato.jpg")));
        QVERIFY(FirstShowing::needsReview(store, portrait, true, c.file("retrato.jpg")));

        // What fits and what cannot be drawn: facts recorded once, Review kept.
        show(small, true);
        show(broken, true);
        QCOMPARE(c.stored(small, "Review").toInt(), 1);
        QCOMPARE(c.fact(small, "Drawn").toInt(), 1);
        QCOMPARE(c.fact(broken, "Drawn").toInt(), 0);
        const QByteArray recorded = digest(c.path);
        show(small, true);
        show(broken, true);
        show(gone, true);
        QCOMPARE(digest(c.path), recorded);
        QVERIFY(c.fact(gone, "Drawn").isNull());

        // While the person edits the row, the details go into it and nothing else is written.
        c.catalog.exec("DELETE FROM PictureFacts WHERE Picture = :P", { { "P", portrait } });
        c.catalog.exec(
            "UPDATE Pictures SET Review = 1, Width = NULL WHERE RecId = :P", { { "P", portrait } });
        store.TPictures.refresh();
        store.TPictures.locate(QStringLiteral("RecId"), portrait);
        store.TPictures.edit();
        show(portrait, false);
        QCOMPARE(store.TPictures.value("Width").toInt(), 300);
        QVERIFY(c.stored(portrait, "Width").isNull());
        QVERIFY(c.fact(portrait, "Make").isNull());
        store.TPictures.cancel();
        QVERIFY(prompter.boxes().isEmpty());
    }

    // On read-only media the review still shows the picture and makes its thumbnail, beside
    // the program, and records nothing, silently.
    void aReadOnlyCatalogueRecordsNothing()
    {
        Catalogue c;
        QTemporaryDir disc;
        const QString catalogue = disc.filePath("catalogo.mdb");
        QVERIFY(QFile::copy(c.path, catalogue));
        QString output;
        QVERIFY2(cameraJpeg(c.file("foto.jpg"), 6, &output), qPrintable(output));
        {
            Connection conn;
            conn.openFile(catalogue);
            Command insert(conn);
            insert.setSql("INSERT INTO Pictures (Name, FileName, FullPath, FileType, Review) "
                          "VALUES ('foto', 'foto.jpg', :P, 'jpg', 1)");
            insert.setParam("P", c.pictures.path() + "/");
            insert.execute();
            // The formats of an older catalogue, which a read-only one keeps.
            conn.exec("DELETE FROM Formats WHERE Extension = 'webp'");
        }
        const QByteArray before = digest(catalogue);
        testsupport::Unwritable readOnly(disc.path());
        if (!readOnly.effective())
            QSKIP("this file system cannot refuse writing to a folder");

        ScriptedPrompter prompter;
        ProgramPaths paths = c.catalog.folder.paths;
        paths.DatabaseFolder = disc.path();
        paths.DatabaseFileName = "catalogo.mdb";
        {
            TDados store(paths, prompter);
            store.setConfigurationEnabled(false);
            QVERIFY(store.OpenDatabaseAll());
            QVERIFY(store.Conexao.isReadOnly());
            QVERIFY(!FormatUpgrade::ensure(store.Conexao));
            store.TPictures.locate(QStringLiteral("RecId"), 1);
            const PictureReview::Result result = PictureReview::examine(
                { c.file("foto.jpg"), "jpg", store.GetThumbnailName(1) }, QSize(135, 135), true);
            QCOMPARE(result.outcome, PictureReview::Outcome::Larger);
            FirstShowing::record(store, result, true, prompter);
            QVERIFY(prompter.boxes().isEmpty());
            QVERIFY(!FirstShowing::needsReview(store, 1, false, c.file("foto.jpg")));
            store.CloseDatabaseAll();
        }
        // `thumbs` on it: the thumbnail, and nothing recorded.
        const Run r = c.run({ "thumbs" }, {}, catalogue);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QVERIFY(r.out.contains("Miniaturas gravadas: 1\n"));
        TDados store(paths, prompter);
        store.setConfigurationEnabled(false);
        QVERIFY(store.OpenDatabaseAll());
        QCOMPARE(QImageReader(store.GetThumbnailName(1)).size(), QSize(101, 135));
        store.CloseDatabaseAll();
        QCOMPARE(digest(catalogue), before);
    }

    void factsCommand()
    {
        Catalogue c;
        QString output;
        QVERIFY2(cameraJpeg(c.file("a.jpg"), 3, &output), qPrintable(output));
        QVERIFY(writeFile(c.file("b.jpg"), jpeg(400, 300)));
        const qint64 a = c.picture("a.jpg", "jpg");
        const qint64 b = c.picture("b.jpg", "jpg");
        const qint64 notYet = c.picture("c.jpg", "jpg");
        // Before any examination: nothing to say, and that is no failure.
        Run r = c.run({ "facts", QString::number(a) });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QString());
        QCOMPARE(c.run({ "thumbs" }).exitCode, 0);

        r = c.run({ "facts", "-" },
            QStringLiteral("%1\n\n %2 \n%3\n").arg(a).arg(b).arg(notYet).toUtf8());
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 15); // a's facts; b says nothing of itself; c has no file
        QCOMPARE(lines.first(), QStringLiteral("%1\ttaken\t2019-06-24T18:30:05-03:00").arg(a));
        QVERIFY(lines.contains(QStringLiteral("%1\torientation\t3").arg(a)));
        // A key of no picture: told, the others still printed, exit 1.
        r = c.run({ "facts", "999", QString::number(a) });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QStringLiteral("Não há imagem com a chave 999.\n"));
        QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts).size(), 15);
        // A line that is no key: a usage error, and nothing done.
        r = c.run({ "facts", "-" }, QStringLiteral("%1\nfoto\n").arg(a).toUtf8());
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        // No key, as for every command taking keys: nothing to tell.
        r = c.run({ "facts" });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QString());
    }
};

QTEST_GUILESS_MAIN(TestReviewRecords)
#include "test_review_records.moc"
