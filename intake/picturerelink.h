#pragma once

#include <QString>
#include <functional>

class TDados;

// Links the Pictures row being edited or inserted to a chosen file ("Localizar"): its name,
// folder, size, dates, type and the storage of its drive (found, or added and posted at
// once). The row itself is saved or discarded by whoever edits it.
class PictureRelink {
public:
    // Why `file` cannot be a picture's file: it names nothing, or something other than a
    // regular file (a folder, a FIFO, a device). Empty when it can; a link to a regular file
    // can.
    static QString refusal(const QString &file);

    // Fills the edited row from `file`. entryText names a storage that has to be added;
    // beforeStorageWrite runs right before one is added (the edit's transaction begins
    // there). The name is taken from the file only when the row's name is blank. A file
    // that is hidden or not a regular file keeps the row's size and dates. Throws DbError;
    // the fields written before the failure keep their new values.
    static void fill(TDados &store, const QString &file, const std::function<QString()> &entryText,
        const std::function<void()> &beforeStorageWrite = {});

    // What showing the picture records while its row is edited, without a window: for a
    // picture larger than the thumbnail view, its ColorType, Width and Height into the row.
    static void recordDetails(TDados &store);
};
