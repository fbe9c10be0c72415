#include "intake/thumbsize.h"

#include <algorithm>
#include <cmath>
#include <limits>

int nearestEven(double x)
{
    const double below = std::floor(x);
    const double fraction = x - below;
    double result = below;
    if (fraction > 0.5) {
        result = below + 1.0;
    } else if (fraction == 0.5) {
        // Even neighbour: below is even when below/2 is a whole number.
        result = std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
    }
    // Out-of-range values saturate instead of overflowing the conversion.
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    if (!(result >= lo))
        return std::numeric_limits<int>::min();
    if (result > hi)
        return std::numeric_limits<int>::max();
    return static_cast<int>(result);
}

std::optional<QSize> thumbnailSize(int pw, int ph, int bw, int bh)
{
    if (pw < 1 || ph < 1)
        return std::nullopt;
    if (pw <= bw && ph <= bh)
        return std::nullopt;
    const double r = static_cast<double>(pw) / static_cast<double>(ph);
    if (pw < ph)
        return QSize(nearestEven(bh * r), bh);
    return QSize(bw, nearestEven(bw / r));
}

QRect thumbnailPlacement(QSize picture, int width, int height)
{
    const double ratio = double(picture.width()) / double(picture.height());
    int w = width;
    int h = height;
    bool onWidth = ratio > 1.0;
    if (onWidth) {
        h = nearestEven(width / ratio);
        onWidth = h <= height;
    }
    if (!onWidth) {
        h = height;
        w = nearestEven(height * ratio);
        if (w > width) {
            w = width;
            h = nearestEven(width / ratio);
        }
    }
    w = std::clamp(w, 1, width);
    h = std::clamp(h, 1, height);
    return QRect((width - w) / 2, (height - h) / 2, w, h);
}
