#include "intake/perceptualhash.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>

namespace {

constexpr int kSide = 32;
constexpr int kKept = 8;

// cos((2x + 1) u pi / 64) for the kept frequencies u = 1..8.
const std::array<std::array<double, kSide>, kKept> &cosines()
{
    static const auto table = [] {
        std::array<std::array<double, kSide>, kKept> t {};
        for (int u = 0; u < kKept; ++u)
            for (int x = 0; x < kSide; ++x)
                t[u][x] = std::cos((2 * x + 1) * (u + 1) * std::numbers::pi / (2 * kSide));
        return t;
    }();
    return table;
}

} // namespace

bool perceptualhash::of(const QImage &picture, quint64 &hash)
{
    hash = 0;
    if (picture.isNull())
        return false;
    // Smooth scaling averages the areas it shrinks, which is the blur this hash wants.
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8)
                            .scaled(kSide, kSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const auto &c = cosines();
    // Rows first, then columns: the separable DCT of the kept frequencies only.
    std::array<std::array<double, kSide>, kKept> rows {};
    for (int y = 0; y < kSide; ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int u = 0; u < kKept; ++u) {
            double sum = 0;
            for (int x = 0; x < kSide; ++x)
                sum += c[u][x] * line[x];
            rows[u][y] = sum;
        }
    }
    std::array<double, kKept * kKept> kept {};
    for (int v = 0; v < kKept; ++v)
        for (int u = 0; u < kKept; ++u) {
            double sum = 0;
            for (int y = 0; y < kSide; ++y)
                sum += c[v][y] * rows[u][y];
            kept[v * kKept + u] = sum;
        }
    std::array<double, kKept *kKept> sorted = kept;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (size_t i = 0; i < kept.size(); ++i) {
        if (kept[i] > median)
            hash |= quint64(1) << i;
    }
    return true;
}

int perceptualhash::distance(quint64 a, quint64 b)
{
    return std::popcount(a ^ b);
}
