#include "intake/photofacts.h"

#include <cmath>

QString TakenTime::isoText() const
{
    if (!isValid())
        return QString();
    QString text = date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('T')
        + time.toString(hasSubSeconds ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
    if (offsetMinutes) {
        const int minutes = std::abs(*offsetMinutes);
        text += QStringLiteral("%1%2:%3")
                    .arg(*offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                    .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                    .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}

bool PhotoFacts::isEmpty() const
{
    return *this == PhotoFacts();
}

QString PhotoFacts::exposureText(double seconds)
{
    if (!(seconds > 0) || !std::isfinite(seconds))
        return QString();
    if (seconds < 1) {
        const double denominator = 1.0 / seconds;
        const double whole = std::round(denominator);
        // 0.004 is 1/250; 0.3 is not 1/3.
        if (whole >= 2 && std::abs(denominator - whole) <= whole * 0.01)
            return QStringLiteral("1/%1").arg(qint64(whole));
    }
    return QString::number(seconds, 'g', seconds < 1 ? 2 : 4);
}
