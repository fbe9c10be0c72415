#pragma once

#include <QString>

// Copies one file over whatever has the target's name, without ever leaving half a file:
// the bytes go to a hidden temporary in the target's folder (the kernel copies them where
// it can), which takes the source's modification time and is then renamed onto the target.
// A failure removes the temporary and leaves an older target untouched. A target that is
// the source itself (same folder, or the same file through another path) is refused, and so
// is a source that is not a regular file (a FIFO, a device, a folder), which is never waited
// on. The temporary is an OwnedTemporary: under its SignalCleanup an ending signal removes it.
// Returns an empty text on success, otherwise the message of the failure.
QString copyFileReplacing(const QString &source, const QString &target);
