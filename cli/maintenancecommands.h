#pragma once

#include "cli/clicommand.h"

#include <memory>

// The record commands: the editing, saving and deletion the detail pages do, with the
// same checks and texts.
std::unique_ptr<CliCommand> makeNewCommand();
std::unique_ptr<CliCommand> makeRenameCommand();
std::unique_ptr<CliCommand> makeDeleteCommand();
std::unique_ptr<CliCommand> makeRelinkCommand();
