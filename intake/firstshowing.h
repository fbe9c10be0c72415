#pragma once

#include "intake/picturereview.h"

#include <QString>

class Prompter;
class TDados;

// What the picture page's first showing of a picture (LoadPicture) records of it, the same as
// `quillomar-cli thumbs` records: for a picture larger than the view its details (ColorType,
// Width and Height as seen upright), and for every picture whose file was examined its photo
// facts and fingerprints. Works on the current row of the store's TPictures.
class FirstShowing {
public:
    // Records what `result` (PictureReview::examine of the current picture) found. Idle (the
    // person is neither inserting nor editing a row): the details with Review false, the
    // facts and the fingerprints, in one short transaction of its own; facts already recorded
    // for the file as it is are not written again. Not idle: the details go into the row being
    // edited, saved or discarded with the person's own Post or Cancel, and nothing else is
    // written (no lock is taken while the person types). A read-only catalogue records
    // nothing, silently. A store error is shown through the prompter; what was posted stays.
    static void record(
        TDados &store, const PictureReview::Result &result, bool idle, Prompter &prompter);

    // Whether the picture must be loaded from its file rather than shown from its thumbnail:
    // its Review is true, or it was reviewed before facts were read (no facts recorded) in a
    // catalogue that can record them, while its file is there to read. Throws DbError.
    static bool needsReview(TDados &store, qint64 recId, bool review, const QString &path);
};
