#include "intake/photofactsreader.h"

#include "intake/exiv2setup.h"
#include "intake/heifpicture.h"
#include "intake/metadatablocks.h"
#include "intake/picturecontainer.h"
#include "intake/picturefile.h"
#include "intake/scannames.h"
#include "intake/xmpfilter.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>

#include <exiv2/exiv2.hpp>

#include <cmath>

namespace {

struct Metadata {
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    Exiv2::XmpData xmp;
};

const Exiv2::byte *bytesOf(const QByteArray &data)
{
    return reinterpret_cast<const Exiv2::byte *>(data.constData());
}

void decodeExif(Metadata &m, const QByteArray &exif)
{
    if (exif.isEmpty() || exif.size() > MetadataBlocks::kMaxExifBytes)
        return;
    try {
        Exiv2::ExifParser::decode(m.exif, bytesOf(exif), uint32_t(exif.size()));
    } catch (...) {
        // What was decoded before the fault stays.
    }
}

void decodeXmp(Metadata &m, const QByteArray &packet)
{
    for (const QByteArray &property : XmpFilter::filter(packet)) {
        try {
            Exiv2::XmpData one;
            if (Exiv2::XmpParser::decode(one, property.toStdString()) == 0)
                for (const Exiv2::Xmpdatum &datum : one)
                    m.xmp.add(datum);
        } catch (...) {
        }
    }
}

void decodePhotoshop(Metadata &m, const QByteArray &resources)
{
    if (resources.isEmpty() || resources.size() > MetadataBlocks::kMaxPhotoshopBytes)
        return;
    try {
        const Exiv2::byte *record = nullptr;
        uint32_t header = 0;
        uint32_t size = 0;
        if (Exiv2::Photoshop::locateIptcIrb(
                bytesOf(resources), long(resources.size()), &record, &header, &size)
                == 0
            && record) {
            const qint64 start = record + header - bytesOf(resources);
            if (start >= 0 && start <= resources.size() && size <= resources.size() - start)
                Exiv2::IptcParser::decode(m.iptc, record + header, size);
        }
    } catch (...) {
    }
}

Metadata decodeBlocks(const MetadataBlocks &blocks)
{
    Exiv2Setup::prepare();
    Metadata m;
    decodeExif(m, blocks.exif);
    decodeXmp(m, blocks.xmp);
    decodePhotoshop(m, blocks.photoshop);
    return m;
}

// A TIFF-like or ISO media file that Exiv2 reads whole, its XMP packet hidden from Exiv2 and
// decoded filtered. `data` is writable and private to this read.
Metadata decodeWhole(uchar *data, qint64 size, PictureContainer::Kind kind)
{
    Exiv2Setup::prepare();
    Metadata m;
    const EmbeddedXmp xmp = kind == PictureContainer::Kind::Cr3
        ? EmbeddedXmp::inIsoMedia(data, size)
        : EmbeddedXmp::inTiff(data, size);
    QByteArray packet;
    if (xmp.length > 0 && xmp.length <= XmpFilter::kMaxPacketBytes)
        packet = QByteArray(reinterpret_cast<const char *>(data + xmp.offset), xmp.length);
    xmp.neutralise(data);
    std::unique_ptr<Exiv2::Image> image;
    try {
        image = Exiv2Setup::openImage(data, size);
        if (image)
            image->readMetadata();
    } catch (...) {
        // What was decoded before the fault stays.
    }
    try {
        if (image) {
            m.exif = image->exifData();
            m.iptc = image->iptcData();
        }
    } catch (...) {
    }
    decodeXmp(m, packet);
    return m;
}

// ---- values ----

bool isIntegerType(Exiv2::TypeId type)
{
    switch (type) {
    case Exiv2::unsignedByte:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::signedByte:
    case Exiv2::signedShort:
    case Exiv2::signedLong: return true;
    default: return false;
    }
}

// "1/250", "8", "-0.5", as a number; none when it is not one, or divides by zero.
std::optional<double> parseNumber(const QString &text)
{
    const QString t = text.trimmed();
    const qsizetype slash = t.indexOf(QLatin1Char('/'));
    bool ok = false;
    if (slash < 0) {
        const double value = t.toDouble(&ok);
        return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    }
    const double num = t.left(slash).toDouble(&ok);
    if (!ok)
        return std::nullopt;
    const double den = t.mid(slash + 1).toDouble(&ok);
    if (!ok || den == 0 || !std::isfinite(num / den))
        return std::nullopt;
    return num / den;
}

// The n-th value of a numeric datum (rational, integer, float, or XMP text of one).
std::optional<double> number(const Exiv2::Metadatum &datum, long n = 0)
{
    if (n >= datum.count())
        return std::nullopt;
    const Exiv2::TypeId type = datum.typeId();
    if (isIntegerType(type))
        return double(datum.toLong(n));
    if (type == Exiv2::tiffFloat || type == Exiv2::tiffDouble) {
        const double value = datum.toFloat(n);
        return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    }
    // Printed as "num/den" whatever the signedness, without Exiv2's conversions.
    if (type == Exiv2::unsignedRational || type == Exiv2::signedRational
        || type == Exiv2::xmpText)
        return parseNumber(QString::fromStdString(datum.toString(n)));
    return std::nullopt;
}

std::optional<double> number(const Exiv2::ExifData &exif, const char *key, long n = 0)
{
    try {
        const auto it = exif.findKey(Exiv2::ExifKey(key));
        if (it != exif.end())
            return number(*it, n);
    } catch (...) {
    }
    return std::nullopt;
}

std::optional<double> number(const Exiv2::XmpData &xmp, const char *key)
{
    try {
        const auto it = xmp.findKey(Exiv2::XmpKey(key));
        if (it != xmp.end())
            return number(*it);
    } catch (...) {
    }
    return std::nullopt;
}

// Text from a file: UTF-8 when it is valid UTF-8, otherwise Latin-1 (older cameras and IPTC
// writers); padding and control characters dropped, cut to a sane length.
QString fileText(const std::string &bytes)
{
    std::string s = bytes;
    const auto nul = s.find('\0');
    if (nul != std::string::npos)
        s.resize(nul);
    QString text = scannames::isValidUtf8(s.data(), s.size()) ? QString::fromStdString(s)
                                                                : QString::fromLatin1(s.data(), qsizetype(s.size()));
    for (QChar &c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    text = text.simplified();
    if (text.size() > PhotoFactsReader::kMaxTextChars)
        text.truncate(PhotoFactsReader::kMaxTextChars);
    return text;
}

QString asciiText(const Exiv2::ExifData &exif, const char *key)
{
    try {
        const auto it = exif.findKey(Exiv2::ExifKey(key));
        if (it != exif.end() && it->typeId() == Exiv2::asciiString)
            return fileText(it->toString());
    } catch (...) {
    }
    return QString();
}

// A simple XMP text, or the default language of a language alternative.
QString xmpText(const Exiv2::XmpData &xmp, const char *key)
{
    try {
        const auto it = xmp.findKey(Exiv2::XmpKey(key));
        if (it == xmp.end())
            return QString();
        if (it->typeId() == Exiv2::xmpText)
            return fileText(it->toString());
        if (it->typeId() == Exiv2::langAlt) {
            const auto &alt = static_cast<const Exiv2::LangAltValue &>(it->value());
            const auto def = alt.value_.find("x-default");
            if (def != alt.value_.end())
                return fileText(def->second);
            if (!alt.value_.empty())
                return fileText(alt.value_.begin()->second);
        }
    } catch (...) {
    }
    return QString();
}

// ---- dates ----

std::optional<int> parseOffset(QStringView text)
{
    static const QRegularExpression kOffset(QStringLiteral("^([+-])(\\d{2}):?(\\d{2})$"));
    const QString t = text.trimmed().toString();
    if (t == QLatin1String("Z"))
        return 0;
    const QRegularExpressionMatch m = kOffset.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    const int minutes = m.captured(2).toInt() * 60 + m.captured(3).toInt();
    if (m.captured(3).toInt() >= 60 || minutes > 14 * 60)
        return std::nullopt;
    return m.captured(1) == QLatin1String("-") ? -minutes : minutes;
}

// Digits of a fraction of a second ("12" is 120 ms).
std::optional<int> parseSubSeconds(QStringView text)
{
    const QString t = text.trimmed().toString();
    if (t.isEmpty())
        return std::nullopt;
    for (QChar c : t)
        if (!c.isDigit() || c.unicode() > 127)
            return std::nullopt;
    return (t + QStringLiteral("00")).left(3).toInt();
}

// EXIF "2019:06:24 18:30:05" (and its sloppier forms), XMP "2019-06-24T18:30:05.12-03:00".
// A date alone is taken at midnight; a year or a month alone is no date.
std::optional<TakenTime> parseDateTime(const QString &text)
{
    static const QRegularExpression kDate(QStringLiteral(
        "^(\\d{4})[:-](\\d{2})[:-](\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d+))?)?)?"
        "\\s*(Z|[+-]\\d{2}:?\\d{2})?$"));
    const QRegularExpressionMatch m = kDate.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    TakenTime t;
    t.date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    int ms = 0;
    if (!m.captured(7).isEmpty()) {
        ms = parseSubSeconds(m.captured(7)).value_or(0);
        t.hasSubSeconds = true;
    }
    t.time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), ms);
    if (!m.captured(8).isEmpty())
        t.offsetMinutes = parseOffset(m.captured(8));
    if (!t.isValid() || t.date.year() < 1800)
        return std::nullopt;
    return t;
}

std::optional<TakenTime> exifDateTime(
    const Exiv2::ExifData &exif, const char *dateKey, const char *subSecKey, const char *offsetKey)
{
    const QString date = asciiText(exif, dateKey);
    std::optional<TakenTime> t = parseDateTime(date);
    if (!t)
        return std::nullopt;
    if (!t->hasSubSeconds) {
        if (const auto ms = parseSubSeconds(asciiText(exif, subSecKey))) {
            t->time = t->time.addMSecs(*ms);
            t->hasSubSeconds = true;
        }
    }
    if (!t->offsetMinutes)
        t->offsetMinutes = parseOffset(asciiText(exif, offsetKey));
    return t;
}

std::optional<TakenTime> takenTime(const Metadata &m)
{
    if (auto t = exifDateTime(m.exif, "Exif.Photo.DateTimeOriginal", "Exif.Photo.SubSecTimeOriginal",
            "Exif.Photo.OffsetTimeOriginal"))
        return t;
    for (const char *key : { "Xmp.exif.DateTimeOriginal", "Xmp.photoshop.DateCreated" })
        if (auto t = parseDateTime(xmpText(m.xmp, key)))
            return t;
    if (auto t = exifDateTime(m.exif, "Exif.Photo.DateTimeDigitized",
            "Exif.Photo.SubSecTimeDigitized", "Exif.Photo.OffsetTimeDigitized"))
        return t;
    for (const char *key : { "Xmp.xmp.CreateDate", "Xmp.exif.DateTimeDigitized" })
        if (auto t = parseDateTime(xmpText(m.xmp, key)))
            return t;
    return std::nullopt;
}

// ---- position ----

// EXIF degrees, minutes and seconds, as three rationals.
std::optional<double> exifDegrees(const Exiv2::ExifData &exif, const char *key)
{
    try {
        const auto it = exif.findKey(Exiv2::ExifKey(key));
        if (it == exif.end() || it->count() < 1)
            return std::nullopt;
        double degrees = 0;
        double unit = 1;
        for (long i = 0; i < std::min<long>(3, it->count()); ++i, unit *= 60) {
            const std::optional<double> part = number(*it, i);
            // 0/0 for seconds is common and means none.
            if (!part) {
                if (i > 0 && QString::fromStdString(it->toString(i)).startsWith(QLatin1String("0/")))
                    continue;
                return std::nullopt;
            }
            degrees += *part / unit;
        }
        return degrees;
    } catch (...) {
        return std::nullopt;
    }
}

// XMP "23,33.03S" or "23,33,18S".
std::optional<double> xmpDegrees(const QString &text)
{
    static const QRegularExpression kCoordinate(
        QStringLiteral("^(\\d{1,3}),(\\d{1,2}(?:\\.\\d+)?)(?:,(\\d{1,2}(?:\\.\\d+)?))?([NSEW])$"));
    const QRegularExpressionMatch m = kCoordinate.match(text.trimmed().toUpper());
    if (!m.hasMatch())
        return std::nullopt;
    double degrees = m.captured(1).toDouble() + m.captured(2).toDouble() / 60
        + m.captured(3).toDouble() / 3600;
    if (m.captured(4) == QLatin1String("S") || m.captured(4) == QLatin1String("W"))
        degrees = -degrees;
    return degrees;
}

void position(const Metadata &m, PhotoFacts &facts)
{
    std::optional<double> lat = exifDegrees(m.exif, "Exif.GPSInfo.GPSLatitude");
    std::optional<double> lon = exifDegrees(m.exif, "Exif.GPSInfo.GPSLongitude");
    if (lat && lon) {
        if (asciiText(m.exif, "Exif.GPSInfo.GPSLatitudeRef").startsWith(QLatin1Char('S')))
            *lat = -*lat;
        if (asciiText(m.exif, "Exif.GPSInfo.GPSLongitudeRef").startsWith(QLatin1Char('W')))
            *lon = -*lon;
    } else {
        lat = xmpDegrees(xmpText(m.xmp, "Xmp.exif.GPSLatitude"));
        lon = xmpDegrees(xmpText(m.xmp, "Xmp.exif.GPSLongitude"));
    }
    // A receiver without a fix writes zeros.
    if (lat && lon && std::abs(*lat) <= 90 && std::abs(*lon) <= 180 && (*lat != 0 || *lon != 0)) {
        facts.latitude = *lat;
        facts.longitude = *lon;
    }
    std::optional<double> altitude = number(m.exif, "Exif.GPSInfo.GPSAltitude");
    std::optional<double> below = number(m.exif, "Exif.GPSInfo.GPSAltitudeRef");
    if (!altitude) {
        altitude = number(m.xmp, "Xmp.exif.GPSAltitude");
        below = number(m.xmp, "Xmp.exif.GPSAltitudeRef");
    }
    if (altitude && std::abs(*altitude) < 100000)
        facts.altitudeMetres = below && *below == 1 ? -*altitude : *altitude;
}

// ---- the rest ----

void camera(const Metadata &m, PhotoFacts &facts)
{
    facts.make = asciiText(m.exif, "Exif.Image.Make");
    if (facts.make.isEmpty())
        facts.make = xmpText(m.xmp, "Xmp.tiff.Make");
    facts.model = asciiText(m.exif, "Exif.Image.Model");
    if (facts.model.isEmpty())
        facts.model = xmpText(m.xmp, "Xmp.tiff.Model");

    try {
        // Exiv2 knows the makers' lens numbers; what it cannot name it prints as a number.
        const auto lens = Exiv2::lensName(m.exif);
        if (lens != m.exif.end()) {
            const QString name = fileText(lens->print(&m.exif));
            static const QRegularExpression kNumber(QStringLiteral("^[-+0-9.,\\s]*$"));
            if (!kNumber.match(name).hasMatch() && !name.startsWith(QLatin1Char('('))
                && !name.startsWith(QLatin1String("Unknown"), Qt::CaseInsensitive)
                && name != QLatin1String("n/a"))
                facts.lens = name;
        }
    } catch (...) {
    }
    // A maker's number Exiv2 cannot name may stand before the plain EXIF lens model.
    if (facts.lens.isEmpty())
        facts.lens = asciiText(m.exif, "Exif.Photo.LensModel");
    if (facts.lens.isEmpty())
        facts.lens = xmpText(m.xmp, "Xmp.exifEX.LensModel");
    if (facts.lens.isEmpty())
        facts.lens = xmpText(m.xmp, "Xmp.aux.Lens");

    std::optional<double> exposure = number(m.exif, "Exif.Photo.ExposureTime");
    if (!exposure) {
        // Shutter speed in APEX: t = 2^-v.
        if (const auto apex = number(m.exif, "Exif.Photo.ShutterSpeedValue"); apex && std::abs(*apex) < 64)
            exposure = std::exp2(-*apex);
    }
    if (!exposure)
        exposure = number(m.xmp, "Xmp.exif.ExposureTime");
    if (exposure && *exposure > 0 && *exposure < 100000)
        facts.exposureSeconds = *exposure;

    std::optional<double> aperture = number(m.exif, "Exif.Photo.FNumber");
    if (!aperture) {
        // Aperture in APEX: N = 2^(v/2).
        if (const auto apex = number(m.exif, "Exif.Photo.ApertureValue"); apex && std::abs(*apex) < 64)
            aperture = std::exp2(*apex / 2);
    }
    if (!aperture)
        aperture = number(m.xmp, "Xmp.exif.FNumber");
    if (aperture && *aperture > 0 && *aperture < 1000)
        facts.fNumber = *aperture;

    try {
        const auto iso = Exiv2::isoSpeed(m.exif);
        if (iso != m.exif.end()) {
            if (const auto value = number(*iso); value && *value >= 1 && *value < 10'000'000)
                facts.iso = int(*value);
        }
    } catch (...) {
    }
    if (!facts.iso) {
        for (const char *key : { "Xmp.exifEX.PhotographicSensitivity", "Xmp.exif.ISOSpeedRatings" })
            if (const auto value = number(m.xmp, key); value && *value >= 1 && *value < 10'000'000) {
                facts.iso = int(*value);
                break;
            }
        if (!facts.iso) {
            // An array in XMP: its first item.
            try {
                const auto it = m.xmp.findKey(Exiv2::XmpKey("Xmp.exif.ISOSpeedRatings"));
                if (it != m.xmp.end() && it->count() > 0) {
                    if (const auto value = parseNumber(QString::fromStdString(it->toString(0)));
                        value && *value >= 1 && *value < 10'000'000)
                        facts.iso = int(*value);
                }
            } catch (...) {
            }
        }
    }

    std::optional<double> focal = number(m.exif, "Exif.Photo.FocalLength");
    if (!focal)
        focal = number(m.xmp, "Xmp.exif.FocalLength");
    if (focal && *focal > 0 && *focal < 100000)
        facts.focalLengthMm = *focal;
}

bool isCameraCaption(const QString &text)
{
    // What cameras write into the description when the photographer wrote nothing.
    static const QStringList kDefaults = { QStringLiteral("OLYMPUS DIGITAL CAMERA"),
        QStringLiteral("SONY DSC"), QStringLiteral("DIGITAL CAMERA"),
        QStringLiteral("MINOLTA DIGITAL CAMERA"), QStringLiteral("KONICA MINOLTA DIGITAL CAMERA"),
        QStringLiteral("SAMSUNG DIGITAL CAMERA"), QStringLiteral("EASYSHARE"),
        QStringLiteral("Default"), QStringLiteral("default") };
    return kDefaults.contains(text.trimmed(), Qt::CaseInsensitive);
}

QString iptcText(const Exiv2::IptcData &iptc, const char *key)
{
    try {
        const auto it = iptc.findKey(Exiv2::IptcKey(key));
        if (it != iptc.end())
            return fileText(it->toString());
    } catch (...) {
    }
    return QString();
}

void description(const Metadata &m, PhotoFacts &facts)
{
    for (const QString &candidate :
        { xmpText(m.xmp, "Xmp.dc.title"), iptcText(m.iptc, "Iptc.Application2.ObjectName"),
            xmpText(m.xmp, "Xmp.dc.description"), iptcText(m.iptc, "Iptc.Application2.Caption"),
            asciiText(m.exif, "Exif.Image.ImageDescription") }) {
        if (!candidate.isEmpty() && !isCameraCaption(candidate)) {
            facts.title = candidate;
            break;
        }
    }

    const auto add = [&facts](const QString &keyword) {
        if (keyword.isEmpty() || facts.keywords.size() >= PhotoFactsReader::kMaxKeywords)
            return;
        for (const QString &known : std::as_const(facts.keywords))
            if (known.compare(keyword, Qt::CaseInsensitive) == 0)
                return;
        facts.keywords.append(keyword);
    };
    try {
        const auto subject = m.xmp.findKey(Exiv2::XmpKey("Xmp.dc.subject"));
        if (subject != m.xmp.end()) {
            if (subject->typeId() == Exiv2::xmpText) {
                add(fileText(subject->toString()));
            } else {
                for (long i = 0; i < subject->count(); ++i)
                    add(fileText(subject->toString(i)));
            }
        }
    } catch (...) {
    }
    try {
        const Exiv2::IptcKey keywords("Iptc.Application2.Keywords");
        for (const auto &datum : m.iptc)
            if (datum.tag() == keywords.tag() && datum.record() == keywords.record())
                add(fileText(datum.toString()));
    } catch (...) {
    }

    std::optional<double> rating = number(m.xmp, "Xmp.xmp.Rating");
    if (!rating)
        rating = number(m.exif, "Exif.Image.Rating");
    // -1 is "rejected", which is no number of stars.
    if (rating && *rating >= 0 && *rating <= 5)
        facts.rating = int(std::lround(*rating));
}

PhotoFacts collect(const Metadata &m)
{
    PhotoFacts facts;
    try {
        facts.taken = takenTime(m);
        camera(m, facts);
        position(m, facts);
        description(m, facts);
        std::optional<double> orientation = number(m.exif, "Exif.Image.Orientation");
        if (!orientation)
            orientation = number(m.xmp, "Xmp.tiff.Orientation");
        if (orientation && *orientation >= 1 && *orientation <= 8
            && *orientation == std::floor(*orientation))
            facts.orientation = int(*orientation);
    } catch (...) {
        // Each fact guards itself; this is the last net for whatever Exiv2 may still throw.
    }
    return facts;
}

PhotoFacts readDevice(QIODevice &device, const QByteArray *whole)
{
    if (!device.seek(0))
        return PhotoFacts();
    const QByteArray head = device.peek(PictureContainer::kHeadBytes);
    switch (PictureContainer::sniff(head)) {
    case PictureContainer::Kind::Jpeg: return collect(decodeBlocks(MetadataBlocks::fromJpeg(device)));
    case PictureContainer::Kind::Raf: return collect(decodeBlocks(MetadataBlocks::fromRaf(device)));
    case PictureContainer::Kind::WebP: return collect(decodeBlocks(MetadataBlocks::fromWebP(device)));
    case PictureContainer::Kind::Png: return collect(decodeBlocks(MetadataBlocks::fromPng(device)));
    case PictureContainer::Kind::Heif: {
        if (device.size() > PhotoFactsReader::kMaxCopiedFileBytes)
            return PhotoFacts();
        const std::shared_ptr<HeifPicture> heif
            = HeifPicture::open(whole ? *whole : device.readAll(), nullptr);
        return heif ? PhotoFactsReader::fromBlocks(heif->metadata()) : PhotoFacts();
    }
    case PictureContainer::Kind::TiffBased:
    case PictureContainer::Kind::Cr3: {
        const PictureContainer::Kind kind = PictureContainer::sniff(head);
        const qint64 size = device.size();
        // A private map: the few bytes changed to hide the XMP are copied, not the file.
        if (auto *file = qobject_cast<QFile *>(&device)) {
            if (uchar *map = file->map(0, size, QFileDevice::MapPrivateOption)) {
                const Metadata m = decodeWhole(map, size, kind);
                file->unmap(map);
                return collect(m);
            }
        }
        if (size > PhotoFactsReader::kMaxCopiedFileBytes)
            return PhotoFacts();
        QByteArray copy = whole ? *whole : device.readAll();
        if (copy.size() != size)
            return PhotoFacts();
        return collect(decodeWhole(reinterpret_cast<uchar *>(copy.data()), size, kind));
    }
    case PictureContainer::Kind::Other: break;
    }
    return PhotoFacts();
}

} // namespace

PhotoFacts PhotoFactsReader::read(const QString &path)
{
    QFile file;
    if (PictureFile::open(path, file) != PictureFile::Status::Opened)
        return PhotoFacts();
    return read(file);
}

PhotoFacts PhotoFactsReader::read(QFile &file)
{
    try {
        return readDevice(file, nullptr);
    } catch (...) {
        return PhotoFacts();
    }
}

PhotoFacts PhotoFactsReader::read(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return PhotoFacts();
    try {
        return readDevice(buffer, &bytes);
    } catch (...) {
        return PhotoFacts();
    }
}

PhotoFacts PhotoFactsReader::fromBlocks(const MetadataBlocks &blocks)
{
    try {
        return collect(decodeBlocks(blocks));
    } catch (...) {
        return PhotoFacts();
    }
}
