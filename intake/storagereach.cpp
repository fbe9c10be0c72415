#include "intake/storagereach.h"

#include "intake/storagerelocation.h"
#include "intake/storagevolumes.h"
#include "store/connection.h"
#include "store/statement.h"

#include <QFileInfo>

StorageReach::StorageReach() : m_mounted(MountedVolumes::current()) { }

StorageReach::State StorageReach::stateOf(const Storage &storage) const
{
    State state;
    if (storage.identity.isValid()) {
        state.mountPoint = m_mounted.mountPointOf(storage.identity);
        state.online = !state.mountPoint.isEmpty();
        return state;
    }
    const QString unit = storage.unit;
    if (unit.isEmpty())
        return state;
    if (storage.system)
        state.online = unit == QLatin1String("/") || m_mounted.isMountPoint(unit);
    else
        state.online = QFileInfo(unit).isDir();
    if (state.online)
        state.mountPoint = unit;
    return state;
}

QHash<qint64, StorageReach::Storage> StorageReach::readStorages(Connection &connection)
{
    QHash<qint64, Storage> all;
    const QHash<qint64, VolumeIdentity> identities = StorageVolumes::readAll(connection);
    Statement look(connection, QStringLiteral("SELECT RecId, Name, Unit, System FROM Storages"));
    Statement::Reset done(look);
    while (look.step()) {
        Storage s;
        s.recId = look.integer(0);
        s.name = look.text(1);
        s.unit = look.text(2);
        s.system = !look.isNull(3) && look.integer(3) != 0;
        s.identity = identities.value(s.recId);
        all.insert(s.recId, s);
    }
    return all;
}

StorageReach::Storage StorageReach::readStorage(Connection &connection, qint64 recId)
{
    Storage s;
    Statement look(connection,
        QStringLiteral("SELECT RecId, Name, Unit, System FROM Storages WHERE RecId = :R"));
    Statement::Reset done(look);
    look.bind(QStringLiteral("R"), recId);
    if (!look.step())
        return s;
    s.recId = look.integer(0);
    s.name = look.text(1);
    s.unit = look.text(2);
    s.system = !look.isNull(3) && look.integer(3) != 0;
    s.identity = StorageVolumes::read(connection, recId);
    return s;
}

QString StorageReach::reachablePath(
    const QString &fullPath, const QString &unit, const State &state)
{
    if (!state.online || state.mountPoint.isEmpty() || state.mountPoint == unit)
        return fullPath;
    const QString from = StorageRelocation::prefixOf(unit);
    if (fullPath == unit || fullPath.startsWith(from))
        return StorageRelocation::prefixOf(state.mountPoint) + fullPath.mid(from.size());
    return fullPath;
}

namespace {
// The disk as the person knows it: its label, else its storage's name, else where it was.
QString diskName(const StorageReach::Storage &storage)
{
    QString disk = storage.identity.label.trimmed();
    if (disk.isEmpty())
        disk = storage.name.trimmed();
    if (disk.isEmpty())
        disk = storage.unit;
    return disk;
}
} // namespace

QString StorageReach::connectDiskMessage(const Storage &storage)
{
    return QStringLiteral("Conecte o disco «%1» para abrir esta imagem.").arg(diskName(storage));
}

QString StorageReach::disconnectedText(const Storage &storage)
{
    QString text = QStringLiteral("Disco «%1» não conectado").arg(diskName(storage));
    QStringList details;
    if (!storage.identity.type.isEmpty())
        details << storage.identity.type;
    if (storage.identity.isValid())
        details << QStringLiteral("UUID %1").arg(storage.identity.uuid);
    if (!storage.unit.isEmpty())
        details << QStringLiteral("montado da última vez em %1").arg(storage.unit);
    if (!details.isEmpty())
        text += QStringLiteral(" (%1)").arg(details.join(QStringLiteral(", ")));
    return text;
}

QHash<qint64, QString> StorageReach::offlineStorages(Connection &connection) const
{
    QHash<qint64, QString> offline;
    for (const Storage &storage : readStorages(connection)) {
        if (!stateOf(storage).online)
            offline.insert(storage.recId, disconnectedText(storage));
    }
    return offline;
}

StorageReach::PictureFile StorageReach::pictureFile(
    Connection &connection, qint64 location, const QString &fullPath, const QString &fileName) const
{
    PictureFile file;
    QString folder = fullPath;
    // A picture of no storage is looked for where its row says.
    const Storage storage = location > 0 ? readStorage(connection, location) : Storage();
    if (storage.recId != 0) {
        const State state = stateOf(storage);
        if (!state.online) {
            file.online = false;
            file.message = connectDiskMessage(storage);
            return file;
        }
        folder = reachablePath(fullPath, storage.unit, state);
    }
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    file.path = folder + fileName;
    return file;
}
