#pragma once

#include "cli/clicommand.h"

#include <memory>

// `quillomar-cli facts KEYS...`: the photo facts the review recorded of each picture, one
// line per known fact, RECID<TAB>FIELD<TAB>VALUE (PhotoFactsText::fields); nothing for a
// picture whose file has not been examined yet. A key of no picture is told on standard
// error and the exit status is 1; `-` reads the keys from standard input.
std::unique_ptr<CliCommand> makeFactsCommand();
