#include "support/testsupport.h"

#include <QFile>

namespace testsupport {

ProgramFolder::ProgramFolder(const QString &programName)
{
    paths = ProgramPaths::forProgram(dir.filePath(programName));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool onServerEngine()
{
    return qgetenv("QM_TEST_ENGINE") == "postgresql";
}

QString binDir()
{
    const QByteArray env = qgetenv("QM_BIN_DIR");
    return env.isEmpty() ? QStringLiteral(QM_BIN_DIR) : QString::fromLocal8Bit(env);
}

} // namespace testsupport
