#include "options/databaselocation.h"

#include "core/inifile.h"
#include "core/programpaths.h"
#include "store/connection.h"

#include <QFileInfo>

QString saveDatabaseLocation(ProgramPaths &paths, const QString &text)
{
    const QFileInfo file(text);
    if (Connection::isServerLocation(text.trimmed())) {
        // A catalogue on a server is kept as written; whether it answers is the opening's
        // to tell.
        Connection::splitLocation(text.trimmed(), &paths.DatabaseFolder, &paths.DatabaseFileName);
    } else if (!text.trimmed().isEmpty() && file.isFile()) {
        QString folder = file.absolutePath();
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        paths.DatabaseFolder = folder;
        paths.DatabaseFileName = file.fileName();
    } else {
        paths.DatabaseFolder = paths.ProgramFolder;
        paths.DatabaseFileName = paths.defaultDatabaseName();
    }
    IniFile ini(paths.ConfigFile);
    if (!ini.writeString(QStringLiteral("DATABASE"), QStringLiteral("PATH"), paths.DatabaseFolder))
        return ini.error();
    if (!ini.writeString(
            QStringLiteral("DATABASE"), QStringLiteral("FILENAME"), paths.DatabaseFileName))
        return ini.error();
    return QString();
}

QString formatItemText(const QString &name, const QString &extension, const QString &variation)
{
    QString patterns = QStringLiteral("*.") + extension;
    if (!variation.trimmed().isEmpty())
        patterns += QStringLiteral(";*.") + variation;
    return name + QStringLiteral(" (") + patterns + QLatin1Char(')');
}
