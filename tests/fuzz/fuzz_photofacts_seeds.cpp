#include "support/photosamples.h"
#include "support/picturesamples.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

// Writes small photo files carrying EXIF, XMP and IPTC in every container the facts reader
// walks into a corpus folder: the fuzzer starts from metadata that parses.

namespace {

bool save(const QDir &corpus, const QString &name, const QByteArray &bytes)
{
    QFile file(corpus.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char **argv)
{
    using namespace samples;
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_photofacts_seeds CORPUS_FOLDER\n");
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    const QByteArray small = qtJpeg(corners(16, 12), 50);
    const QByteArray exif = writeTiff({
        TiffIfd { { tiff::ascii(271, "Canon"), tiff::ascii(272, "EOS"), tiff::shorts(274, { 6 }),
                      tiff::pointer(0x8769, 1), tiff::pointer(0x8825, 2) },
            -1 },
        TiffIfd { { tiff::ascii(0x9003, "2019:06:24 18:30:05"), tiff::ascii(0x9291, "12"),
                      tiff::ascii(0x9011, "-03:00"), tiff::rationals(0x829A, { { 1, 250 } }),
                      tiff::rationals(0x829D, { { 8, 1 } }), tiff::shorts(0x8827, { 200 }),
                      tiff::rationals(0x920A, { { 35, 1 } }), tiff::ascii(0xA434, "EF 50mm") },
            -1 },
        TiffIfd { { tiff::ascii(1, "S"), tiff::rationals(2, { { 23, 1 }, { 33, 1 }, { 1, 1 } }),
                      tiff::ascii(3, "W"), tiff::rationals(4, { { 46, 1 }, { 38, 1 }, { 0, 1 } }),
                      tiff::bytes(5, 1, QByteArray(1, '\0')), tiff::rationals(6, { { 760, 1 } }) },
            -1 },
    });
    const QByteArray xmp = xmpPacket("<dc:subject><rdf:Bag><rdf:li>praia</rdf:li><rdf:li>sol</rdf:li>"
                                     "</rdf:Bag></dc:subject><dc:title><rdf:Alt><rdf:li "
                                     "xml:lang=\"x-default\">Festa</rdf:li></rdf:Alt></dc:title>"
                                     "<xmp:Rating>4</xmp:Rating><xmp:CreateDate>2019-06-24T18:30:05"
                                     "</xmp:CreateDate><exif:GPSLatitude>23,33.03S</exif:GPSLatitude>");
    QByteArray iptc("\x1C\x02\x19\x00\x05praia\x1C\x02\x05\x00\x04Nome", 20);
    QByteArray resource("8BIM\x04\x04\0\0\0\0\0", 11);
    resource.append(char(iptc.size()));
    resource += iptc;
    bool ok = true;
    QByteArray jpeg = withExif(small, exif);
    jpeg = withSegment(jpeg, 0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + xmp);
    jpeg = withSegment(jpeg, 0xED, QByteArray("Photoshop 3.0\0", 14) + resource);
    ok &= save(corpus, "jpeg-exif-xmp-iptc", jpeg);
    ok &= save(corpus, "xmp-packet", xmp);
    ok &= save(corpus, "tiff-exif", exif);
    ok &= save(corpus, "dng", dng(small, 8, 6, 6));

    // Files written by the tools, the way cameras and editors write them.
    QTemporaryDir dir;
    const QString source = dir.filePath("source.jpg");
    {
        QFile f(source);
        ok &= f.open(QIODevice::WriteOnly) && f.write(jpeg) == jpeg.size();
    }
    for (const char *extension : { "webp", "png", "tif" }) {
        const QString path = dir.filePath(QStringLiteral("tool.%1").arg(QLatin1String(extension)));
        if (convert(source, path) && exiftool(path, { "-Make=Nikon", "-Orientation=8", "-XMP-dc:Subject=rua" }))
            ok &= save(corpus, QStringLiteral("tool-%1").arg(QLatin1String(extension)), readAll(path));
    }
    for (const char *extension : { "heic", "avif" }) {
        const QString path = dir.filePath(QStringLiteral("tool.%1").arg(QLatin1String(extension)));
        if (heifEnc(source, path, 8))
            ok &= save(corpus, QStringLiteral("tool-%1").arg(QLatin1String(extension)), readAll(path));
    }
    if (!ok) {
        std::fprintf(stderr, "fuzz_photofacts_seeds: could not write the seeds\n");
        return 1;
    }
    return 0;
}
