#pragma once

#include <QString>
#include <QStringList>

// Where the thumbnails of a catalogue live. The program's thumbnail folder belongs to one
// catalogue, named by the owner file in it (".catalogue", holding that catalogue's
// identity); every other catalogue keeps its thumbnails in a folder of its own inside it,
// named by its identity. A folder without an owner file (an installation older than
// identities) is the default catalogue's, which claims it once it has an identity, so the
// thumbnails it already holds stay its own. Nothing here touches a catalogue file.
class ThumbnailPlace {
public:
    struct Catalogue {
        QString identity; // empty: the catalogue has none (yet)
        bool isDefault = false; // the default catalogue beside the program
        QString file; // its path
    };
    struct Owner {
        enum class State { None, Catalogue, Unknown } state = State::None;
        QString identity;
    };

    // The owner named in root's owner file. Unknown when the file cannot be read as one.
    static Owner ownerOf(const QString &root);

    // The folder of the catalogue's thumbnails, found without writing anything: root for
    // its owner (or, while root has none, for the default catalogue), root/IDENTITY for any
    // other. A catalogue without an identity that root is not for gets a folder named after
    // its file's size, time and first bytes, so that a catalogue on read-only media, which
    // can never be given an identity, still keeps the thumbnails made for it.
    static QString folderOf(const QString &root, const Catalogue &catalogue);

    // Makes identity root's owner when root has none (root is made when missing). True
    // when root is identity's afterwards. Never replaces another owner.
    static bool claim(const QString &root, const QString &identity);

    // Every folder that may hold thumbnails: root and the folders directly in it.
    static QStringList allFolders(const QString &root);

    // Whether two paths reach the same file (links and relative paths included).
    static bool sameFile(const QString &a, const QString &b);

    // The owner file's name inside root.
    static QString ownerFileName() { return QStringLiteral(".catalogue"); }

private:
    static QString standInFor(const QString &file);
};
