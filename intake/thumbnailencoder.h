#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QRgb>

#include <optional>

// The encoder of every thumbnail: a picture already drawn becomes a thumbnail JPEG
// (baseline colour, quality 90, full-resolution chroma, 72 dpi) of a given size, the picture
// fitted, centred and on a background colour. Failures throw JpegError with the writer's
// texts. Re-entrant.
class ThumbnailEncoder {
public:
    // The JPEG bytes of a width x height thumbnail of image on colour, drawn into placement
    // (by default the writer's fit); transparent pixels show the colour.
    static QByteArray encode(const QImage &image, int width, int height, QRgb colour,
        std::optional<QRect> placement = std::nullopt);
    // Where the picture goes in a width x height thumbnail: the writer's fit.
    static QRect placement(const QSize &picture, int width, int height);
};
