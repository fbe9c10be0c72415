#include "maintenance/cataloguecheck.h"

#include "core/ownedtemporary.h"
#include "intake/storagereach.h"
#include "store/connection.h"
#include "store/dialect.h"
#include "store/query.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace {
// "00000042.jpg": the picture key of a thumbnail's name; 0 for any other name.
qint64 thumbnailKey(const char *name)
{
    qint64 key = 0;
    for (int i = 0; i < 8; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        key = key * 10 + (name[i] - '0');
    }
    return std::strcmp(name + 8, ".jpg") == 0 ? key : 0;
}
} // namespace

QList<CatalogueCheck::Finding> CatalogueCheck::run()
{
    QList<Finding> out;
    checkEngine(out);
    checkThumbnails(out);
    checkPictureFiles(out);
    return out;
}

void CatalogueCheck::checkEngine(QList<Finding> &out)
{
    Query q(m_connection);
    q.setSql(m_connection.dialect().integrityCheckSql());
    q.open();
    for (; !q.eof(); q.next()) {
        const QString line = q.value(q.fieldNames().first()).toString();
        if (line != QLatin1String("ok"))
            out.append({ Kind::Integrity, {}, {}, 0, {}, {}, line, 0, false });
    }
    q.close();
    q.setSql(m_connection.dialect().foreignKeyCheckSql());
    q.open();
    for (; !q.eof(); q.next()) {
        Finding f;
        f.kind = Kind::ForeignKey;
        f.table = q.asString(QStringLiteral("table"));
        f.key = q.asInt(QStringLiteral("rowid"));
        f.parent = q.asString(QStringLiteral("parent"));
        out.append(f);
    }
    q.close();
}

void CatalogueCheck::checkThumbnails(QList<Finding> &out)
{
    DIR *dir = ::opendir(QFile::encodeName(m_thumbnails).constData());
    if (!dir)
        return; // no thumbnails yet
    std::vector<qint64> named;
    QList<Finding> temporaries; // reported after the orphans, by name
    const QDir folder(m_thumbnails);
    while (const dirent *entry = ::readdir(dir)) {
        if (const qint64 key = thumbnailKey(entry->d_name)) {
            named.push_back(key);
            continue;
        }
        if (entry->d_name[0] != '.')
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        if (OwnedTemporary::isAbandoned(name)) {
            Finding f;
            f.kind = Kind::LeftoverTemporary;
            f.path = folder.filePath(name);
            temporaries.append(f);
        }
    }
    ::closedir(dir);
    std::sort(temporaries.begin(), temporaries.end(),
        [](const Finding &a, const Finding &b) { return a.path < b.path; });
    const auto appendTemporaries = qScopeGuard([&] { out.append(temporaries); });
    if (named.empty())
        return;
    std::sort(named.begin(), named.end());

    // One ordered pass over the keys against the sorted names.
    Query q(m_connection);
    q.setSql(QStringLiteral("SELECT RecId FROM Pictures WHERE RecId >= :LO ORDER BY RecId"));
    q.setParam(QStringLiteral("LO"), named.front());
    q.open();
    size_t i = 0;
    auto orphan = [&](qint64 key) {
        Finding f;
        f.kind = Kind::OrphanThumbnail;
        f.key = key;
        f.path = folder.filePath(QStringLiteral("%1.jpg").arg(key, 8, 10, QLatin1Char('0')));
        out.append(f);
    };
    for (; !q.eof() && i < named.size(); q.next()) {
        const qint64 id = q.asInt(QStringLiteral("RecId"));
        while (i < named.size() && named[i] < id)
            orphan(named[i++]);
        while (i < named.size() && named[i] == id)
            ++i;
    }
    q.close();
    while (i < named.size())
        orphan(named[i++]);
}

void CatalogueCheck::checkPictureFiles(QList<Finding> &out)
{
    const StorageReach reach;
    struct Storage {
        QString name;
        QString unit;
        StorageReach::State state;
        qint64 missing = 0;
        qint64 pictures = 0;
    };
    QHash<qint64, Storage> storages;
    QList<qint64> order;
    const QHash<qint64, StorageReach::Storage> known = StorageReach::readStorages(m_connection);
    for (const StorageReach::Storage &k : known) {
        // A disk is online while its volume is mounted, wherever; never because the folder
        // it was mounted at is still there.
        storages.insert(k.recId, { k.name, k.unit, reach.stateOf(k), 0, 0 });
        order.append(k.recId);
    }
    std::sort(order.begin(), order.end());
    Query q(m_connection);

    Storage none; // pictures without a storage (or whose storage is gone)
    none.state.online = true;
    q.setSql(QStringLiteral("SELECT Location, FullPath, FileName FROM Pictures"));
    q.open();
    QByteArray path;
    for (; !q.eof(); q.next()) {
        const qint64 location = q.asInt(QStringLiteral("Location"));
        auto it = storages.find(location);
        Storage &s = it == storages.end() ? none : *it;
        ++s.pictures;
        if (!s.state.online)
            continue;
        // A disk mounted elsewhere than its Unit is looked at where it is.
        QString full
            = StorageReach::reachablePath(q.asString(QStringLiteral("FullPath")), s.unit, s.state);
        if (!full.endsWith(QLatin1Char('/')))
            full += QLatin1Char('/');
        path = QFile::encodeName(full + q.asString(QStringLiteral("FileName")));
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            ++s.missing;
    }
    q.close();

    for (qint64 id : std::as_const(order)) {
        const Storage &s = storages[id];
        Finding f;
        f.key = id;
        f.name = s.name;
        if (!s.state.online && s.pictures > 0) {
            f.kind = Kind::OfflineStorage;
            f.path = s.unit;
            f.count = s.pictures;
            out.append(f);
        } else if (s.missing > 0) {
            f.kind = Kind::MissingFiles;
            f.count = s.missing;
            out.append(f);
        }
    }
    if (none.missing > 0) {
        Finding f;
        f.kind = Kind::MissingFiles;
        f.count = none.missing;
        out.append(f);
    }
}

int CatalogueCheck::repair(QList<Finding> &findings)
{
    int removed = 0;
    for (Finding &f : findings) {
        if (f.kind != Kind::OrphanThumbnail && f.kind != Kind::LeftoverTemporary)
            continue;
        // Only a regular file: a link or a folder under such a name is not ours to remove.
        struct stat st;
        const QByteArray name = QFile::encodeName(f.path);
        if (::lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode)
            && ::unlink(name.constData()) == 0) {
            f.repaired = true;
            ++removed;
        }
    }
    return removed;
}
