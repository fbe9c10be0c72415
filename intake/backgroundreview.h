#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QThreadPool>

class TDados;

// Makes the thumbnails the grids find missing, in the background: the picture page's review
// (PictureReview: measure, draw, thumbnail) of each picture on a worker thread, and its
// details recorded on the window thread in a short transaction of its own, as its first
// showing records them. A picture whose disk is not connected, a GIF or PNG, a format the
// view does not draw, a missing file, or a picture already asked for is left alone.
class BackgroundReview : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRunning = 2;

    explicit BackgroundReview(TDados &store, QObject *parent = nullptr);
    ~BackgroundReview() override;

    // Asks for the picture's review; each picture is reviewed once per run of the program.
    void request(qint64 key);
    // Forgets what was asked (another catalogue).
    void reset();

signals:
    // The picture's thumbnail was made and its details recorded.
    void reviewed(qint64 key);

private:
    struct Outcome;
    void startNext();
    void finished(qint64 key, const Outcome &outcome);

    TDados &m_store;
    QThreadPool m_pool;
    QSet<qint64> m_asked;
    QList<qint64> m_queue;
    QHash<QString, bool> m_support; // format extension: the view draws it
    int m_running = 0;
    quint64 m_generation = 0;
};
