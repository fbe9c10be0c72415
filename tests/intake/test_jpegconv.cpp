#include "intake/jpegconv.h"
#include "intake/jpegscaler.h"
#include "intake/thumbsize.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

using namespace samples;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

struct Outcome {
    QByteArray output;
    QString error;
    int code = 0;
};

Outcome convert(const QByteArray &jpeg, int w, int h, QRgb colour = qRgb(255, 255, 255))
{
    QBuffer src;
    src.setData(jpeg);
    src.open(QIODevice::ReadOnly);
    QByteArray out;
    QBuffer dst(&out);
    dst.open(QIODevice::WriteOnly);
    Outcome outcome;
    try {
        ConvertJPEGStream(src, dst, w, h, colour);
    } catch (const JpegError &e) {
        outcome.error = e.message();
        outcome.code = e.code();
    }
    outcome.output = out;
    return outcome;
}

QString jpegError(int code)
{
    return QStringLiteral("JPEG error #%1").arg(code);
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString describe(QRgb c)
{
    return QStringLiteral("(%1,%2,%3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

QImage decoded(const QByteArray &jpeg)
{
    return QImage::fromData(jpeg, "JPG").convertToFormat(QImage::Format_RGB32);
}

// The quantisation tables libjpeg makes for quality 90, as sorted values.
std::vector<int> quality90Table(bool chroma)
{
    static const int luma[64] = { 16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
        14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109,
        103, 77, 24, 35, 55, 64, 81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95,
        98, 112, 100, 103, 99 };
    static const int chromaBase[64]
        = { 17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
              99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
              99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99 };
    std::vector<int> table;
    for (int v : chroma ? chromaBase : luma)
        table.push_back(std::clamp((v * 20 + 50) / 100, 1, 255));
    std::sort(table.begin(), table.end());
    return table;
}

struct Grey {
    double mean = 0;
    double spread = 0; // standard deviation
    int lowest = 255;
    int highest = 0;
};

Grey greyOf(const QImage &image, const QRect &area)
{
    Grey g;
    double sum = 0, squares = 0;
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const int v = qGray(image.pixel(x, y));
            sum += v;
            squares += double(v) * v;
            g.lowest = std::min(g.lowest, v);
            g.highest = std::max(g.highest, v);
            ++n;
        }
    }
    g.mean = sum / n;
    g.spread = std::sqrt(std::max(0.0, squares / n - g.mean * g.mean));
    return g;
}

} // namespace

class TestJpegConv : public QObject {
    Q_OBJECT

private slots:
    void sizeRuleFollowsTheBoxAndRoundsHalfToEven()
    {
        QCOMPARE(nearestEven(2.5), 2);
        QCOMPARE(nearestEven(3.5), 4);
        QCOMPARE(nearestEven(-0.5), 0);
        QCOMPARE(nearestEven(-1.5), -2);
        QCOMPARE(nearestEven(101.25), 101);
        QCOMPARE(nearestEven(100.75), 101);

        QCOMPARE(thumbnailSize(1000, 750), QSize(135, 101));
        QCOMPARE(thumbnailSize(750, 1000), QSize(101, 135));
        QCOMPARE(thumbnailSize(300, 300), QSize(135, 135));
        QCOMPARE(thumbnailSize(4000, 3000), QSize(135, 101));
        QCOMPARE(thumbnailSize(1920, 1080), QSize(135, 76));
        // Larger in one direction only is enough.
        QCOMPARE(thumbnailSize(136, 20), QSize(135, 20));
        QCOMPARE(thumbnailSize(20, 200), QSize(14, 135));
        // Exact halves go to the even neighbour: 67.5, 22.5, 13.5, 4.5, 2.5.
        QCOMPARE(thumbnailSize(400, 200), QSize(135, 68));
        QCOMPARE(thumbnailSize(200, 400), QSize(68, 135));
        QCOMPARE(thumbnailSize(600, 100), QSize(135, 22));
        QCOMPARE(thumbnailSize(1000, 100), QSize(135, 14));
        QCOMPARE(thumbnailSize(3000, 100), QSize(135, 4));
        QCOMPARE(thumbnailSize(5400, 100), QSize(135, 2));
        // 270 times wider than high rounds to nothing; 269.9 still gives one pixel.
        QCOMPARE(thumbnailSize(27000, 100), QSize(135, 0));
        QCOMPARE(thumbnailSize(100, 27000), QSize(0, 135));
        QCOMPARE(thumbnailSize(26990, 100), QSize(135, 1));
        // Pictures that fit the box, or have no area, get none.
        QCOMPARE(thumbnailSize(135, 135), std::nullopt);
        QCOMPARE(thumbnailSize(135, 1), std::nullopt);
        QCOMPARE(thumbnailSize(1, 1), std::nullopt);
        QCOMPARE(thumbnailSize(0, 500), std::nullopt);
        QCOMPARE(thumbnailSize(500, 0), std::nullopt);
        // Another box.
        QCOMPARE(thumbnailSize(1000, 750, 200, 100), QSize(200, 150));
    }

    void sizesBelowOneAreRefusedBeforeAnythingIsRead()
    {
        const QByteArray jpeg = qtJpeg(solid(40, 30, Qt::red));
        auto attempt = [&](int w, int h) {
            QBuffer src;
            src.setData(jpeg);
            src.open(QIODevice::ReadOnly);
            QByteArray out("old");
            QBuffer dst(&out);
            dst.open(QIODevice::ReadWrite);
            dst.seek(3);
            QString message;
            try {
                ConvertJPEGStream(src, dst, w, h, qRgb(255, 255, 255));
            } catch (const JpegError &e) {
                message = e.message();
            }
            const bool untouched = src.pos() == 0 && out == "old";
            return untouched ? message : QStringLiteral("touched: ") + message;
        };
        QCOMPARE(attempt(0, 0), QStringLiteral("Invalid Width"));
        QCOMPARE(attempt(-5, 10), QStringLiteral("Invalid Width"));
        QCOMPARE(attempt(10, 0), QStringLiteral("Invalid Height"));
        QCOMPARE(attempt(10, -1), QStringLiteral("Invalid Height"));
        // A picture 270 times wider than high: the size rule leads the writer to refuse.
        const QSize size = thumbnailSize(27000, 100).value();
        QCOMPARE(attempt(size.width(), size.height()), QStringLiteral("Invalid Height"));
        // Sizes beyond what a JPEG can hold are the encoder's refusal, also before reading.
        QCOMPARE(attempt(70000, 10), jpegError(JERR_IMAGE_TOO_BIG));
        QCOMPARE(attempt(20000, 20000), jpegError(JERR_IMAGE_TOO_BIG));
    }

    void pictureIsFittedCentredOnTheBackground()
    {
        const QRgb white = qRgb(255, 255, 255);
        const QRgb red = qRgb(255, 0, 0);

        // 4 by 3 in 100 by 100: 100 x 75 at top 12, white above and below.
        Outcome landscape = convert(qtJpeg(solid(4, 3, Qt::red), 100), 100, 100);
        QVERIFY2(landscape.error.isEmpty(), qPrintable(landscape.error));
        QImage image = decoded(landscape.output);
        QCOMPARE(image.size(), QSize(100, 100));
        for (int x : { 0, 1, 50, 98, 99 }) {
            QVERIFY2(near(image.pixel(x, 11), white, 24), qPrintable(describe(image.pixel(x, 11))));
            QVERIFY2(near(image.pixel(x, 12), red, 24), qPrintable(describe(image.pixel(x, 12))));
            QVERIFY2(near(image.pixel(x, 86), red, 24), qPrintable(describe(image.pixel(x, 86))));
            QVERIFY2(near(image.pixel(x, 87), white, 24), qPrintable(describe(image.pixel(x, 87))));
            QVERIFY(near(image.pixel(x, 0), white, 4));
            QVERIFY(near(image.pixel(x, 99), white, 4));
            QVERIFY(near(image.pixel(x, 50), red, 8));
        }

        // 3 by 4 in 100 by 100 on blue: 75 x 100 at left 12.
        const QRgb blue = qRgb(0, 0, 255);
        Outcome portrait = convert(qtJpeg(solid(3, 4, Qt::red), 100), 100, 100, blue);
        QVERIFY2(portrait.error.isEmpty(), qPrintable(portrait.error));
        image = decoded(portrait.output);
        QCOMPARE(image.size(), QSize(100, 100));
        for (int y : { 0, 50, 99 }) {
            QVERIFY2(near(image.pixel(11, y), blue, 24), qPrintable(describe(image.pixel(11, y))));
            QVERIFY2(near(image.pixel(12, y), red, 24), qPrintable(describe(image.pixel(12, y))));
            QVERIFY2(near(image.pixel(86, y), red, 24), qPrintable(describe(image.pixel(86, y))));
            QVERIFY2(near(image.pixel(87, y), blue, 24), qPrintable(describe(image.pixel(87, y))));
        }

        // A square source fills a square box.
        image = decoded(convert(qtJpeg(solid(50, 50, Qt::red), 100), 20, 20).output);
        QCOMPARE(image.size(), QSize(20, 20));
        QVERIFY(near(image.pixel(0, 0), red, 24));
        QVERIFY(near(image.pixel(19, 19), red, 24));

        // A box flatter than the picture: fitted on the height, not cropped: 13 x 10 at
        // left 43 in 100 by 10.
        image = decoded(convert(qtJpeg(solid(40, 30, Qt::red), 100), 100, 10).output);
        QCOMPARE(image.size(), QSize(100, 10));
        for (int y : { 0, 5, 9 }) {
            QVERIFY2(near(image.pixel(41, y), white, 24), qPrintable(describe(image.pixel(41, y))));
            QVERIFY2(near(image.pixel(44, y), red, 40), qPrintable(describe(image.pixel(44, y))));
            QVERIFY2(near(image.pixel(54, y), red, 40), qPrintable(describe(image.pixel(54, y))));
            QVERIFY2(near(image.pixel(57, y), white, 24), qPrintable(describe(image.pixel(57, y))));
        }

        // The thumbnail sizes of the size rule are filled completely.
        const QSize size = thumbnailSize(1000, 750).value();
        image = decoded(
            convert(qtJpeg(solid(1000, 750, Qt::red)), size.width(), size.height()).output);
        QCOMPARE(image.size(), QSize(135, 101));
        for (QPoint p : { QPoint(0, 0), QPoint(134, 0), QPoint(0, 100), QPoint(134, 100) })
            QVERIFY2(near(image.pixel(p), red, 24), qPrintable(describe(image.pixel(p))));
    }

    void outputIsBaselineColourOfQuality90()
    {
        const QByteArray grey = writeJpeg(photoLike(300, 200), as(Model::Gray));
        for (const QByteArray &source : { qtJpeg(photoLike(300, 200)), grey }) {
            const Outcome outcome = convert(source, 135, 90);
            QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
            const QByteArray &out = outcome.output;
            QVERIFY(out.startsWith("\xFF\xD8"));
            QVERIFY(out.endsWith("\xFF\xD9"));
            const qsizetype sof = findMarker(out, 0xC0);
            QVERIFY2(sof > 0, "no baseline frame");
            QCOMPARE(findMarker(out, 0xC2), -1);
            QCOMPARE(findMarker(out, 0xC1), -1);
            QCOMPARE(int(uchar(out[sof + 4])), 8); // precision
            QCOMPARE((uchar(out[sof + 5]) << 8) | uchar(out[sof + 6]), 90);
            QCOMPARE((uchar(out[sof + 7]) << 8) | uchar(out[sof + 8]), 135);
            QCOMPARE(int(uchar(out[sof + 9])), 3); // colour, even from a grey source
            QCOMPARE(out.count(QByteArray("\xFF\xDA", 2)), 1); // one scan

            // Every DQT segment, each table sorted, compared with libjpeg's quality 90.
            std::vector<std::vector<int>> tables;
            for (qsizetype at = 2; at + 4 <= out.size();) {
                const uchar marker = uchar(out[at + 1]);
                const int length = uchar(out[at + 2]) << 8 | uchar(out[at + 3]);
                if (marker == 0xDA)
                    break;
                if (marker == 0xDB) {
                    for (qsizetype t = at + 4; t < at + 2 + length; t += 65) {
                        QCOMPARE(uchar(out[t]) >> 4, 0); // 8-bit table
                        std::vector<int> table;
                        for (int i = 1; i <= 64; ++i)
                            table.push_back(uchar(out[t + i]));
                        std::sort(table.begin(), table.end());
                        tables.push_back(table);
                    }
                }
                at += 2 + length;
            }
            QCOMPARE(tables.size(), size_t(2));
            QVERIFY(tables[0] == quality90Table(false));
            QVERIFY(tables[1] == quality90Table(true));
        }
    }

    void thumbnailLooksLikeAFullDecodeScaledDown()
    {
        for (QSize size :
            { QSize(1000, 750), QSize(1600, 1200), QSize(403, 301), QSize(750, 1000) }) {
            const QByteArray jpeg = qtJpeg(photoLike(size.width(), size.height()), 95);
            const QSize box = thumbnailSize(size.width(), size.height()).value();
            const Outcome outcome = convert(jpeg, box.width(), box.height());
            QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
            const QImage ours = decoded(outcome.output);
            QCOMPARE(ours.size(), box);
            const QImage reference
                = decoded(jpeg).scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            double total = 0;
            int worst = 0;
            for (int y = 0; y < box.height(); ++y) {
                for (int x = 0; x < box.width(); ++x) {
                    const QRgb a = ours.pixel(x, y), b = reference.pixel(x, y);
                    for (int d :
                        { qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b) }) {
                        total += std::abs(d);
                        worst = std::max(worst, std::abs(d));
                    }
                }
            }
            const double mean = total / (3.0 * box.width() * box.height());
            QVERIFY2(mean < 3.0, qPrintable(QStringLiteral("mean difference %1").arg(mean)));
            QVERIFY2(worst < 80, qPrintable(QStringLiteral("worst difference %1").arg(worst)));
        }
    }

    void fineDetailAveragesToGreyWithoutMoire()
    {
        // One-pixel checkerboard: any point sampling gives black and white blotches.
        QImage board(1203, 902, QImage::Format_RGB32);
        for (int y = 0; y < board.height(); ++y)
            for (int x = 0; x < board.width(); ++x)
                board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        const QSize box = thumbnailSize(board.width(), board.height()).value();
        Outcome outcome = convert(qtJpeg(board, 95), box.width(), box.height());
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
        QImage thumb = decoded(outcome.output);
        Grey g = greyOf(thumb, thumb.rect());
        QVERIFY2(std::abs(g.mean - 127.5) < 6 && g.lowest > 112 && g.highest < 143,
            qPrintable(QStringLiteral("mean %1, %2..%3").arg(g.mean).arg(g.lowest).arg(g.highest)));

        // Stripes 8 pixels wide survive the decoder's 1/8 scaling as alternate columns,
        // which the area averaging must turn grey.
        QImage stripes(2400, 1800, QImage::Format_RGB32);
        for (int y = 0; y < stripes.height(); ++y)
            for (int x = 0; x < stripes.width(); ++x)
                stripes.setPixel(x, y, (x / 8) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        outcome = convert(qtJpeg(stripes, 95), 135, 101);
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
        thumb = decoded(outcome.output);
        g = greyOf(thumb, thumb.rect());
        QVERIFY2(std::abs(g.mean - 127.5) < 6 && g.lowest > 100 && g.highest < 155,
            qPrintable(QStringLiteral("mean %1, %2..%3").arg(g.mean).arg(g.lowest).arg(g.highest)));

        // Zone plate: rings whose frequency grows to one cycle per two pixels at the rim.
        const int n = 1200;
        QImage zone(n, n, QImage::Format_RGB32);
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const double dx = x - n / 2.0, dy = y - n / 2.0;
                const double v = 127.5 + 127.5 * std::cos(M_PI * (dx * dx + dy * dy) / n);
                zone.setPixel(x, y, qRgb(int(v), int(v), int(v)));
            }
        }
        outcome = convert(qtJpeg(zone, 95), 135, 135);
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
        thumb = decoded(outcome.output);
        // Where the rings are finer than about 3 source pixels (beyond 0.66 of the half
        // width, i.e. the corners), what is left must be even grey.
        for (QRect corner : { QRect(0, 0, 20, 20), QRect(115, 0, 20, 20), QRect(0, 115, 20, 20),
                 QRect(115, 115, 20, 20) }) {
            g = greyOf(thumb, corner);
            QVERIFY2(std::abs(g.mean - 127.5) < 12 && g.spread < 8,
                qPrintable(QStringLiteral("mean %1 spread %2").arg(g.mean).arg(g.spread)));
        }
        // The coarse rings at the centre survive.
        g = greyOf(thumb, QRect(55, 55, 25, 25));
        QVERIFY2(g.highest - g.lowest > 100, "centre rings lost");
    }

    void areaAveragingWeighsFractionalCoverage()
    {
        // Halving: each output pixel is the mean of exactly two by two source pixels.
        {
            const int sw = 8, sh = 4;
            std::vector<uchar> out(4 * 2 * 3, 0);
            JpegScaler scaler;
            scaler.start(sw, sh, sw, sh, 4, 2, 1, out.data(), 4 * 3);
            for (int y = 0; y < sh; ++y) {
                std::vector<uchar> row(sw);
                for (int x = 0; x < sw; ++x)
                    row[x] = uchar(x * 30 + y * 4);
                scaler.addRow(row.data());
            }
            QVERIFY(scaler.done());
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 4; ++x)
                    QCOMPARE(int(out[(y * 4 + x) * 3]),
                        int(std::lround((2 * x * 30 + 15) + (2 * y * 4 + 2))));
        }
        // Three source pixels into two: the middle one is split half and half.
        {
            std::vector<uchar> out(2 * 3, 0);
            JpegScaler scaler;
            scaler.start(3, 1, 3, 1, 2, 1, 3, out.data(), 2 * 3);
            const uchar row[9] = { 0, 0, 0, 90, 90, 90, 240, 240, 240 };
            scaler.addRow(row);
            QCOMPARE(int(out[0]), 30); // (1 * 0 + 0.5 * 90) / 1.5
            QCOMPARE(int(out[3]), 190); // (0.5 * 90 + 1 * 240) / 1.5
        }
        // Alternate columns into a window 2.2 wide: never far from grey, where taking one
        // pixel per output would give black or white.
        {
            const int sw = 300, ow = 135;
            std::vector<uchar> out(ow * 3, 0);
            JpegScaler scaler;
            scaler.start(sw, 1, sw, 1, ow, 1, 1, out.data(), ow * 3);
            std::vector<uchar> row(sw);
            for (int x = 0; x < sw; ++x)
                row[x] = x % 2 ? 255 : 0;
            scaler.addRow(row.data());
            for (int x = 0; x < ow; ++x)
                QVERIFY2(
                    std::abs(out[x * 3] - 127.5) < 16, qPrintable(QString::number(out[x * 3])));
        }
        // Only the extent is picture: the padding past it is not averaged in.
        {
            std::vector<uchar> out(3, 0);
            JpegScaler scaler;
            scaler.start(2, 1, 1.25, 1, 1, 1, 1, out.data(), 3);
            const uchar row[2] = { 100, 200 };
            scaler.addRow(row);
            QCOMPARE(int(out[0]), 120); // (1 * 100 + 0.25 * 200) / 1.25
        }
        // Enlarging: a pixel covers several outputs, each blends at most its two neighbours.
        {
            std::vector<uchar> out(4 * 3, 0);
            JpegScaler scaler;
            scaler.start(2, 1, 2, 1, 4, 1, 1, out.data(), 4 * 3);
            const uchar row[2] = { 0, 200 };
            scaler.addRow(row);
            QCOMPARE(int(out[0]), 0);
            QCOMPARE(int(out[3]), 0);
            QCOMPARE(int(out[6]), 200);
            QCOMPARE(int(out[9]), 200);
        }
    }

    void colourModelsAndProgressiveFilesAreRead()
    {
        QImage halves(64, 48, QImage::Format_RGB32);
        halves.fill(qRgb(0, 255, 255));
        QPainter(&halves).fillRect(32, 0, 32, 48, qRgb(255, 128, 0));
        const QRgb cyan = qRgb(0, 255, 255), orange = qRgb(255, 128, 0);
        struct Case {
            const char *name;
            QByteArray jpeg;
            QRgb left, right;
        };
        const JpegOptions progressive = as(Model::YCbCr, true);
        const JpegOptions greyProgressive = as(Model::Gray, true);
        const QRgb greyCyan = qRgb(qGray(cyan), qGray(cyan), qGray(cyan));
        const QRgb greyOrange = qRgb(qGray(orange), qGray(orange), qGray(orange));
        const Case cases[] = {
            { "baseline", qtJpeg(halves), cyan, orange },
            { "progressive", writeJpeg(halves, progressive), cyan, orange },
            { "grey", writeJpeg(halves, as(Model::Gray)), greyCyan, greyOrange },
            { "grey progressive", writeJpeg(halves, greyProgressive), greyCyan, greyOrange },
            { "adobe cmyk", writeJpeg(halves, as(Model::Cmyk)), cyan, orange },
            { "adobe ycck", writeJpeg(halves, as(Model::Ycck)), cyan, orange },
        };
        for (const Case &c : cases) {
            const Outcome outcome = convert(c.jpeg, 32, 24);
            QVERIFY2(outcome.error.isEmpty(), qPrintable(QString(c.name) + ": " + outcome.error));
            const QImage image = decoded(outcome.output);
            QCOMPARE(image.size(), QSize(32, 24));
            QVERIFY2(near(image.pixel(4, 12), c.left, 12),
                qPrintable(QString(c.name) + " left " + describe(image.pixel(4, 12))));
            QVERIFY2(near(image.pixel(27, 12), c.right, 12),
                qPrintable(QString(c.name) + " right " + describe(image.pixel(27, 12))));
        }
    }

    void damagedAndHostileFilesAreRefusedWithTheDecoderCode()
    {
        const QByteArray good = qtJpeg(photoLike(64, 48));
        const QByteArray progressive = writeJpeg(photoLike(64, 48), as(Model::YCbCr, true));

        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(photoLike(64, 48).save(&buffer, "PNG"));
        }
        QByteArray random(4096, Qt::Uninitialized);
        QRandomGenerator noise(11);
        for (char &c : random)
            c = char(noise.bounded(256));

        // 12-bit samples: the same file declared as extended sequential of precision 12.
        QByteArray twelveBit = good;
        const qsizetype sof = findMarker(twelveBit, 0xC0);
        twelveBit[sof + 1] = char(0xC1);
        twelveBit[sof + 4] = char(12);

        // 2,000 copies of the first scan of a progressive file: libjpeg only warns about
        // each repeated scan and would sweep the frame again for every one.
        QByteArray repeated = progressive;
        {
            const qsizetype first = repeated.indexOf(QByteArray("\xFF\xDA", 2));
            qsizetype end = first + 2;
            while (!(uchar(repeated[end]) == 0xFF && uchar(repeated[end + 1]) != 0
                && (uchar(repeated[end + 1]) < 0xD0 || uchar(repeated[end + 1]) > 0xD7)))
                ++end;
            const QByteArray scan = repeated.mid(first, end - first);
            repeated.insert(end, scan.repeated(2000));
        }
        // Few scans, but over a big frame: 300 copies of a scan over 4096 x 4096 (32 MB).
        QByteArray wideRepeats = writeJpeg(photoLike(64, 48), as(Model::Gray, true));
        {
            const qsizetype first = wideRepeats.indexOf(QByteArray("\xFF\xDA", 2));
            const qsizetype end = wideRepeats.indexOf(QByteArray("\xFF\xDA", 2), first + 2);
            const QByteArray scan = wideRepeats.mid(first, end - first);
            wideRepeats.insert(end, scan.repeated(300));
            // Padded to one bit per block, so that it is not refused as cut short.
            wideRepeats = withFrameSize(wideRepeats, 4096, 4096) + QByteArray(40000, '\0');
        }
        JpegOptions everyBit;
        everyBit.script = everyBitAlone();
        const QByteArray manyScans = writeJpeg(photoLike(16, 16), everyBit);

        // A frame of 20000 x 20000 over the data of 64 x 48: under one bit per block.
        const QByteArray bigProgressive
            = withFrameSize(cutInFirstScan(progressive, 200), 20000, 20000);
        const QByteArray bigBaseline = withFrameSize(cutInFirstScan(good, 200), 20000, 20000);
        // With enough (meaningless) data: its coefficients would need 1.2 GB.
        const QByteArray paddedProgressive = bigProgressive + QByteArray(1200000, '\0');
        struct Case {
            const char *name;
            QByteArray bytes;
            int code;
        };
        const Case cases[] = {
            { "empty", QByteArray(), JERR_INPUT_EMPTY },
            { "random bytes", random, JERR_NO_SOI },
            { "png named jpg", png, JERR_NO_SOI },
            { "only the start marker", good.left(2), JERR_NO_IMAGE },
            { "cut inside the tables", good.left(findMarker(good, 0xC4) + 10), -1 },
            { "garbage after the start", QByteArray("\xFF\xD8") + random, -1 },
            { "12-bit samples", twelveBit, JERR_BAD_PRECISION },
            { "65000 x 65000", withFrameSize(good, 65000, 65000), JERR_IMAGE_TOO_BIG },
            { "1 KB progressive of 20000 x 20000", bigProgressive, JERR_INPUT_EOF },
            { "1 KB baseline of 20000 x 20000", bigBaseline, JERR_INPUT_EOF },
            { "1.2 MB progressive of 20000 x 20000", paddedProgressive, JERR_NO_BACKING_STORE },
            { "2,000 repeated scans", repeated, JERR_BAD_PROGRESSION },
            { "300 scans over 4096 x 4096", wideRepeats, JERR_BAD_PROGRESSION },
            { "2,090 legal scans", manyScans, JERR_BAD_PROGRESSION },
        };
        QVERIFY(bigProgressive.size() < 1024);
        QCOMPARE(int(everyBit.script.size()), 2090);
        QVERIFY(everyBit.script.size() > size_t(kJpegMaxScans));
        for (const Case &c : cases) {
            const Outcome outcome = convert(c.bytes, 135, 101);
            const QString label = QString(c.name) + ": " + outcome.error;
            if (c.code >= 0)
                QVERIFY2(outcome.error == jpegError(c.code), qPrintable(label));
            else
                QVERIFY2(outcome.error.startsWith("JPEG error #") && outcome.code > 0,
                    qPrintable(label));
            QVERIFY2(outcome.output.isEmpty(), qPrintable(label));
        }
        // The same legal scan layout within the limit is read.
        everyBit.script.resize(11); // the DC scans only
        const Outcome dcOnly = convert(writeJpeg(photoLike(16, 16), everyBit), 16, 16);
        QVERIFY2(dcOnly.error.isEmpty(), qPrintable(dcOnly.error));
    }

    void truncatedDataIsAcceptedWithGreyForWhatIsMissing()
    {
        // As picture viewers do: what was received is drawn, the rest is libjpeg's grey.
        QImage picture(400, 400, QImage::Format_RGB32);
        picture.fill(qRgb(200, 30, 30));
        const QByteArray whole = qtJpeg(picture);
        for (const QByteArray &cut : { whole.left(whole.size() / 2), whole.chopped(2) }) {
            const Outcome outcome = convert(cut, 100, 100);
            QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
            const QImage image = decoded(outcome.output);
            QCOMPARE(image.size(), QSize(100, 100));
            QVERIFY2(near(image.pixel(50, 5), qRgb(200, 30, 30), 16),
                qPrintable(describe(image.pixel(50, 5))));
        }
        const QImage half = decoded(convert(whole.left(whole.size() / 2), 100, 100).output);
        QVERIFY2(near(half.pixel(50, 95), qRgb(128, 128, 128), 8),
            qPrintable(describe(half.pixel(50, 95))));

        // A big frame whose data is plausible in size is decoded, not refused.
        const QByteArray big
            = withFrameSize(cutInFirstScan(qtJpeg(photoLike(64, 48)), 300), 20000, 20000)
            + QByteArray(1200000, '\0');
        const Outcome bigOutcome = convert(big, 135, 135);
        QVERIFY2(bigOutcome.error.isEmpty(), qPrintable(bigOutcome.error));
        QCOMPARE(decoded(bigOutcome.output).size(), QSize(135, 135));
    }

    void fileConversionReplacesTheDestinationOrLeavesNothing()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath("picture.jpg");
        const QString target = dir.filePath("00000042.jpg");
        QVERIFY(writeFile(source, qtJpeg(photoLike(800, 600))));
        const auto entries = [&] {
            return QDir(dir.path())
                .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        };
        const auto convertFile = [&](const QString &from, const QString &to, int w, int h) {
            try {
                ConvertJPEGFile(from, to, w, h, qRgb(255, 255, 255));
            } catch (const JpegError &e) {
                return e.message();
            }
            return QString();
        };

        // An older thumbnail is replaced.
        QVERIFY(writeFile(target, "hand-made"));
        QCOMPARE(convertFile(source, target, 135, 101), QString());
        QCOMPARE(decoded(readFile(target)).size(), QSize(135, 101));
        QCOMPARE(entries(), QStringList({ "00000042.jpg", "picture.jpg" }));

        // Every failure removes what is at the destination, and leaves no temporary file.
        const QString bad = dir.filePath("bad.jpg");
        QVERIFY(writeFile(bad, "\x89PNG\r\n\x1a\n not a jpeg at all"));
        QCOMPARE(convertFile(bad, target, 135, 101), jpegError(JERR_NO_SOI));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(entries(), QStringList({ "bad.jpg", "picture.jpg" }));

        QVERIFY(writeFile(target, "hand-made"));
        QCOMPARE(convertFile(source, target, 0, 0), QStringLiteral("Invalid Width"));
        QVERIFY(!QFile::exists(target));

        QVERIFY(writeFile(target, "hand-made"));
        QCOMPARE(convertFile(dir.filePath("missing.jpg"), target, 135, 101),
            QStringLiteral("Não foi possível abrir o arquivo \"%1\". No such file or directory")
                .arg(dir.filePath("missing.jpg")));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(entries(), QStringList({ "bad.jpg", "picture.jpg" }));

        // A destination that cannot be created: the error names it, the source stays.
        const QString nowhere = dir.filePath("no-such-folder/00000001.jpg");
        QVERIFY(convertFile(source, nowhere, 135, 101)
                    .startsWith(
                        QStringLiteral("Não foi possível gravar o arquivo \"%1\".").arg(nowhere)));
        QVERIFY(QFile::exists(source));

        // Converting a file onto itself works; failing to never deletes the source.
        const QString copy = dir.filePath("copy.jpg");
        QVERIFY(QFile::copy(source, copy));
        QCOMPARE(convertFile(copy, copy, 135, 101), QString());
        QCOMPARE(decoded(readFile(copy)).size(), QSize(135, 101));
        QCOMPARE(convertFile(bad, bad, 135, 101), jpegError(JERR_NO_SOI));
        QVERIFY(QFile::exists(bad));
        QCOMPARE(entries(), QStringList({ "bad.jpg", "copy.jpg", "picture.jpg" }));
    }

    void streamsAreReadFromTheirPositionAndWrittenOnlyOnSuccess()
    {
        const QByteArray jpeg = qtJpeg(photoLike(320, 240));
        QBuffer src;
        src.setData(QByteArray("prefix") + jpeg);
        src.open(QIODevice::ReadOnly);
        src.seek(6);
        QByteArray out("kept:");
        QBuffer dst(&out);
        dst.open(QIODevice::WriteOnly | QIODevice::Append);
        ConvertJPEGStream(src, dst, 135, 101, qRgb(255, 255, 255));
        QVERIFY(out.startsWith("kept:\xFF\xD8"));
        QCOMPARE(decoded(out.mid(5)).size(), QSize(135, 101));

        // A failure halfway through the source writes nothing.
        const QByteArray before = out;
        QBuffer broken;
        broken.setData(QByteArray("\xFF\xD8\xFF\xDB\x00\x43") + QByteArray(10, '\x01'));
        broken.open(QIODevice::ReadOnly);
        QVERIFY_THROWS_EXCEPTION(
            JpegError, ConvertJPEGStream(broken, dst, 135, 101, qRgb(0, 0, 0)));
        QCOMPARE(out, before);

        // Devices that are not open are refused, not crashed on.
        QBuffer closed;
        src.seek(6);
        QVERIFY_THROWS_EXCEPTION(JpegError, ConvertJPEGStream(closed, dst, 10, 10, 0));
        QVERIFY_THROWS_EXCEPTION(JpegError, ConvertJPEGStream(src, closed, 10, 10, 0));
    }

    void conversionsRunOnManyThreadsAtOnce()
    {
        // Good and bad inputs interleaved: each thread's errors stay its own.
        const QByteArray good = qtJpeg(photoLike(1200, 900));
        const QByteArray bad = good.left(300) + QByteArray(300, '\xFF');
        std::vector<int> jobs(24);
        for (int i = 0; i < int(jobs.size()); ++i)
            jobs[i] = i;
        const QList<Outcome> results = QtConcurrent::blockingMapped<QList<Outcome>>(
            jobs, [&](int i) { return convert(i % 3 == 2 ? bad : good, 135, 101); });
        const QImage expected = decoded(convert(good, 135, 101).output);
        for (int i = 0; i < int(results.size()); ++i) {
            if (i % 3 == 2) {
                QVERIFY2(results[i].error.startsWith("JPEG error #"), qPrintable(results[i].error));
            } else {
                QVERIFY2(results[i].error.isEmpty(), qPrintable(results[i].error));
                QCOMPARE(decoded(results[i].output), expected);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestJpegConv)
#include "test_jpegconv.moc"
