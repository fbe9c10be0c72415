#pragma once

#include "intake/photofacts.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class Connection;
class Statement;

// The photo facts of each examined picture, in a table of their own keyed by the picture and
// deleted with it (PictureFacts). A row says the picture's file has been examined: when
// (the picture's Modified then) and whether it could be drawn, and what it said of the photo,
// which may be nothing. The date taken is kept as sortable wall-clock text
// ("2019-06-24T18:30:05", ".120" when known) with its offset from UTC in a column of its
// own, so that years, months and days are ranges of one index. A catalogue gets the table
// with the first row written; opening never writes, and a catalogue without it has examined
// nothing.
namespace PictureFactsTable {

// What the examination of the file found of its picture (the column Drawn).
enum class Drawn { No = 0, Fits = 1, Larger = 2 };

struct Entry {
    qint64 picture = 0;
    PhotoFacts facts;
    // Pictures.Modified as stored when the file was examined: a file changed since (a
    // rescan moves Modified) is examined again.
    QVariant modified;
    Drawn drawn = Drawn::No; // whether it could be drawn, fitting the view or larger
};

// Records examinations; the table and its indexes are made by the first one. Runs in the
// caller's transaction or, without one, commits each. Throws DbError.
class Writer {
public:
    explicit Writer(Connection &connection);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    void record(const Entry &entry);

private:
    Connection &m_connection;
    std::unique_ptr<Statement> m_put;
};

// True when the catalogue holds the table.
bool exists(Connection &connection);
// Makes the table and its indexes when the catalogue lacks them (a copied catalogue).
void createTable(Connection &connection);

// The facts of a picture whose file has been examined; nothing for one that has not (or a
// catalogue without the table). Throws DbError.
std::optional<PhotoFacts> read(Connection &connection, qint64 picture);

// What the examination of the picture's file found, when it was examined as it is now (its
// Modified unchanged since); nothing otherwise. Throws DbError.
std::optional<Drawn> examinedAsNow(Connection &connection, qint64 picture);

// The sortable text of a date taken, without its offset ("2019-06-24T18:30:05[.120]").
QString takenText(const TakenTime &taken);
// The date taken of that text and offset (minutes east of UTC, null when unknown); invalid
// for a text that is not one.
TakenTime takenOf(const QString &text, const QVariant &offsetMinutes);

// The first and past-the-last texts of the dates taken in a period, as the Taken column
// compares them: "2019" gives ["2019", "2019~"), which holds every "2019-..." text.
QString periodStart(const QString &prefix);
QString periodEnd(const QString &prefix);

} // namespace PictureFactsTable
