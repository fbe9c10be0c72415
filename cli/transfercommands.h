#pragma once

#include "cli/clicommand.h"

#include <memory>

// `ftp-send ACCOUNT_ID KEYS...`: the FTP dialog's send to one FTPAccounts row.
std::unique_ptr<CliCommand> makeFtpSendCommand();
// `mail --to ADDRS ... KEYS...`: the e-mail dialog's send through the SMTPAccount row.
std::unique_ptr<CliCommand> makeMailCommand();
// `move --collection ID --category ID KEYS...`: the change of collection and category.
std::unique_ptr<CliCommand> makeMoveCommand();
// `copy FOLDER KEYS...`: the copy of the pictures' files into a folder.
std::unique_ptr<CliCommand> makeCopyCommand();
