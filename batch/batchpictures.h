#pragma once

#include "batch/joinkeylist.h"

#include <QList>
#include <QString>

class TDados;

// The fields of a Pictures row that the transfers need.
struct BatchPicture {
    qint64 recId = 0;
    QString fullPath;
    QString fileName;
    qint64 fileSize = 0;
};

// The picture's file: FullPath, a "/" when FullPath does not end with one, FileName.
QString PictureFilePath(const QString &fullPath, const QString &fileName);
inline QString PictureFilePath(const BatchPicture &p)
{
    return PictureFilePath(p.fullPath, p.fileName);
}

// Runs picturesOfKeysSql(keys) on the store's SQLTmp (closed first, emptied, opened) and
// returns its rows in the order the catalogue gives them. The rows are read to the end and
// the query closed before the caller works on them, so no read snapshot stays open while
// a transfer waits on the network. Throws DbError; keys must not be empty.
QList<BatchPicture> readBatchPictures(TDados &store, const PictureKeys &keys);

// The keys, each once and in their order, that no row of `rows` has.
PictureKeys keysWithoutRow(const PictureKeys &keys, const QList<BatchPicture> &rows);
