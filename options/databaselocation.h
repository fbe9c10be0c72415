#pragma once

#include <QString>

class ProgramPaths;

// Where the catalogue is to be found from now on, from the text of the options dialog's
// path edit: the file named when the text (blanks around it aside) names an existing
// file, the default catalogue beside the program otherwise. Sets DatabaseFolder (with its
// trailing "/") and DatabaseFileName and writes them as PATH and FILENAME of section
// DATABASE of the configuration file, keeping its other lines. Returns the configuration
// file's error text, empty on success.
QString saveDatabaseLocation(ProgramPaths &paths, const QString &text);

// The check-list text of a Formats row: "JPEG (*.jpg;*.jpeg)".
QString formatItemText(const QString &name, const QString &extension, const QString &variation);
