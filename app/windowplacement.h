#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

// Where the main window opens: the size, place and maximised state it had when it was last
// closed, kept in a section of its own of the configuration file (the catalogue's keys are
// never touched). Without one, the window opens at its design size.
struct WindowPlacement {
    QRect geometry; // the window's normal (not maximised) geometry, frame excluded
    bool maximized = false;

    // The section and its keys in the configuration file.
    static const QString Section;

    // Nothing when the file holds no complete, sensible placement.
    static std::optional<WindowPlacement> read(const QString &configFile);
    // False (with the reason in *error) when the file cannot be written.
    bool write(const QString &configFile, QString *error = nullptr) const;

    // The remembered geometry made to fit the screens (their available areas, the primary
    // first): kept where its top edge can be reached on a screen, shrunk to that screen;
    // otherwise its size centred on the primary screen (`design` when it is not valid).
    static QRect onScreen(
        const QRect &remembered, const QList<QRect> &screens, const QSize &design);
};
