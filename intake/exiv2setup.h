#pragma once

// Exiv2 as every reader of the program needs it, set up once per process before first use:
// its log silenced (hostile files would fill the terminal), ISO media files (HEIF, CR3) read,
// and the XMP toolkit's shared namespace table locked for worker threads.
namespace Exiv2Setup {
void prepare();
} // namespace Exiv2Setup
