#pragma once

#include "intake/jpegdecoder.h"
#include "intake/jpegerror.h"

#include <QRgb>
#include <QString>

class QIODevice;

// Reads a JPEG from src (from its current position) and writes to dst a baseline colour JPEG
// of quality 90, exactly width by height pixels, the picture scaled to fit, centred and with
// its proportions, on a background of colour. Throws JpegError; on failure nothing at all is
// written to dst. Re-entrant: any number of threads may convert at once.
void ConvertJPEGStream(QIODevice &src, QIODevice &dst, int width, int height, QRgb colour);

// ConvertJPEGStream from the file src to the file dst. dst is replaced atomically (written
// under a temporary name in its folder, then renamed), so it is never seen half written.
// On failure dst does not exist afterwards (an older file there is removed), because any
// file under a thumbnail's name is taken as the thumbnail; only when dst names the source
// file itself is it left alone.
void ConvertJPEGFile(const QString &src, const QString &dst, int width, int height, QRgb colour);
