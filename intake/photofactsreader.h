#pragma once

#include "intake/photofacts.h"

#include <QByteArray>
#include <QString>

class QFile;
struct MetadataBlocks;

// Reads the photo facts of a picture file with Exiv2: EXIF, XMP and IPTC from JPEG, HEIF and
// AVIF, TIFF and the RAW formats, WebP and PNG files. Hostile metadata costs little and
// breaks nothing: every block is capped before Exiv2 sees it, XMP is filtered down to the
// properties read (XmpFilter), Exiv2's exceptions are caught and its log is silent; what is
// malformed is left out. Never throws; re-entrant (worker threads).
class PhotoFactsReader {
public:
    static PhotoFacts read(const QString &path);
    // An open file, read from its start; its position is left anywhere.
    static PhotoFacts read(QFile &file);
    // A whole file already in memory.
    static PhotoFacts read(const QByteArray &bytes);
    // Blocks already taken out of their container (a HEIF file's, by the decoder that opened it).
    static PhotoFacts fromBlocks(const MetadataBlocks &blocks);

    // Larger files of the formats Exiv2 reads whole are read only through a memory map.
    static constexpr qint64 kMaxCopiedFileBytes = 256LL * 1024 * 1024;
    // Text facts longer than this are cut.
    static constexpr int kMaxTextChars = 2000;
    static constexpr int kMaxKeywords = 200;
};
