#include "batch/copytofolder.h"

#include "batch/batchpictures.h"
#include "batch/eventlog.h"
#include "batch/filecopy.h"
#include "core/progresssink.h"
#include "core/prompter.h"

#include <QFile>

QString copyDestination(const QString &folder, const QString &fileName)
{
    return PictureFilePath(folder, fileName);
}

bool CopyToFolder(TDados &store, const PictureKeys &keys, const QString &folder, EventLog &log,
    Prompter &prompter, ProgressSink &progress)
{
    progress.pump();
    log.ClearLog();
    bool succeeded = true;
    const QList<BatchPicture> pictures = readBatchPictures(store, keys);
    for (const BatchPicture &p : pictures) {
        const QString source = PictureFilePath(p);
        if (!QFile::exists(source)) {
            log.AddLogLine(source + QStringLiteral(" não encontrado!"));
            succeeded = false;
            continue;
        }
        const QString failure = copyFileReplacing(source, copyDestination(folder, p.fileName));
        if (!failure.isEmpty()) {
            succeeded = false;
            log.AddLogLine(failure);
            prompter.error(failure);
        }
    }
    return succeeded;
}
