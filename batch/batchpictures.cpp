#include "batch/batchpictures.h"

#include "store/tdados.h"

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
