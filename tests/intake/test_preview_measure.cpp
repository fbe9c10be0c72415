#include "core/versiontools.h"
#include "intake/jpegconv.h"
#include "intake/picturefilter.h"
#include "intake/picturemeasure.h"
#include "intake/thumbnailencoder.h"
#include "intake/thumbnailfile.h"
#include "store/connection.h"
#include "store/schema.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

using namespace samples;
using testsupport::writeFile;

Q_DECLARE_METATYPE(std::optional<int>)

namespace {

// The markers of a JPEG stream, each with its segment (without the 0xFF and the code).
QMap<int, QList<QByteArray>> segments(const QByteArray &jpeg)
{
    QMap<int, QList<QByteArray>> out;
    int at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const int marker = uchar(jpeg[at + 1]);
        const int length = uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3]);
        out[marker] << jpeg.mid(at + 4, length - 2);
        if (marker == 0xDA)
            break;
        at += 2 + length;
    }
    return out;
}

bool nearColour(QRgb a, QRgb b, int tolerance = 12)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

} // namespace

class TestPreviewMeasure : public QObject {
    Q_OBJECT
private slots:
    void colorTypeTableOnRealBmpFiles_data()
    {
        QTest::addColumn<int>("bpp");
        QTest::addColumn<int>("infoSize");
        QTest::addColumn<int>("compression");
        QTest::addColumn<quint32>("red");
        QTest::addColumn<quint32>("green");
        QTest::addColumn<quint32>("blue");
        QTest::addColumn<bool>("topDown");
        QTest::addColumn<std::optional<int>>("colorType");
        const std::optional<int> unchanged;
        QTest::newRow("1 bit") << 1 << 40 << 0 << 0u << 0u << 0u << false << std::optional<int>(16);
        QTest::newRow("4 bits") << 4 << 40 << 0 << 0u << 0u << 0u << false << unchanged;
        QTest::newRow("8 bits") << 8 << 40 << 0 << 0u << 0u << 0u << false
                                << std::optional<int>(15);
        QTest::newRow("8 bits RLE")
            << 8 << 40 << 1 << 0u << 0u << 0u << false << std::optional<int>(15);
        QTest::newRow("16 bits 5-5-5 without masks")
            << 16 << 40 << 0 << 0u << 0u << 0u << false << unchanged;
        QTest::newRow("16 bits 5-6-5 masks after the header")
            << 16 << 40 << 3 << 0xF800u << 0x07E0u << 0x001Fu << false << std::optional<int>(17);
        QTest::newRow("16 bits 5-6-5 masks in a V4 header")
            << 16 << 108 << 3 << 0xF800u << 0x07E0u << 0x001Fu << false << std::optional<int>(17);
        QTest::newRow("16 bits 5-5-5 masks")
            << 16 << 40 << 3 << 0x7C00u << 0x03E0u << 0x001Fu << false << std::optional<int>(0);
        QTest::newRow("24 bits") << 24 << 40 << 0 << 0u << 0u << 0u << false << unchanged;
        QTest::newRow("24 bits top-down") << 24 << 40 << 0 << 0u << 0u << 0u << true << unchanged;
        QTest::newRow("24 bits OS/2 header")
            << 24 << 12 << 0 << 0u << 0u << 0u << false << unchanged;
        QTest::newRow("32 bits") << 32 << 40 << 0 << 0u << 0u << 0u << false
                                 << std::optional<int>(0);
        QTest::newRow("32 bits with masks") << 32 << 40 << 3 << 0x00FF0000u << 0x0000FF00u
                                            << 0x000000FFu << false << std::optional<int>(0);
    }

    void colorTypeTableOnRealBmpFiles()
    {
        QFETCH(int, bpp);
        QFETCH(int, infoSize);
        QFETCH(int, compression);
        QFETCH(quint32, red);
        QFETCH(quint32, green);
        QFETCH(quint32, blue);
        QFETCH(bool, topDown);
        QFETCH(std::optional<int>, colorType);
        QTemporaryDir dir;
        const QString path = dir.filePath("picture.bmp");
        BmpOptions options;
        options.infoSize = infoSize;
        options.compression = quint32(compression);
        options.masks[0] = red;
        options.masks[1] = green;
        options.masks[2] = blue;
        options.topDown = topDown;
        QVERIFY(writeFile(path, bmp(300, 200, bpp, options)));

        const PictureMeasure m = PictureMeasure::measure(path, "bmp");
        QVERIFY2(m.isValid(), qPrintable(m.errorText()));
        QCOMPARE(m.size(), QSize(300, 200));
        QVERIFY(m.bmp().has_value());
        QCOMPARE(m.bmp()->bitsPerPixel, bpp);
        QCOMPARE(m.bmp()->hasMasks, compression == 3);
        QCOMPARE(m.bmp()->greenMask, compression == 3 ? green : 0u);
        QVERIFY(m.bmp()->complete);
        QCOMPARE(m.colorType(), colorType);
        QVERIFY(!m.isJpeg());

        // The file is a real bitmap: Qt draws it red, at the size the view needs.
        QString error;
        const QImage view = m.decode(m.viewSize(QSize(135, 135)), &error);
        QVERIFY2(!view.isNull(), qPrintable(error));
        QCOMPARE(view.size(), QSize(135, 90));
        QVERIFY(nearColour(view.pixel(67, 45), qRgb(255, 0, 0)));
    }

    void colorTypeOfOtherFiles()
    {
        QTemporaryDir dir;
        const QString jpg = dir.filePath("photo.jpg");
        QVERIFY(writeFile(jpg, jpeg(640, 480)));
        const PictureMeasure photo = PictureMeasure::measure(jpg, "jpg");
        QVERIFY(photo.isValid());
        QVERIFY(photo.isJpeg());
        QCOMPARE(photo.size(), QSize(640, 480));
        QCOMPARE(photo.colorType(), std::optional<int>(3));
        QVERIFY(!photo.bmp());

        QImage icon(256, 256, QImage::Format_ARGB32);
        icon.fill(qRgba(0, 0, 255, 200));
        const QString ico = dir.filePath("icon.ico");
        QVERIFY(writeFile(ico, encoded(icon, "ico")));
        const PictureMeasure iconMeasure = PictureMeasure::measure(ico, "ico");
        QVERIFY2(iconMeasure.isValid(), qPrintable(iconMeasure.errorText()));
        QCOMPARE(iconMeasure.size(), QSize(256, 256));
        QCOMPARE(iconMeasure.colorType(), std::optional<int>(11));

        // A PNG named .bmp has no bitmap layout: "any other layout".
        const QString fake = dir.filePath("fake.bmp");
        QVERIFY(writeFile(fake, encoded(gradient(300, 200), "png")));
        const PictureMeasure png = PictureMeasure::measure(fake, "bmp");
        QVERIFY(png.isValid());
        QCOMPARE(png.colorType(), std::optional<int>(0));

        QCOMPARE(PictureMeasure::colorTypeFor("emf", std::nullopt), std::optional<int>(15));
        QCOMPARE(PictureMeasure::colorTypeFor("wmf", std::nullopt), std::optional<int>(15));
        for (const char *other : { "gif", "png", "tif", "pcx", "jpeg", "BMP", "JPG" })
            QCOMPARE(PictureMeasure::colorTypeFor(other, std::nullopt), std::optional<int>());
    }

    void shortOrHostileFilesAreRefusedBeforeDrawing()
    {
        QTemporaryDir dir;
        const QString bomb = dir.filePath("bomb.bmp");
        QVERIFY(writeFile(bomb, bombBmp()));
        const PictureMeasure m = PictureMeasure::measure(bomb, "bmp");
        QVERIFY(!m.isValid());
        QVERIFY(!m.errorText().isEmpty());
        QString error;
        QVERIFY(m.decode(QSize(135, 135), &error).isNull());
        QCOMPARE(error, m.errorText());

        // A real bitmap cut short; the same file whole is fine, even without its last padding.
        const QByteArray whole = bmp(301, 200, 24);
        QVERIFY(writeFile(dir.filePath("cut.bmp"), whole.left(whole.size() / 2)));
        QVERIFY(!PictureMeasure::measure(dir.filePath("cut.bmp"), "bmp").isValid());
        QVERIFY(writeFile(dir.filePath("padless.bmp"), whole.left(whole.size() - 1)));
        QVERIFY(PictureMeasure::measure(dir.filePath("padless.bmp"), "bmp").isValid());

        // Headers at the limits of their fields.
        QByteArray huge = bombBmp();
        put32(huge, 18, 0x7fffffff);
        put32(huge, 22, 0x80000001); // top-down, 2^31 - 1 rows
        put16(huge, 28, 32);
        QVERIFY(writeFile(dir.filePath("huge.bmp"), huge));
        QVERIFY(!PictureMeasure::measure(dir.filePath("huge.bmp"), "bmp").isValid());

        // Run-length data too short for the rows it declares.
        BmpOptions rle;
        rle.compression = 1;
        QByteArray bigRle = bmp(5000, 10, 8, rle);
        put32(bigRle, 22, 5000);
        QVERIFY(writeFile(dir.filePath("rle.bmp"), bigRle));
        QVERIFY(!PictureMeasure::measure(dir.filePath("rle.bmp"), "bmp").isValid());

        // Not a picture, and no file at all.
        QVERIFY(writeFile(dir.filePath("text.jpg"), QByteArray("not a picture at all")));
        QVERIFY(!PictureMeasure::measure(dir.filePath("text.jpg"), "jpg").isValid());
        const PictureMeasure none = PictureMeasure::measure(dir.filePath("none.jpg"), "jpg");
        QVERIFY(!none.isValid());
        QVERIFY(none.isMissing());
        QVERIFY(none.errorText().startsWith("Não foi possível abrir o arquivo"));
    }

    void measuringReadsOnlyTheHeaders()
    {
        // A JPEG cut right after its first scan header still measures: no pixel is read.
        QTemporaryDir dir;
        const QByteArray photo = jpeg(6000, 4000);
        const int sos = int(photo.indexOf(QByteArray("\xFF\xDA", 2)));
        QVERIFY(sos > 0);
        QVERIFY(writeFile(dir.filePath("cut.jpg"), photo.left(sos + 20)));
        const PictureMeasure m = PictureMeasure::measure(dir.filePath("cut.jpg"), "jpg");
        QVERIFY(m.isValid());
        QCOMPARE(m.size(), QSize(6000, 4000));
    }

    void viewSizeFollowsTheThumbnailRule()
    {
        QTemporaryDir dir;
        auto viewOf = [&](int w, int h) {
            const QString path = dir.filePath(QString("%1x%2.bmp").arg(w).arg(h));
            writeFile(path, bmp(w, h, 1));
            return PictureMeasure::measure(path, "bmp").viewSize(QSize(135, 135));
        };
        QCOMPARE(viewOf(2000, 1500), QSize(135, 101));
        QCOMPARE(viewOf(1500, 2000), QSize(101, 135));
        QCOMPARE(viewOf(100, 80), QSize(100, 80));
        QCOMPARE(viewOf(135, 135), QSize(135, 135));
        QCOMPARE(viewOf(136, 10), QSize(135, 10));
        // The rule gives a 0 height here (the writer refuses it); the view still draws a line.
        QCOMPARE(viewOf(27000, 100), QSize(135, 1));

        QVERIFY(writeFile(dir.filePath("photo.jpg"), jpeg(2000, 1500)));
        const PictureMeasure photo = PictureMeasure::measure(dir.filePath("photo.jpg"), "jpg");
        QCOMPARE(photo.decode(photo.viewSize(QSize(135, 135)), nullptr).size(), QSize(135, 101));
    }

    void encoderWritesWhatTheJpegWriterWrites()
    {
        // The 4 by 3 source in a 100 by 100 box: 100 x 75 at top 12, white above and below.
        QImage source(4, 3, QImage::Format_RGB32);
        source.fill(qRgb(200, 30, 40));
        const QByteArray ours = ThumbnailEncoder::encode(source, 100, 100, qRgb(255, 255, 255));
        QBuffer jpegSource;
        jpegSource.setData(encoded(source, "jpeg", 100));
        jpegSource.open(QIODevice::ReadOnly);
        QByteArray theirs;
        QBuffer out(&theirs);
        out.open(QIODevice::WriteOnly);
        ConvertJPEGStream(jpegSource, out, 100, 100, qRgb(255, 255, 255));

        const QImage a = QImage::fromData(ours, "JPEG");
        const QImage b = QImage::fromData(theirs, "JPEG");
        QCOMPARE(a.size(), QSize(100, 100));
        QCOMPARE(b.size(), QSize(100, 100));
        for (int y : { 0, 10, 11, 13, 50, 85, 88, 99 }) {
            const bool inside = y >= 12 && y < 87;
            for (int x : { 0, 50, 99 }) {
                QVERIFY(
                    nearColour(a.pixel(x, y), inside ? qRgb(200, 30, 40) : qRgb(255, 255, 255)));
                QVERIFY(nearColour(a.pixel(x, y), b.pixel(x, y)));
            }
        }

        // Same stream layout: baseline, three full-resolution components, 72 dpi, the same
        // quantisation tables (quality 90).
        const auto mine = segments(ours);
        const auto writer = segments(theirs);
        QVERIFY(mine.contains(0xC0));
        QVERIFY(!mine.contains(0xC2));
        const QByteArray sof = mine[0xC0].first();
        QCOMPARE(int(uchar(sof[5])), 3);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(int(uchar(sof[6 + c * 3 + 1])), 0x11);
        QCOMPARE(sof, writer[0xC0].first());
        QCOMPARE(mine[0xDB], writer[0xDB]);
        const QByteArray jfif = mine[0xE0].first();
        QVERIFY(jfif.startsWith(QByteArray("JFIF\0", 5)));
        QCOMPARE(int(uchar(jfif[7])), 1);
        QCOMPARE(int(uchar(jfif[8]) << 8 | uchar(jfif[9])), 72);
        QCOMPARE(int(uchar(jfif[10]) << 8 | uchar(jfif[11])), 72);
        QCOMPARE(jfif, writer[0xE0].first());

        // Transparency shows the background.
        QImage clear(40, 40, QImage::Format_ARGB32);
        clear.fill(Qt::transparent);
        const QImage blue
            = QImage::fromData(ThumbnailEncoder::encode(clear, 20, 20, qRgb(0, 0, 255)));
        QVERIFY(nearColour(blue.pixel(10, 10), qRgb(0, 0, 255)));

        // The writer's own refusals, width first.
        auto message = [&](int w, int h) {
            try {
                ThumbnailEncoder::encode(source, w, h, 0);
            } catch (const JpegError &e) {
                return e.message();
            }
            return QString();
        };
        QCOMPARE(message(0, 0), QStringLiteral("Invalid Width"));
        QCOMPARE(message(10, 0), QStringLiteral("Invalid Height"));
        QVERIFY(message(70000, 10).startsWith("JPEG error #"));
    }

    void thumbnailFilesAreWholeOrAbsent()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("00000042.jpg");
        QVERIFY(writeFile(target, "hand-made"));
        ThumbnailFile::write(target, jpeg(135, 101));
        QCOMPARE(QImageReader(target).size(), QSize(135, 101));
        const auto entries
            = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); };
        QCOMPARE(entries(), QStringList { "00000042.jpg" });

        // A failure names the file and keeps the system's reason, and leaves nothing behind.
        const QString nowhere = dir.filePath("missing/00000043.jpg");
        try {
            ThumbnailFile::write(nowhere, jpeg(135, 101));
            QFAIL("written into a missing folder");
        } catch (const JpegError &e) {
            QCOMPARE(e.message(),
                QStringLiteral(
                    "Não foi possível gravar o arquivo \"%1\". No such file or directory")
                    .arg(nowhere));
            QVERIFY(e.destination());
        }
        QCOMPARE(entries(), QStringList { "00000042.jpg" });
    }

    void pictureFilterTexts()
    {
        using F = PictureFilter::Format;
        const QList<F> example = { { "JPEG", "jpg", "jpeg", true }, { "Bitmap", "bmp", "", true } };
        QCOMPARE(PictureFilter::build(example),
            QStringLiteral("Todos as opções de formatos|*.JPG;*.JPEG;*.BMP|JPEG (*.jpg;*.jpeg)"
                           "|*.JPG;*.JPEG|Bitmap (*.bmp)|*.BMP"));
        QCOMPARE(PictureFilter::toFileDialogFilter(PictureFilter::build(example)),
            QStringLiteral("Todos as opções de formatos (*.JPG *.JPEG *.BMP);;JPEG (*.JPG *.JPEG)"
                           ";;Bitmap (*.BMP)"));
        // One used format: no entry for all of them. Unused rows add nothing.
        const QList<F> one = { { "JPEG", "jpg", "jpeg", false }, { "Bitmap", "bmp", "", true } };
        QCOMPARE(PictureFilter::build(one), QStringLiteral("Bitmap (*.bmp)|*.BMP"));
        QCOMPARE(PictureFilter::build({ { "JPEG", "jpg", "jpeg", false } }), QString());
        QCOMPARE(PictureFilter::build({}), QString());
        QCOMPARE(PictureFilter::toFileDialogFilter(QString()), QString());
        // The variation as stored, blanks included.
        QCOMPARE(PictureFilter::build({ { "TIFF", "tif", "tiff ", true } }),
            QStringLiteral("TIFF (*.tif;*.tiff )|*.TIF;*.TIFF "));
        QCOMPARE(PictureFilter::toFileDialogFilter(
                     PictureFilter::build({ { "Imagem PCX (Paintbrush)", "pcx", "", true } })),
            QStringLiteral("Imagem PCX (Paintbrush) (*.PCX)"));

        // From a real catalogue, in the table's order.
        QTemporaryDir dir;
        const QString path = dir.filePath("c.mdb");
        Schema::createCatalogue(path, compiledVersion());
        Connection c;
        c.openFile(path);
        QCOMPARE(PictureFilter::build(c),
            QStringLiteral("Todos as opções de formatos|*.JPG;*.JPEG;*.BMP;*.GIF;*.PNG;*.TIF;"
                           "*.TIFF;*.ICO;*.HEIC;*.HEIF;*.AVIF;*.WEBP;*.DNG;*.CR2;*.CR3;*.NEF;"
                           "*.NRW;*.ARW;*.ORF;*.RW2;*.RAF;*.PEF;*.SRW|Imagem JPEG (*.jpg;*.jpeg)|"
                           "*.JPG;*.JPEG|Bitmap do Windows (*.bmp)|*.BMP|Imagem GIF (*.gif)|*.GIF|"
                           "Imagem PNG (*.png)|*.PNG|Imagem TIFF (*.tif;*.tiff)|*.TIF;*.TIFF|"
                           "Ícone do Windows (*.ico)|*.ICO|Imagem HEIC (*.heic;*.heif)|"
                           "*.HEIC;*.HEIF|Imagem AVIF (*.avif)|*.AVIF|Imagem WebP (*.webp)|*.WEBP|"
                           "RAW Adobe DNG (*.dng)|*.DNG|RAW Canon CR2 (*.cr2)|*.CR2|"
                           "RAW Canon CR3 (*.cr3)|*.CR3|RAW Nikon NEF (*.nef;*.nrw)|*.NEF;*.NRW|"
                           "RAW Sony ARW (*.arw)|*.ARW|RAW Olympus ORF (*.orf)|*.ORF|"
                           "RAW Panasonic RW2 (*.rw2)|*.RW2|RAW Fujifilm RAF (*.raf)|*.RAF|"
                           "RAW Pentax PEF (*.pef)|*.PEF|RAW Samsung SRW (*.srw)|*.SRW"));
        c.exec("UPDATE Formats SET Used = 0 WHERE Extension <> 'png'");
        QCOMPARE(PictureFilter::build(c), QStringLiteral("Imagem PNG (*.png)|*.PNG"));
        c.exec("UPDATE Formats SET Used = 0");
        QCOMPARE(PictureFilter::build(c), QString());
        c.close();
    }
};

QTEST_MAIN(TestPreviewMeasure)
#include "test_preview_measure.moc"
