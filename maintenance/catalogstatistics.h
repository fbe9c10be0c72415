#pragma once

#include "browser/nodekind.h"

#include <QStringList>

class Query;
class ResultModel;
class QObject;

// The counts under the collection, category and storage pages: for a collection, the
// pictures of each of its categories; for a category or a storage, its pictures of each
// format.
class CatalogStatistics {
public:
    // The statement of a page's grid, line by line, with its parameter :FILTRO; empty for
    // the other kinds.
    static QStringList statementLines(NodeKind page);
    // Runs a page's statement on `query` for the record `key` and returns its rows, read
    // whole (a handful); the query is closed again. The categories of a collection come in
    // Portuguese name order. Throws DbError.
    static ResultModel *run(Query &query, NodeKind page, qint64 key, QObject *parent = nullptr);
    // The table of the record a page counts for ("Collections", ...); empty for others.
    static QString tableOf(NodeKind page);
};
