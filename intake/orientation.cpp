#include "intake/orientation.h"

#include <QTransform>

namespace Orientation {

bool swapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

QSize upright(const QSize &stored, int orientation)
{
    return swapsSides(orientation) ? stored.transposed() : stored;
}

QImage apply(const QImage &stored, int orientation)
{
    if (stored.isNull())
        return stored;
    const auto turned = [&stored](qreal degrees) {
        return stored.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
    case 2: return stored.mirrored(true, false);
    case 3: return stored.mirrored(true, true);
    case 4: return stored.mirrored(false, true);
    case 5: return turned(90).mirrored(true, false); // transposed: (x, y) to (y, x)
    case 6: return turned(90);
    case 7: return turned(90).mirrored(false, true); // across the other diagonal
    case 8: return turned(270);
    default: return stored;
    }
}

int fromLibRawFlip(int flip)
{
    // dcraw numbers the flips by bits: 1 mirror, 2 upside down, 4 transposed.
    static constexpr int kExif[8] = { 1, 2, 4, 3, 5, 8, 6, 7 };
    return flip >= 0 && flip < 8 ? kExif[flip] : 1;
}

} // namespace Orientation
