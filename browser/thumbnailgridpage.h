#pragma once

#include <QVector>
#include <QWidget>

class QAbstractItemModel;
class QLabel;
class QListView;
class QMenu;
class QSlider;
class QToolButton;
class ThumbnailDelegate;
class ThumbnailGridModel;

// A "Miniaturas" page: a node's pictures (or the search hits) as a grid of thumbnails with
// their names, over a model of record keys. Many pictures are selected at once with Ctrl,
// Shift, the rubber band or Ctrl+A; "Inserir no Lote" (its tool button and pop-up menu)
// asks to add the selection, "Inserir Todas no Lote" all of the page's pictures. A double
// click or Enter asks to show a picture. The thumbnails can be shown up to two steps
// smaller than the thumbnail size, with the slider or Ctrl and the mouse wheel.
class ThumbnailGridPage : public QWidget {
    Q_OBJECT
public:
    // The thumbnail sides offered, smallest first; the last is the thumbnail size.
    static constexpr int kSides[3] = { 81, 108, 135 };

    // `prefix` names the page's controls: PREFIXGrid, PREFIXSize, PREFIXInsert,
    // PREFIXCount, and the pop-up menu's PREFIXMenu, PREFIXInsertSelected, PREFIXInsertAll,
    // PREFIXSelectAll.
    ThumbnailGridPage(const QString &pageName, const QString &prefix, QWidget *parent = nullptr);
    ~ThumbnailGridPage() override;

    ThumbnailGridModel &model() const { return *m_model; }
    QListView *grid() const { return m_grid; }
    // Where rows and thumbnails are read from.
    void setCatalogue(const QString &catalogueFile, const QString &thumbnailFolder);

    void showKeys(QVector<qint64> keys);
    // The hits of a search grid, by their first column (the key), read as they arrive.
    void showHits(QAbstractItemModel *hits);
    void clear();

    // Selected pictures in grid order.
    QVector<qint64> selectedKeys() const;
    // Every picture of the page.
    QVector<qint64> allKeys() const;
    // Index into kSides.
    int sizeStep() const;
    void setSizeStep(int step);

signals:
    void addToBatchRequested(const QVector<qint64> &keys);
    void pictureActivated(qint64 key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applySize();
    void updateCount();
    void openMenu(const QPoint &pos);

    ThumbnailGridModel *m_model;
    ThumbnailDelegate *m_delegate;
    QListView *m_grid;
    QSlider *m_size;
    QToolButton *m_insert;
    QLabel *m_count;
    QMenu *m_menu;
};
