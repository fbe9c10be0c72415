#include "intake/metadatablocks.h"
#include "intake/photofacts.h"
#include "intake/photofactsreader.h"
#include "intake/picturereview.h"
#include "intake/xmpfilter.h"
#include "support/photosamples.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace samples;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

TakenTime taken(int y, int mo, int d, int h, int mi, int s, int ms = -1,
    std::optional<int> offset = std::nullopt)
{
    TakenTime t;
    t.date = QDate(y, mo, d);
    t.time = QTime(h, mi, s, std::max(ms, 0));
    t.hasSubSeconds = ms >= 0;
    t.offsetMinutes = offset;
    return t;
}

// An EXIF block with IFD0, the EXIF IFD and the GPS IFD holding the given entries.
QByteArray exifBlock(std::vector<TiffEntry> ifd0, std::vector<TiffEntry> exif = {},
    std::vector<TiffEntry> gps = {})
{
    std::vector<TiffIfd> ifds(1);
    ifds[0].entries = std::move(ifd0);
    if (!exif.empty()) {
        ifds[0].entries.push_back(tiff::pointer(0x8769, int(ifds.size())));
        ifds.push_back(TiffIfd { std::move(exif), -1 });
    }
    if (!gps.empty()) {
        ifds[0].entries.push_back(tiff::pointer(0x8825, int(ifds.size())));
        ifds.push_back(TiffIfd { std::move(gps), -1 });
    }
    return writeTiff(ifds);
}

PhotoFacts factsOfJpegWith(const QByteArray &tiffBlock)
{
    return PhotoFactsReader::read(withExif(jpeg(64, 48), tiffBlock));
}

} // namespace

class TestPhotoFacts : public QObject {
    Q_OBJECT
private slots:
    void everyFactOfAPhotoAsExiftoolWritesIt()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("festa.jpg");
        QVERIFY(writeFile(path, jpeg(400, 300)));
        QString output;
        QVERIFY2(exiftool(path,
                     { "-DateTimeOriginal=2019:06:24 18:30:05", "-SubSecTimeOriginal=12",
                         "-OffsetTimeOriginal=-03:00", "-DateTimeDigitized=2020:01:01 00:00:00",
                         "-ModifyDate=2021:01:01 00:00:00", "-Make=Canon ",
                         "-Model=Canon EOS 80D", "-LensModel=EF-S18-55mm f/3.5-5.6 IS STM",
                         "-ExposureTime=0.004", "-FNumber=8", "-ISO=200", "-FocalLength=35",
                         "-Orientation=6", "-GPSLatitude=23.5505", "-GPSLatitudeRef=S",
                         "-GPSLongitude=46.6333", "-GPSLongitudeRef=W", "-GPSAltitude=760",
                         "-GPSAltitudeRef=0", "-XMP-dc:Title=São João na roça",
                         "-XMP-dc:Subject=São João", "-XMP-dc:Subject=forró",
                         "-IPTC:Keywords=quadrilha", "-IPTC:Keywords=são joão",
                         "-IPTC:CodedCharacterSet=UTF8", "-XMP-xmp:Rating=4" },
                     &output),
            qPrintable(output));

        const PhotoFacts facts = PhotoFactsReader::read(path);
        QVERIFY(facts.taken);
        QCOMPARE(*facts.taken, taken(2019, 6, 24, 18, 30, 5, 120, -180));
        QCOMPARE(facts.taken->isoText(), QStringLiteral("2019-06-24T18:30:05.120-03:00"));
        QCOMPARE(facts.make, QStringLiteral("Canon"));
        QCOMPARE(facts.model, QStringLiteral("Canon EOS 80D"));
        QCOMPARE(facts.lens, QStringLiteral("EF-S18-55mm f/3.5-5.6 IS STM"));
        QCOMPARE(PhotoFacts::exposureText(*facts.exposureSeconds), QStringLiteral("1/250"));
        QCOMPARE(facts.fNumber, 8.0);
        QCOMPARE(facts.iso, 200);
        QCOMPARE(facts.focalLengthMm, 35.0);
        QCOMPARE(facts.orientation, 6);
        QVERIFY(std::abs(*facts.latitude - -23.5505) < 1e-5);
        QVERIFY(std::abs(*facts.longitude - -46.6333) < 1e-5);
        QCOMPARE(facts.altitudeMetres, 760.0);
        QCOMPARE(facts.title, QStringLiteral("São João na roça"));
        // XMP first, then IPTC; the same keyword in other letter case once.
        QCOMPARE(facts.keywords, QStringList({ "São João", "forró", "quadrilha" }));
        QCOMPARE(facts.rating, 4);

        // The same file given whole in memory, or already open, says the same.
        QCOMPARE(PhotoFactsReader::read(readFile(path)), facts);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        file.seek(1000);
        QCOMPARE(PhotoFactsReader::read(file), facts);
    }

    void takenIsTheShotNeverTheFileTime_data()
    {
        QTest::addColumn<QStringList>("assignments");
        QTest::addColumn<QString>("iso");
        QTest::newRow("original without sub-seconds or offset")
            << QStringList { "-DateTimeOriginal=2018:12:31 23:59:58" }
            << "2018-12-31T23:59:58";
        QTest::newRow("digitised when there is no original")
            << QStringList { "-ExifIFD:CreateDate=2017:03:04 05:06:07", "-SubSecTimeDigitized=5",
                   "-OffsetTimeDigitized=+01:00" }
            << "2017-03-04T05:06:07.500+01:00";
        QTest::newRow("XMP creation date")
            << QStringList { "-XMP-xmp:CreateDate=2016:02:29 12:00:00-02:00" }
            << "2016-02-29T12:00:00-02:00";
        QTest::newRow("original before digitised and XMP")
            << QStringList { "-XMP-xmp:CreateDate=2016:02:29 12:00:00",
                   "-DateTimeDigitized=2017:03:04 05:06:07", "-DateTimeOriginal=2015:01:02 03:04:05" }
            << "2015-01-02T03:04:05";
        QTest::newRow("modification date and file time are not the shot")
            << QStringList { "-ModifyDate=2021:01:01 00:00:00", "-FileModifyDate=2020:05:05 05:05:05" }
            << "";
        QTest::newRow("a blank date is none")
            << QStringList { "-DateTimeOriginal=0000:00:00 00:00:00" } << "";
    }

    void takenIsTheShotNeverTheFileTime()
    {
        QFETCH(QStringList, assignments);
        QFETCH(QString, iso);
        QTemporaryDir dir;
        const QString path = dir.filePath("p.jpg");
        QVERIFY(writeFile(path, jpeg(64, 48)));
        QString output;
        QVERIFY2(exiftool(path, assignments, &output), qPrintable(output));
        const PhotoFacts facts = PhotoFactsReader::read(path);
        QCOMPARE(facts.taken ? facts.taken->isoText() : QString(), iso);
    }

    void valuesAsCamerasReallyWriteThem()
    {
        // APEX shutter and aperture instead of their plain values; seconds of 0/0; a receiver
        // without a fix; the description the camera fills in itself; a rejected picture.
        const PhotoFacts facts = factsOfJpegWith(exifBlock(
            { tiff::ascii(271, "OLYMPUS IMAGING CORP.  "), tiff::ascii(272, "E-M10"),
                tiff::ascii(270, "OLYMPUS DIGITAL CAMERA         "),
                tiff::shorts(274, { 3 }) },
            { tiff::srationals(0x9201, { { 8, 1 } }), tiff::rationals(0x9202, { { 6, 1 } }),
                tiff::shorts(0x8827, { 1600 }) },
            { tiff::ascii(1, "N"), tiff::rationals(2, { { 10, 1 }, { 30, 1 }, { 0, 0 } }),
                tiff::ascii(3, "E"), tiff::rationals(4, { { 20, 1 }, { 15, 1 }, { 0, 0 } }) }));
        QCOMPARE(facts.make, QStringLiteral("OLYMPUS IMAGING CORP."));
        QCOMPARE(PhotoFacts::exposureText(*facts.exposureSeconds), QStringLiteral("1/256"));
        QCOMPARE(facts.fNumber, 8.0);
        QCOMPARE(facts.iso, 1600);
        QCOMPARE(facts.orientation, 3);
        QCOMPARE(facts.latitude, 10.5);
        QCOMPARE(facts.longitude, 20.25);
        QVERIFY(facts.title.isEmpty());

        const PhotoFacts nowhere = factsOfJpegWith(exifBlock({ tiff::ascii(271, "X") }, {},
            { tiff::ascii(1, "N"), tiff::rationals(2, { { 0, 1 }, { 0, 1 }, { 0, 1 } }),
                tiff::ascii(3, "E"), tiff::rationals(4, { { 0, 1 }, { 0, 1 }, { 0, 1 } }) }));
        QVERIFY(!nowhere.latitude && !nowhere.longitude);

        const QByteArray rejected
            = withSegment(jpeg(64, 48), 0xE1,
                QByteArray("http://ns.adobe.com/xap/1.0/\0", 29)
                    + xmpPacket("<xmp:Rating>-1</xmp:Rating>"));
        QVERIFY(!PhotoFactsReader::read(rejected).rating);
    }

    void iptcTextInLatin1AndXmpInAttributes()
    {
        // Older writers store IPTC in Latin-1; Lightroom writes simple XMP properties as
        // attributes of the description.
        QByteArray iptc;
        for (const QByteArray &keyword : { QByteArray("S\xE3o Jo\xE3o"), QByteArray("festa") }) {
            iptc += QByteArray("\x1C\x02\x19", 3);
            iptc.append(char(keyword.size() >> 8)).append(char(keyword.size() & 0xFF));
            iptc += keyword;
        }
        QByteArray resource("8BIM\x04\x04\0\0", 8);
        resource.append(char(0)).append(char(0)).append(char(iptc.size() >> 8)).append(char(iptc.size()));
        resource += iptc;
        if (resource.size() & 1)
            resource.append('\0');
        QByteArray picture = withSegment(jpeg(64, 48), 0xED, QByteArray("Photoshop 3.0\0", 14) + resource);
        const QByteArray packet = QByteArray("<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
                                             "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                                             "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                                             "<rdf:Description rdf:about=\"\" "
                                             "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
                                             "xmlns:crs=\"http://ns.adobe.com/camera-raw-settings/1.0/\" "
                                             "xmp:Rating=\"5\" crs:Exposure2012=\"+0.50\"/>"
                                             "<rdf:Description rdf:about=\"\" "
                                             "xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" "
                                             "tiff:Make=\"Nikon\"><tiff:Model>D750</tiff:Model>"
                                             "</rdf:Description></rdf:RDF></x:xmpmeta>"
                                             "<?xpacket end=\"w\"?>");
        picture = withSegment(picture, 0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + packet);
        const PhotoFacts facts = PhotoFactsReader::read(picture);
        QCOMPARE(facts.keywords, QStringList({ "São João", "festa" }));
        QCOMPARE(facts.rating, 5);
        QCOMPARE(facts.make, QStringLiteral("Nikon"));
        QCOMPARE(facts.model, QStringLiteral("D750"));
    }

    void textsOfTheFacts()
    {
        QCOMPARE(PhotoFacts::exposureText(1.0 / 250), QStringLiteral("1/250"));
        QCOMPARE(PhotoFacts::exposureText(0.5), QStringLiteral("1/2"));
        QCOMPARE(PhotoFacts::exposureText(0.3), QStringLiteral("0.3"));
        QCOMPARE(PhotoFacts::exposureText(2), QStringLiteral("2"));
        QCOMPARE(PhotoFacts::exposureText(30), QStringLiteral("30"));
        QCOMPARE(PhotoFacts::exposureText(0), QString());
        QCOMPARE(taken(2020, 2, 29, 7, 8, 9).isoText(), QStringLiteral("2020-02-29T07:08:09"));
        QCOMPARE(taken(2020, 2, 29, 7, 8, 9, 5, 330).isoText(),
            QStringLiteral("2020-02-29T07:08:09.005+05:30"));
        QCOMPARE(taken(2020, 2, 29, 7, 8, 9, -1, 0).isoText(),
            QStringLiteral("2020-02-29T07:08:09+00:00"));
    }

    void xmpFilterKeepsOnlyWhatIsRead()
    {
        QByteArray keywords;
        for (int i = 0; i < 1000; ++i)
            keywords += "<rdf:li>k" + QByteArray::number(i) + "</rdf:li>";
        const QByteArray packet = xmpPacket(
            "<dc:subject><rdf:Bag>" + keywords + "</rdf:Bag></dc:subject>"
            "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Praia</rdf:li></rdf:Alt></dc:title>"
            "<xmp:History>" + QByteArray(5000, 'h') + "</xmp:History>"
            "<tiff:Make><a><b><c><d><e><f><g><h><i><j>deep</j></i></h></g></f></e></d></c></b></a>"
            "</tiff:Make>");
        const QList<QByteArray> properties = XmpFilter::filter(packet);
        QCOMPARE(properties.size(), 3); // subject, title, and the make, flattened
        const QByteArray filtered = properties.join();
        QVERIFY(!filtered.contains("History"));
        QVERIFY(!filtered.contains("deep"));
        QCOMPARE(filtered.count("<rdf:li>"), XmpFilter::kMaxItems);
        QVERIFY(filtered.contains("Praia"));
        QVERIFY(filtered.contains("xml:lang=\"x-default\""));

        const PhotoFacts facts = PhotoFactsReader::read(withSegment(jpeg(64, 48), 0xE1,
            QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + packet));
        QCOMPARE(facts.title, QStringLiteral("Praia"));
        QCOMPARE(facts.keywords.size(), PhotoFactsReader::kMaxKeywords);
        QCOMPARE(facts.keywords.first(), QStringLiteral("k0"));

        QVERIFY(XmpFilter::filter(xmpPacket("<xmp:Rating>1</xmp:Rating>" + QByteArray(XmpFilter::kMaxPacketBytes, ' '))).isEmpty());
        QVERIFY(XmpFilter::filter("<notxmp/>").isEmpty());
        QVERIFY(XmpFilter::filter(xmpPacket("<dc:creator>Ana</dc:creator>")).isEmpty());
        // A property said in two descriptions is kept once (twice, the toolkit would refuse
        // the whole packet).
        const QByteArray twice = QByteArray("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                                            "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
                                            "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">"
                                            "<rdf:Description xmp:Rating=\"2\"/>"
                                            "<rdf:Description><xmp:Rating>3</xmp:Rating></rdf:Description>"
                                            "</rdf:RDF></x:xmpmeta>");
        QCOMPARE(XmpFilter::filter(twice).size(), 1);
        QCOMPARE(PhotoFactsReader::read(withSegment(jpeg(64, 48), 0xE1,
                                            QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + twice))
                     .rating,
            2);
    }

    // ---- hostile metadata: each returns, with what can be read of it ----

    void directoryLoopsAndPointersBack()
    {
        std::vector<TiffIfd> ifds(2);
        ifds[0].entries = { tiff::ascii(271, "Loop"), tiff::pointer(0x8769, 1) };
        ifds[0].next = 0; // IFD0 follows itself
        ifds[1].entries = { tiff::pointer(0x8769, 0), tiff::pointer(0x8825, 1),
            tiff::rationals(0x829A, { { 1, 60 } }) };
        ifds[1].next = 1;
        const PhotoFacts facts = factsOfJpegWith(writeTiff(ifds));
        QVERIFY(facts.make.isEmpty() || facts.make == QLatin1String("Loop"));
        QVERIFY(!facts.exposureSeconds || *facts.exposureSeconds == 1.0 / 60);
    }

    void countsFarBeyondTheData()
    {
        TiffEntry huge = tiff::longs(0x8827, { 1 });
        huge.count = 0x3FFFFFFF;
        huge.forcedOffset = 0x7FFFFFF0;
        TiffEntry longText = tiff::ascii(272, "M");
        longText.count = 0xFFFFFFFF;
        longText.forcedOffset = 12;
        TiffEntry manyRationals = tiff::rationals(0x829D, { { 8, 1 } });
        manyRationals.count = 0x10000000;
        manyRationals.forcedOffset = 8;
        const PhotoFacts facts = factsOfJpegWith(
            exifBlock({ tiff::ascii(271, "Counted"), longText }, { huge, manyRationals }));
        QVERIFY(!facts.iso);
        QVERIFY(facts.make.isEmpty() || facts.make == QLatin1String("Counted"));
    }

    void valuesOfTheWrongType()
    {
        const PhotoFacts facts = factsOfJpegWith(exifBlock(
            { tiff::ascii(274, "6"), tiff::shorts(271, { 1, 2, 3 }), tiff::ascii(0x4746, "five") },
            { tiff::shorts(0x9003, { 2019, 6 }), tiff::ascii(0x829A, "1/250"),
                tiff::ascii(0x829D, "f8"), tiff::ascii(0x9011, "-03:00") },
            { tiff::ascii(2, "23.5"), tiff::shorts(4, { 46, 37 }), tiff::ascii(6, "high") }));
        QVERIFY(!facts.orientation);
        QVERIFY(facts.make.isEmpty());
        QVERIFY(!facts.rating);
        QVERIFY(!facts.taken);
        QVERIFY(!facts.exposureSeconds);
        QVERIFY(!facts.fNumber);
        QVERIFY(!facts.latitude && !facts.longitude && !facts.altitudeMetres);

        // Out of range: an orientation of 9, a rating of 7, a latitude past the pole.
        const PhotoFacts odd = factsOfJpegWith(exifBlock(
            { tiff::shorts(274, { 9 }), tiff::shorts(0x4746, { 7 }) }, {},
            { tiff::ascii(1, "N"), tiff::rationals(2, { { 95, 1 } }), tiff::ascii(3, "E"),
                tiff::rationals(4, { { 10, 1 } }) }));
        QVERIFY(!odd.orientation);
        QVERIFY(!odd.rating);
        QVERIFY(!odd.latitude);
    }

    void xmpPacketsOfTenMegabytes_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("TIFF") << "tif";
        QTest::newRow("WebP") << "webp";
        QTest::newRow("PNG") << "png";
    }

    void xmpPacketsOfTenMegabytes()
    {
        QFETCH(QString, format);
        QTemporaryDir dir;
        const QString path = dir.filePath("big." + format);
        QVERIFY(writeFile(path, encoded(corners(200, 150), format == "tif" ? "tiff" : qPrintable(format))));
        // Half a million keywords, and ten megabytes of one description.
        QByteArray keywords;
        for (int i = 0; i < 500000; ++i)
            keywords += "<rdf:li>k" + QByteArray::number(i) + "</rdf:li>";
        const QString bag = dir.filePath("bag.xmp");
        QVERIFY(writeFile(bag, xmpPacket("<dc:subject><rdf:Bag>" + keywords + "</rdf:Bag></dc:subject>"
                                         "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">"
                                         + QByteArray(10'000'000, 'a')
                                         + "</rdf:li></rdf:Alt></dc:description>")));
        QString output;
        QVERIFY2(exiftool(path, { "-Make=Sane", "-Orientation=6", "-XMP<=" + bag }, &output),
            qPrintable(output));
        QVERIFY(QFileInfo(path).size() > 10'000'000);

        const PhotoFacts facts = PhotoFactsReader::read(path);
        // EXIF stays readable beside the packet left unread.
        QCOMPARE(facts.make, QStringLiteral("Sane"));
        QCOMPARE(facts.orientation, 6);
        QVERIFY(facts.keywords.isEmpty());
        QVERIFY(facts.title.isEmpty());
        QCOMPARE(PhotoFactsReader::read(readFile(path)), facts);

        // The picture itself is drawn, upright.
        PictureReview::Picture picture { path, format, dir.filePath("t.jpg") };
        const PictureReview::Result result = PictureReview::examine(picture, QSize(135, 135), true);
        QCOMPARE(result.outcome, PictureReview::Outcome::Larger);
        QCOMPARE(result.size, QSize(150, 200));
    }

    void xmpSegmentsThatWouldCostTheToolkitSeconds()
    {
        // A JPEG segment holds at most 64 KB, yet 3,000 sibling properties or a nesting
        // thousands deep cost the XMP toolkit dearly (or its stack).
        QByteArray siblings;
        for (int i = 0; siblings.size() < 60000; ++i)
            siblings += "<dc:p" + QByteArray::number(i) + ">v</dc:p" + QByteArray::number(i) + ">";
        QByteArray nested = "<dc:title>";
        for (int i = 0; nested.size() < 30000; ++i)
            nested += "<a>";
        nested += "x";
        for (int i = 0; nested.size() < 60000; ++i)
            nested += "</a>";
        for (const QByteArray &body :
            { siblings + "<xmp:Rating>3</xmp:Rating>", nested, QByteArray(60000, '<') }) {
            const QByteArray picture = withSegment(withExif(jpeg(64, 48), exifBlock({ tiff::ascii(271, "Kept") })),
                0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + xmpPacket(body));
            const PhotoFacts facts = PhotoFactsReader::read(picture);
            QCOMPARE(facts.make, QStringLiteral("Kept"));
            QVERIFY(!facts.rating || facts.rating == 3);
        }
    }

    void truncatedAndGarbledContainers()
    {
        const QByteArray good = withExif(jpeg(64, 48), exifBlock({ tiff::ascii(271, "Cut") }));
        // Cut before the make's entry is whole.
        for (qsizetype cut : { 3, 10, 20, 30 })
            QVERIFY(PhotoFactsReader::read(good.left(cut)).make.isEmpty());
        // A segment length running past the end, and one of zero.
        QByteArray past = good;
        past[4] = char(0xFF);
        past[5] = char(0xFF);
        PhotoFactsReader::read(past);
        QByteArray zero = good;
        zero[4] = 0;
        zero[5] = 0;
        PhotoFactsReader::read(zero);
        // Containers named but empty inside.
        for (const QByteArray &bytes : { QByteArray("RIFF\xFF\xFF\xFF\xFFWEBPEXIF\xFF\xFF\xFF\x7F", 20),
                 QByteArray("\x89PNG\r\n\x1A\n\xFF\xFF\xFF\xF0iTXt", 16),
                 QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24),
                 QByteArray("II*\0\x08\0\0\0\xFF\xFF", 10), QByteArray("FUJIFILMCCD-RAW 0201", 20) })
            QVERIFY(PhotoFactsReader::read(bytes).isEmpty());
    }

    void aPictureThatCannotBeDrawnStillHasItsFacts()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("damaged.jpg");
        // Its headers and metadata, and nothing of its picture.
        const QByteArray whole = withExif(jpeg(640, 480),
            exifBlock({ tiff::ascii(271, "Nikon"), tiff::ascii(272, "D90") },
                { tiff::ascii(0x9003, "2010:10:10 10:10:10") }));
        QVERIFY(writeFile(path, whole.left(whole.indexOf(QByteArray("\xFF\xDB", 2)))));
        const PictureReview::Result result = PictureReview::examine(
            { path, QStringLiteral("jpg"), dir.filePath("t.jpg") }, QSize(135, 135), true);
        QCOMPARE(result.outcome, PictureReview::Outcome::NotDrawn);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(result.facts.make, QStringLiteral("Nikon"));
        QVERIFY(result.facts.taken);
        QCOMPARE(*result.facts.taken, taken(2010, 10, 10, 10, 10, 10));
    }
};

QTEST_GUILESS_MAIN(TestPhotoFacts)
#include "test_photofacts.moc"
