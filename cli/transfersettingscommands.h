#pragma once

#include "cli/clicommand.h"

#include <memory>

// `mail-server [--host H] [--port N] [--user U] [--name N] [--email E] [--security S]
// [--password-file F]`: sets the mail server as the options' "Aplicar" does; alone, prints it.
std::unique_ptr<CliCommand> makeMailServerCommand();
// `ftp-account ID [--security S] [--password-file F]`: an FTP account's security and
// password, saved as the account editor's "Gravar" does; alone, prints the account.
std::unique_ptr<CliCommand> makeFtpAccountCommand();
