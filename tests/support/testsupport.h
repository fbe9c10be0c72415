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

// True when the tests' catalogues are made on a PostgreSQL server instead of in files:
// QM_TEST_ENGINE=postgresql (the "_pg" entries of the test list set it).
bool onServerEngine();

// Where the built executables lie (quillomar, quillomar-cli).
QString binDir();

} // namespace testsupport

// Skips a case that is about a catalogue file by nature (its bytes, its locks, its folder)
// when the catalogues are made on the server.
#define QM_FILE_ONLY(reason)                                                                   \
    do {                                                                                        \
        if (testsupport::onServerEngine())                                                      \
            QSKIP(reason);                                                                      \
    } while (false)
