#include "browser/treeloader.h"

#include "store/dberror.h"
#include "store/tdados.h"

#include <sqlite3.h>

QStringList TreeLoader::organisationSql()
{
    return {
        QStringLiteral("SELECT S1.*, Pictures.RecId AS ComRec, Pictures.Name AS ComNam FROM "),
        QStringLiteral("(SELECT "),
        QStringLiteral("Collections.RecId AS ColRec, "),
        QStringLiteral("Collections.Name AS ColNam, "),
        QStringLiteral("Categories.RecId AS CatRec, "),
        QStringLiteral("Categories.Name AS CatNam "),
        QStringLiteral("FROM Collections "),
        QStringLiteral("LEFT JOIN Categories ON Collections.RecId = Categories.Collection) AS S1 "),
        QStringLiteral("LEFT JOIN Pictures ON S1.CatRec = Pictures.Category "),
        QStringLiteral("ORDER BY 2, 4, 6"),
    };
}

QStringList TreeLoader::locationSql()
{
    return {
        QStringLiteral("SELECT Storages.RecId AS LocRec, Storages.Name AS LocNam, "),
        QStringLiteral("Pictures.RecId AS ComRec, Pictures.Name AS ComNam "),
        QStringLiteral("FROM Storages "),
        QStringLiteral("LEFT JOIN Pictures ON Storages.RecId = Pictures.Location "),
        QStringLiteral("ORDER BY 2, 4"),
    };
}

namespace {

// Streams the statement of the store's scratch query straight from SQLite: a million rows
// through QVariant would cost more than the query itself.
class RowReader {
public:
    RowReader(TDados &store, const QStringList &lines)
    {
        store.SQLTmp.close();
        store.SQLTmp.clearSql();
        for (const QString &line : lines)
            store.SQLTmp.addLine(line);
        m_db = store.Conexao.handle();
        if (!m_db)
            throw DbError(QStringLiteral("Banco de dados não conectado."));
        const QByteArray sql = store.SQLTmp.sql().toUtf8();
        if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &m_stmt, nullptr)
            != SQLITE_OK)
            fail();
        for (int i = 0, n = sqlite3_column_count(m_stmt); i < n; ++i)
            m_names.append(QString::fromUtf8(sqlite3_column_name(m_stmt, i)));
    }
    ~RowReader() { sqlite3_finalize(m_stmt); }

    int column(const QString &alias) const
    {
        const int i = int(m_names.indexOf(alias));
        if (i < 0)
            throw DbError(QStringLiteral("Coluna não encontrada: %1").arg(alias));
        return i;
    }
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }
    bool isNull(int c) const { return sqlite3_column_type(m_stmt, c) == SQLITE_NULL; }
    qint64 key(int c) const { return sqlite3_column_int64(m_stmt, c); }
    // Invalid UTF-8 (names taken from file names) becomes replacement characters.
    QString text(int c) const
    {
        const char *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, c));
        return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, c));
    }

private:
    [[noreturn]] void fail()
    {
        throw DbError(QString::fromUtf8(sqlite3_errmsg(m_db)), sqlite3_extended_errcode(m_db));
    }

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    QStringList m_names;
};

// Ends the model's load whatever happens, so a failed query leaves the nodes read so far.
struct LoadGuard {
    CatalogTree &tree;
    explicit LoadGuard(CatalogTree &t) : tree(t) { tree.beginLoad(); }
    ~LoadGuard() { tree.endLoad(); }
};

} // namespace

void TreeLoader::loadOrganisation(
    TDados &store, CatalogTree &tree, const Selection &sel, Found &found)
{
    LoadGuard guard(tree);
    RowReader rows(store, organisationSql());
    const int colRec = rows.column(QStringLiteral("ColRec"));
    const int colNam = rows.column(QStringLiteral("ColNam"));
    const int catRec = rows.column(QStringLiteral("CatRec"));
    const int catNam = rows.column(QStringLiteral("CatNam"));
    const int comRec = rows.column(QStringLiteral("ComRec"));
    const int comNam = rows.column(QStringLiteral("ComNam"));
    qint64 lastCollection = 0, lastCategory = 0, lastPicture = 0;
    int collectionNode = -1, categoryNode = -1;
    const bool keep = sel.treesCurrent;
    while (rows.step()) {
        if (!rows.isNull(colRec) && rows.key(colRec) != lastCollection) {
            lastCollection = rows.key(colRec);
            collectionNode
                = tree.append(-1, NodeKind::Collection, lastCollection, rows.text(colNam), 0);
            if (keep && sel.kind == NodeKind::Collection && sel.collection == lastCollection) {
                found.node1 = collectionNode;
                found.expand1 = true;
            }
        }
        if (!rows.isNull(catRec) && rows.key(catRec) != lastCategory) {
            lastCategory = rows.key(catRec);
            categoryNode = tree.append(
                collectionNode, NodeKind::Category, lastCategory, rows.text(catNam), 1);
            if (keep && sel.kind == NodeKind::Category && sel.category == lastCategory) {
                found.node1 = categoryNode;
                found.expand1 = true;
            }
        }
        if (!rows.isNull(comRec) && rows.key(comRec) != lastPicture) {
            lastPicture = rows.key(comRec);
            const int node
                = tree.append(categoryNode, NodeKind::Picture, lastPicture, rows.text(comNam), 2);
            if (keep && sel.kind == NodeKind::Picture && sel.picture == lastPicture) {
                found.node1 = node;
                found.expand1 = false;
            }
        }
    }
    store.SQLTmp.close();
}

void TreeLoader::loadLocation(TDados &store, CatalogTree &tree, const Selection &sel, Found &found)
{
    LoadGuard guard(tree);
    RowReader rows(store, locationSql());
    const int locRec = rows.column(QStringLiteral("LocRec"));
    const int locNam = rows.column(QStringLiteral("LocNam"));
    const int comRec = rows.column(QStringLiteral("ComRec"));
    const int comNam = rows.column(QStringLiteral("ComNam"));
    qint64 lastStorage = 0, lastPicture = 0;
    int storageNode = -1;
    const bool keep = sel.treesCurrent;
    while (rows.step()) {
        if (!rows.isNull(locRec) && rows.key(locRec) != lastStorage) {
            lastStorage = rows.key(locRec);
            storageNode = tree.append(-1, NodeKind::Storage, lastStorage, rows.text(locNam), 0);
            if (keep && sel.kind == NodeKind::Storage && sel.storage == lastStorage) {
                found.node2 = storageNode;
                found.expand2 = true;
            }
        }
        if (!rows.isNull(comRec) && rows.key(comRec) != lastPicture) {
            lastPicture = rows.key(comRec);
            const int node
                = tree.append(storageNode, NodeKind::Picture, lastPicture, rows.text(comNam), 2);
            if (keep && sel.kind == NodeKind::Picture && sel.picture == lastPicture) {
                found.node2 = node;
                found.expand2 = false;
            }
        }
    }
    store.SQLTmp.close();
}
