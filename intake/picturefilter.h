#pragma once

#include <QList>
#include <QString>

class Connection;

// The file-type filter of the open-picture dialog, built from the formats in use.
class PictureFilter {
public:
    struct Format {
        QString name;
        QString extension;
        QString variation; // taken as stored, blanks included
        bool used = false;
    };

    // "Description|*.EXT;*.VAR|..." for the used formats in their order, led by
    // "Todos as opções de formatos|..." when more than one is used; empty when none is.
    static QString build(const QList<Format> &formats);
    // The same over the Formats table in the table's order. Throws DbError.
    static QString build(Connection &connection);
    // That text in QFileDialog's syntax: "Description (*.EXT *.VAR);;...".
    static QString toFileDialogFilter(const QString &filter);
};
