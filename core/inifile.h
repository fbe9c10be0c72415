#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

// Reads and writes INI text files the way the Windows profile calls do: sections and keys
// without regard to letter case, values taken as written, no escapes, unknown lines kept.
class IniFile {
public:
    explicit IniFile(const QString &path) : m_path(path) { }

    // Reads one value. A missing file, section or key gives the default; a file that
    // exists but cannot be read sets error() and also gives the default.
    QString readString(const QString &section, const QString &key, const QString &def);
    // Writes one value, keeping every other line; written to a temporary file and renamed.
    bool writeString(const QString &section, const QString &key, const QString &value);
    // Writes several values of one section in one rewrite of the file.
    bool writeStrings(const QString &section, const QList<QPair<QString, QString>> &values);

    // Message of the last failure, empty when the last call succeeded.
    QString error() const { return m_error; }
    QString path() const { return m_path; }

private:
    std::optional<QStringList> readLines();
    static void setEntry(
        QStringList &lines, const QString &section, const QString &key, const QString &value);

    QString m_path;
    QString m_error;
};
