#pragma once

#include <QString>
#include <QStringList>

// `quillomar-cli thumbs [--jobs N]`: what the first showing on the picture page does, for
// every picture to review whose file exists: measure it, and when it is larger than the
// 135-pixel view record its ColorType, Width and Height, clear Review and write its
// thumbnail. N worker threads (default: the processor count) read and write the pictures;
// the catalogue is written on the calling thread in short transactions. A progress line
// goes to standard error when it is a terminal, each failure (path and error text) to
// standard error, the summary to standard output. Exit codes: 0 done, 1 some picture or
// the catalogue failed, 2 usage, 130 cancelled by Ctrl-C (what was done is kept).
int runThumbsCommand(const QString &catalogue, const QStringList &args);
