#pragma once

#include <QString>
#include <QStringList>

class QUrl;

// What the desktop does for the program: open a file or an address with its default
// application, start another program. The program uses the desktop's own
// (SystemDesktopShell); tests record what would have been opened or started.
class DesktopShell {
public:
    virtual ~DesktopShell();
    virtual bool openUrl(const QUrl &url) = 0;
    virtual bool startProgram(const QString &program, const QStringList &arguments) = 0;
};
