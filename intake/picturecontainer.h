#pragma once

#include <QByteArray>
#include <QString>

// What kind of file a picture is, told from its first bytes: the decoder and the metadata
// reader each follow it rather than the file's name, which may lie. Only the TIFF-based RAW
// formats, which look like any TIFF, are told apart by the catalogue's FileType.
class PictureContainer {
public:
    enum class Kind {
        Jpeg,
        Heif, // HEIC, AVIF and the rest of the HEIF family that libheif decodes
        Cr3, // Canon's ISO media RAW
        Raf, // Fujifilm RAW: an embedded JPEG and the sensor data
        TiffBased, // TIFF, DNG and the TIFF-like RAW formats (CR2, NEF, ARW, ORF, RW2, PEF, SRW)
        WebP,
        Png,
        Other,
    };

    // The first bytes to read for sniff().
    static constexpr int kHeadBytes = 64;

    static Kind sniff(const QByteArray &head);
    // A FileType of the RAW formats (dng, cr2, cr3, nef, nrw, arw, orf, rw2, raf, pef, srw).
    static bool isRawType(const QString &fileType);
    // Whether a file of this kind and type is drawn from its RAW preview.
    static bool isRaw(Kind kind, const QString &fileType);
};
