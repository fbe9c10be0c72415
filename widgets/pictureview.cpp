#include "widgets/pictureview.h"

#include <QMovie>
#include <QResizeEvent>

PictureView::PictureView(QWidget *parent) : QLabel(parent) { }

PictureView::~PictureView() = default;

void PictureView::setFitting(bool on)
{
    m_fitting = on;
    if (on) {
        // It scales the picture to itself, not itself to the picture.
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        setMinimumSize(1, 1);
    }
}

void PictureView::clearPicture()
{
    if (m_movie) {
        m_movie->stop();
        setMovie(nullptr);
        delete m_movie;
    }
    m_image = QImage();
    clear();
}

void PictureView::showImage(const QImage &image)
{
    clearPicture();
    if (!m_fitting) {
        setPixmap(QPixmap::fromImage(image));
        return;
    }
    m_image = image;
    fit();
}

void PictureView::showMovie(const QString &path, const QSize &size)
{
    clearPicture();
    auto *player = new QMovie(path, QByteArray(), this);
    player->setScaledSize(size);
    player->jumpToFrame(0);
    m_movie = player;
    m_movieSize = size;
    setMovie(player);
    player->start();
    if (m_fitting)
        fit();
}

void PictureView::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    if (m_fitting)
        fit();
}

void PictureView::fit()
{
    const QSize room = contentsRect().size().expandedTo(QSize(1, 1));
    if (m_movie) {
        QSize size = m_movieSize;
        if (size.width() > room.width() || size.height() > room.height())
            size.scale(room, Qt::KeepAspectRatio);
        m_movie->setScaledSize(size.expandedTo(QSize(1, 1)));
        return;
    }
    if (m_image.isNull())
        return;
    if (m_image.width() > room.width() || m_image.height() > room.height())
        setPixmap(QPixmap::fromImage(
            m_image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    else
        setPixmap(QPixmap::fromImage(m_image));
}
