#pragma once

#include "browser/catalogtree.h"

#include <QString>

class TDados;

// Builds both catalogue trees from the two statements, one pass each, and finds the
// nodes that stand for the current selection so that a reload keeps it.
class TreeLoader {
public:
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

    static QStringList organisationSql();
    static QStringList locationSql();

    // Each throws DbError with the engine's text; the tree then keeps what was read.
    static void loadOrganisation(
        TDados &store, CatalogTree &tree, const Selection &sel, Found &found);
    static void loadLocation(TDados &store, CatalogTree &tree, const Selection &sel, Found &found);
};
