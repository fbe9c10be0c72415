#pragma once

#include <QWidget>

class QAbstractItemModel;
class QTableView;

// The page "Pesquisa" (TabSheet11): the search hits in the read-only grid DBGridSearch. A
// double click or Enter on a hit asks to jump to its picture.
class SearchPage : public QWidget {
    Q_OBJECT
public:
    explicit SearchPage(QWidget *parent = nullptr);

    // The hits the grid shows; null empties it.
    void setResults(QAbstractItemModel *results);
    QAbstractItemModel *results() const;

signals:
    void hitActivated(int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTableView *m_grid;
};
