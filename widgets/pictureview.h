#pragma once

#include <QImage>
#include <QLabel>
#include <QPointer>

class QMovie;

// A label that shows a picture: a still image, or a GIF file playing. A fitting view (an
// enlargement page) scales its picture down to itself, again at every resize, and never
// up; otherwise the picture shows as given.
class PictureView : public QLabel {
    Q_OBJECT
public:
    explicit PictureView(QWidget *parent = nullptr);
    ~PictureView() override;

    void setFitting(bool on);
    void showImage(const QImage &image);
    // Plays the GIF file scaled to `size` (a fitting view fits it further).
    void showMovie(const QString &path, const QSize &size);
    // Nothing shown, nothing playing.
    void clearPicture();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fit();

    bool m_fitting = false;
    QImage m_image; // what a fitting view scales
    QPointer<QMovie> m_movie;
    QSize m_movieSize;
};
