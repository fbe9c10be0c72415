#include "intake/photofactstext.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

// A decimal without trailing zeros, with a point: "8", "2.8", "-23.55052".
QString plain(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

// The same as people in Brazil write it: "2,8".
QString local(double value, int decimals)
{
    return plain(value, decimals).replace(QLatin1Char('.'), QLatin1Char(','));
}

} // namespace

QList<QPair<QString, QString>> PhotoFactsText::fields(const PhotoFacts &f)
{
    QList<QPair<QString, QString>> out;
    const auto add = [&out](const char *field, const QString &value) {
        if (!value.isEmpty())
            out.append({ QString::fromLatin1(field), value });
    };
    if (f.taken)
        add("taken", f.taken->isoText());
    add("make", f.make);
    add("model", f.model);
    add("lens", f.lens);
    if (f.exposureSeconds)
        add("exposure", PhotoFacts::exposureText(*f.exposureSeconds));
    if (f.fNumber)
        add("fnumber", plain(*f.fNumber, 2));
    if (f.iso)
        add("iso", QString::number(*f.iso));
    if (f.focalLengthMm)
        add("focal", plain(*f.focalLengthMm, 2));
    if (f.orientation)
        add("orientation", QString::number(*f.orientation));
    if (f.latitude)
        add("latitude", plain(*f.latitude, 7));
    if (f.longitude)
        add("longitude", plain(*f.longitude, 7));
    if (f.altitudeMetres)
        add("altitude", plain(*f.altitudeMetres, 2));
    add("title", f.title);
    add("keywords", f.keywords.join(QStringLiteral("; ")));
    if (f.rating)
        add("rating", QString::number(*f.rating));
    return out;
}

QString PhotoFactsText::takenText(const TakenTime &taken)
{
    if (!taken.isValid())
        return QString();
    QString text = taken.date.toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ')
        + taken.time.toString(QStringLiteral("HH:mm:ss"));
    if (taken.offsetMinutes) {
        const int minutes = std::abs(*taken.offsetMinutes);
        text += QStringLiteral(" (UTC%1%2:%3)")
                    .arg(*taken.offsetMinutes < 0 ? QChar(0x2212) : QLatin1Char('+'))
                    .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                    .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}

QString PhotoFactsText::exposureText(const PhotoFacts &f)
{
    QStringList parts;
    if (f.exposureSeconds) {
        const QString seconds = PhotoFacts::exposureText(*f.exposureSeconds);
        if (!seconds.isEmpty())
            parts << QString(seconds).replace(QLatin1Char('.'), QLatin1Char(','))
                    + QStringLiteral(" s");
    }
    if (f.fNumber)
        parts << QStringLiteral("f/") + local(*f.fNumber, 1);
    if (f.iso)
        parts << QStringLiteral("ISO ") + QString::number(*f.iso);
    if (f.focalLengthMm)
        parts << local(*f.focalLengthMm, 1) + QStringLiteral(" mm");
    return parts.join(QStringLiteral(" · "));
}

QString PhotoFactsText::cameraText(const QString &make, const QString &model)
{
    const QString m = make.trimmed();
    const QString n = model.trimmed();
    if (n.isEmpty())
        return m;
    // Many cameras write their make into the model too ("Canon" and "Canon EOS 5D").
    if (m.isEmpty() || n.startsWith(m.section(QLatin1Char(' '), 0, 0), Qt::CaseInsensitive))
        return n;
    return m + QLatin1Char(' ') + n;
}

QString PhotoFactsText::positionText(
    double latitude, double longitude, const std::optional<double> &altitude)
{
    QString text = local(std::abs(latitude), 5) + QStringLiteral("° ")
        + (latitude < 0 ? QLatin1Char('S') : QLatin1Char('N')) + QStringLiteral(", ")
        + local(std::abs(longitude), 5) + QStringLiteral("° ")
        + (longitude < 0 ? QLatin1Char('O') : QLatin1Char('L'));
    if (altitude)
        text += QStringLiteral(", ") + local(std::round(*altitude), 0) + QStringLiteral(" m");
    return text;
}

QString PhotoFactsText::stars(int rating)
{
    const int full = std::clamp(rating, 0, 5);
    return QString(full, QChar(0x2605)) + QString(5 - full, QChar(0x2606));
}

QUrl PhotoFactsText::mapUrl(double latitude, double longitude)
{
    const QString lat = plain(latitude, 6);
    const QString lon = plain(longitude, 6);
    return QUrl(QStringLiteral("https://www.openstreetmap.org/?mlat=%1&mlon=%2#map=16/%1/%2")
                    .arg(lat, lon));
}

PhotoFactsText::Block PhotoFactsText::block(const PhotoFacts &f)
{
    Block b;
    const auto add = [&b](const char *label, const QString &text) {
        if (!text.isEmpty())
            b.lines.append({ QString::fromUtf8(label), text });
    };
    if (f.taken)
        add("Data da foto", takenText(*f.taken));
    add("Câmera", cameraText(f.make, f.model));
    add("Lente", f.lens.trimmed());
    add("Exposição", exposureText(f));
    if (f.latitude && f.longitude) {
        add("Local", positionText(*f.latitude, *f.longitude, f.altitudeMetres));
        b.map = mapUrl(*f.latitude, *f.longitude);
    }
    if (f.rating) {
        b.rating = *f.rating;
        // 0 is how photo programs write "not rated".
        if (*f.rating > 0)
            add("Avaliação", stars(*f.rating));
    }
    b.keywords = f.keywords;
    return b;
}
