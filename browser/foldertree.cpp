#include "browser/foldertree.h"

#include "core/namecollation.h"
#include "store/connection.h"
#include "store/statement.h"

#include <algorithm>
#include <numeric>

namespace {

// Rows come in the engine's NOCASE name order, which is nearly the Portuguese one: merging
// the runs that break it costs little more than one pass.
template<typename T, typename Less> void sortNearlySorted(QVector<T> &items, Less less)
{
    QVector<qsizetype> runs { 0 };
    for (qsizetype i = 1; i < items.size(); ++i)
        if (less(items[i], items[i - 1]))
            runs.append(i);
    if (runs.size() == 1)
        return;
    runs.append(items.size());
    while (runs.size() > 2) {
        QVector<qsizetype> merged;
        for (qsizetype r = 0; r + 2 < runs.size(); r += 2) {
            std::inplace_merge(
                items.begin() + runs[r], items.begin() + runs[r + 1], items.begin() + runs[r + 2], less);
            merged.append(runs[r]);
        }
        if (runs.size() % 2 == 0)
            merged.append(runs[runs.size() - 2]);
        merged.append(items.size());
        runs = merged;
    }
}

} // namespace

QString FolderTree::normalised(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

QString FolderTree::folderCode(qint64 storage, const QString &path)
{
    return QStringLiteral("N5=%1:%2").arg(storage).arg(path);
}

QVector<FolderTree::Storage> FolderTree::storages(Connection &connection)
{
    QVector<Storage> list;
    Statement s(connection,
        QStringLiteral("SELECT RecId, Name, Unit FROM Storages ORDER BY Name, RecId"));
    Statement::Reset done(s);
    while (s.step())
        list.append({ s.integer(0), s.text(1), s.text(2) });
    std::stable_sort(list.begin(), list.end(),
        [](const Storage &a, const Storage &b) { return NameCollation::lessThan(a.name, b.name); });
    return list;
}

void FolderTree::read(Connection &connection, const Storage &storage)
{
    QVector<QPair<QString, qint64>> paths;
    Statement s(connection,
        QStringLiteral("SELECT FullPath COLLATE BINARY, COUNT(*) FROM Pictures "
                       "WHERE Location = :L GROUP BY 1"));
    Statement::Reset done(s);
    s.bind(QStringLiteral("L"), storage.key);
    while (s.step())
        paths.append({ s.text(0), s.integer(1) });
    build(storage, paths);
}

void FolderTree::build(const Storage &storage, const QVector<QPair<QString, qint64>> &paths)
{
    m_storage = storage;
    m_root = normalised(storage.unit.isEmpty() ? QStringLiteral("/") : storage.unit);
    m_folders.clear();
    m_byPath.clear();
    m_folders.append({ storage.name, m_root, -1, {}, 0 });
    m_byPath.insert(m_root, 0);
    for (const auto &[path, count] : paths)
        m_folders[ensureFolder(path)].pictures += count;
    for (Folder &f : m_folders)
        std::sort(f.children.begin(), f.children.end(), [this](int a, int b) {
            const int c = NameCollation::compare(m_folders[a].name, m_folders[b].name);
            return c != 0 ? c < 0 : m_folders[a].path < m_folders[b].path;
        });
}

int FolderTree::ensureFolder(const QString &fullPath)
{
    const QString path = fullPath.isEmpty() ? m_root : normalised(fullPath);
    if (const auto it = m_byPath.constFind(path); it != m_byPath.cend())
        return it.value();
    // The levels below the Unit; a path elsewhere keeps all of its levels.
    QString rest;
    QString prefix;
    if (m_root == QLatin1String("/")) {
        rest = path.mid(1);
    } else if (path.startsWith(m_root + QLatin1Char('/'))) {
        rest = path.mid(m_root.size() + 1);
        prefix = m_root;
    } else {
        rest = path.startsWith(QLatin1Char('/')) ? path.mid(1) : path;
    }
    int parent = 0;
    QString walked = prefix;
    for (const QString &level : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        walked += QLatin1Char('/') + level;
        parent = childNamed(parent, level, walked);
    }
    m_byPath.insert(path, parent);
    return parent;
}

int FolderTree::childNamed(int parent, const QString &name, const QString &path)
{
    if (const auto it = m_byPath.constFind(path); it != m_byPath.cend())
        return it.value();
    const int index = int(m_folders.size());
    m_folders.append({ name, path, parent, {}, 0 });
    m_folders[parent].children.append(index);
    m_byPath.insert(path, index);
    return index;
}

int FolderTree::folderOf(const QString &fullPath) const
{
    const QString path = fullPath.isEmpty() ? m_root : normalised(fullPath);
    return m_byPath.value(path, -1);
}

int FolderTree::depth(int folder) const
{
    int d = 0;
    for (int p = m_folders[folder].parent; p >= 0; p = m_folders[p].parent)
        ++d;
    return d;
}

QVector<int> FolderTree::depthFirstRanks() const
{
    QVector<int> rank(m_folders.size(), -1);
    int next = 0;
    // Post-order: a folder's own pictures come after all of its subfolders.
    QVector<QPair<int, int>> stack { { 0, 0 } };
    while (!stack.isEmpty()) {
        auto &[folder, child] = stack.last();
        const Folder &f = m_folders[folder];
        if (child < f.children.size()) {
            const int c = f.children[child++];
            stack.append({ c, 0 });
        } else {
            rank[folder] = next++;
            stack.removeLast();
        }
    }
    return rank;
}

QVector<FolderTree::Row> FolderTree::readRows(
    Connection &connection, int folder, bool subfolders) const
{
    const Folder &f = m_folders[folder];
    const bool whole = subfolders && folder == 0;
    QString sql = QStringLiteral("SELECT RecId, Name, FullPath FROM Pictures WHERE Location = :L");
    const QString slashed = f.path == QLatin1String("/") ? f.path : f.path + QLatin1Char('/');
    if (!whole) {
        sql += QStringLiteral(" AND (FullPath COLLATE BINARY IN (:P, :S)");
        if (folder == 0)
            sql += QStringLiteral(" OR FullPath IS NULL OR FullPath = ''");
        if (subfolders)
            sql += QStringLiteral(" OR substr(FullPath, 1, :N) = :S");
        sql += QLatin1Char(')');
    }
    sql += QStringLiteral(" ORDER BY Name, RecId");
    Statement s(connection, sql);
    Statement::Reset done(s);
    s.bind(QStringLiteral("L"), m_storage.key);
    if (!whole) {
        s.bind(QStringLiteral("P"), f.path);
        s.bind(QStringLiteral("S"), slashed);
        if (subfolders)
            s.bind(QStringLiteral("N"), qint64(slashed.size()));
    }
    QVector<Row> rows;
    // Pictures of one folder come together in the thousands: its path is looked up once.
    QByteArray lastPath;
    int lastFolder = folder;
    bool first = true;
    while (s.step()) {
        int in = folder;
        if (subfolders) {
            const QByteArrayView path = s.utf8View(2);
            if (first || path != QByteArrayView(lastPath)) {
                lastPath = path.toByteArray();
                lastFolder = folderOf(QString::fromUtf8(lastPath));
                first = false;
            }
            in = lastFolder;
        }
        if (in >= 0) // not one a folder made after the tree was read
            rows.append({ { s.integer(0), s.text(1) }, in });
    }
    sortNearlySorted(rows, [](const Row &a, const Row &b) {
        const int c = NameCollation::compare(a.picture.name, b.picture.name);
        return c != 0 ? c < 0 : a.picture.key < b.picture.key;
    });
    return rows;
}

QVector<FolderTree::Picture> FolderTree::pictures(
    Connection &connection, int folder, bool subfolders) const
{
    QVector<Row> rows = readRows(connection, folder, subfolders);
    const bool oneFolder = std::all_of(
        rows.cbegin(), rows.cend(), [&rows](const Row &r) { return r.folder == rows.front().folder; });
    if (subfolders && !oneFolder) {
        const QVector<int> ranks = depthFirstRanks();
        std::stable_sort(rows.begin(), rows.end(),
            [&ranks](const Row &a, const Row &b) { return ranks[a.folder] < ranks[b.folder]; });
    }
    QVector<Picture> out;
    out.reserve(rows.size());
    for (const Row &r : rows)
        out.append(r.picture);
    return out;
}

QVector<QVector<FolderTree::Picture>> FolderTree::picturesByFolder(Connection &connection) const
{
    QVector<QVector<Picture>> byFolder(m_folders.size());
    for (const Row &r : readRows(connection, 0, true))
        byFolder[r.folder].append(r.picture);
    return byFolder;
}
