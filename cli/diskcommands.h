#pragma once

#include "cli/clicommand.h"

#include <memory>

// `storages`: every storage with its disk's label and identity and whether it is connected.
std::unique_ptr<CliCommand> makeStoragesCommand();
// `duplicates [--similar [--distance N]]`: the pictures that live more than once.
std::unique_ptr<CliCommand> makeDuplicatesCommand();
