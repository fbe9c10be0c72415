#pragma once

#include <QStyledItemDelegate>

// Draws one cell of the thumbnail grid in the system palette: the thumbnail centred in its
// square (a drawn placeholder while it is read or when the picture has none) and the
// picture's name under it, elided to the cell's width.
class ThumbnailDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ThumbnailDelegate(QObject *parent = nullptr);

    void setThumbnailSide(int side) { m_side = side; }
    int thumbnailSide() const { return m_side; }
    // The cell: the square, the name's line and margins.
    QSize cellSize(const QFontMetrics &metrics) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    int m_side = 135;
};
