#pragma once

#include "cli/clicommand.h"

#include <memory>

// The commands on the catalogue file itself: create, info and tree.
std::unique_ptr<CliCommand> makeCreateCommand();
std::unique_ptr<CliCommand> makeInfoCommand();
std::unique_ptr<CliCommand> makeTreeCommand();
std::unique_ptr<CliCommand> makeCopyCatalogueCommand();
