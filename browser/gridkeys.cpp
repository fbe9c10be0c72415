#include "browser/gridkeys.h"

#include "browser/catalogtree.h"
#include "browser/datestree.h"

namespace GridKeys {

// A node's descendants are the nodes after it up to the next one no deeper, since a tree's
// nodes are kept depth-first.
QVector<qint64> below(const CatalogTree &tree, int node)
{
    QVector<qint64> keys;
    if (node < 0 || node >= tree.count())
        return keys;
    if (tree.kind(node) == NodeKind::Picture)
        return { tree.key(node) };
    const int depth = tree.depth(node);
    for (int i = node + 1; i < tree.count(); ++i) {
        if (tree.kind(i) == NodeKind::Picture) {
            keys.append(tree.key(i));
            continue;
        }
        if (tree.depth(i) <= depth)
            break;
    }
    return keys;
}

namespace {
void collect(DatesTree &tree, const QModelIndex &node, QVector<qint64> &keys)
{
    const NodeCode code = tree.nodeCode(node);
    if (code.kind == NodeKind::Picture) {
        keys.append(code.key);
        return;
    }
    if (tree.canFetchMore(node))
        tree.fetchMore(node);
    for (int r = 0; r < tree.rowCount(node); ++r)
        collect(tree, tree.index(r, 0, node), keys);
}
} // namespace

QVector<qint64> below(DatesTree &tree, const QModelIndex &node)
{
    QVector<qint64> keys;
    if (node.isValid())
        collect(tree, node, keys);
    return keys;
}

} // namespace GridKeys
