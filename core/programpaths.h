#pragma once

#include <QString>

// The process-wide paths and values of the running program: where it lives, where its
// configuration and catalogue are, where thumbnails go, its version and the system name.
class ProgramPaths {
public:
    ProgramPaths() = default;
    // Derives every value from the path of the program file.
    static ProgramPaths forProgram(const QString &programFile);
    // The values of the running executable; the command-line tool passes the
    // program's base name so that both resolve the same configuration and catalogue.
    static ProgramPaths forRunningProgram(const QString &baseName = QString());

    QString ProgramFolder; // without a trailing delimiter
    QString ConfigFile; // the program file with the extension ".ini"
    QString DatabaseFolder; // starts as ProgramFolder
    QString DatabaseFileName; // starts as the default database name
    // ProgramFolder + "/thumbs", never recomputed: the thumbnails of the catalogue that owns
    // it, and a folder in it for each other catalogue (the store's thumbnailFolder()).
    QString ThumbnailFolder;
    QString ProgramVersion;
    QString SystemName;
    bool MainWindowReady = false;

    QString defaultDatabaseName() const { return m_defaultDatabaseName; }
    // DatabaseFolder, a delimiter when it does not end with one, DatabaseFileName.
    QString databasePath() const;
    // True when the catalogue is the default one beside the program (exact text).
    bool databaseIsLocal() const;
    // Creates ThumbnailFolder with any missing parents; failures are silent by design.
    bool ensureThumbnailFolder() const;

private:
    QString m_defaultDatabaseName;
};

// Path of a file in a folder that may or may not end with a delimiter.
QString joinPath(const QString &folder, const QString &name);
