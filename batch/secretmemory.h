#pragma once

#include <QByteArray>
#include <QString>

// Passwords pass through libcurl, OpenSSL and Qt, which copy them where no program can wipe
// them; so from the first password on, the process writes no core file and admits no
// debugger of another user (it is made non-dumpable), and stays so: freed memory may still
// hold a copy. Called wherever a password enters the process.
void protectSecretsInMemory();

// Overwrites a buffer that held a password, then empties it.
void wipeSecret(QByteArray &bytes);
void wipeSecret(QString &text);
