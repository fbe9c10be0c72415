#pragma once

#include "intake/photofacts.h"
#include "intake/picturecontainer.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

class HeifPicture;
class QIODevice;
class RawPreview;

// What the headers of a BMP file say of its pixels.
struct BmpLayout {
    int width = 0;
    int height = 0; // rows, whichever way they are stored
    int bitsPerPixel = 0;
    quint32 compression = 0;
    bool hasMasks = false; // the pixels are described by colour masks (BI_BITFIELDS)
    quint32 redMask = 0;
    quint32 greenMask = 0;
    quint32 blueMask = 0;
    bool complete = false; // the file is long enough for the pixels it declares
};

// A picture file measured from its headers, and decoded only at the size a view draws it:
// what showing a picture on the picture page (and `quillomar-cli thumbs`) needs of it. The
// picture is seen upright: its size and its drawings follow its EXIF orientation (HEIF files
// turn themselves, RAW files follow the camera's). JPEG, BMP, TIFF, WebP and the other
// formats Qt reads are drawn by their readers, HEIF and AVIF by libheif (from the file's
// own thumbnail when it is large enough), RAW files from their embedded preview. The photo
// facts are read on the way, also when the picture cannot be drawn.
// Re-entrant: any number of threads may measure and decode at once.
class PictureMeasure {
public:
    // Reads the headers of the file at path, and its photo facts; fileType is the
    // catalogue's FileType. Decodes no pixels (a RAW file's preview and a HEIF file are read
    // into memory). Never raises the readers' allocation limit.
    static PictureMeasure measure(const QString &path, const QString &fileType);

    // The picture's headers were read and its pixels may be drawn.
    bool isValid() const { return m_error.isEmpty() && m_size.isValid(); }
    // No file exists at the path (or a folder does).
    bool isMissing() const { return m_missing; }
    // Why not, in the reader's words.
    QString errorText() const { return m_error; }
    QString path() const { return m_path; }
    QString fileType() const { return m_fileType; }
    // The file's length in bytes, -1 when it could not be opened.
    qint64 fileSize() const { return m_fileSize; }
    // The picture's size as seen upright.
    QSize size() const { return m_size; }
    // Its size as its pixels are stored (the other way round for orientations 5 to 8).
    QSize storedSize() const { return m_storedSize; }
    // The EXIF orientation (1 to 8) applied to the pixels decoded; 1 for HEIF files,
    // the camera's for RAW files.
    int orientation() const { return m_orientation; }
    // What the file says of the photo (empty for formats that carry no metadata).
    const PhotoFacts &facts() const { return m_facts; }
    PictureContainer::Kind kind() const { return m_kind; }
    // The content is a JPEG stream, which the thumbnail writer decodes itself.
    bool isJpeg() const { return m_format == "jpeg"; }
    const std::optional<BmpLayout> &bmp() const { return m_bmp; }

    // The ColorDepth key recorded for this picture; none leaves the column as it is.
    std::optional<int> colorType() const { return colorTypeFor(m_fileType, m_bmp); }
    static std::optional<int> colorTypeFor(
        const QString &fileType, const std::optional<BmpLayout> &bmp);

    // The size a view of box draws the picture at: its own when it fits, otherwise
    // scaled down with its proportions (never below one pixel a side).
    QSize viewSize(const QSize &box) const;
    // Decodes the picture upright at `size` (JPEGs with the program's own decoder, scaled by
    // its DCT and then turned; others through Qt's readers, libheif or the RAW preview,
    // scaled down smoothly after reading), within DecodeBudget. A bitmap whose pixels are
    // all in the file is read however large (within the budget); Qt's allocation limit
    // stays for every other file. A null image and *error on failure.
    QImage decode(const QSize &size, QString *error) const;

    // The path of a picture's file: its FullPath, a delimiter unless FullPath ends with
    // one, its FileName.
    static QString picturePath(const QString &fullPath, const QString &fileName);

    // Reads a BMP file's headers from the device's current position; none when they are
    // not a BMP's. fileSize is the file's length, to tell whether its pixels are all there.
    static std::optional<BmpLayout> readBmpLayout(QIODevice &device, qint64 fileSize);

    // HEIF files larger than this are not read.
    static constexpr qint64 kMaxHeifFileBytes = 256LL * 1024 * 1024;
    // Files up to this size that are drawn from their whole content (JPEG, TIFF, WebP,
    // bitmaps, HEIF) are read once, into memory, and measured, read for facts and decoded from
    // there; larger ones are read from the file as each reader needs.
    static constexpr qint64 kMaxWholeReadBytes = 32LL * 1024 * 1024;

    // The file's bytes, when it was read whole (see kMaxWholeReadBytes): what a fingerprint
    // of its content is taken from without reading it again. Null otherwise.
    const QByteArray *wholeFile() const { return m_whole.isNull() ? nullptr : &m_whole; }

private:
    QImage decodeWithQt(const QSize &stored, QString *error) const;

    QString m_path;
    QString m_fileType;
    QByteArray m_format;
    QSize m_size;
    QSize m_storedSize;
    int m_orientation = 1;
    PictureContainer::Kind m_kind = PictureContainer::Kind::Other;
    PhotoFacts m_facts;
    std::shared_ptr<HeifPicture> m_heif;
    std::shared_ptr<const RawPreview> m_raw;
    QString m_error;
    QByteArray m_whole; // the file's bytes when read whole; null otherwise
    std::optional<BmpLayout> m_bmp;
    bool m_missing = false;
    qint64 m_fileSize = -1;
};
