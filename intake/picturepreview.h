#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class PageControl;
class Prompter;
class QLabel;
class QMovie;
class QPushButton;
class QWidget;
class TDados;

// The picture page's preview on the main window's controls: the thumbnail or the picture
// in the small view (recording the picture's details and making its thumbnail the first
// time), the enlargement pages, and the default application or outside viewer.
class PicturePreview : public QObject {
    Q_OBJECT
public:
    // The main window's controls this works on.
    struct Controls {
        PageControl *PageControl3 = nullptr; // page 0 "Miniatura" (Image1), 1 "GIF" (WebBrowser1)
        QLabel *Image1 = nullptr;
        QLabel *WebBrowser1 = nullptr;
        QPushButton *BitBtn1 = nullptr;
        PageControl *PageControl2 = nullptr; // the detail pages
        QWidget *TabSheet9 = nullptr;
        QWidget *TabSheet10 = nullptr;
        QLabel *Image2 = nullptr;
        QLabel *WebBrowser2 = nullptr;
    };

    PicturePreview(
        const Controls &controls, TDados &store, Prompter &prompter, QObject *parent = nullptr);
    ~PicturePreview() override;

    // On the current Pictures row: the thumbnail file when it is current, else the picture.
    void ShowThumbnail();
    // Loads the current picture into the small view; the first time it is found larger than
    // the view, records its ColorType, Width and Height and makes its thumbnail.
    void LoadPicture();
    // The enlarge button: the enlargement page of the shown tab, or another program.
    void BitBtn1Click();
    // Empties both small views (while a new picture row is being inserted).
    void clearThumbnail();

    // Status panel 1 of the main window.
    std::function<void(const QString &)> setStatusText;
    // True while the person inserts or edits a row with a record navigator.
    std::function<bool()> editInProgress;
    // The desktop's default application and the start of the outside viewer; tests
    // replace them to see what would be started.
    std::function<bool(const QUrl &)> openUrl;
    std::function<bool(const QString &program, const QStringList &arguments)> startProgram;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void loadPicture(quint64 showing);
    // A showing is overtaken once another has begun while this one let messages through.
    bool overtaken(quint64 showing) const { return showing != m_showing; }
    // One box per picture and session for what keeps failing each time it is shown.
    void reportOnce(qint64 recId, const QString &text);
    void setStatus(const QString &text);
    void showSmallTab(int index);
    // Shows a GIF (playing) or PNG file in a label scaled down to fit; false when it
    // cannot be drawn (then *error says why).
    bool showInWebView(QLabel *label, QPointer<QMovie> &movie, const QString &path,
        const QString &fileType, const QSize &box, QImage *still, QString *error);
    void clearWebView(QLabel *label, QPointer<QMovie> &movie);
    void fitEnlargement(QLabel *label, const QImage &image, QMovie *movie);
    QSize enlargementBox() const;
    bool inProgress() const { return editInProgress && editInProgress(); }

    Controls m_c;
    TDados &m_store;
    Prompter &m_prompter;
    QPointer<QMovie> m_smallMovie;
    QPointer<QMovie> m_largeMovie;
    QImage m_enlarged; // the picture of Image2, at most the screen's size
    QImage m_webEnlarged; // a PNG on the web enlargement page
    QSize m_largeMovieSize;
    quint64 m_showing = 0; // the latest showing begun
    QSet<qint64> m_reported; // pictures whose failure was shown this session
};
