#pragma once

#include <QImage>
#include <QSize>

// The eight EXIF orientations (1 upright, 2 mirrored, 3 upside down, 4 upside down mirrored,
// 5 to 8 the same lying on a side): how a picture stored one way is turned to be seen
// upright. A value outside 1 to 8 is taken as 1.
namespace Orientation {

// 5 to 8 store the picture on its side: its upright width is its stored height.
bool swapsSides(int orientation);
// The size seen upright of a picture stored at `stored`, and the other way round (the same
// exchange of sides).
QSize upright(const QSize &stored, int orientation);
// The picture as stored, turned upright; pixels move exactly, nothing is resampled.
QImage apply(const QImage &stored, int orientation);
// LibRaw's (dcraw's) flip code as the EXIF orientation it stands for.
int fromLibRawFlip(int flip);

} // namespace Orientation
