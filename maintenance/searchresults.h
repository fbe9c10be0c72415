#pragma once

#include "maintenance/catalogsearch.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <memory>
#include <vector>

class Connection;
class Statement;

// The search hits for a grid, read a page at a time as the grid scrolls, so that a search
// listing a million pictures shows its first rows at once and holds only what was seen.
// Every page is one short run of a statement that ends before the next event: no read is
// left open on the file between pages. Later pages go on from the last row read (the
// statement's order on picture, collection and category names, then RecId). Rows already
// read stay as they were read.
//
// Columns: RecId, Collection, Category, Picture; their titles can be set.
class SearchResults : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kPageRows = 200;

    SearchResults(Connection &connection, const QString &typed, QObject *parent = nullptr);
    // The search narrowed by date taken and camera (the search's own dialog of narrowing).
    SearchResults(Connection &connection, const QString &typed,
        const CatalogSearch::Narrowing &narrowing, QObject *parent = nullptr);
    ~SearchResults() override;

    // Runs the search and reads its first page. Throws DbError.
    void open();
    bool isEmpty() const { return m_rows.empty(); }
    QString typedText() const { return m_typed; }
    const CatalogSearch::Narrowing &narrowing() const { return m_narrowing; }
    qint64 recId(int row) const;
    CatalogSearch::Hit hit(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
        int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    // An engine failure while reading a later page; no more rows are read.
    void fetchFailed(const QString &message);

private:
    // Reads up to kPageRows rows after the last one read; the rows are appended.
    void readPage(std::vector<CatalogSearch::Hit> &into);
    void stop();

    Connection &m_connection;
    QString m_typed;
    CatalogSearch::Narrowing m_narrowing;
    QStringList m_titles;
    std::vector<CatalogSearch::Hit> m_rows;
    std::unique_ptr<Statement> m_next; // the page after a row, kept for the next pages
    std::unique_ptr<Statement> m_skip; // the same by position, when a key is null
    bool m_atEnd = true;
};
