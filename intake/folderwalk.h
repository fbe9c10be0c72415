#pragma once

#include <QByteArray>
#include <QList>

class ProgressSink;
class SkippedNames;

// The folder walk of a scan, breadth-first: `folders` starts with the scanned folder and
// grows by every plain folder found in the folders before it whose name does not begin
// with ".". Links are never followed, mounted volumes (other drives) are not entered, a
// folder that cannot be listed is passed over, and a folder whose path cannot be stored or
// opened again is noted in `skipped`. Paths are bytes without a trailing delimiter (the root
// file system is the empty path). Stops after the current entry on a cancel request.
void walkFolders(QList<QByteArray> &folders, ProgressSink &progress, SkippedNames &skipped);
