#include "app/windowplacement.h"

#include "core/inifile.h"

const QString WindowPlacement::Section = QStringLiteral("MAINWINDOW");

namespace {
const QString kLeft = QStringLiteral("LEFT");
const QString kTop = QStringLiteral("TOP");
const QString kWidth = QStringLiteral("WIDTH");
const QString kHeight = QStringLiteral("HEIGHT");
const QString kMaximized = QStringLiteral("MAXIMIZED");

// A window smaller than this is no longer usable; larger than this is no window size.
constexpr int kMinimum = 200;
constexpr int kMaximum = 100000;
// How much of the window's top edge must lie on a screen for the person to reach it.
constexpr int kReachable = 100;
constexpr int kTitleBand = 30;

QRect centred(const QSize &size, const QRect &screen)
{
    const QSize fit = size.boundedTo(screen.size());
    QRect r(QPoint(), fit);
    r.moveCenter(screen.center());
    return r;
}
} // namespace

std::optional<WindowPlacement> WindowPlacement::read(const QString &configFile)
{
    IniFile ini(configFile);
    const auto number = [&](const QString &key, bool *ok) {
        return ini.readString(Section, key, QString()).toInt(ok);
    };
    bool ok[5] = {};
    WindowPlacement p;
    p.geometry = QRect(number(kLeft, &ok[0]), number(kTop, &ok[1]), number(kWidth, &ok[2]),
        number(kHeight, &ok[3]));
    const int maximized = number(kMaximized, &ok[4]);
    for (bool each : ok)
        if (!each)
            return std::nullopt;
    if (p.geometry.width() < kMinimum || p.geometry.height() < kMinimum
        || p.geometry.width() > kMaximum || p.geometry.height() > kMaximum
        || qAbs(p.geometry.left()) > kMaximum || qAbs(p.geometry.top()) > kMaximum)
        return std::nullopt;
    p.maximized = maximized != 0;
    return p;
}

bool WindowPlacement::write(const QString &configFile, QString *error) const
{
    IniFile ini(configFile);
    const bool ok = ini.writeStrings(Section,
        { { kLeft, QString::number(geometry.left()) }, { kTop, QString::number(geometry.top()) },
            { kWidth, QString::number(geometry.width()) },
            { kHeight, QString::number(geometry.height()) },
            { kMaximized, maximized ? QStringLiteral("1") : QStringLiteral("0") } });
    if (!ok && error)
        *error = ini.error();
    return ok;
}

QRect WindowPlacement::onScreen(
    const QRect &remembered, const QList<QRect> &screens, const QSize &design)
{
    const QRect primary
        = screens.isEmpty() ? QRect(0, 0, design.width(), design.height()) : screens.first();
    if (!remembered.isValid())
        return centred(design, primary);
    const QRect titleBand(remembered.left(), remembered.top(), remembered.width(), kTitleBand);
    for (const QRect &screen : screens) {
        const QRect seen = titleBand.intersected(screen);
        if (seen.width() < qMin(kReachable, remembered.width()) || seen.height() < 1)
            continue;
        // Kept where it was, no larger than the screen it is on and no part of it above
        // the screen's top, where its title bar would be out of reach.
        QRect r(remembered.topLeft(), remembered.size().boundedTo(screen.size()));
        if (r.top() < screen.top())
            r.moveTop(screen.top());
        if (r.bottom() > screen.bottom())
            r.moveBottom(screen.bottom());
        if (r.right() > screen.right() && r.width() == screen.width())
            r.moveLeft(screen.left());
        return r;
    }
    return centred(remembered.size(), primary);
}
