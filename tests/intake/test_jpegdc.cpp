#include "intake/jpegdecoder.h"
#include "intake/jpegerror.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A picture with what photographs have: smooth gradients, hard edges, fine noise and
// saturated colours, so that every coefficient and every clamp of the decoders is used.
QImage photoLike(int w, int h, quint32 seed)
{
    QImage image(w, h, QImage::Format_RGB888);
    QRandomGenerator random(seed);
    for (int y = 0; y < h; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const int noise = int(random.bounded(60)) - 30;
            line[3 * x] = uchar(std::clamp(x * 255 / std::max(1, w - 1) + noise, 0, 255));
            line[3 * x + 1] = uchar(std::clamp(y * 255 / std::max(1, h - 1) - noise, 0, 255));
            line[3 * x + 2] = uchar(((x / 7) ^ (y / 5)) & 1 ? 250 : 5);
        }
    }
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 0, 0));
    painter.drawEllipse(QRectF(w * 0.1, h * 0.2, w * 0.3, h * 0.5));
    painter.setBrush(QColor(0, 0, 255));
    painter.drawRect(QRectF(w * 0.55, h * 0.1, w * 0.2, h * 0.7));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(w * 0.8, h * 0.6, w * 0.15, h * 0.3));
    return image;
}

struct Result {
    QImage image;
    QRect placement;
    bool fromDcOnly = false;
    int code = 0;
    QString message;
};

Result decodeWith(const QByteArray &jpeg, const QSize &box, JpegDecoder::Path path)
{
    QBuffer src;
    src.setData(jpeg);
    src.open(QIODevice::ReadOnly);
    Result r;
    try {
        JpegDecoder::Picture picture = JpegDecoder::decode(src, box, path);
        r.image = picture.image;
        r.placement = picture.placement;
        r.fromDcOnly = picture.fromDcOnly;
    } catch (const JpegError &e) {
        r.code = e.code();
        r.message = e.message();
    }
    return r;
}

QString firstDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return QStringLiteral("sizes %1x%2 and %3x%4")
            .arg(a.width())
            .arg(a.height())
            .arg(b.width())
            .arg(b.height());
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return QStringLiteral("pixel (%1,%2): %3 and %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16);
    return QString();
}

// Decodes both ways and fails unless pixels, placement and error are the same; gives
// whether the DC-only decoder drew it.
bool sameBothWays(const QByteArray &jpeg, const QSize &box, bool *fromDcOnly)
{
    const Result fast = decodeWith(jpeg, box, JpegDecoder::Path::Fastest);
    const Result plain = decodeWith(jpeg, box, JpegDecoder::Path::LibjpegOnly);
    *fromDcOnly = fast.fromDcOnly;
    if (plain.fromDcOnly)
        qWarning("the libjpeg path said it drew from the DC only");
    if (fast.code != plain.code || fast.message != plain.message) {
        qWarning("errors differ: %d %s / %d %s", fast.code, qPrintable(fast.message), plain.code,
            qPrintable(plain.message));
        return false;
    }
    if (fast.placement != plain.placement) {
        qWarning("placements differ");
        return false;
    }
    const QString difference = firstDifference(fast.image, plain.image);
    if (!difference.isEmpty()) {
        qWarning("pictures differ: %s", qPrintable(difference));
        return false;
    }
    return !plain.fromDcOnly;
}

QSize eighth(const QSize &size)
{
    return QSize((size.width() + 7) / 8, (size.height() + 7) / 8);
}

} // namespace

class TestJpegDc : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString source(int w, int h, quint32 seed)
    {
        const QString path
            = m_dir.filePath(QStringLiteral("src-%1x%2-%3.ppm").arg(w).arg(h).arg(seed));
        if (!QFile::exists(path))
            photoLike(w, h, seed).save(path, "PPM");
        return path;
    }

    QByteArray run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0) {
            qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.join(' ')),
                process.readAllStandardError().constData());
            return QByteArray();
        }
        return process.readAllStandardOutput();
    }

    QByteArray cjpeg(const QStringList &options, int w, int h, quint32 seed = 1)
    {
        return run(QStringLiteral("cjpeg"), options + QStringList { source(w, h, seed) });
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void plainFilesAreDrawnFromTheirDcAsLibjpegDrawsThem_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("size");
        const QSize big(4001, 2999);
        QTest::newRow("4:2:0") << QStringList { "-sample", "2x2" } << QSize(803, 601);
        QTest::newRow("4:2:2") << QStringList { "-sample", "2x1" } << QSize(803, 601);
        QTest::newRow("4:4:4") << QStringList { "-sample", "1x1" } << QSize(803, 601);
        QTest::newRow("4:4:0") << QStringList { "-sample", "1x2" } << QSize(803, 601);
        QTest::newRow("4:1:1") << QStringList { "-sample", "4x1" } << QSize(803, 601);
        QTest::newRow("4x2") << QStringList { "-sample", "4x2" } << QSize(803, 601);
        QTest::newRow("3x1") << QStringList { "-sample", "3x1" } << QSize(803, 601);
        QTest::newRow("3x2 luma, 1x2 chroma")
            << QStringList { "-sample", "3x2,1x2,1x2" } << QSize(803, 601);
        QTest::newRow("2x2 chroma planes apart")
            << QStringList { "-sample", "2x2,1x1,2x2" } << QSize(803, 601);
        QTest::newRow("12 MP, odd sides") << QStringList { "-sample", "2x2" } << big;
        QTest::newRow("17x9") << QStringList { "-sample", "2x2" } << QSize(17, 9);
        QTest::newRow("9x17 4:2:2") << QStringList { "-sample", "2x1" } << QSize(9, 17);
        QTest::newRow("1x1") << QStringList {} << QSize(1, 1);
        QTest::newRow("8x8") << QStringList {} << QSize(8, 8);
        QTest::newRow("restart every row")
            << QStringList { "-restart", "1", "-sample", "2x2" } << QSize(803, 601);
        QTest::newRow("restart every 3 MCUs")
            << QStringList { "-restart", "3B", "-sample", "2x1" } << QSize(803, 601);
        QTest::newRow("restart every MCU, grey")
            << QStringList { "-restart", "1B", "-grayscale" } << QSize(211, 97);
        QTest::newRow("optimized tables") << QStringList { "-optimize" } << QSize(803, 601);
        QTest::newRow("quality 100") << QStringList { "-quality", "100" } << QSize(803, 601);
        QTest::newRow("quality 100 4:4:4")
            << QStringList { "-quality", "100", "-sample", "1x1" } << QSize(803, 601);
        QTest::newRow("quality 50") << QStringList { "-quality", "50" } << QSize(803, 601);
        QTest::newRow("quality 5") << QStringList { "-quality", "5" } << QSize(803, 601);
        QTest::newRow("quality 1, 16-bit tables")
            << QStringList { "-quality", "1" } << QSize(803, 601);
        QTest::newRow("grey") << QStringList { "-grayscale" } << QSize(803, 601);
        QTest::newRow("grey 12 MP") << QStringList { "-grayscale", "-optimize" } << big;
        QTest::newRow("grey 17x9") << QStringList { "-grayscale" } << QSize(17, 9);
    }

    void plainFilesAreDrawnFromTheirDcAsLibjpegDrawsThem()
    {
        QFETCH(QStringList, options);
        QFETCH(QSize, size);
        const QByteArray jpeg = cjpeg(options, size.width(), size.height());
        QVERIFY(jpeg.startsWith("\xFF\xD8"));
        // The box of the 1/8 scale itself (each sample one pixel), and boxes that average.
        const QSize scaled = eighth(size);
        for (const QSize &box :
            { scaled, scaled - QSize(1, 0), scaled / 2, scaled / 3, QSize(7, 5) }) {
            if (box.isEmpty() || box.width() > scaled.width() || box.height() > scaled.height())
                continue;
            bool fromDcOnly = false;
            QVERIFY2(sameBothWays(jpeg, box, &fromDcOnly),
                qPrintable(QStringLiteral("box %1x%2").arg(box.width()).arg(box.height())));
            QVERIFY(fromDcOnly);
        }
        // At larger scales libjpeg decodes as before.
        if (scaled != size) {
            bool fromDcOnly = true;
            QVERIFY(sameBothWays(jpeg, size, &fromDcOnly));
            QVERIFY(!fromDcOnly);
        }
    }

    void unusualFilesAreLeftToLibjpeg_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        const QString src = source(803, 601, 2);
        const auto cj = [&](const QStringList &options) {
            return run(QStringLiteral("cjpeg"), options + QStringList { src });
        };
        QTest::newRow("progressive") << cj({ "-progressive" });
        QTest::newRow("arithmetic") << cj({ "-arithmetic" });
        QTest::newRow("RGB") << cj({ "-rgb" });
        const QString scans = m_dir.filePath(QStringLiteral("apart.scans"));
        QFile file(scans);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("0;\n1;\n2;\n");
        file.close();
        QTest::newRow("one scan for each component") << cj({ "-scans", scans });
        QTest::newRow("CMYK") << run(
            QStringLiteral("convert"), { src, "-colorspace", "CMYK", "-quality", "80", "jpg:-" });
    }

    void unusualFilesAreLeftToLibjpeg()
    {
        QFETCH(QByteArray, jpeg);
        QVERIFY(jpeg.startsWith("\xFF\xD8"));
        bool fromDcOnly = true;
        QVERIFY(sameBothWays(jpeg, QSize(101, 76), &fromDcOnly));
        QVERIFY(!fromDcOnly);
    }

    // Whatever is wrong with the data, both paths show the same: the DC-only decoder gives
    // up and libjpeg decodes the file from its start.
    void damagedDataLooksAsLibjpegDrawsIt()
    {
        for (const QStringList &options :
            { QStringList { "-sample", "2x2" }, QStringList { "-restart", "2", "-sample", "2x1" },
                QStringList { "-grayscale", "-restart", "5B" } }) {
            const QByteArray jpeg = cjpeg(options, 403, 301, 3);
            QVERIFY(jpeg.size() > 2000);
            const QSize box = eighth(QSize(403, 301));
            const int scan = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
            QVERIFY(scan > 0);
            const int data = scan + 2 + (uchar(jpeg[scan + 2]) << 8 | uchar(jpeg[scan + 3]));
            bool fromDcOnly = false;

            // Cut short: in the middle of the data, just before its end marker, or with no
            // data at all.
            for (const int cut : { data + int(jpeg.size() - data) / 2, int(jpeg.size()) - 2,
                     int(jpeg.size()) - 5, data, data + 1 }) {
                QVERIFY2(sameBothWays(jpeg.left(cut), box, &fromDcOnly),
                    qPrintable(QStringLiteral("cut at %1").arg(cut)));
            }
            QVERIFY(sameBothWays(jpeg.left(jpeg.size() - 2), box, &fromDcOnly));
            QVERIFY2(fromDcOnly, "a file that lacks only its end marker is still plain");

            // A marker in the middle of the data; an unexpected restart marker.
            for (const char *marker : { "\xFF\xE1", "\xFF\xD3", "\xFF\xD9", "\xFF\xC4" }) {
                QByteArray damaged = jpeg;
                damaged.insert(data + int(jpeg.size() - data) / 3, marker, 2);
                QVERIFY(sameBothWays(damaged, box, &fromDcOnly));
                QVERIFY(!fromDcOnly);
            }

            // Fill bytes and stuffed FFs where the data meets its end.
            QByteArray padded = jpeg;
            padded.insert(jpeg.size() - 2, "\xFF\xFF\xFF", 3);
            QVERIFY(sameBothWays(padded, box, &fromDcOnly));
            QVERIFY(fromDcOnly);

            // Single bytes changed throughout the data: bad codes, runs past the block,
            // wild DC values, stray FFs.
            QRandomGenerator random(7);
            for (int i = 0; i < 60; ++i) {
                QByteArray damaged = jpeg;
                const int at = data + int(random.bounded(quint32(jpeg.size() - 2 - data)));
                damaged[at] = char(i % 5 == 0 ? 0xFF : random.bounded(256));
                QVERIFY2(sameBothWays(damaged, box, &fromDcOnly),
                    qPrintable(QStringLiteral("byte %1 changed").arg(at)));
            }
        }
    }

    // Steps far beyond what an encoder makes give values past libjpeg's 16-bit products and
    // its range limit table's clean span: the grey file is still drawn from its DC, the
    // colour one, whose chroma goes through the 2x2 IDCT, is left to libjpeg.
    void extremeCoefficientsLookAsLibjpegDrawsThem()
    {
        const QString table = m_dir.filePath(QStringLiteral("fine.qt"));
        QFile file(table);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 8; ++i)
            file.write("1 1 1 1 1 1 1 1\n");
        file.close();
        for (const bool grey : { true, false }) {
            const QStringList options
                = grey ? QStringList { "-grayscale" } : QStringList { "-sample", "2x2" };
            QByteArray jpeg = cjpeg(options + QStringList { "-qtables", table }, 403, 301, 4);
            QVERIFY(jpeg.startsWith("\xFF\xD8"));
            // Every step of every table made 255 after the data was coded with steps of 1.
            int patched = 0;
            for (int at = jpeg.indexOf(QByteArray("\xFF\xDB", 2)); at > 0;
                 at = jpeg.indexOf(QByteArray("\xFF\xDB", 2), at + 2)) {
                const int length = uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3]);
                for (int t = at + 4; t + 65 <= at + 2 + length; t += 65) {
                    QCOMPARE(uchar(jpeg[t]) >> 4, 0);
                    for (int k = 1; k <= 64; ++k)
                        jpeg[t + k] = char(0xFF);
                    ++patched;
                }
            }
            QCOMPARE(patched, grey ? 1 : 2);
            bool fromDcOnly = !grey;
            QVERIFY(sameBothWays(jpeg, eighth(QSize(403, 301)), &fromDcOnly));
            QCOMPARE(fromDcOnly, grey);
        }
    }
};

QTEST_GUILESS_MAIN(TestJpegDc)
#include "test_jpegdc.moc"
