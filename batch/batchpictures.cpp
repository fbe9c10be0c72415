#include "batch/batchpictures.h"

#include "store/tdados.h"

#include <QSet>

QString PictureFilePath(const QString &fullPath, const QString &fileName)
{
    if (fullPath.endsWith(QLatin1Char('/')))
        return fullPath + fileName;
    return fullPath + QLatin1Char('/') + fileName;
}

QList<BatchPicture> readBatchPictures(TDados &store, const PictureKeys &keys)
{
    const QString sql = picturesOfKeysSql(keys);
    Query &q = store.SQLTmp;
    if (q.isOpen())
        q.close();
    q.clearSql();
    q.addLine(sql);
    QList<BatchPicture> rows;
    q.open();
    while (q.isOpen() && !q.eof()) {
        BatchPicture p;
        p.recId = q.asInt(QStringLiteral("RecId"));
        p.fullPath = q.asString(QStringLiteral("FullPath"));
        p.fileName = q.asString(QStringLiteral("FileName"));
        p.fileSize = q.asInt(QStringLiteral("FileSize"));
        rows.append(p);
        q.next();
    }
    q.close();
    return rows;
}

PictureKeys keysWithoutRow(const PictureKeys &keys, const QList<BatchPicture> &rows)
{
    QSet<qint64> seen;
    seen.reserve(rows.size());
    for (const BatchPicture &p : rows)
        seen.insert(p.recId);
    PictureKeys missing;
    for (const qint64 key : keys) {
        if (!seen.contains(key)) {
            missing.append(key);
            seen.insert(key);
        }
    }
    return missing;
}
