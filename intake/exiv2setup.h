#pragma once

#include <QtGlobal>

#include <memory>

// Exiv2 as every reader of the program needs it, set up once per process before first use:
// its log silenced (hostile files would fill the terminal), ISO media files (HEIF, CR3) read,
// and the XMP toolkit's shared namespace table locked for worker threads.
namespace Exiv2 {
class Image;
}

namespace Exiv2Setup {
void prepare();
// Exiv2's image of a file in memory (which it reads in place, without a copy); none when
// Exiv2 knows no such format. May throw Exiv2's exceptions.
std::unique_ptr<Exiv2::Image> openImage(const unsigned char *data, qint64 size);
} // namespace Exiv2Setup
