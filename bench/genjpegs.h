#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Photograph-like test pictures for the thumbnail benchmark: smooth gradients, soft and
// hard-edged shapes, fine texture and sensor noise, so that the entropy-coded data is as
// dense as a camera picture's (flat colour would make decoding unrealistically cheap).
namespace genjpegs {

struct PhotoOptions {
    int quality = 90;
    bool progressive = false;
    bool grey = false;
};

// The JPEG bytes of picture number `seed` at width x height.
QByteArray photoJpeg(int width, int height, quint32 seed, const PhotoOptions &options = {});

// Writes the benchmark set into folder: count pictures of each size, named
// photo_<w>x<h>_<n>.jpg; existing files are kept. Returns the paths, empty on failure.
QStringList makeSet(const QString &folder, int count4000, int count1920);

} // namespace genjpegs
