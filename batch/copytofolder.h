#pragma once

#include "batch/joinkeylist.h"

#include <QString>

class EventLog;
class ProgressSink;
class Prompter;
class TDados;

// The destination of a picture's file: the folder, a "/" when it does not end with one,
// the file name.
QString copyDestination(const QString &folder, const QString &fileName);

// Copies the files of the pictures with the given keys into `folder` (which must exist),
// each under its FileName, replacing a file of that name; pictures that share a file name
// end as the one the catalogue returns last. Lets the caller process events once, empties
// the log and removes the temporaries a killed copy left in `folder`, then logs each missing
// file ("... não encontrado!") and each failed copy (also shown in an error box) and goes on.
// A FileName that is not one plain name (a "/", "." or "..") is refused as a failed copy, so
// nothing is ever written outside `folder`. Texts from the catalogue are logged with their
// control characters escaped. Returns RunSucceeded: nothing missing, nothing failed; keys of
// no picture are no failure, and go to `unknown` when given. The keys must not be empty
// (callers refuse that with NoPictureMarkedText). A store error on the picture query throws
// DbError.
bool CopyToFolder(TDados &store, const PictureKeys &keys, const QString &folder, EventLog &log,
    Prompter &prompter, ProgressSink &progress, PictureKeys *unknown = nullptr);
