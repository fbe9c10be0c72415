#include "genjpegs.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

// genjpegs FOLDER [COUNT_4000x3000 [COUNT_1920x1080]]: writes the benchmark pictures.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: genjpegs FOLDER [COUNT_4000x3000 [COUNT_1920x1080]]\n");
        return 2;
    }
    const int big = args.size() > 2 ? args[2].toInt() : 100;
    const int small = args.size() > 3 ? args[3].toInt() : 100;
    const QStringList paths = genjpegs::makeSet(args[1], big, small);
    if (paths.isEmpty() && big + small > 0) {
        std::fprintf(stderr, "genjpegs: cannot write into %s\n", qPrintable(args[1]));
        return 1;
    }
    std::printf("%lld pictures in %s\n", static_cast<long long>(paths.size()), qPrintable(args[1]));
    return 0;
}
