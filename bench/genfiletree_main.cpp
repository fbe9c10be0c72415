#include "genfiletree.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

// genfiletree FOLDER [FILES [FOLDERS]]: writes the scan benchmark's tree.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: genfiletree FOLDER [FILES [FOLDERS]]\n");
        return 2;
    }
    const int files = args.size() > 2 ? args[2].toInt() : 200000;
    const int folders = args.size() > 3 ? args[3].toInt() : 2000;
    const genfiletree::Result r = genfiletree::make(args[1], files, folders);
    if (r.files == 0) {
        std::fprintf(stderr, "genfiletree: cannot write into %s\n", qPrintable(args[1]));
        return 1;
    }
    std::printf("%d files (%d pictures) in %d folders under %s\n", r.files, r.pictures, r.folders,
        qPrintable(args[1]));
    return 0;
}
