#include "intake/picturecontainer.h"

#include <QStringList>
#include <QtEndian>

#include <algorithm>

namespace {

bool at(const QByteArray &head, int offset, const char *text, int length)
{
    return head.size() >= offset + length && head.mid(offset, length) == QByteArray(text, length);
}

// The HEIF brands of pictures (not of image sequences only), AVIF included.
bool isHeifBrand(const QByteArray &brand)
{
    static const char *const kBrands[]
        = { "heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "avif" };
    for (const char *b : kBrands)
        if (brand == QByteArray(b, 4))
            return true;
    return false;
}

} // namespace

PictureContainer::Kind PictureContainer::sniff(const QByteArray &head)
{
    if (at(head, 0, "\xFF\xD8\xFF", 3))
        return Kind::Jpeg;
    if (at(head, 0, "FUJIFILMCCD-RAW", 15))
        return Kind::Raf;
    if (at(head, 0, "II*\0", 4) || at(head, 0, "MM\0*", 4) || at(head, 0, "IIRO", 4)
        || at(head, 0, "IIRS", 4) || at(head, 0, "MMOR", 4) || at(head, 0, "IIU\0", 4))
        return Kind::TiffBased;
    if (at(head, 0, "RIFF", 4) && at(head, 8, "WEBP", 4))
        return Kind::WebP;
    if (at(head, 0, "\x89PNG\r\n\x1A\n", 8))
        return Kind::Png;
    if (at(head, 4, "ftyp", 4) && head.size() >= 16) {
        const QByteArray major = head.mid(8, 4);
        if (major == "crx ")
            return Kind::Cr3;
        if (isHeifBrand(major))
            return Kind::Heif;
        // The compatible brands follow the minor version, to the end of the box.
        const qint64 box = qFromBigEndian<quint32>(head.constData());
        const qint64 end = std::min<qint64>(box, head.size());
        for (qint64 i = 16; i + 4 <= end; i += 4)
            if (isHeifBrand(head.mid(int(i), 4)))
                return Kind::Heif;
    }
    return Kind::Other;
}

bool PictureContainer::isRawType(const QString &fileType)
{
    static const QStringList kRaw = { QStringLiteral("dng"), QStringLiteral("cr2"),
        QStringLiteral("cr3"), QStringLiteral("nef"), QStringLiteral("nrw"), QStringLiteral("arw"),
        QStringLiteral("orf"), QStringLiteral("rw2"), QStringLiteral("raf"), QStringLiteral("pef"),
        QStringLiteral("srw") };
    return kRaw.contains(fileType.toLower());
}

bool PictureContainer::isRaw(Kind kind, const QString &fileType)
{
    return kind == Kind::Cr3 || kind == Kind::Raf || (kind == Kind::TiffBased && isRawType(fileType));
}
