#include "batch/copytofolder.h"

#include "batch/batchpictures.h"
#include "batch/eventlog.h"
#include "batch/filecopy.h"
#include "core/controlescape.h"
#include "core/ownedtemporary.h"
#include "core/progresssink.h"
#include "core/prompter.h"

#include <QFile>

namespace {

// One entry of the destination folder: a name that holds a path (only a damaged or hostile
// catalogue has one) would put the copy somewhere else.
bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

QString copyDestination(const QString &folder, const QString &fileName)
{
    return PictureFilePath(folder, fileName);
}

bool CopyToFolder(TDados &store, const PictureKeys &keys, const QString &folder, EventLog &log,
    Prompter &prompter, ProgressSink &progress, PictureKeys *unknown)
{
    progress.pump();
    log.ClearLog();
    // What an earlier copy into this folder left when it was killed.
    OwnedTemporary::removeAbandoned(folder);
    bool succeeded = true;
    // Paths come from the catalogue: their control characters are shown, never acted on.
    const auto failed = [&](const QString &text) {
        succeeded = false;
        const QString shown = escapeControlCharacters(text);
        log.AddLogLine(shown);
        prompter.error(shown);
    };
    const QList<BatchPicture> pictures = readBatchPictures(store, keys);
    if (unknown)
        *unknown = keysWithoutRow(keys, pictures);
    for (const BatchPicture &p : pictures) {
        const QString source = PictureFilePath(p);
        if (!isPlainFileName(p.fileName)) {
            failed(QStringLiteral("%1 não copiado: \"%2\" não é um nome de arquivo")
                       .arg(source, p.fileName));
            continue;
        }
        if (!QFile::exists(source)) {
            log.AddLogLine(escapeControlCharacters(source + QStringLiteral(" não encontrado!")));
            succeeded = false;
            continue;
        }
        const QString failure = copyFileReplacing(source, copyDestination(folder, p.fileName));
        if (!failure.isEmpty())
            failed(failure);
    }
    return succeeded;
}
