#include "intake/storagefordrive.h"

#include "store/dberror.h"
#include "store/tdados.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

QString driveOfPath(const QString &path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!existing.isEmpty() && existing != QLatin1String("/") && !QFileInfo::exists(existing))
        existing = QFileInfo(existing).path();
    QString root = QStorageInfo(existing.isEmpty() ? QStringLiteral("/") : existing).rootPath();
    if (root.isEmpty())
        root = QStringLiteral("/");
    // The root keeps its delimiter: an empty Unit would be stored as null and never found.
    while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root;
}

bool StorageForDrive(TDados &store, const QString &drive, const std::function<QString()> &entryText)
{
    RecordSet &storages = store.TStorages;
    if (storages.locate(QStringLiteral("Unit;System"), QVariantList { drive, true }, true))
        return false;
    storages.insert();
    try {
        storages.setValue(QStringLiteral("Name"), entryText ? entryText().trimmed() : QString());
        storages.setValue(QStringLiteral("Unit"), drive);
        storages.setValue(QStringLiteral("System"), true);
        storages.post();
    } catch (...) {
        if (storages.state() == RecordSet::State::Insert)
            storages.cancel();
        throw;
    }
    return true;
}
