#include "browser/treeloader.h"

#include "browser/treerows.h"
#include "store/tdados.h"

#include "store/statement.h"

#include <memory>
#include <optional>

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

// Streams the statement of the store's scratch query straight from the engine: a million
// rows through QVariant would cost more than the query itself.
class RowReader {
public:
    RowReader(TDados &store, const QStringList &lines)
        : m_statement(prepared(store, lines)), m_done(*m_statement)
    {
    }

    int column(const QString &alias) const
    {
        const int i = m_statement->columnIndex(alias);
        if (i < 0)
            throw DbError(QStringLiteral("Coluna não encontrada: %1").arg(alias));
        return i;
    }
    bool step() { return m_statement->step(); }
    bool isNull(int c) const { return m_statement->isNull(c); }
    qint64 key(int c) const { return m_statement->integer(c); }
    QByteArrayView text(int c) const { return m_statement->utf8View(c); }

private:
    static std::unique_ptr<Statement> prepared(TDados &store, const QStringList &lines)
    {
        store.SQLTmp.close();
        store.SQLTmp.clearSql();
        for (const QString &line : lines)
            store.SQLTmp.addLine(line);
        if (!store.Conexao.isOpen())
            throw DbError(QStringLiteral("Banco de dados não conectado."));
        return std::make_unique<Statement>(store.Conexao, store.SQLTmp.sql());
    }

    std::unique_ptr<Statement> m_statement;
    Statement::Reset m_done;
};

// Ends the model's load whatever happens, so a failed query leaves the nodes read so far.
struct LoadGuard {
    CatalogTree &tree;
    explicit LoadGuard(CatalogTree &t) : tree(t) { tree.beginLoad(); }
    ~LoadGuard() { tree.endLoad(); }
};

// Keeps the nodes in the window's model and notes the nodes of the selection.
class ModelBuilder : public TreeLoader::Visitor {
public:
    ModelBuilder(CatalogTree &tree, const TreeLoader::Selection &sel, int &found, bool &expand)
        : m_tree(tree), m_sel(sel), m_found(found), m_expand(expand)
    {
    }
    void begin(int expectedNodes) override { m_tree.reserve(expectedNodes); }
    void node(const TreeLoader::Node &n) override
    {
        m_node[n.depth] = m_tree.appendShared(n.depth == 0 ? -1 : m_node[n.depth - 1], n.kind,
            n.key, n.rows.nameSpan(n.row, n.depth), kIcon[int(n.kind)]);
        if (m_sel.treesCurrent && m_sel.kind == n.kind && selected(n.kind) == n.key) {
            m_found = m_node[n.depth];
            // A picture is selected without being expanded.
            m_expand = n.kind != NodeKind::Picture;
        }
    }

private:
    static constexpr quint8 kIcon[] = { 0, 0, 1, 2, 0 };
    qint64 selected(NodeKind kind) const
    {
        switch (kind) {
        case NodeKind::Collection: return m_sel.collection;
        case NodeKind::Category: return m_sel.category;
        case NodeKind::Picture: return m_sel.picture;
        case NodeKind::Storage: return m_sel.storage;
        case NodeKind::None: break;
        }
        return 0;
    }

    CatalogTree &m_tree;
    const TreeLoader::Selection &m_sel;
    int &m_found;
    bool &m_expand;
    int m_node[TreeRows::kMaxLevels] = { -1, -1, -1 };
};

// The kinds of a tree's levels, outermost first.
QList<NodeKind> levelKinds(TreeLoader::Which which)
{
    if (which == TreeLoader::Which::Organisation)
        return { NodeKind::Collection, NodeKind::Category, NodeKind::Picture };
    return { NodeKind::Storage, NodeKind::Picture };
}

void load(TDados &store, TreeLoader::Which which, CatalogTree &tree,
    const TreeLoader::Selection &sel, int &found, bool &expand)
{
    LoadGuard guard(tree);
    TreeRows rows(int(levelKinds(which).size()));
    const std::optional<DbError> failed = TreeLoader::read(store, which, rows);
    ModelBuilder builder(tree, sel, found, expand);
    TreeLoader::walk(rows, which, builder);
    tree.adoptNames(rows.takeNames());
    if (failed)
        throw *failed;
}

} // namespace

// Reads every row of a tree statement: per level its key column and its name column.
std::optional<DbError> TreeLoader::read(TDados &store, Which which, TreeRows &rows)
{
    const bool organisation = which == Which::Organisation;
    const QList<std::pair<QString, QString>> levels = organisation
        ? QList<std::pair<QString, QString>> { { QStringLiteral("ColRec"),
                                                   QStringLiteral("ColNam") },
              { QStringLiteral("CatRec"), QStringLiteral("CatNam") },
              { QStringLiteral("ComRec"), QStringLiteral("ComNam") } }
        : QList<std::pair<QString, QString>> { { QStringLiteral("LocRec"),
                                                   QStringLiteral("LocNam") },
              { QStringLiteral("ComRec"), QStringLiteral("ComNam") } };
    rows.reset(int(levels.size()));
    try {
        RowReader reader(store, organisation ? organisationSql() : locationSql());
        QVector<std::pair<int, int>> columns;
        for (const auto &[key, name] : levels)
            columns.append({ reader.column(key), reader.column(name) });
        while (reader.step()) {
            rows.addRow();
            for (int l = 0; l < columns.size(); ++l) {
                const auto [key, name] = columns[l];
                if (reader.isNull(key))
                    continue;
                if (rows.setKey(l, reader.key(key)) && !reader.isNull(name)) {
                    const QByteArrayView text = reader.text(name);
                    rows.setName(l, text.data(), int(text.size()));
                }
            }
        }
    } catch (const DbError &e) {
        store.SQLTmp.close();
        return e;
    }
    store.SQLTmp.close();
    return std::nullopt;
}

// A node wherever a level's key changes from the row before (the last keys start at 0 and
// are not reset between parents), as the trees have always been built from the rows.
void TreeLoader::walk(const TreeRows &rows, Which which, Visitor &visitor)
{
    const QList<NodeKind> kinds = levelKinds(which);
    int groups = 0;
    const QVector<int> order = rows.order(&groups);
    visitor.begin(rows.count() + int(kinds.size() - 1) * groups);
    qint64 last[TreeRows::kMaxLevels] = {};
    for (int row : order) {
        for (int level = 0; level < kinds.size(); ++level) {
            if (rows.isNull(row, level) || rows.key(row, level) == last[level])
                continue;
            last[level] = rows.key(row, level);
            visitor.node({ level, kinds[level], last[level], rows, row });
        }
    }
}

void TreeLoader::loadOrganisation(
    TDados &store, CatalogTree &tree, const Selection &sel, Found &found)
{
    load(store, Which::Organisation, tree, sel, found.node1, found.expand1);
}

void TreeLoader::loadLocation(TDados &store, CatalogTree &tree, const Selection &sel, Found &found)
{
    load(store, Which::Location, tree, sel, found.node2, found.expand2);
}
