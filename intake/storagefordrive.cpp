#include "intake/storagefordrive.h"

#include "core/casefold.h"
#include "intake/mountedvolumes.h"
#include "intake/storagerelocation.h"
#include "intake/storagevolumes.h"
#include "store/cataloguelocks.h"
#include "store/dberror.h"
#include "store/statement.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <optional>

namespace {

// What the rows say should happen; decided once to see whether anything is to be written,
// and again under the write lock.
struct Plan {
    enum class Kind { Use, Record, Relocate, Add } kind = Kind::Add;
    qint64 storage = 0;
    QString unit; // the storage's Unit now
    bool identityCurrent = true; // Use: the recorded label and type are still the volume's
};

QString unitOf(Connection &db, qint64 storage)
{
    Statement look(db, QStringLiteral("SELECT Unit FROM Storages WHERE RecId = :R"));
    Statement::Reset done(look);
    look.bind(QStringLiteral("R"), storage);
    return look.step() ? look.text(0) : QString();
}

Plan decide(TDados &store, const QString &drive, const VolumeIdentity &identity,
    const MountedVolumes &mounted)
{
    Connection &db = store.Conexao;
    if (identity.isValid()) {
        const QList<qint64> known = StorageVolumes::storagesOf(db, identity);
        std::optional<Plan> moved;
        for (qint64 storage : known) {
            const QString unit = unitOf(db, storage);
            if (unit == drive) {
                const VolumeIdentity recorded = StorageVolumes::read(db, storage);
                return { Plan::Kind::Use, storage, unit,
                    recorded.label == identity.label && recorded.type == identity.type };
            }
            // A copy of the disk (same identity) mounted at the storage's own Unit right now
            // is that storage's disk: this one is another.
            if (!moved && !mounted.identityAt(unit).sameVolume(identity))
                moved = Plan { Plan::Kind::Relocate, storage, unit, true };
        }
        if (moved)
            return *moved;
    }
    RecordSet &storages = store.TStorages;
    if (storages.locate(QStringLiteral("Unit;System"), QVariantList { drive, true }, true)) {
        const qint64 storage = storages.asInt(QStringLiteral("RecId"));
        const QString unit = storages.asString(QStringLiteral("Unit"));
        if (!identity.isValid())
            return { Plan::Kind::Use, storage, unit, true };
        const VolumeIdentity recorded = StorageVolumes::read(db, storage);
        if (!recorded.isValid())
            return { Plan::Kind::Record, storage, unit, true };
        // Another disk that used to be mounted at this same point keeps its storage.
        if (recorded.sameVolume(identity))
            return { Plan::Kind::Use, storage, unit,
                recorded.label == identity.label && recorded.type == identity.type };
    }
    return { Plan::Kind::Add, 0, QString(), true };
}

// The label, or with " (2)", " (3)"... the first form no storage is named yet.
QString freeName(Connection &db, const QString &label)
{
    QStringList names;
    Statement look(db, QStringLiteral("SELECT Name FROM Storages"));
    {
        Statement::Reset done(look);
        while (look.step())
            names << look.text(0);
    }
    const auto taken = [&names](const QString &name) {
        for (const QString &n : std::as_const(names)) {
            if (casefold::equal(n, name))
                return true;
        }
        return false;
    };
    QString name = label;
    for (int n = 2; taken(name); ++n)
        name = QStringLiteral("%1 (%2)").arg(label).arg(n);
    return name;
}

// A free name, held until the transaction ends so that no save takes it meanwhile; looked
// for again once held, since a save may have taken it just before.
QString heldFreeName(Connection &db, const QString &label)
{
    QString name = freeName(db, label);
    for (;;) {
        CatalogueLocks::name(db, QStringLiteral("Storages"), 0, name);
        const QString again = freeName(db, label);
        if (again == name)
            return name;
        name = again;
    }
}

} // namespace

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

StorageChoice StorageForDrive(TDados &store, const QString &drive,
    const std::function<QString()> &entryText, const std::function<void()> &beforeWrite)
{
    const MountedVolumes mounted = MountedVolumes::current();
    return StorageForDrive(
        store, drive, mounted.identityAt(drive), mounted, entryText, beforeWrite);
}

StorageChoice StorageForDrive(TDados &store, const QString &drive, const VolumeIdentity &identity,
    const MountedVolumes &mounted, const std::function<QString()> &entryText,
    const std::function<void()> &beforeWrite)
{
    RecordSet &storages = store.TStorages;
    Connection &db = store.Conexao;
    StorageChoice choice;
    Plan plan = decide(store, drive, identity, mounted);
    if (plan.kind == Plan::Kind::Use && plan.identityCurrent) {
        if (!storages.gotoRowId(plan.storage))
            throw DbError(QStringLiteral("O local %1 não foi encontrado.").arg(plan.storage));
        choice.storage = plan.storage;
        return choice;
    }
    // Looked at again under the write lock the change is made under: another process may
    // have added or moved the drive's row since.
    if (beforeWrite)
        beforeWrite();
    std::optional<Transaction> own;
    if (!db.inTransaction())
        own.emplace(db);
    CatalogueLocks::drives(db);
    plan = decide(store, drive, identity, mounted);
    switch (plan.kind) {
    case Plan::Kind::Use:
        if (!plan.identityCurrent) // relabelled since: the new label is recorded
            StorageVolumes::record(db, plan.storage, identity);
        break;
    case Plan::Kind::Record: StorageVolumes::record(db, plan.storage, identity); break;
    case Plan::Kind::Relocate:
        choice.movedPictures = StorageRelocation::move(db, plan.storage, plan.unit, drive);
        choice.relocated = true;
        choice.formerUnit = plan.unit;
        StorageVolumes::record(db, plan.storage, identity);
        break;
    case Plan::Kind::Add:
        storages.insert();
        try {
            const QString entry = entryText ? entryText().trimmed() : QString();
            const QString label = identity.label.trimmed();
            storages.setValue(QStringLiteral("Name"),
                identity.isValid() && !label.isEmpty() ? heldFreeName(db, label) : entry);
            storages.setValue(QStringLiteral("Unit"), drive);
            storages.setValue(QStringLiteral("System"), true);
            storages.post();
            plan.storage = storages.asInt(QStringLiteral("RecId"));
            if (identity.isValid())
                StorageVolumes::record(db, plan.storage, identity);
        } catch (...) {
            if (storages.state() == RecordSet::State::Insert)
                storages.cancel();
            throw;
        }
        choice.added = true;
        break;
    }
    if (own)
        own->commit();
    choice.storage = plan.storage;
    if (!choice.added || own) {
        if (!storages.gotoRowId(plan.storage))
            throw DbError(QStringLiteral("O local %1 não foi encontrado.").arg(plan.storage));
    }
    return choice;
}
