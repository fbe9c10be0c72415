#include "app/quillomarapplication.h"
#include "app/startup.h"
#include "core/programpaths.h"

int main(int argc, char **argv)
{
    QuillomarApplication app(argc, argv);
    Startup startup(ProgramPaths::forRunningProgram());
    app.setErrorDisplay(&startup.prompter());
    return startup.run();
}
