#pragma once

#include "browser/previewpicture.h"

#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>

class DesktopShell;
class Prompter;
class TDados;

// The picture page's preview: decides what the small preview shows of the current Pictures
// row (the thumbnail, or the picture itself, recording its details and making its thumbnail
// the first time), what "Ampliar" enlarges, and which program "Visualizar" starts. It emits
// what to show; the browser, whose views they are, draws it.
class PicturePreview : public QObject {
    Q_OBJECT
public:
    // `viewSize`: the small preview's view, which pictures are fitted into.
    PicturePreview(TDados &store, Prompter &prompter, DesktopShell &desktop, QSize viewSize,
        QObject *parent = nullptr);
    ~PicturePreview() override;

public slots:
    // On the current Pictures row: the thumbnail file when it is current, else the picture.
    void ShowThumbnail();
    // Loads the current picture into the small view; the first time it is found larger than
    // the view, records its ColorType, Width and Height and makes its thumbnail.
    void LoadPicture();
    // The enlarge button: the enlargement page of the shown tab, fitted into `box` (the
    // screen's room), or the default application or outside viewer.
    void BitBtn1Click(const QSize &box);
    // A new row is being inserted: the browser hid both small views.
    void clearThumbnail();

signals:
    // Status panel 1 of the main window.
    void statusTextChanged(const QString &text);
    // Both small views emptied; the tabs stay as they are.
    void smallPreviewCleared();
    // The tab offered alone (or none), its view showing the picture, the other view emptied.
    void smallPreviewShown(PreviewTab tab, const PreviewPicture &picture);
    // The enlarge button's caption ("Ampliar" or "Visualizar"), and enabled.
    void enlargeButtonChanged(const QString &caption);
    // An enlargement page shown with the picture, as the active page; or hidden, emptied.
    void enlargementShown(PreviewTab page, const PreviewPicture &picture);
    void enlargementHidden(PreviewTab page);

private:
    void loadPicture(quint64 showing);
    // A showing is overtaken once another has begun while this one let messages through.
    bool overtaken(quint64 showing) const { return showing != m_showing; }
    // One box per picture and session for what keeps failing each time it is shown.
    void reportOnce(qint64 recId, const QString &text);
    void showSmall(PreviewTab tab, const PreviewPicture &picture);
    // A GIF to play or a PNG drawn, fitted into `box`; false when it cannot be drawn (then
    // *error says why).
    bool webPicture(const QString &path, const QString &fileType, const QSize &box,
        PreviewPicture *picture, QString *error) const;
    bool inProgress() const;

    TDados &m_store;
    Prompter &m_prompter;
    DesktopShell &m_desktop;
    QSize m_viewSize;
    PreviewTab m_tab = PreviewTab::None; // the small preview's tab on show
    quint64 m_showing = 0; // the latest showing begun
    QSet<qint64> m_reported; // pictures whose failure was shown this session
};
