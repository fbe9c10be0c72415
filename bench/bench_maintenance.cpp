#include "browser/catalogtree.h"
#include "browser/treeloader.h"
#include "cataloguegenerator.h"
#include "core/programpaths.h"
#include "core/scriptedprompter.h"
#include "maintenance/recordsave.h"
#include "maintenance/recordvalidation.h"
#include "store/command.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/query.h"
#include "store/tdados.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <numeric>
#include <unistd.h>

// Record maintenance on a generated catalogue (default 1,000,000 pictures), each against an
// anchor measured in the same run:
//  1. posting an edited picture (its checks, the edit's transaction, the write and the
//     commit; no tree reload) against the bare UPDATE in a transaction of its own;
//  2. renaming one node of the loaded 2,000,000-node trees against one pass over their keys;
//  3. `quillomar-cli delete collection` of a collection holding 100,000 pictures against the
//     same DELETE in the sqlite3 shell with foreign keys on;
//  4. `quillomar-cli check` of the catalogue with a thumbnail per picture against
//     `find thumbs -type f` plus the two pragmas in the sqlite3 shell.
//
// bench_maintenance [--catalogue FILE] [--rounds 3]

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Seconds one program takes from start to exit, its output thrown away; -1 on failure.
double runSeconds(const QString &program, const QStringList &arguments, QList<int> exits = { 0 })
{
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/null"));
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (process.exitStatus() != QProcess::NormalExit || !exits.contains(process.exitCode())) {
        std::fprintf(
            stderr, "%s: %s\n", qPrintable(program), process.readAllStandardError().constData());
        return -1;
    }
    return seconds;
}

ProgramPaths pathsFor(const QString &file)
{
    ProgramPaths paths = ProgramPaths::forProgram(QFileInfo(file).absolutePath() + "/quillomar");
    paths.DatabaseFolder = QFileInfo(file).absolutePath();
    paths.DatabaseFileName = QFileInfo(file).fileName();
    return paths;
}

void postEditedPicture(const QString &file, int rounds)
{
    ProgramPaths paths = pathsFor(file);
    ScriptedPrompter prompter;
    TDados store(paths, prompter);
    if (!store.OpenDatabaseAll()) {
        std::fprintf(stderr, "%s\n", qPrintable(prompter.boxTexts().join(" / ")));
        return;
    }
    const qint64 pictures = store.TPictures.recordCount();
    std::vector<double> ours, anchor;
    Connection raw;
    raw.openFile(file);
    Command update(raw);
    update.setSql(QStringLiteral("UPDATE Pictures SET Name = :N WHERE RecId = :R"));
    for (int i = 0; i < rounds * 10; ++i) {
        const qint64 id = 1 + (qint64(i) * 7919 * 127) % pictures;
        if (!store.TPictures.locate(QStringLiteral("RecId"), id))
            continue;
        RecordSave save(store, prompter);
        save.editStarted();
        store.TPictures.edit();
        store.TPictures.setValue(QStringLiteral("Name"), QStringLiteral("editada %1").arg(i));
        QElapsedTimer t;
        t.start();
        if (!save.save(NodeKind::Picture)) {
            std::fprintf(stderr, "refused: %s\n", qPrintable(prompter.boxTexts().join(" / ")));
            continue;
        }
        ours.push_back(t.nsecsElapsed() / 1e6);

        t.start();
        raw.beginTransaction();
        update.setParam(QStringLiteral("N"), QStringLiteral("direta %1").arg(i));
        update.setParam(QStringLiteral("R"), id + 1);
        update.execute();
        raw.commit();
        anchor.push_back(t.nsecsElapsed() / 1e6);
    }
    const double a = median(ours), b = median(anchor);
    std::printf("post of an edited picture (checks included, target < 20 ms): %.2f ms; bare "
                "UPDATE and commit %.2f ms; ratio %.2f\n",
        a, b, a / b);
}

void renameTreeNode(const QString &file, int rounds)
{
    ProgramPaths paths = pathsFor(file);
    ScriptedPrompter prompter;
    TDados store(paths, prompter);
    if (!store.OpenDatabaseAll())
        return;
    CatalogTree organisation, location;
    TreeLoader::Selection sel;
    TreeLoader::Found found;
    TreeLoader::loadOrganisation(store, organisation, sel, found);
    TreeLoader::loadLocation(store, location, sel, found);
    const int nodes = organisation.count() + location.count();
    std::vector<double> ours, anchor;
    std::vector<qint64> keys(location.count());
    for (int i = 0; i < location.count(); ++i)
        keys[i] = location.key(i);
    for (int i = 0; i < rounds * 10; ++i) {
        // The last picture of the location tree: the farthest a search has to go.
        const int last = location.count() - 1 - i;
        const qint64 key = location.key(last);
        QElapsedTimer t;
        t.start();
        const int node = location.indexOf(location.kind(last), key);
        location.rename(node, QStringLiteral("renomeada %1").arg(i));
        ours.push_back(t.nsecsElapsed() / 1e6);
        t.start();
        volatile qint64 sum = std::accumulate(keys.begin(), keys.end(), qint64(0));
        (void)sum;
        anchor.push_back(t.nsecsElapsed() / 1e6);
    }
    const double a = median(ours), b = median(anchor);
    std::printf("RenameTreeNode on trees of %d nodes (target < 5 ms): %.2f ms; one pass over "
                "the location tree's keys %.2f ms; ratio %.2f\n",
        nodes, a, b, a / b);
}

QString cliPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quillomar-cli"));
}

void deleteCollection(const QString &file, QTemporaryDir &dir, int rounds)
{
    // A copy where one collection holds 100,000 pictures in one of its categories.
    const QString prepared = dir.filePath(QStringLiteral("delete.mdb"));
    QFile::remove(prepared);
    QFile::copy(file, prepared);
    qint64 collection = 0;
    {
        Connection c;
        c.openFile(prepared);
        Query q(c);
        q.setSql(QStringLiteral("SELECT K.Collection AS C, K.RecId AS K FROM Categories K JOIN "
                                "Collections C ON C.RecId = K.Collection WHERE C.System = 0 "
                                "ORDER BY K.RecId LIMIT 1"));
        q.open();
        collection = q.asInt(QStringLiteral("C"));
        const qint64 category = q.asInt(QStringLiteral("K"));
        q.close();
        c.exec(QStringLiteral("UPDATE Pictures SET Collection = %1, Category = %2 WHERE RecId IN "
                              "(SELECT RecId FROM Pictures ORDER BY RecId LIMIT 100000)")
                   .arg(collection)
                   .arg(category));
        c.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    std::vector<double> ours, shell;
    const QString a = dir.filePath(QStringLiteral("a.mdb")),
                  b = dir.filePath(QStringLiteral("b.mdb"));
    for (int i = 0; i < rounds; ++i) {
        QFile::remove(a);
        QFile::remove(b);
        QFile::copy(prepared, a);
        QFile::copy(prepared, b);
        ours.push_back(runSeconds(
            cliPath(), { "--catalogue", a, "delete", "collection", QString::number(collection) }));
        shell.push_back(runSeconds(QStringLiteral("sqlite3"),
            { b,
                QStringLiteral(
                    "PRAGMA foreign_keys = ON; DELETE FROM Collections WHERE RecId = %1;")
                    .arg(collection) }));
    }
    const double x = median(ours), y = median(shell);
    std::printf("delete of a collection holding 100,000 pictures (target ratio < 1.5): "
                "quillomar-cli %.3f s, sqlite3 shell %.3f s; ratio %.2f\n",
        x, y, x / y);
}

void check(const QString &file, QTemporaryDir &dir, int rounds)
{
    // quillomar-cli looks for thumbs/ beside itself: a copy in a folder of its own.
    const QString program = dir.filePath(QStringLiteral("program"));
    QDir().mkpath(program + QStringLiteral("/thumbs"));
    const QString cli = program + QStringLiteral("/quillomar-cli");
    QFile::copy(cliPath(), cli);
    qint64 pictures = 0;
    {
        Connection c;
        c.openFile(file);
        Query q(c);
        q.setSql(QStringLiteral("SELECT RecId FROM Pictures"));
        q.open();
        for (; !q.eof(); q.next()) {
            const QByteArray name = QFile::encodeName(program
                + QStringLiteral("/thumbs/%1.jpg").arg(q.asInt("RecId"), 8, 10, QLatin1Char('0')));
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
            if (fd >= 0)
                ::close(fd);
            ++pictures;
        }
    }
    std::vector<double> ours, anchor;
    for (int i = 0; i < rounds; ++i) {
        ours.push_back(runSeconds(cli, { "--catalogue", file, "check" }, { 0, 1 }));
        const double find
            = runSeconds(QStringLiteral("find"), { program + "/thumbs", "-type", "f" });
        const double pragmas = runSeconds(QStringLiteral("sqlite3"),
            { "-readonly", file, "PRAGMA integrity_check; PRAGMA foreign_key_check;" });
        anchor.push_back(find + pragmas);
    }
    const double x = median(ours), y = median(anchor);
    std::printf("check of %lld pictures with their thumbnails (target ratio < 2): quillomar-cli "
                "%.3f s, find + the two pragmas %.3f s; ratio %.2f\n",
        pictures, x, y, x / y);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    QString catalogue;
    int rounds = 3;
    while (args.size() >= 2) {
        if (args.first() == QLatin1String("--catalogue"))
            catalogue = args.at(1);
        else if (args.first() == QLatin1String("--rounds"))
            rounds = std::max(1, args.at(1).toInt());
        else
            break;
        args = args.mid(2);
    }
    if (!args.isEmpty()) {
        std::fprintf(stderr, "usage: bench_maintenance [--catalogue FILE] [--rounds N]\n");
        return 2;
    }
    QTemporaryDir dir;
    try {
        if (catalogue.isEmpty()) {
            catalogue = dir.filePath(QStringLiteral("maintenance.mdb"));
            std::printf("generating 1,000,000 pictures...\n");
            std::fflush(stdout);
            generateCatalogue(catalogue, 1000000);
        }
        postEditedPicture(catalogue, rounds);
        std::fflush(stdout);
        renameTreeNode(catalogue, rounds);
        std::fflush(stdout);
        deleteCollection(catalogue, dir, rounds);
        std::fflush(stdout);
        check(catalogue, dir, rounds);
    } catch (const DbError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
