#include "cli/clicommands.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillomar"));
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return runCli(args);
}
