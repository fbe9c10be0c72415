#include "maintenance/duplicatefinder.h"

#include "intake/contentfingerprint.h"
#include "intake/picturefingerprints.h"
#include "maintenance/hammingindex.h"
#include "store/connection.h"
#include "store/dbvalues.h"
#include "store/statement.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <map>

// One fingerprinted picture with what is needed to tell it and to check it is current.
struct DuplicateFinder::Row {
    qint64 picture = 0;
    qint64 size = 0; // fingerprinted
    QByteArray content;
    QVariant modified; // fingerprinted
    qint64 pictureSize = 0; // the Pictures row's now
    QVariant pictureModified;
    qint64 location = 0;
    QString fullPath;
    QString fileName;

    // The file was not changed since its fingerprint was taken. The catalogue keeps the low
    // 32 bits of a file's size.
    bool current() const
    {
        if (qint32(quint32(size)) != pictureSize && size != pictureSize)
            return false;
        if (modified.isNull())
            return true;
        return modified.toString() == pictureModified.toString()
            || dbvalues::fromDbDate(modified) == dbvalues::fromDbDate(pictureModified);
    }
};

namespace {

// Columns 0..8 of a row query: f.Picture, f.FileSize, f.Content, f.Modified, p.FileSize,
// p.Modified, p.Location, p.FullPath, p.FileName.
const char *const rowColumns = "f.Picture, f.FileSize, f.Content, f.Modified, p.FileSize,"
                               " p.Modified, p.Location, p.FullPath, p.FileName";

template<typename R> R rowOf(const Statement &s)
{
    R r;
    r.picture = s.integer(0);
    r.size = s.integer(1);
    r.content = s.isNull(2) ? QByteArray() : s.value(2).toByteArray();
    r.modified = s.value(3);
    r.pictureSize = s.isNull(4) ? -1 : s.integer(4);
    r.pictureModified = s.value(5);
    r.location = s.isNull(6) ? 0 : s.integer(6);
    r.fullPath = s.text(7);
    r.fileName = s.text(8);
    return r;
}

bool byFirstPicture(const DuplicateFinder::Group &a, const DuplicateFinder::Group &b)
{
    return a.first().picture < b.first().picture;
}

} // namespace

DuplicateFinder::DuplicateFinder(Connection &connection, const StorageReach &reach)
    : m_connection(connection), m_reach(reach)
{
    readWhole = [](const QString &path) { return ContentFingerprint::ofFile(path); };
}

DuplicateFinder::Member DuplicateFinder::describe(const Row &row) const
{
    Member m;
    m.picture = row.picture;
    m.storage = row.location;
    m.fullPath = row.fullPath;
    m.fileName = row.fileName;
    const auto s = m_storages.constFind(row.location);
    if (s != m_storages.cend()) {
        m.storageName = s->name;
        m.online = m_states.value(row.location).online;
    }
    return m;
}

QList<DuplicateFinder::Group> DuplicateFinder::exactGroups()
{
    QList<Group> out;
    if (!PictureFingerprints::exists(m_connection))
        return out;
    m_storages = StorageReach::readStorages(m_connection);
    m_states.clear();
    for (auto it = m_storages.cbegin(); it != m_storages.cend(); ++it)
        m_states.insert(it.key(), m_reach.stateOf(*it));

    Statement rows(m_connection,
        QStringLiteral(
            "SELECT %1, f.Sample FROM"
            " (SELECT FileSize, Sample FROM PictureFingerprints WHERE FileSize >= 0"
            "  GROUP BY FileSize, Sample HAVING count(*) > 1) g"
            " JOIN PictureFingerprints f ON f.FileSize = g.FileSize AND f.Sample = g.Sample"
            " JOIN Pictures p ON p.RecId = f.Picture"
            " ORDER BY f.FileSize, f.Sample, f.Picture")
            .arg(QLatin1String(rowColumns)));
    Statement::Reset done(rows);

    QList<Row> block; // one size and one sample hash
    qint64 blockSize = -1;
    qint64 blockSample = 0;
    const auto settle = [&] {
        std::map<QByteArray, Group> byContent;
        Group unconfirmed;
        for (const Row &r : std::as_const(block)) {
            if (!r.current())
                continue;
            QByteArray content = r.content;
            if (content.isEmpty()) {
                // Read in samples only: the whole file decides, where it can be read.
                const StorageReach::State state = m_states.value(r.location);
                if (!state.online) {
                    unconfirmed.append(describe(r));
                    continue;
                }
                QString folder = StorageReach::reachablePath(
                    r.fullPath, m_storages.value(r.location).unit, state);
                if (!folder.endsWith(QLatin1Char('/')))
                    folder += QLatin1Char('/');
                const std::optional<ContentFingerprint> whole = readWhole(folder + r.fileName);
                if (!whole || whole->size != r.size)
                    continue;
                content = whole->content;
            }
            byContent[content].append(describe(r));
        }
        if (byContent.size() == 1)
            byContent.begin()->second.append(unconfirmed);
        else if (byContent.empty())
            byContent[QByteArray()] = unconfirmed;
        for (auto &[content, group] : byContent) {
            if (group.size() < 2)
                continue;
            std::sort(group.begin(), group.end(),
                [](const Member &a, const Member &b) { return a.picture < b.picture; });
            out.append(group);
        }
        block.clear();
    };
    while (rows.step()) {
        const Row r = rowOf<Row>(rows);
        const qint64 sample = rows.integer(9);
        if (!block.isEmpty() && (r.size != blockSize || sample != blockSample))
            settle();
        blockSize = r.size;
        blockSample = sample;
        block.append(r);
    }
    if (!block.isEmpty())
        settle();
    std::sort(out.begin(), out.end(), byFirstPicture);
    return out;
}

QList<DuplicateFinder::Group> DuplicateFinder::similarGroups(int distance)
{
    QList<Group> exact = exactGroups();
    if (!PictureFingerprints::exists(m_connection))
        return exact;
    distance = std::clamp(distance, 0, kMaxDistance);

    std::vector<qint64> pictures;
    std::vector<quint64> hashes;
    {
        Statement look(m_connection,
            QStringLiteral("SELECT Picture, Perceptual FROM PictureFingerprints"
                           " WHERE Perceptual IS NOT NULL"));
        Statement::Reset done(look);
        while (look.step()) {
            pictures.push_back(look.integer(0));
            hashes.push_back(quint64(look.integer(1)));
        }
    }
    QHash<qint64, quint32> position;
    position.reserve(qsizetype(pictures.size()));
    for (size_t i = 0; i < pictures.size(); ++i)
        position.insert(pictures[i], quint32(i));
    // Exact copies are similar too, also those whose look is not known.
    for (const Group &g : std::as_const(exact)) {
        for (const Member &m : g) {
            if (!position.contains(m.picture)) {
                position.insert(m.picture, quint32(pictures.size()));
                pictures.push_back(m.picture);
            }
        }
    }
    ItemGroups groups(quint32(pictures.size()));
    HammingIndex(std::move(hashes)).forEachPairWithin(distance, [&](quint32 a, quint32 b) {
        groups.join(a, b);
    });
    QHash<qint64, Member> known;
    for (const Group &g : std::as_const(exact)) {
        for (const Member &m : g) {
            groups.join(position.value(g.first().picture), position.value(m.picture));
            known.insert(m.picture, m);
        }
    }

    // The members' rows, read in key order, which is the order of both tables.
    const std::vector<std::vector<quint32>> components = groups.groups();
    std::vector<qint64> wanted;
    for (const std::vector<quint32> &items : components)
        for (quint32 item : items)
            if (!known.contains(pictures[item]))
                wanted.push_back(pictures[item]);
    std::sort(wanted.begin(), wanted.end());
    {
        Statement one(m_connection,
            QStringLiteral("SELECT %1 FROM PictureFingerprints f JOIN Pictures p"
                           " ON p.RecId = f.Picture WHERE f.Picture = ?1")
                .arg(QLatin1String(rowColumns)),
            Statement::Lifetime::Persistent);
        for (qint64 picture : wanted) {
            Statement::Reset done(one);
            one.bindInteger(1, picture);
            if (!one.step())
                continue;
            const Row r = rowOf<Row>(one);
            if (r.current())
                known.insert(picture, describe(r));
        }
    }
    QList<Group> out;
    for (const std::vector<quint32> &items : components) {
        Group group;
        for (quint32 item : items) {
            if (const auto k = known.constFind(pictures[item]); k != known.cend())
                group.append(*k);
        }
        if (group.size() < 2)
            continue;
        std::sort(group.begin(), group.end(),
            [](const Member &a, const Member &b) { return a.picture < b.picture; });
        out.append(group);
    }
    std::sort(out.begin(), out.end(), byFirstPicture);
    return out;
}
