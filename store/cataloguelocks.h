#pragma once

#include <QString>

class Connection;
class QDateTime;

// The locks a writer takes for what it guards, held until its transaction ends. On a file
// the write transaction holds the whole file and these take nothing more; on a server they
// are all there is beside the rows written, so that a long scan on one machine never holds
// up another machine's edits of other rows. Writers take them in the order below.
namespace CatalogueLocks {

// The pictures' files a scan adds: a scan holds it alone while its transaction lasts; a save
// that gives a picture a file no row had holds it shared, and so waits for a running scan,
// which could be adding the same file unseen.
void scannedFiles(Connection &connection, bool shared);
// Which storage a drive is: looked at and written by one writer at a time.
void drives(Connection &connection);
// A name kept unique, letter case ignored over all of Unicode, among the rows of `table`
// within `scope` (the collection of a category, the category of a picture; 0 for none).
void name(Connection &connection, const QString &table, qint64 scope, const QString &name);
// A picture's file: its name, letter case ignored, and its date.
void pictureFile(Connection &connection, const QString &fileName, const QDateTime &created);
// The catalogue's own rows, written once by whichever client comes first (default rows,
// version upgrades, the identity, new formats).
void setup(Connection &connection);

} // namespace CatalogueLocks
