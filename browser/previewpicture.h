#pragma once

#include <QImage>
#include <QMetaType>
#include <QSize>
#include <QString>

// The two views of the picture page's small preview (the tabs of PageControl3), and the
// enlargement page of each: "Miniatura" draws pictures (TabSheet9 enlarges them), "GIF"
// plays GIFs and shows PNGs (TabSheet10). None: neither tab is offered.
enum class PreviewTab { None = -1, Image = 0, Web = 1 };

// What a view of the picture preview is to show: a still image, or a GIF file to play at a
// size; neither leaves the view empty.
struct PreviewPicture {
    QImage image;
    QString movie;
    QSize movieSize;

    static PreviewPicture still(const QImage &image) { return { image, QString(), QSize() }; }
    static PreviewPicture playing(const QString &file, const QSize &size)
    {
        return { QImage(), file, size };
    }
};

Q_DECLARE_METATYPE(PreviewPicture)
