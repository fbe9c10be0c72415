#pragma once

#include <QString>

// Writes a synthetic catalogue: about 50 collections of 20 categories, 20 storages and the
// given number of pictures with names, folders, sizes and dates like a real photo library;
// a fifth of the pictures carry key words and notes.
// One transaction and one prepared statement per table, so a million rows take seconds.
// Throws DbError.
void generateCatalogue(const QString &path, qint64 pictures, unsigned seed = 20240601);
