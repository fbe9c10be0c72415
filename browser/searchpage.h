#pragma once

#include <QWidget>

class QAbstractItemModel;
class QTableView;

// The page "Pesquisa" (TabSheet11): the search hits in the read-only grid DBGridSearch, their
// first column (the key) hidden. A double click or Enter on a hit asks to jump to its
// picture.
class SearchPage : public QWidget {
    Q_OBJECT
public:
    explicit SearchPage(QWidget *parent = nullptr);

    // The hits the grid shows; null empties it. The visible columns share the grid's width
    // less 17 pixels, the last taking what the even share leaves, once the page is shown.
    void setResults(QAbstractItemModel *results);
    QAbstractItemModel *results() const;

signals:
    void hitActivated(int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void sizeColumns();

    QTableView *m_grid;
    bool m_sizePending = false;
};
