#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

class QIODevice;

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
// what showing a picture on the picture page (and `quillomar-cli thumbs`) needs of it.
// Re-entrant: any number of threads may measure and decode at once.
class PictureMeasure {
public:
    // Reads the headers of the file at path; fileType is the catalogue's FileType. Decodes
    // no pixels. Never raises the readers' allocation limit.
    static PictureMeasure measure(const QString &path, const QString &fileType);

    // The picture's headers were read and its pixels may be drawn.
    bool isValid() const { return m_error.isEmpty() && m_size.isValid(); }
    // No file exists at the path (or a folder does).
    bool isMissing() const { return m_missing; }
    // Why not, in the reader's words.
    QString errorText() const { return m_error; }
    QString path() const { return m_path; }
    QString fileType() const { return m_fileType; }
    QSize size() const { return m_size; }
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
    // Decodes the picture at `size` (JPEGs with the program's own decoder, others through
    // Qt's readers, scaled down smoothly after reading), within DecodeBudget. A bitmap whose
    // pixels are all in the file is read however large (within the budget); Qt's allocation
    // limit stays for every other file. A null image and *error on failure.
    QImage decode(const QSize &size, QString *error) const;

    // The path of a picture's file: its FullPath, a delimiter unless FullPath ends with
    // one, its FileName.
    static QString picturePath(const QString &fullPath, const QString &fileName);

    // Reads a BMP file's headers from the device's current position; none when they are
    // not a BMP's. fileSize is the file's length, to tell whether its pixels are all there.
    static std::optional<BmpLayout> readBmpLayout(QIODevice &device, qint64 fileSize);

private:
    QString m_path;
    QString m_fileType;
    QByteArray m_format;
    QSize m_size;
    QString m_error;
    std::optional<BmpLayout> m_bmp;
    bool m_missing = false;
};
