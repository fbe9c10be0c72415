#include "benchserver.h"
#include "benchtiming.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

// `quillomar-cli tree` of a server catalogue of 300,000 pictures against psql printing the
// same two statements, and `quillomar-cli search` hitting 1% of 1,000,000 pictures against
// psql running the search's statement with the same matching (the catalogue's LIKE, which
// folds letter case over Unicode). The server is a cluster of the benchmark's own on this
// machine; rounds alternate tool and anchor, medians are compared.
//
// bench_pgqueries [--tree N] [--search N] [--rounds R]

namespace {



// Collections, categories, storages and `pictures` pictures, spread over them.
QString fillSql(int pictures, bool marked)
{
    return QStringLiteral(
        "INSERT INTO collections (name, system) SELECT 'Coleção ' || i, false "
        "FROM generate_series(1, 100) i;"
        "INSERT INTO categories (collection, name, system) SELECT c.recid, 'Categoria ' || j, "
        "false FROM collections c, generate_series(1, 10) j WHERE NOT c.system;"
        "INSERT INTO storages (name, unit, system) SELECT 'Disco ' || i, '/media/d' || i, false "
        "FROM generate_series(1, 10) i;"
        "CREATE TEMP TABLE cats AS SELECT recid, collection, row_number() OVER (ORDER BY recid) "
        "- 1 AS n FROM categories WHERE NOT system;"
        "INSERT INTO pictures (collection, category, location, name, filename, fullpath, "
        "filesize, created, modified, filetype, review) "
        "SELECT c.collection, c.recid, 2 + i % 10, %1, 'IMG_' || lpad(i::text, 7, '0') || "
        "'.jpg', '/fotos/' || (i % 1000) || '/', i, timestamp '2010-01-01' + i * interval "
        "'2 seconds', timestamp '2010-01-01' + i * interval '2 seconds', 'jpg', true "
        "FROM generate_series(1, %2) i JOIN cats c ON c.n = i % 1000;"
        "ANALYZE;")
        .arg(marked ? QStringLiteral("CASE WHEN i % 100 = 0 THEN 'Praia ' || i ELSE 'IMG_' || "
                                     "lpad(i::text, 7, '0') END")
                    : QStringLiteral("'IMG_' || lpad(i::text, 7, '0')"))
        .arg(pictures);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int treePictures = 300000;
    int searchPictures = 1000000;
    int rounds = 3;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--tree"))
            treePictures = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--search"))
            searchPictures = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());
    }
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/quillomar-cli");

    BenchServer cluster;
    if (!cluster.start())
        return 1;
    const QString server = cluster.root();
    auto psql = [&](const QString &database, const QStringList &commands) {
        QStringList a = { QStringLiteral("psql"), QStringLiteral("-qAt"), QStringLiteral("-v"),
            QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), server + database };
        for (const QString &c : commands)
            a << QStringLiteral("-c") << c;
        return timedRun(a);
    };
    auto catalogue = [&](const QString &database, int pictures, bool marked) {
        return psql(QStringLiteral("postgres"), { QStringLiteral("CREATE DATABASE ") + database })
            >= 0
            && timedRun({ cli, QStringLiteral("create"), server + database }) >= 0
            && timedRun({ cli, QStringLiteral("--catalogue"), server + database,
                   QStringLiteral("info") })
            >= 0
            && psql(database, { fillSql(pictures, marked) }) >= 0;
    };
    std::printf("filling %d and %d pictures ...\n", treePictures, searchPictures);
    std::fflush(stdout);
    if (!catalogue(QStringLiteral("tree"), treePictures, false)
        || !catalogue(QStringLiteral("search"), searchPictures, true))
        return 1;

    // The statements as the server runs them (the program's, in the server's words).
    const QString searchPath
        = QStringLiteral("SET search_path TO \"$user\", public, pg_catalog");
    const QString organisation = QStringLiteral(
        "SELECT S1.*, Pictures.RecId AS ComRec, Pictures.Name AS ComNam FROM (SELECT "
        "Collections.RecId AS ColRec, Collections.Name AS ColNam, Categories.RecId AS CatRec, "
        "Categories.Name AS CatNam FROM Collections LEFT JOIN Categories ON Collections.RecId = "
        "Categories.Collection) AS S1 LEFT JOIN Pictures ON S1.CatRec = Pictures.Category "
        "ORDER BY 2 NULLS FIRST, 4 NULLS FIRST, 6 NULLS FIRST");
    const QString location = QStringLiteral(
        "SELECT Storages.RecId AS LocRec, Storages.Name AS LocNam, Pictures.RecId AS ComRec, "
        "Pictures.Name AS ComNam FROM Storages LEFT JOIN Pictures ON Storages.RecId = "
        "Pictures.Location ORDER BY 2 NULLS FIRST, 4 NULLS FIRST");
    const QString search = QStringLiteral(
        "SELECT Pictures.RecId, Collections.Name AS Collection, Categories.Name AS Category, "
        "Pictures.Name AS Picture FROM Pictures, Categories, Collections WHERE "
        "Pictures.Collection = Collections.RecId AND Pictures.Category = Categories.RecId AND "
        "(Pictures.Name LIKE '%praia%' OR Pictures.FileName LIKE '%praia%' OR "
        "Pictures.FullPath LIKE '%praia%' OR Pictures.FileType LIKE '%praia%' OR Pictures.Notes "
        "LIKE '%praia%' OR Pictures.KeyWords LIKE '%praia%') "
        "ORDER BY 4 NULLS FIRST, 2 NULLS FIRST, 3 NULLS FIRST, 1");

    std::vector<double> treeTool, treeAnchor, searchTool, searchAnchor;
    std::printf("round | tree  psql ratio | search  psql ratio   (wall ms)\n");
    for (int r = 0; r < rounds; ++r) {
        const double ta = psql(QStringLiteral("tree"), { searchPath, organisation, location });
        const double tt
            = timedRun({ cli, QStringLiteral("--catalogue"), server + QStringLiteral("tree"),
                QStringLiteral("tree") });
        const double sa = psql(QStringLiteral("search"), { searchPath, search });
        const double st
            = timedRun({ cli, QStringLiteral("--catalogue"), server + QStringLiteral("search"),
                QStringLiteral("search"), QStringLiteral("praia") });
        if (ta < 0 || tt < 0 || sa < 0 || st < 0)
            return 1;
        treeTool.push_back(tt);
        treeAnchor.push_back(ta);
        searchTool.push_back(st);
        searchAnchor.push_back(sa);
        std::printf("%5d | %5.0f %5.0f %5.2f | %6.0f %5.0f %5.2f\n", r + 1, tt, ta, tt / ta, st,
            sa, st / sa);
        std::fflush(stdout);
    }
    cluster.stop();
    const double tr = median(treeTool) / median(treeAnchor);
    const double sr = median(searchTool) / median(searchAnchor);
    std::printf("medians: tree %.0f ms against psql %.0f ms, ratio %.2f; search %.0f ms against "
                "psql %.0f ms, ratio %.2f\n",
        median(treeTool), median(treeAnchor), tr, median(searchTool), median(searchAnchor), sr);
    std::printf("target (tree <= 1.3 x psql, search <= 1.3 x psql): %s\n",
        tr <= 1.3 && sr <= 1.3 ? "met" : "NOT met");
    return 0;
}
