#pragma once

#include "cli/clicommand.h"

#include <memory>

// `quillomar-cli scan FOLDER [--no-subfolders] [--collection ID] [--category ID]`: the scan
// of the scan dialog, confirmed, into the default collection and category unless given.
// Validation texts and boxes go to standard error, a live status line too when it is a
// terminal; the final status line, which counts only what was stored, goes to standard
// output. Ctrl-C cancels: the scan's transaction is rolled back. Exit codes: 0 done,
// 1 refused or failed, 2 usage, 130 cancelled.
std::unique_ptr<CliCommand> makeScanCommand();
