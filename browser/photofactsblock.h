#pragma once

#include "intake/photofactstext.h"

#include <QWidget>

class QGridLayout;
class QLabel;
class QUrl;

// The picture page's block of what the photo's file says: "Data da foto", "Câmera", "Lente",
// "Exposição", "Local" (a link to the position on the map), "Avaliação" in stars and the
// file's own keywords, one line each, the known ones only. With nothing known it takes no
// room at all.
class PhotoFactsBlock : public QWidget {
    Q_OBJECT
public:
    explicit PhotoFactsBlock(QWidget *parent = nullptr);

    void showFacts(const PhotoFactsText::Block &facts);
    void clearFacts() { showFacts({}); }
    // The captions' column as wide as the fields' captions above it, so both line up.
    void setCaptionWidth(int width);
    // The link "Local" opens, empty when no position is shown.
    QUrl mapUrl() const;

signals:
    // The "Local" link was followed: the map page of the position.
    void mapRequested(const QUrl &url);

private:
    struct Row {
        QLabel *caption;
        QLabel *text;
    };
    Row addRow(const QString &caption, const char *name);
    void setRow(const Row &row, const QString &text);

    QGridLayout *m_grid;
    Row m_taken;
    Row m_camera;
    Row m_lens;
    Row m_exposure;
    Row m_place;
    Row m_rating;
    Row m_keywords;
    QString m_map;
};
