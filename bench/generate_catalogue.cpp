#include "cataloguegenerator.h"
#include "store/dberror.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

// generate_catalogue [--pictures N] FILE: writes a synthetic catalogue (default 1,000,000).
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    qint64 pictures = 1000000;
    if (args.size() >= 2 && args.first() == QLatin1String("--pictures")) {
        bool ok = false;
        pictures = args.at(1).toLongLong(&ok);
        if (!ok || pictures < 0) {
            std::fprintf(stderr, "--pictures: not a number\n");
            return 2;
        }
        args = args.mid(2);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: generate_catalogue [--pictures N] FILE\n");
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    try {
        generateCatalogue(args.first(), pictures);
    } catch (const DbError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("%lld pictures in %.1f s: %s\n", static_cast<long long>(pictures),
        timer.elapsed() / 1000.0, qPrintable(args.first()));
    return 0;
}
