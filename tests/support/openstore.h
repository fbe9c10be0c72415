#pragma once

#include "core/programpaths.h"
#include "core/scriptedprompter.h"
#include "store/connection.h"
#include "store/tdados.h"
#include "support/testsupport.h"

#include <QByteArray>
#include <QDir>
#include <QMap>
#include <QString>

#include <memory>

namespace testsupport {

// The thumbnails directly in a folder, by name, with their bytes.
inline QMap<QString, QByteArray> thumbnailsIn(const QString &folder)
{
    QMap<QString, QByteArray> found;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({ QStringLiteral("*.jpg") }, QDir::Files))
        found.insert(name, readFile(dir.filePath(name)));
    return found;
}

// A catalogue's store (a file or a server location) opened in this process from a program
// folder, as the window opens it.
struct OpenStore {
    ProgramPaths paths;
    ScriptedPrompter prompter;
    std::unique_ptr<TDados> dados;
    bool opened = false;

    OpenStore(const ProgramPaths &program, const QString &location) : paths(program)
    {
        Connection::splitLocation(location, &paths.DatabaseFolder, &paths.DatabaseFileName);
        dados = std::make_unique<TDados>(paths, prompter);
        dados->setConfigurationEnabled(false);
        opened = dados->OpenDatabaseAll();
    }
};

} // namespace testsupport
