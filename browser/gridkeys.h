#pragma once

#include <QModelIndex>
#include <QVector>

class CatalogTree;
class DatesTree;

// The pictures a node's grid shows: every picture below the node, in the order its tree
// lists them (a picture node: itself).
namespace GridKeys {

// A node of the organisation or location tree, by its absolute index.
QVector<qint64> below(const CatalogTree &tree, int node);
// A year, month or day of the "Datas" tree; the levels below it are read as needed. Throws
// DbError.
QVector<qint64> below(DatesTree &tree, const QModelIndex &node);

} // namespace GridKeys
