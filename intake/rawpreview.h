#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

class QFile;

// What a RAW file shows without developing it: the preview the camera embedded, found by
// LibRaw, or by Exiv2 for cameras LibRaw does not know. Nothing is ever demosaiced. The
// picture's size is the sensor image's, upright by the camera's orientation, which is
// applied to the preview too. Re-entrant: each open uses objects of its own.
class RawPreview {
public:
    // Reads the file's headers and its preview; none, and *error, when neither library
    // finds a preview. exifOrientation is the file's EXIF orientation, for Exiv2's previews.
    static std::shared_ptr<const RawPreview> open(QFile &file, int exifOrientation, QString *error);

    // The sensor image's size, as seen upright.
    QSize size() const { return m_size; }
    // The orientation applied to the preview.
    int orientation() const { return m_orientation; }
    // The preview as stored in the file.
    QSize previewSize() const { return m_previewSize; }
    // The preview upright and scaled to `size`, within DecodeBudget.
    QImage decode(const QSize &size, QString *error) const;

    // Previews or files claiming more than this are refused unread.
    static constexpr qint64 kMaxPreviewBytes = 64LL * 1024 * 1024;

private:
    QSize m_size;
    int m_orientation = 1;
    QSize m_previewSize;
    QByteArray m_jpeg; // a JPEG preview, or
    QImage m_bitmap; // an uncompressed one
};
