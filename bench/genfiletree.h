#pragma once

#include <QString>

// A folder tree for the scan benchmark: `files` files spread evenly over `folders` folders
// (top folders of 49 subfolders each), names unique in the whole tree, mixed picture and
// other extensions, sparse sizes up to 5 MB and distinct last-write times.
namespace genfiletree {

struct Result {
    int files = 0;
    int folders = 0;
    int pictures = 0; // files with an extension the reference catalogue knows
};

// Writes the tree under root (created when missing); returns what it wrote, or files = 0
// when something could not be written.
Result make(const QString &root, int files = 200000, int folders = 2000);
// What make() would write, without touching the disk.
Result expected(int files = 200000, int folders = 2000);

} // namespace genfiletree
