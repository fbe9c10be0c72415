#include "widgets/systemdesktopshell.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

bool SystemDesktopShell::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool SystemDesktopShell::startProgram(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}
