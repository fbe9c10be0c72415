#pragma once

#include <QString>
#include <cstdint>

// Version utilities: the dotted version of a program file, the system's name, and the
// comparison of two dotted version texts.

// Reads the file's fixed version record; the program's own file falls back to the
// version compiled in, any other file without a record gives the empty text.
QString GetFileVersion(const QString &path);

// The version compiled into this program, "1.0.0.9" for this release.
QString compiledVersion();

// Name of the Windows edition for a 32-bit version value as the system reports it.
QString windowsVersionName(uint32_t versionValue);

// The name of the running system: PRETTY_NAME of /etc/os-release on Linux.
QString GetWindowsVersionName();
QString systemNameFromOsRelease(const QString &path);

// "LT", "GT" or "EQ" after padding the four components with zeros.
QString CompareVersions(const QString &a, const QString &b);
