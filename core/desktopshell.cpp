#include "core/desktopshell.h"

DesktopShell::~DesktopShell() = default;
