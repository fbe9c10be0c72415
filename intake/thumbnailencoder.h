#pragma once

#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <QString>

// The thumbnail writer for pictures that are not JPEG files: a picture already decoded
// (for the view) becomes a thumbnail JPEG exactly as ConvertJPEGFile writes one (baseline
// colour, quality 90, full-resolution chroma, 72 dpi; the same fit, centring and
// background). Failures throw JpegError with the same texts. Re-entrant.
class ThumbnailEncoder {
public:
    // The JPEG bytes of a width x height thumbnail of image on colour; transparent pixels
    // show the colour.
    static QByteArray encode(const QImage &image, int width, int height, QRgb colour);
    // encode() into the file dst, replaced in one step; on failure dst does not exist
    // afterwards (an older file there is removed), since any file there is the thumbnail.
    static void writeFile(
        const QImage &image, const QString &dst, int width, int height, QRgb colour);
    // Where the picture goes in a width x height thumbnail: the writer's fit.
    static QRect placement(const QSize &picture, int width, int height);
};
