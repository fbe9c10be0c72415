#pragma once

#include "core/programpaths.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Helpers shared by the test executables: a throw-away program folder and small files.
namespace testsupport {

// A fresh folder laid out like an installed program: the paths of a program file
// named `quillomar` inside it (the file itself is not created).
struct ProgramFolder {
    QTemporaryDir dir;
    ProgramPaths paths;
    explicit ProgramFolder(const QString &programName = QStringLiteral("quillomar"));
    QString file(const QString &name) const { return dir.filePath(name); }
};

bool writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// Where the built executables lie (quillomar, quillomar-cli).
QString binDir();

} // namespace testsupport
