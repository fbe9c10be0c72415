#pragma once

#include <QByteArray>

#include <vector>

class QIODevice;
struct heif_image_handle;

// The metadata of a picture file as raw blocks, taken out of its container without reading
// its pixels: the EXIF data from its TIFF header on, the XMP packet, and the Photoshop image
// resources that carry IPTC. Each block is capped: a larger one is left out unread.
struct MetadataBlocks {
    static constexpr qsizetype kMaxExifBytes = 1024 * 1024;
    static constexpr qsizetype kMaxPhotoshopBytes = 256 * 1024;
    // Segments or chunks walked before giving up on a file that is all small pieces.
    static constexpr int kMaxPieces = 4096;

    QByteArray exif;
    QByteArray xmp;
    QByteArray photoshop;

    bool isEmpty() const { return exif.isEmpty() && xmp.isEmpty() && photoshop.isEmpty(); }

    // From the device's current position: a JPEG stream's segments up to its first scan.
    static MetadataBlocks fromJpeg(QIODevice &device);
    // A whole WebP (RIFF) file, or a PNG file, from the device's current position.
    static MetadataBlocks fromWebP(QIODevice &device);
    static MetadataBlocks fromPng(QIODevice &device);
    // The blocks libheif found attached to an image of a HEIF file.
    static MetadataBlocks fromHeif(const heif_image_handle *handle);
    // A Fujifilm RAW's embedded JPEG, where its metadata lives.
    static MetadataBlocks fromRaf(QIODevice &device);
};

// Where a container that Exiv2 reads whole (TIFF and its RAW relatives, CR3) keeps its XMP
// packet, and the bytes to change so that Exiv2 reads no XMP from it: the packet is given
// to the XMP toolkit only once filtered.
struct EmbeddedXmp {
    qint64 offset = 0;
    qint64 length = 0;
    // Offsets of the bytes to overwrite with the replacement bytes.
    std::vector<std::pair<qint64, QByteArray>> patches;

    // The packet of IFD0 (tag 700) of a TIFF-like file, or of the top-level XMP box of an
    // ISO media file; length 0 when there is none.
    static EmbeddedXmp inTiff(const uchar *data, qint64 size);
    static EmbeddedXmp inIsoMedia(const uchar *data, qint64 size);
    // Applies the patches to data (which must be writable and the same file).
    void neutralise(uchar *data) const;
};
