#pragma once

#include "browser/catalogtree.h"
#include "store/dberror.h"

#include <QString>
#include <optional>

class TDados;
class TreeRows;

// Builds the catalogue trees from their two statements, one pass each: the rows are read
// whole, put in Portuguese name order, and walked, a node wherever a level's key changes.
// The window keeps the nodes in a model and finds again the nodes of its selection;
// `quillomar-cli tree` prints them as they come.
class TreeLoader {
public:
    enum class Which { Organisation, Location };

    // What the reload must find again; read from the selection and the store.
    struct Selection {
        bool treesCurrent = false;
        NodeKind kind = NodeKind::None;
        qint64 collection = 0;
        qint64 category = 0;
        qint64 picture = 0;
        qint64 storage = 0;
    };
    struct Found {
        int node1 = -1; // organisation tree
        bool expand1 = false;
        int node2 = -1; // location tree
        bool expand2 = false;
    };
    // One node of a walk, in tree order (parents before children).
    struct Node {
        int depth;
        NodeKind kind;
        qint64 key;
        const TreeRows &rows;
        int row; // the name is rows.name(row, depth)
    };
    class Visitor {
    public:
        virtual ~Visitor() = default;
        // Before the first node: about how many nodes will come.
        virtual void begin(int expectedNodes) { Q_UNUSED(expectedNodes); }
        virtual void node(const Node &node) = 0;
    };

    static QStringList organisationSql();
    static QStringList locationSql();

    // Reads a tree's statement into `rows` (whose memory is reused); an engine error comes
    // back after the rows read before it.
    static std::optional<DbError> read(TDados &store, Which which, TreeRows &rows);
    static void walk(const TreeRows &rows, Which which, Visitor &visitor);

    // The window's load into a model; each throws DbError with the engine's text, and the
    // tree then keeps what was read.
    static void loadOrganisation(
        TDados &store, CatalogTree &tree, const Selection &sel, Found &found);
    static void loadLocation(TDados &store, CatalogTree &tree, const Selection &sel, Found &found);
};
