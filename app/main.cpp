#include "core/programpaths.h"
#include "app/startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Startup startup(ProgramPaths::forRunningProgram());
    return startup.run();
}
