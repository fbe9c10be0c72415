#pragma once

#include "cli/clicommand.h"

#include <memory>

// The main window's queries without the window: the catalogue search and the statistics
// grids of the collection, category and storage pages.
std::unique_ptr<CliCommand> makeSearchCommand();
std::unique_ptr<CliCommand> makeStatsCommand();
