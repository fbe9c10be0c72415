#pragma once

#include "core/desktopshell.h"

// The desktop's default applications (QDesktopServices) and detached programs (QProcess).
class SystemDesktopShell : public DesktopShell {
public:
    bool openUrl(const QUrl &url) override;
    bool startProgram(const QString &program, const QStringList &arguments) override;
};
