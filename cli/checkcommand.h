#pragma once

#include "cli/clicommand.h"

#include <memory>

// `check [--repair]`: the catalogue's and the thumbnail folder's health.
std::unique_ptr<CliCommand> makeCheckCommand();
