#include "intake/heifpicture.h"
#include "intake/orientation.h"
#include "intake/picturemeasure.h"
#include "intake/picturereview.h"
#include "support/photosamples.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"

#include <QBuffer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

using namespace samples;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QSize kBox(135, 135);

// Where the stored top-left (red) and top-right (green) corners are seen once upright:
// 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left.
struct Corners {
    int red;
    int green;
};
const Corners kUpright[9] = { {}, { 0, 1 }, { 1, 0 }, { 2, 3 }, { 3, 2 }, { 0, 3 }, { 1, 2 },
    { 2, 1 }, { 3, 0 } };

QImage thumbnailImage(const PictureReview::Result &result)
{
    QImage image;
    image.loadFromData(result.thumbnail, "JPEG");
    return image;
}

// Both marked corners where the orientation puts them.
bool upright(const QImage &image, int orientation)
{
    return cornerOf(image, kRed) == kUpright[orientation].red
        && cornerOf(image, kGreen) == kUpright[orientation].green;
}

PictureReview::Result review(const QString &path, const QString &fileType, const QTemporaryDir &dir)
{
    return PictureReview::examine({ path, fileType, dir.filePath("thumb.jpg") }, kBox, true);
}

} // namespace

class TestPictureFormats : public QObject {
    Q_OBJECT
private slots:
    void orientationMovesPixelsExactly()
    {
        QImage stored(3, 2, QImage::Format_RGB32);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                stored.setPixel(x, y, qRgb(x * 100, y * 100, 7));
        // Where stored (x, y) lands in each upright picture.
        const auto mapped = [](int o, int x, int y, int w, int h) -> QPoint {
            switch (o) {
            case 2: return { w - 1 - x, y };
            case 3: return { w - 1 - x, h - 1 - y };
            case 4: return { x, h - 1 - y };
            case 5: return { y, x };
            case 6: return { h - 1 - y, x };
            case 7: return { h - 1 - y, w - 1 - x };
            case 8: return { y, w - 1 - x };
            default: return { x, y };
            }
        };
        for (int o = 1; o <= 8; ++o) {
            const QImage turned = Orientation::apply(stored, o);
            QCOMPARE(turned.size(), Orientation::upright(stored.size(), o));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    QCOMPARE(turned.pixel(mapped(o, x, y, 3, 2)), stored.pixel(x, y));
        }
        QCOMPARE(Orientation::apply(stored, 0), stored);
        QCOMPARE(Orientation::apply(stored, 9), stored);
        // dcraw's flips: 3 upside down, 5 turned left, 6 turned right.
        QCOMPARE(Orientation::fromLibRawFlip(0), 1);
        QCOMPARE(Orientation::fromLibRawFlip(3), 3);
        QCOMPARE(Orientation::fromLibRawFlip(5), 8);
        QCOMPARE(Orientation::fromLibRawFlip(6), 6);
    }

    void jpegInEveryOrientation_data()
    {
        QTest::addColumn<int>("orientation");
        for (int o = 1; o <= 8; ++o)
            QTest::newRow(qPrintable(QStringLiteral("orientation %1").arg(o))) << o;
    }

    void jpegInEveryOrientation()
    {
        QFETCH(int, orientation);
        QTemporaryDir dir;
        const QString path = dir.filePath("photo.jpg");
        QVERIFY(writeFile(path, qtJpeg(corners(400, 200), 95)));
        QString output;
        QVERIFY2(exiftool(path, { QStringLiteral("-Orientation=%1").arg(orientation) }, &output),
            qPrintable(output));

        const PictureMeasure measure = PictureMeasure::measure(path, "jpg");
        QVERIFY2(measure.isValid(), qPrintable(measure.errorText()));
        const QSize seen = orientation >= 5 ? QSize(200, 400) : QSize(400, 200);
        QCOMPARE(measure.size(), seen);
        QCOMPARE(measure.storedSize(), QSize(400, 200));
        QCOMPARE(measure.orientation(), orientation);
        QString error;
        QVERIFY(upright(measure.decode(seen, &error), orientation));
        // The enlargement's size and a reduced one, through the DCT-scaled decode.
        QVERIFY(upright(measure.decode(seen / 4, &error), orientation));

        const PictureReview::Result result = review(path, "jpg", dir);
        QCOMPARE(result.outcome, PictureReview::Outcome::Larger);
        QCOMPARE(result.size, seen);
        QCOMPARE(result.orientation, orientation);
        QCOMPARE(result.colorType, std::optional<int>(3));
        QCOMPARE(result.view.size(), orientation >= 5 ? QSize(68, 135) : QSize(135, 68));
        QVERIFY(upright(result.view, orientation));
        const QImage thumbnail = thumbnailImage(result);
        QCOMPARE(thumbnail.size(), result.view.size());
        QVERIFY(upright(thumbnail, orientation));
        const auto details = PictureReview::details(result, true);
        QCOMPARE(details[1], qMakePair(QStringLiteral("Width"), QVariant(seen.width())));
        QCOMPARE(details[2], qMakePair(QStringLiteral("Height"), QVariant(seen.height())));
    }

    void uprightSizeDecidesWhetherAPictureFitsTheView()
    {
        // 200 by 100 stored, lying on its side: 100 by 200 upright, still larger than 135.
        QTemporaryDir dir;
        const QString tall = dir.filePath("tall.jpg");
        QVERIFY(writeFile(tall, qtJpeg(corners(200, 100))));
        QVERIFY(exiftool(tall, { "-Orientation=8" }));
        const PictureReview::Result result = review(tall, "jpg", dir);
        QCOMPARE(result.outcome, PictureReview::Outcome::Larger);
        QCOMPARE(thumbnailImage(result).size(), QSize(68, 135));

        // One that fits whichever way it lies keeps Review and gets no thumbnail.
        const QString small = dir.filePath("small.jpg");
        QVERIFY(writeFile(small, qtJpeg(corners(130, 90))));
        QVERIFY(exiftool(small, { "-Orientation=6" }));
        const PictureReview::Result fits = review(small, "jpg", dir);
        QCOMPARE(fits.outcome, PictureReview::Outcome::Fits);
        QCOMPARE(fits.size, QSize(90, 130));
        QVERIFY(upright(fits.view, 6));
        QVERIFY(fits.thumbnail.isEmpty());
    }

    void tiffAndWebpThroughQtsReaders_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("orientation");
        QTest::newRow("TIFF") << "tif" << 1;
        QTest::newRow("TIFF turned") << "tif" << 8;
        QTest::newRow("WebP") << "webp" << 1;
        QTest::newRow("WebP turned") << "webp" << 6;
    }

    void tiffAndWebpThroughQtsReaders()
    {
        QFETCH(QString, extension);
        QFETCH(int, orientation);
        QTemporaryDir dir;
        const QString source = dir.filePath("source.png");
        QVERIFY(writeFile(source, encoded(corners(300, 240), "png")));
        const QString path = dir.filePath("picture." + extension);
        QVERIFY(convert(source, path));
        QString output;
        QVERIFY2(exiftool(path,
                     { QStringLiteral("-Orientation=%1").arg(orientation), "-Make=Fujifilm",
                         "-XMP-dc:Subject=feira" },
                     &output),
            qPrintable(output));

        const PictureReview::Result result = review(path, extension, dir);
        QCOMPARE(result.outcome, PictureReview::Outcome::Larger);
        QCOMPARE(result.size, orientation >= 5 ? QSize(240, 300) : QSize(300, 240));
        QVERIFY(upright(result.view, orientation));
        QVERIFY(upright(thumbnailImage(result), orientation));
        QCOMPARE(result.facts.make, QStringLiteral("Fujifilm"));
        QCOMPARE(result.facts.keywords, QStringList { "feira" });
        QVERIFY(!result.colorType); // unchanged for these types
    }

    void heicAndAvifWithAndWithoutTheirThumbnails_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("thumbnail");
        QTest::newRow("HEIC") << "heic" << 0;
        QTest::newRow("HEIC with a thumbnail") << "heic" << 160;
        QTest::newRow("HEIC with a thumbnail smaller than the view") << "heic" << 100;
        QTest::newRow("AVIF") << "avif" << 0;
        QTest::newRow("AVIF with a thumbnail") << "avif" << 160;
    }

    void heicAndAvifWithAndWithoutTheirThumbnails()
    {
        QFETCH(QString, extension);
        QFETCH(int, thumbnail);
        QTemporaryDir dir;
        // Debian's AV1 encoder aborts on PNG sources; a JPEG source serves both.
        const QString source = dir.filePath("source.jpg");
        QVERIFY(writeFile(source, qtJpeg(corners(400, 300), 95)));
        QString output;
        QVERIFY2(exiftool(source,
                     { "-Make=Apple", "-Model=iPhone 12", "-DateTimeOriginal=2021:07:01 10:00:00",
                         "-XMP-dc:Subject=praia", "-XMP-xmp:Rating=3" },
                     &output),
            qPrintable(output));
        const QString path = dir.filePath("photo." + extension);
        QVERIFY(heifEnc(source, path, thumbnail));

        const std::shared_ptr<HeifPicture> heif = HeifPicture::open(readFile(path), nullptr);
        QVERIFY(heif);
        QCOMPARE(heif->size(), QSize(400, 300));
        // The thumbnail serves the view only when it is at least the view's picture.
        QCOMPARE(heif->thumbnailServes(QSize(135, 101)), thumbnail >= 135);
        QVERIFY(!heif->thumbnailServes(QSize(400, 300)));

        const PictureReview::Result result = review(path, extension, dir);
        QCOMPARE(result.outcome, PictureReview::Outcome::Larger);
        QCOMPARE(result.size, QSize(400, 300));
        QCOMPARE(result.view.size(), QSize(135, 101));
        QVERIFY(upright(result.view, 1));
        QVERIFY(upright(thumbnailImage(result), 1));
        QCOMPARE(result.facts.make, QStringLiteral("Apple"));
        QCOMPARE(result.facts.model, QStringLiteral("iPhone 12"));
        QVERIFY(result.facts.taken);
        QCOMPARE(result.facts.taken->isoText(), QStringLiteral("2021-07-01T10:00:00"));
        QCOMPARE(result.facts.keywords, QStringList { "praia" });
        QCOMPARE(result.facts.rating, 3);

        // The enlargement, from the primary image.
        const PictureMeasure measure = PictureMeasure::measure(path, extension);
        QString error;
        const QImage large = measure.decode(QSize(400, 300), &error);
        QCOMPARE(large.size(), QSize(400, 300));
        QVERIFY(upright(large, 1));
    }

    void heifIsNotTurnedAgainByItsExif()
    {
        // libheif applies the file's own rotation; the EXIF orientation inside a HEIF file
        // is not for readers to apply on top (an iPhone writes both).
        QTemporaryDir dir;
        const QString source = dir.filePath("source.jpg");
        QVERIFY(writeFile(source, qtJpeg(corners(400, 300), 95)));
        QVERIFY(exiftool(source, { "-Orientation=6" }));
        const QString path = dir.filePath("photo.heic");
        QVERIFY(heifEnc(source, path, 0));
        const PictureReview::Result result = review(path, "heic", dir);
        QCOMPARE(result.facts.orientation, 6);
        QCOMPARE(result.orientation, 1);
        QCOMPARE(result.size, QSize(400, 300));
        QVERIFY(upright(result.view, 1));
    }

    void heifTurnedByItsOwnRotationIsNotTurnedTwice()
    {
        // A portrait as phones store it: landscape pixels, a rotation property, and an EXIF
        // orientation saying the same again. The thumbnail was left lying on its side.
        QTemporaryDir dir;
        const QString source = dir.filePath("source.jpg");
        QVERIFY(writeFile(source, qtJpeg(corners(400, 300), 95)));
        QVERIFY(exiftool(source, { "-Orientation=6" }));
        const QString path = dir.filePath("portrait.heic");
        QVERIFY(heifEnc(source, path, 200));
        QVERIFY(heifRotate(path, 3));

        const std::shared_ptr<HeifPicture> heif = HeifPicture::open(readFile(path), nullptr);
        QVERIFY(heif);
        QCOMPARE(heif->size(), QSize(300, 400));
        QVERIFY(!heif->thumbnailServes(QSize(101, 135)));

        const PictureReview::Result result = review(path, "heic", dir);
        QCOMPARE(result.outcome, PictureReview::Outcome::Larger);
        QCOMPARE(result.size, QSize(300, 400));
        QCOMPARE(result.facts.orientation, 6);
        QCOMPARE(result.orientation, 1);
        QCOMPARE(result.view.size(), QSize(101, 135));
        QVERIFY(upright(result.view, 6));
        QVERIFY(upright(thumbnailImage(result), 6));
    }

    void dngFromItsEmbeddedPreview_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::newRow("level") << 1;
        QTest::newRow("turned right") << 6;
        QTest::newRow("upside down") << 3;
        QTest::newRow("turned left") << 8;
    }

    void dngFromItsEmbeddedPreview()
    {
        QFETCH(int, orientation);
        QTemporaryDir dir;
        const QString path = dir.filePath("IMG_0001.dng");
        // The sensor is 600 by 400; the camera's preview 300 by 200.
        QVERIFY(writeFile(path, dng(qtJpeg(corners(300, 200), 95), 600, 400, orientation)));
        const PictureMeasure measure = PictureMeasure::measure(path, "dng");
        QVERIFY2(measure.isValid(), qPrintable(measure.errorText()));
        const QSize seen = orientation >= 5 ? QSize(400, 600) : QSize(600, 400);
        QCOMPARE(measure.size(), seen);
        QCOMPARE(measure.orientation(), orientation);
        QCOMPARE(measure.facts().make, QStringLiteral("Quillomar"));
        QCOMPARE(measure.facts().model, QStringLiteral("Test Camera"));

        const PictureReview::Result result = review(path, "dng", dir);
        QCOMPARE(result.outcome, PictureReview::Outcome::Larger);
        QCOMPARE(result.size, seen);
        QVERIFY(upright(result.view, orientation));
        QVERIFY(upright(thumbnailImage(result), orientation));
        // "Ampliar" shows the preview too, at its own size.
        QString error;
        QVERIFY(upright(measure.decode(measure.viewSize(QSize(300, 300)), &error), orientation));
    }

    void rawOfACameraLibRawDoesNotKnowShowsExiv2sPreview()
    {
        // A TIFF-like RAW without sensor data LibRaw can unpack, its preview in IFD1 where
        // EXIF keeps thumbnails.
        const QByteArray preview = qtJpeg(corners(320, 240), 95);
        TiffIfd ifd0;
        ifd0.entries = { tiff::longs(256, { 2 }), tiff::longs(257, { 2 }), tiff::shorts(258, { 8 }),
            tiff::shorts(259, { 1 }), tiff::shorts(262, { 1 }), tiff::ascii(271, "Nikon"),
            tiff::ascii(272, "Z 9"), tiff::blobPointer(273, 0), tiff::shorts(274, { 6 }),
            tiff::longs(279, { 4 }) };
        ifd0.next = 1;
        TiffIfd ifd1;
        ifd1.entries = { tiff::shorts(259, { 6 }), tiff::blobPointer(0x201, 1),
            tiff::longs(0x202, { quint32(preview.size()) }) };
        QTemporaryDir dir;
        const QString path = dir.filePath("DSC_0001.nef");
        QVERIFY(writeFile(path, writeTiff({ ifd0, ifd1 }, { QByteArray(4, '\x80'), preview })));

        const PictureReview::Result result = review(path, "nef", dir);
        QCOMPARE(result.outcome, PictureReview::Outcome::Larger);
        QCOMPARE(result.size, QSize(240, 320));
        QCOMPARE(result.orientation, 6);
        QVERIFY(upright(result.view, 6));
        QCOMPARE(result.facts.model, QStringLiteral("Z 9"));
    }

    void unreadableFilesOfTheNewFormatsAreFailedPictures_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray noise = QByteArray(5000, '\x5A');
        QTest::newRow("HEIC of noise") << "heic" << QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24) + noise;
        QTest::newRow("AVIF of noise") << "avif" << QByteArray("\0\0\0\x18" "ftypavif\0\0\0\0mif1avif", 24) + noise;
        QTest::newRow("DNG of noise") << "dng" << QByteArray("II*\0\x08\0\0\0", 8) + noise;
        QTest::newRow("CR3 of noise") << "cr3" << QByteArray("\0\0\0\x18" "ftypcrx \0\0\0\x01" "crx isom", 24) + noise;
        QTest::newRow("RAF of noise") << "raf" << QByteArray("FUJIFILMCCD-RAW 0201", 20) + noise;
        QTest::newRow("ARW of noise") << "arw" << noise;
        QTest::newRow("WebP of noise") << "webp" << QByteArray("RIFF\x10\x13\0\0WEBPVP8 ", 16) + noise;
        QTest::newRow("TIFF of noise") << "tif" << QByteArray("MM\0*\0\0\0\x08", 8) + noise;
    }

    void unreadableFilesOfTheNewFormatsAreFailedPictures()
    {
        QFETCH(QString, extension);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath("broken." + extension);
        QVERIFY(writeFile(path, bytes));
        const PictureReview::Result result = review(path, extension, dir);
        QCOMPARE(result.outcome, PictureReview::Outcome::NotDrawn);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(result.thumbnail.isEmpty());
    }

    void everyFormatReviewedOnManyThreadsAtOnce()
    {
        QTemporaryDir dir;
        const QString jpegSource = dir.filePath("source.jpg");
        QVERIFY(writeFile(jpegSource, qtJpeg(corners(400, 300), 95)));
        QVERIFY(exiftool(jpegSource, { "-Orientation=6", "-Make=Canon", "-XMP-dc:Subject=rua" }));
        QVERIFY(heifEnc(jpegSource, dir.filePath("a.heic"), 160));
        QVERIFY(heifEnc(jpegSource, dir.filePath("a.avif"), 0));
        QVERIFY(convert(jpegSource, dir.filePath("a.webp")));
        QVERIFY(convert(jpegSource, dir.filePath("a.tif")));
        QVERIFY(writeFile(dir.filePath("a.dng"), dng(qtJpeg(corners(300, 200)), 600, 400, 6)));
        const QStringList files { jpegSource, dir.filePath("a.heic"), dir.filePath("a.avif"),
            dir.filePath("a.webp"), dir.filePath("a.tif"), dir.filePath("a.dng") };
        QList<QString> work;
        for (int i = 0; i < 8; ++i)
            work += files;
        const QList<PictureReview::Result> results = QtConcurrent::blockingMapped(work,
            [](const QString &path) {
                return PictureReview::examine(
                    { path, QFileInfo(path).suffix(), QString() }, kBox, true);
            });
        for (const PictureReview::Result &r : results) {
            QCOMPARE(r.outcome, PictureReview::Outcome::Larger);
            QVERIFY(!r.thumbnail.isEmpty());
            QVERIFY(cornerOf(r.view, kRed) >= 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestPictureFormats)
#include "test_pictureformats.moc"
