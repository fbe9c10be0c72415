#include "browser/thumbnaildelegate.h"

#include "browser/thumbnailgridmodel.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

namespace {
constexpr int kMargin = 6;
constexpr int kGap = 4;

// The mark of a picture whose disk is not connected: a disk with a cut cable, in the corner
// of its thumbnail.
void paintOfflineMark(QPainter *painter, const QRect &picture)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF badge(picture.right() - 21.5, picture.bottom() - 17.5, 20, 16);
    painter->setPen(QPen(QColor(40, 40, 40), 1));
    painter->setBrush(QColor(250, 250, 250, 230));
    painter->drawRoundedRect(badge, 3, 3);
    const QRectF disk(badge.left() + 3, badge.top() + 4, 10, 8);
    painter->setBrush(QColor(110, 110, 120));
    painter->drawRoundedRect(disk, 1.5, 1.5);
    painter->setPen(QPen(QColor(200, 30, 30), 2, Qt::SolidLine, Qt::RoundCap));
    painter->drawLine(QPointF(badge.right() - 6, badge.top() + 4), QPointF(badge.right() - 2, badge.top() + 8));
    painter->drawLine(QPointF(badge.right() - 2, badge.top() + 4), QPointF(badge.right() - 6, badge.top() + 8));
    painter->restore();
}
} // namespace

ThumbnailDelegate::ThumbnailDelegate(QObject *parent) : QStyledItemDelegate(parent) { }

QSize ThumbnailDelegate::cellSize(const QFontMetrics &metrics) const
{
    return { m_side + 2 * kMargin, m_side + 2 * kMargin + kGap + metrics.height() };
}

QSize ThumbnailDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return cellSize(option.fontMetrics);
}

void ThumbnailDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QPalette &pal = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    const bool focused = option.state & QStyle::State_HasFocus;
    const QPalette::ColorGroup group = option.state & QStyle::State_Active
        ? QPalette::Active
        : QPalette::Inactive;
    const QRect cell = option.rect.adjusted(2, 2, -2, -2);

    painter->save();
    if (selected) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(pal.color(group, QPalette::Highlight));
        painter->drawRoundedRect(cell, 4, 4);
    }
    const QRect square(cell.left() + (cell.width() - m_side) / 2, option.rect.top() + kMargin,
        m_side, m_side);
    const QPixmap pixmap = index.data(Qt::DecorationRole).value<QPixmap>();
    if (!pixmap.isNull()) {
        QSize size = pixmap.deviceIndependentSize().toSize();
        if (size.width() > m_side || size.height() > m_side)
            size.scale(m_side, m_side, Qt::KeepAspectRatio);
        // Standing on the square's floor, so that every name sits right under its picture.
        const QRect target(square.left() + (m_side - size.width()) / 2,
            square.bottom() + 1 - size.height(), size.width(), size.height());
        painter->drawPixmap(target, pixmap);
        painter->setPen(pal.color(group, QPalette::Mid));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(target.adjusted(0, 0, -1, -1));
        if (index.data(ThumbnailGridModel::OfflineRole).toBool())
            paintOfflineMark(painter, target);
    } else {
        // The placeholder: a framed landscape in the palette's quiet colours.
        const bool loaded = index.data(ThumbnailGridModel::LoadedRole).toBool();
        const QRect box = square.adjusted(m_side / 6, m_side / 5, -m_side / 6, -m_side / 5);
        QColor frame = pal.color(group, selected ? QPalette::HighlightedText : QPalette::Mid);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(frame, 1.5));
        painter->setBrush(pal.color(group, QPalette::Base));
        painter->drawRoundedRect(box, 3, 3);
        if (index.data(ThumbnailGridModel::OfflineRole).toBool())
            paintOfflineMark(painter, box);
        if (loaded) {
            QColor fill = frame;
            fill.setAlpha(110);
            painter->setPen(Qt::NoPen);
            painter->setBrush(fill);
            const QPointF hill[] = { { box.left() + 2.0, box.bottom() - 2.0 },
                { box.left() + box.width() * 0.4, box.top() + box.height() * 0.45 },
                { box.left() + box.width() * 0.6, box.top() + box.height() * 0.65 },
                { box.left() + box.width() * 0.75, box.top() + box.height() * 0.5 },
                { box.right() - 2.0, box.bottom() - 2.0 } };
            painter->drawPolygon(hill, 5);
            painter->drawEllipse(QPointF(box.left() + box.width() * 0.72,
                                     box.top() + box.height() * 0.25),
                box.width() * 0.07, box.width() * 0.07);
        }
    }
    const QString name = index.data(Qt::DisplayRole).toString();
    const QRect text(cell.left() + 2, square.bottom() + 1 + kGap, cell.width() - 4,
        option.fontMetrics.height());
    painter->setFont(option.font);
    painter->setPen(pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(text, Qt::AlignHCenter | Qt::AlignVCenter,
        option.fontMetrics.elidedText(name, Qt::ElideMiddle, text.width()));
    if (focused) {
        QColor ring = pal.color(group, selected ? QPalette::HighlightedText : QPalette::Highlight);
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(QPen(ring, 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(cell.adjusted(1, 1, -1, -1), 4, 4);
    }
    painter->restore();
}
