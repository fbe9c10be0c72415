#pragma once

#include <QStringList>

class Connection;

// The tables of the transfers' security settings, kept apart from the mail server row and
// the FTP accounts (whose columns stay as they are):
//   MailServerSecurity  one row (Id 1): Security 'none' | 'starttls' | 'tls', HasPassword
//   FTPAccountSecurity  one row per FTPAccounts row (Account, deleted with it):
//                       Security 'none' | 'explicit' | 'implicit', HasPassword
//   AcceptedCertificates  Host, Fingerprint (SHA-256 of the certificate, 64 lower-case hex
//                       digits), Accepted: certificates the person accepted for a host
//                       although they failed the check
// A catalogue gets them from the first write that needs them; opening never writes, and
// readers take a missing table as empty.
namespace transfersecuritytables {

QStringList names();
// Whether every one of them exists.
bool present(const Connection &connection);
// Creates the ones the catalogue lacks; the caller holds the write transaction.
void ensure(Connection &connection);

} // namespace transfersecuritytables
