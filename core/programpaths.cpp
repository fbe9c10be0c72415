#include "core/programpaths.h"

#include "core/versiontools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString replaceExtension(const QString &fileName, const QString &ext)
{
    const QFileInfo info(fileName);
    const QString base = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
    return base + ext;
}
} // namespace

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

ProgramPaths ProgramPaths::forProgram(const QString &programFile)
{
    ProgramPaths p;
    const QFileInfo info(programFile);
    QString folder = info.absolutePath();
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    p.ProgramFolder = folder;
    p.ConfigFile = joinPath(folder, replaceExtension(info.fileName(), QStringLiteral(".ini")));
    p.m_defaultDatabaseName = replaceExtension(info.fileName(), QStringLiteral(".mdb"));
    p.DatabaseFolder = folder;
    p.DatabaseFileName = p.m_defaultDatabaseName;
    p.ThumbnailFolder = joinPath(folder, QStringLiteral("thumbs"));
    p.ProgramVersion = GetFileVersion(programFile);
    if (p.ProgramVersion.isEmpty())
        p.ProgramVersion = compiledVersion();
    p.SystemName = GetWindowsVersionName();
    return p;
}

ProgramPaths ProgramPaths::forRunningProgram(const QString &baseName)
{
    QString file = QCoreApplication::applicationFilePath();
    ProgramPaths p = forProgram(file);
    if (!baseName.isEmpty()) {
        const QString folder = p.ProgramFolder;
        p.ConfigFile = joinPath(folder, baseName + QStringLiteral(".ini"));
        p.m_defaultDatabaseName = baseName + QStringLiteral(".mdb");
        p.DatabaseFileName = p.m_defaultDatabaseName;
    }
    return p;
}

QString ProgramPaths::databasePath() const
{
    return joinPath(DatabaseFolder, DatabaseFileName);
}

bool ProgramPaths::databaseIsLocal() const
{
    return DatabaseFolder == ProgramFolder && DatabaseFileName == m_defaultDatabaseName;
}

bool ProgramPaths::ensureThumbnailFolder() const
{
    if (QFileInfo(ThumbnailFolder).isDir())
        return true;
    return QDir().mkpath(ThumbnailFolder);
}
