#include "intake/storagefordrive.h"

#include "store/dberror.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <optional>

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

bool StorageForDrive(TDados &store, const QString &drive, const std::function<QString()> &entryText,
    const std::function<void()> &beforeWrite)
{
    RecordSet &storages = store.TStorages;
    const auto found = [&] {
        return storages.locate(QStringLiteral("Unit;System"), QVariantList { drive, true }, true);
    };
    if (found())
        return false;
    // Looked for again under the write lock the row is added under: another process may
    // have added the drive's row since, and a drive has one.
    if (beforeWrite)
        beforeWrite();
    std::optional<Transaction> own;
    if (!store.Conexao.inTransaction())
        own.emplace(store.Conexao);
    if (found())
        return false;
    storages.insert();
    try {
        storages.setValue(QStringLiteral("Name"), entryText ? entryText().trimmed() : QString());
        storages.setValue(QStringLiteral("Unit"), drive);
        storages.setValue(QStringLiteral("System"), true);
        storages.post();
        if (own)
            own->commit();
    } catch (...) {
        if (storages.state() == RecordSet::State::Insert)
            storages.cancel();
        throw;
    }
    if (own)
        storages.refresh();
    return true;
}
