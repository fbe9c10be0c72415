#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Connection;
class QDir;

// The catalogue's tables, relations, indexes and reference rows. Only catalogue creation
// (quillomar-cli create, the build's default catalogue, tests) uses it: the program opens
// an existing catalogue and never creates a table.
class Schema {
public:
    struct FormatRow {
        QString extension;
        QString variation; // empty: none
        QString name;
        bool used;
        bool support; // the picture view draws it itself
    };
    struct ColorDepthRow {
        int recId;
        QString model;
    };

    // Every table of a catalogue, in creation order.
    static QStringList tableNames();
    // The statements that make them, as the program writes them (names as spelt).
    static QStringList definitions();
    // The reference rows a new catalogue starts with.
    static QList<FormatRow> referenceFormats();
    // The formats of phones and cameras among them, which an older catalogue lacks
    // (FormatUpgrade adds them).
    static QList<FormatRow> modernFormats();
    static QList<ColorDepthRow> referenceColorDepths();
    static QList<int> referenceResolutions();

    // Writes a new catalogue file: tables, relations, indexes, reference rows and the
    // CatalogInfo row carrying `version`, in the rollback-journal mode. Refuses an existing
    // file; the file appears under its name only when complete. A server location
    // (postgresql://...) gets the same in its existing database, in one transaction; a
    // database that holds a catalogue already is refused. Throws DbError.
    static void createCatalogue(const QString &path, const QString &version);
    // The same on an open, empty connection, inside one transaction (the catalogue's
    // identity included).
    static void createTables(Connection &connection);
    static void insertReferenceRows(Connection &connection, const QString &version);
    // Adds the indexes of the current release that the catalogue lacks (the upgrade of an
    // older catalogue); the caller holds the transaction.
    static void createMissingIndexes(Connection &connection);

private:
    static void createOnServer(const QString &location, const QString &version);
    static void writeTables(Connection &connection);
    static void writeReferenceRows(Connection &connection, const QString &version);
    // Removes the catalogues in the making (".NAME.PID.tmp") whose process has ended.
    static void removeAbandonedTemporaries(const QDir &folder, const QString &prefix);
};
