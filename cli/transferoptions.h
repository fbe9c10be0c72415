#pragma once

#include <QByteArray>
#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <optional>

class CliContext;

// The options the transfer commands share: a password read from a file or standard input
// (never from the command line, where every user of the machine could read it) and the
// certificates accepted for one run.
namespace transferoptions {

QCommandLineOption passwordFile();
QCommandLineOption acceptCertificate();

// Whether --password-file reads standard input.
bool passwordFromInput(CliContext &cx);

// The password of --password-file (its first line, without the line break; an empty file
// gives an empty password); nothing without the option. On a file that cannot be read the
// message is on standard error and *failed is set.
std::optional<QString> readPassword(CliContext &cx, bool *failed);

// The fingerprints of --accept-certificate; a bad one is a usage error (nothing returned,
// the message and the usage already written).
std::optional<QList<QByteArray>> acceptedCertificates(CliContext &cx);

} // namespace transferoptions
