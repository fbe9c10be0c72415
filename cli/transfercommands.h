#pragma once

#include "cli/clicommand.h"

#include <memory>

// `ftp-send ACCOUNT_ID KEYS...`: the FTP dialog's send to one FTPAccounts row.
std::unique_ptr<CliCommand> makeFtpSendCommand();
// `mail --to ADDRS ... KEYS...`: the e-mail dialog's send through the SMTPAccount row.
std::unique_ptr<CliCommand> makeMailCommand();
