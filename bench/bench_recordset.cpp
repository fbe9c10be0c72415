#include "cataloguegenerator.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "processmemory.h"
#include "store/query.h"
#include "store/recordset.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

// The Pictures record set (sorted by Name, as the store keeps it) on synthetic catalogues of
// 10,000 and 1,000,000 pictures in the same run: open, RecordCount, locate by RecId, locate by
// FileName+Created ignoring case, 1,000 Next calls. Each size is measured in a process of its
// own so that its peak memory is its own; the 10,000 figures are the anchor of the ratios.
//
// bench_recordset [--dir FOLDER] [--sizes 10000,1000000]: catalogues are generated into
// FOLDER (default a folder in the temporary directory) and kept for the next run.

namespace {

struct Figure {
    double median = 0;
    double worst = 0;
};

Figure measure(int rounds, const std::function<void(int)> &operation)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        operation(i);
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return { times[times.size() / 2], times.back() };
}

using processmemory::peakRssKb;

int runMeasure(const QString &file)
{
    Connection connection;
    connection.setRequiredTables(Schema::tableNames());
    connection.open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + file + ";");
    RecordSet pictures(connection, QStringLiteral("Pictures"));
    pictures.setSort(QStringLiteral("Name"));

    // Samples drawn before timing: keys, and their file names in another letter case.
    Query q(connection);
    q.setSql(QStringLiteral("SELECT max(RecId) AS Top FROM Pictures"));
    q.open();
    const qint64 top = q.asInt(QStringLiteral("Top"));
    q.close();
    std::mt19937 random(7);
    const int samples = 25;
    QList<qint64> keys;
    QList<QVariantList> names;
    q.setSql(QStringLiteral("SELECT FileName, Created FROM Pictures WHERE RecId = :R"));
    while (keys.size() < samples) {
        const qint64 key = 1 + qint64(random() % quint64(top));
        q.setParam(QStringLiteral("R"), key);
        q.open();
        if (!q.eof()) {
            keys << key;
            names << QVariantList { q.asString(QStringLiteral("FileName")).toUpper(),
                q.asDateTime(QStringLiteral("Created")) };
        }
        q.close();
    }

    const Figure open = measure(samples, [&](int) {
        pictures.close();
        pictures.open();
    });
    int count = 0;
    const Figure recordCount = measure(samples, [&](int) { count = pictures.recordCount(); });
    const Figure byKey = measure(samples, [&](int i) {
        if (!pictures.locate(QStringLiteral("RecId"), keys.at(i)))
            qFatal("RecId %lld not found", static_cast<long long>(keys.at(i)));
    });
    const Figure byName = measure(samples, [&](int i) {
        if (!pictures.locate(QStringLiteral("FileName;Created"), names.at(i), true))
            qFatal("file name not found");
    });
    // 1,000 Next calls from a random row that has 1,000 rows after it; only the calls are timed.
    std::vector<double> nextTimes;
    for (int i = 0; nextTimes.size() < 9; ++i) {
        pictures.locate(QStringLiteral("RecId"), keys.at(i % samples) + i / samples);
        QElapsedTimer timer;
        timer.start();
        for (int n = 0; n < 1000; ++n)
            pictures.next();
        const double ms = timer.nsecsElapsed() / 1e6;
        if (!pictures.eof())
            nextTimes.push_back(ms);
    }
    std::sort(nextTimes.begin(), nextTimes.end());
    const Figure next { nextTimes[nextTimes.size() / 2], nextTimes.back() };
    std::printf("RESULT %d %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %ld\n", count,
        open.median, open.worst, recordCount.median, recordCount.worst, byKey.median, byKey.worst,
        byName.median, byName.worst, next.median, next.worst, peakRssKb());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 2 && args.first() == QLatin1String("--measure")) {
        try {
            return runMeasure(args.at(1));
        } catch (const DbError &e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    QString folder = QDir::temp().filePath(QStringLiteral("quillomar-bench"));
    QList<qint64> sizes = { 10000, 1000000 };
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--dir")) {
            folder = args.at(i + 1);
        } else if (args.at(i) == QLatin1String("--sizes")) {
            sizes.clear();
            for (const QString &s : args.at(i + 1).split(QLatin1Char(',')))
                sizes << s.toLongLong();
        }
    }
    QDir().mkpath(folder);

    struct Row {
        qint64 size;
        QStringList fields;
    };
    QList<Row> rows;
    for (qint64 size : sizes) {
        const QString file = QDir(folder).filePath(QStringLiteral("pictures_%1.mdb").arg(size));
        if (!QFileInfo::exists(file)) {
            QElapsedTimer timer;
            timer.start();
            try {
                generateCatalogue(file, size);
            } catch (const DbError &e) {
                std::fprintf(stderr, "generating %s: %s\n", qPrintable(file), e.what());
                QFile::remove(file);
                return 1;
            }
            std::printf("generated %lld pictures in %.1f s (%.0f MB): %s\n",
                static_cast<long long>(size), timer.elapsed() / 1000.0,
                QFileInfo(file).size() / 1e6, qPrintable(file));
        }
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--measure"), file });
        child.waitForFinished(-1);
        const QString out = QString::fromUtf8(child.readAllStandardOutput());
        const int at = out.indexOf(QLatin1String("RESULT "));
        if (child.exitCode() != 0 || at < 0) {
            std::fprintf(stderr, "measuring %s failed: %s\n", qPrintable(file),
                child.readAllStandardError().constData());
            return 1;
        }
        rows << Row { size, out.mid(at + 7).trimmed().split(QLatin1Char(' ')) };
    }

    std::printf(
        "\nPictures record set sorted by Name (ms: median / worst of 25; Next: 9 rounds)\n");
    std::printf("%10s %8s %17s %17s %17s %22s %19s %10s\n", "pictures", "count", "open",
        "RecordCount", "locate RecId", "locate FileName+Created", "1,000 Next", "peak RSS");
    for (const Row &r : rows) {
        const QStringList &f = r.fields;
        auto pair = [&](int i) {
            return QStringLiteral("%1 / %2")
                .arg(f[i].toDouble(), 0, 'f', 3)
                .arg(f[i + 1].toDouble(), 0, 'f', 3);
        };
        std::printf("%10lld %8s %17s %17s %17s %22s %19s %7.1f MB\n",
            static_cast<long long>(r.size), qPrintable(f[0]), qPrintable(pair(1)),
            qPrintable(pair(3)), qPrintable(pair(5)), qPrintable(pair(7)), qPrintable(pair(9)),
            f[11].toDouble() / 1024.0);
    }
    std::printf("targets at 1,000,000: each single operation < 5 ms, 1,000 Next < 50 ms\n");
    if (rows.size() >= 2) {
        const QStringList &a = rows.first().fields;
        const QStringList &b = rows.last().fields;
        const char *names[]
            = { "open", "RecordCount", "locate RecId", "locate FileName+Created", "1,000 Next" };
        bool medians = true;
        QStringList worstOver;
        for (int i = 0; i < 5; ++i) {
            const double anchor = a[1 + 2 * i].toDouble();
            const double big = b[1 + 2 * i].toDouble();
            const double worst = b[2 + 2 * i].toDouble();
            const double limit = i == 4 ? 50.0 : 5.0;
            medians = medians && big < limit;
            if (worst >= limit)
                worstOver << QString::fromLatin1(names[i]);
            std::printf(
                "  %-24s %8.3f ms at %lld, %8.3f ms at %lld (worst %.3f): ratio %.2f, target %s\n",
                names[i], anchor, static_cast<long long>(rows.first().size), big,
                static_cast<long long>(rows.last().size), worst, anchor > 0 ? big / anchor : 0.0,
                big < limit ? "met" : "MISSED");
        }
        std::printf("memory: peak RSS %.1f MB at %lld, %.1f MB at %lld: ratio %.2f\n",
            a[11].toDouble() / 1024.0, static_cast<long long>(rows.first().size),
            b[11].toDouble() / 1024.0, static_cast<long long>(rows.last().size),
            b[11].toDouble() / a[11].toDouble());
        std::printf("medians: %s; worst cases over target: %s\n",
            medians ? "all targets met" : "a target MISSED",
            worstOver.isEmpty() ? "none" : qPrintable(worstOver.join(QStringLiteral(", "))));
    }
    return 0;
}
