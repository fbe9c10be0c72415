#pragma once

#include "intake/photofacts.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

// The photo facts as the program writes them: field by field for `quillomar-cli facts`, and
// as the compact block of the picture page, in Portuguese, where a fact not known takes no
// room.
namespace PhotoFactsText {

// One (FIELD, VALUE) per known fact, in this order: taken (ISO 8601, with its offset when
// known), make, model, lens, exposure (seconds: 1/250 or a decimal), fnumber, iso, focal
// (mm), orientation, latitude, longitude, altitude (signed decimal degrees and metres),
// title, keywords (separated by "; "), rating.
QList<QPair<QString, QString>> fields(const PhotoFacts &facts);

// A line of the picture page's block: its caption and text.
struct Line {
    QString label; // "Data da foto", "Câmera", "Lente", "Exposição", "Local", "Avaliação"
    QString text;
    bool operator==(const Line &) const = default;
};

// What the picture page shows of the facts, the known ones only.
struct Block {
    QList<Line> lines;
    QUrl map; // the position on OpenStreetMap, for the "Local" line's link; empty when unknown
    QStringList keywords; // the file's own keywords
    int rating = -1; // 0 to 5; -1 unknown

    bool isEmpty() const { return lines.isEmpty() && keywords.isEmpty(); }
};
Block block(const PhotoFacts &facts);

// "24/06/2019 18:30:05", with " (UTC−03:00)" when the offset is known.
QString takenText(const TakenTime &taken);
// "1/250 s · f/8 · ISO 200 · 35 mm", the known parts only.
QString exposureText(const PhotoFacts &facts);
// "Canon EOS 5D Mark IV": the make, then the model unless it names the make already.
QString cameraText(const QString &make, const QString &model);
// "23,55052° S, 46,63331° O, 760 m".
QString positionText(double latitude, double longitude, const std::optional<double> &altitude);
// "★★★☆☆".
QString stars(int rating);
// The OpenStreetMap page centred on the position.
QUrl mapUrl(double latitude, double longitude);

} // namespace PhotoFactsText
