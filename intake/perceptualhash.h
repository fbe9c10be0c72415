#pragma once

#include <QtGlobal>

class QImage;

// A 64-bit perceptual hash of a picture (DCT hash): the picture in grey at 32×32, its lowest
// 8×8 frequencies without the flat ones, one bit per frequency above their median. A
// resized or recompressed copy lands within a few bits; another photograph, even of the
// same scene from a little further along, does not.
namespace perceptualhash {

// Nothing (0 and false) for a null picture.
bool of(const QImage &picture, quint64 &hash);
int distance(quint64 a, quint64 b);

} // namespace perceptualhash
