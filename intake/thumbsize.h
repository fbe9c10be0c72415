#pragma once

#include <QRect>
#include <QSize>

#include <optional>

// The integer nearest to x; a value exactly halfway goes to the even neighbour
// (2.5 gives 2, 3.5 gives 4), whatever the thread's floating-point rounding mode.
int nearestEven(double x);

// The size of the thumbnail of a picture pw by ph pixels shown in a view bw by bh:
// none when the picture fits the view (or has no area), otherwise the view's width or
// height with the picture's proportions. A very long picture gives a 0 side, which the
// JPEG writer refuses.
std::optional<QSize> thumbnailSize(int pw, int ph, int bw = 135, int bh = 135);

// Where a picture of that size is drawn in a width by height thumbnail: fitted on the width
// when landscape and on the height otherwise, on the other side when that would overflow the
// box (so nothing is cropped), centred; never thinner than one line.
QRect thumbnailPlacement(QSize picture, int width, int height);
