#include "intake/metadatablocks.h"

#include "intake/xmpfilter.h"

#include <QIODevice>
#include <QtEndian>

#include <libheif/heif.h>

#include <cstring>
#include <memory>

namespace {

const QByteArray kExifHeader("Exif\0\0", 6);
const QByteArray kXmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArray kPhotoshopHeader("Photoshop 3.0\0", 14);

// Reads exactly n bytes, or returns empty.
QByteArray readExactly(QIODevice &device, qint64 n)
{
    if (n <= 0)
        return QByteArray();
    QByteArray bytes = device.read(n);
    return bytes.size() == n ? bytes : QByteArray();
}

bool skip(QIODevice &device, qint64 n)
{
    if (n <= 0)
        return true;
    if (!device.isSequential()) {
        const qint64 to = device.pos() + n;
        return to <= device.size() && device.seek(to);
    }
    return device.skip(n) == n;
}

// Some writers put the "Exif" marker before the TIFF header where none belongs.
QByteArray withoutExifHeader(QByteArray exif)
{
    if (exif.startsWith(kExifHeader))
        exif.remove(0, kExifHeader.size());
    return exif;
}

} // namespace

MetadataBlocks MetadataBlocks::fromJpeg(QIODevice &device)
{
    MetadataBlocks blocks;
    const QByteArray soi = readExactly(device, 2);
    if (soi != QByteArray("\xFF\xD8", 2))
        return blocks;
    for (int piece = 0; piece < kMaxPieces; ++piece) {
        char c = 0;
        // Fill bytes may stand before a marker code.
        if (!device.getChar(&c) || uchar(c) != 0xFF)
            break;
        do {
            if (!device.getChar(&c))
                return blocks;
        } while (uchar(c) == 0xFF);
        const uchar code = uchar(c);
        if (code == 0xDA || code == 0xD9) // the first scan, or the end
            break;
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7))
            continue;
        const QByteArray lengthBytes = readExactly(device, 2);
        if (lengthBytes.isEmpty())
            break;
        const qint64 payload = qFromBigEndian<quint16>(lengthBytes.constData()) - 2;
        if (payload < 0)
            break;
        qint64 rest = payload;
        if (code == 0xE1 && payload >= kExifHeader.size()) {
            const QByteArray head = readExactly(device, std::min<qint64>(payload, kXmpHeader.size()));
            if (head.isEmpty())
                break;
            rest -= head.size();
            if (blocks.exif.isEmpty() && head.startsWith(kExifHeader)) {
                blocks.exif = head.mid(kExifHeader.size()) + readExactly(device, rest);
                rest = 0;
            } else if (blocks.xmp.isEmpty() && head == kXmpHeader) {
                blocks.xmp = readExactly(device, rest);
                rest = 0;
            }
        } else if (code == 0xED && payload >= kPhotoshopHeader.size()
            && blocks.photoshop.size() + payload <= kMaxPhotoshopBytes) {
            // Image resources longer than a segment continue in the next ones.
            const QByteArray segment = readExactly(device, payload);
            if (segment.startsWith(kPhotoshopHeader))
                blocks.photoshop += segment.mid(kPhotoshopHeader.size());
            rest = 0;
        }
        if (!skip(device, rest))
            break;
    }
    return blocks;
}

MetadataBlocks MetadataBlocks::fromWebP(QIODevice &device)
{
    MetadataBlocks blocks;
    const QByteArray header = readExactly(device, 12);
    if (!header.startsWith("RIFF") || header.mid(8, 4) != "WEBP")
        return blocks;
    for (int piece = 0; piece < kMaxPieces; ++piece) {
        const QByteArray chunk = readExactly(device, 8);
        if (chunk.isEmpty())
            break;
        const qint64 size = qFromLittleEndian<quint32>(chunk.constData() + 4);
        const qint64 padded = size + (size & 1);
        const QByteArray fourcc = chunk.left(4);
        if (fourcc == "EXIF" && blocks.exif.isEmpty() && size <= kMaxExifBytes) {
            blocks.exif = withoutExifHeader(readExactly(device, size));
            if (!skip(device, padded - size))
                break;
        } else if (fourcc == "XMP " && blocks.xmp.isEmpty() && size <= XmpFilter::kMaxPacketBytes) {
            blocks.xmp = readExactly(device, size);
            if (!skip(device, padded - size))
                break;
        } else if (!skip(device, padded)) {
            break;
        }
    }
    return blocks;
}

MetadataBlocks MetadataBlocks::fromPng(QIODevice &device)
{
    static const QByteArray kXmpKeyword("XML:com.adobe.xmp\0", 18);
    MetadataBlocks blocks;
    if (readExactly(device, 8) != QByteArray("\x89PNG\r\n\x1A\n", 8))
        return blocks;
    for (int piece = 0; piece < kMaxPieces; ++piece) {
        const QByteArray chunk = readExactly(device, 8);
        if (chunk.isEmpty())
            break;
        const qint64 size = qFromBigEndian<quint32>(chunk.constData());
        const QByteArray type = chunk.mid(4);
        if (type == "IEND")
            break;
        qint64 rest = size;
        if (type == "eXIf" && blocks.exif.isEmpty() && size <= kMaxExifBytes) {
            blocks.exif = withoutExifHeader(readExactly(device, size));
            rest = 0;
        } else if (type == "iTXt" && blocks.xmp.isEmpty()
            && size <= XmpFilter::kMaxPacketBytes + kXmpKeyword.size() + 4) {
            const QByteArray text = readExactly(device, size);
            rest = 0;
            // Keyword, compression flag and method, language and translated keyword, text;
            // only an uncompressed packet is read (a compressed one could be a bomb).
            if (text.startsWith(kXmpKeyword) && text.size() > kXmpKeyword.size() + 1
                && text[kXmpKeyword.size()] == 0) {
                qsizetype at = kXmpKeyword.size() + 2;
                for (int field = 0; field < 2 && at >= 0; ++field) {
                    at = text.indexOf('\0', at);
                    if (at >= 0)
                        ++at;
                }
                if (at > 0)
                    blocks.xmp = text.mid(at);
            }
        }
        if (!skip(device, rest + 4)) // and the CRC
            break;
    }
    return blocks;
}

MetadataBlocks MetadataBlocks::fromHeif(const heif_image_handle *handle)
{
    MetadataBlocks blocks;
    if (!handle)
        return blocks;
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, nullptr);
    if (count <= 0)
        return blocks;
    std::vector<heif_item_id> ids(size_t(std::min(count, kMaxPieces)));
    const int listed = heif_image_handle_get_list_of_metadata_block_IDs(
        handle, nullptr, ids.data(), int(ids.size()));
    for (int i = 0; i < listed; ++i) {
        const heif_item_id id = ids[size_t(i)];
        const char *type = heif_image_handle_get_metadata_type(handle, id);
        const size_t size = heif_image_handle_get_metadata_size(handle, id);
        const bool exif = type && std::strcmp(type, "Exif") == 0;
        const char *content = heif_image_handle_get_metadata_content_type(handle, id);
        const bool xmp = type && std::strcmp(type, "mime") == 0 && content
            && std::strcmp(content, "application/rdf+xml") == 0;
        if (exif && blocks.exif.isEmpty() && size > 4 && size <= size_t(kMaxExifBytes)) {
            QByteArray data(qsizetype(size), Qt::Uninitialized);
            if (heif_image_handle_get_metadata(handle, id, data.data()).code != heif_error_Ok)
                continue;
            // The block begins with the offset of the TIFF header after its first four bytes.
            const qint64 offset = qFromBigEndian<quint32>(data.constData());
            if (offset <= qint64(size) - 4)
                blocks.exif = withoutExifHeader(data.mid(4 + offset));
        } else if (xmp && blocks.xmp.isEmpty() && size > 0
            && size <= size_t(XmpFilter::kMaxPacketBytes)) {
            QByteArray data(qsizetype(size), Qt::Uninitialized);
            if (heif_image_handle_get_metadata(handle, id, data.data()).code == heif_error_Ok)
                blocks.xmp = data;
        }
    }
    return blocks;
}

MetadataBlocks MetadataBlocks::fromRaf(QIODevice &device)
{
    const qint64 start = device.pos();
    const QByteArray header = readExactly(device, 92);
    if (!header.startsWith("FUJIFILMCCD-RAW"))
        return MetadataBlocks();
    const qint64 offset = qFromBigEndian<quint32>(header.constData() + 84);
    if (device.isSequential() || start + offset >= device.size() || !device.seek(start + offset))
        return MetadataBlocks();
    return fromJpeg(device);
}

EmbeddedXmp EmbeddedXmp::inTiff(const uchar *data, qint64 size)
{
    EmbeddedXmp found;
    if (size < 8)
        return found;
    const bool little = data[0] == 'I';
    const auto u16 = [&](qint64 at) {
        return little ? qFromLittleEndian<quint16>(data + at) : qFromBigEndian<quint16>(data + at);
    };
    const auto u32 = [&](qint64 at) {
        return little ? qFromLittleEndian<quint32>(data + at) : qFromBigEndian<quint32>(data + at);
    };
    const qint64 ifd = u32(4);
    if (ifd < 8 || ifd + 2 > size)
        return found;
    const int entries = std::min<int>(u16(ifd), MetadataBlocks::kMaxPieces);
    for (int i = 0; i < entries; ++i) {
        const qint64 entry = ifd + 2 + 12 * qint64(i);
        if (entry + 12 > size)
            break;
        if (u16(entry) != 0x02bc)
            continue;
        const int type = u16(entry + 2);
        const qint64 count = u32(entry + 4);
        // A count of nothing leaves Exiv2 an empty packet, whatever the type says.
        found.patches.push_back({ entry + 4, QByteArray(4, '\0') });
        if (found.length > 0 || (type != 1 && type != 2 && type != 7))
            continue;
        const qint64 at = count <= 4 ? entry + 8 : qint64(u32(entry + 8));
        if (at >= 0 && count <= size && at <= size - count) {
            found.offset = at;
            found.length = count;
        }
    }
    return found;
}

EmbeddedXmp EmbeddedXmp::inIsoMedia(const uchar *data, qint64 size)
{
    static const uchar kXmpUuid[16] = { 0xbe, 0x7a, 0xcf, 0xcb, 0x97, 0xa9, 0x42, 0xe8, 0x9c,
        0x71, 0x99, 0x94, 0x91, 0xe3, 0xaf, 0xac };
    EmbeddedXmp found;
    qint64 at = 0;
    for (int box = 0; box < MetadataBlocks::kMaxPieces && at + 8 <= size; ++box) {
        qint64 length = qFromBigEndian<quint32>(data + at);
        qint64 header = 8;
        if (length == 1) {
            if (at + 16 > size)
                break;
            const quint64 large = qFromBigEndian<quint64>(data + at + 8);
            if (large > quint64(size))
                break;
            length = qint64(large);
            header = 16;
        } else if (length == 0) {
            length = size - at;
        }
        if (length < header || length > size - at)
            break;
        if (std::memcmp(data + at + 4, "uuid", 4) == 0 && length >= header + 16
            && std::memcmp(data + at + header, kXmpUuid, 16) == 0) {
            found.patches.push_back({ at + header, QByteArray(1, char(~kXmpUuid[0])) });
            if (found.length == 0) {
                found.offset = at + header + 16;
                found.length = length - header - 16;
            }
        }
        at += length;
    }
    return found;
}

void EmbeddedXmp::neutralise(uchar *data) const
{
    for (const auto &[offset, bytes] : patches)
        std::memcpy(data + offset, bytes.constData(), size_t(bytes.size()));
}
