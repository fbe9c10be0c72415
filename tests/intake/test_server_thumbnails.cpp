#include "app/startup.h"
#include "app/tabertura.h"
#include "browser/catalogbrowser.h"
#include "browser/thumbnailgridmodel.h"
#include "core/scriptedprompter.h"
#include "core/versiontools.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/schema.h"
#include "store/tdados.h"
#include "store/thumbnailstore.h"
#include "support/catalogfixture.h"
#include "support/openstore.h"
#include "support/pgserver.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

using testsupport::PgServer;
using testsupport::OpenStore;
using testsupport::readFile;
using testsupport::thumbnailsIn;
using testsupport::writeFile;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// One machine: a program folder of its own (its own thumbnail folder) with quillomar-cli.
struct Machine {
    testsupport::ProgramFolder folder;
    QString cli;

    Machine()
    {
        cli = folder.file("quillomar-cli");
        QFile::copy(testsupport::binDir() + "/quillomar-cli", cli);
        QFile::setPermissions(cli, QFile::permissions(cli) | QFile::ExeOwner);
    }
    const ProgramPaths &paths() const { return folder.paths; }

    Run run(const QString &catalogue, const QStringList &args) const
    {
        QProcess p;
        p.start(cli,
            (catalogue.isEmpty() ? QStringList() : QStringList { "--catalogue", catalogue })
                + args);
        p.waitForFinished(120000);
        return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError()) };
    }
    void ok(const QString &catalogue, const QStringList &args) const
    {
        const Run r = run(catalogue, args);
        QVERIFY2(r.exitCode == 0, qPrintable(args.join(' ') + ": " + r.err + r.out));
    }
    // This machine's folder of the catalogue's thumbnails.
    QString thumbnails(const QString &catalogue) const
    {
        OpenStore store(paths(), catalogue);
        return store.dados->thumbnailFolder();
    }

    // The grid of this machine showing the pictures; returns the sizes of the thumbnails it
    // shows (an invalid size for a picture shown without one).
    QList<QSize> grid(const QString &catalogue, const QVector<qint64> &keys) const
    {
        ThumbnailGridModel model;
        model.setCatalogue(catalogue, thumbnails(catalogue));
        model.setKeys(keys);
        const auto loaded = [&model] {
            for (int row = 0; row < model.rowCount(); ++row) {
                if (!model.data(model.index(row), ThumbnailGridModel::LoadedRole).toBool())
                    return false;
            }
            return model.isIdle();
        };
        if (!QTest::qWaitFor(loaded))
            qFatal("the grid did not load its rows");
        QList<QSize> sizes;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QPixmap shown = model.data(model.index(row), Qt::DecorationRole).value<QPixmap>();
            sizes << (shown.isNull() ? QSize() : shown.size());
        }
        return sizes;
    }
};

// The main window of a machine opened on a catalogue, as the options dialog leaves it.
struct MainWindow {
    ScriptedPrompter prompter;
    Startup app;

    MainWindow(const Machine &m, const QString &catalogue)
        : app((configure(m, catalogue), m.paths()), &prompter)
    {
        app.createWindows();
        QSignalSpy done(app.Abertura.get(), &TAbertura::startupLoadingDone);
        app.Abertura->show();
        if (!QTest::qWaitFor([&done] { return done.count() == 1; })
            || !done.first().first().toBool())
            qFatal("the main window did not load the catalogue");
    }
    ~MainWindow() { app.Abertura->close(); }

    static void configure(const Machine &m, const QString &catalogue)
    {
        QString folder, file;
        Connection::splitLocation(catalogue, &folder, &file);
        writeFile(m.paths().ConfigFile,
            QStringLiteral("[DATABASE]\nPATH=%1\nFILENAME=%2\n").arg(folder, file).toUtf8());
    }

    // Clicks the picture's node in the organisation tree.
    void show(qint64 id)
    {
        auto *tree = app.Abertura->findChild<QTreeView *>("TreeView1");
        auto *model = static_cast<CatalogTree *>(tree->model());
        const QModelIndex node
            = model->modelIndex(model->indexOfCode(QStringLiteral("N3=%1").arg(id)));
        QVERIFY(node.isValid());
        for (QModelIndex p = node.parent(); p.isValid(); p = p.parent())
            tree->expand(p);
        tree->scrollTo(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(node).center());
        QCOMPARE(tree->currentIndex(), node);
    }
    QLabel *image() const { return app.Abertura->findChild<QLabel *>("Image1"); }
};

const QSize kLandscape(135, 101); // of 400 by 300 pictures

// A server catalogue made by `create`, with count pictures of width by height scanned from a
// folder of their own by machine m.
struct ServerCatalogue {
    QString location;
    QString database;
    QTemporaryDir pictures;

    explicit ServerCatalogue(const Machine &m)
    {
        PgServer &pg = PgServer::instance();
        if (!pg.isRunning())
            qFatal("no PostgreSQL server: %s", qPrintable(pg.error()));
        location = pg.createDatabase("miniaturas");
        database = PgServer::databaseOf(location);
        m.ok(QString(), { "create", location });
    }
    QString folder() const { return pictures.filePath("fotos"); }
    void addPictures(int count, int width, int height) const
    {
        QDir().mkpath(folder());
        for (int i = 1; i <= count; ++i)
            writeFile(QStringLiteral("%1/foto%2.jpg").arg(folder()).arg(i),
                samples::jpeg(width, height));
    }
    QString exec(const QString &sql) const { return PgServer::instance().exec(database, sql); }
    int kept() const { return exec("SELECT count(*) FROM PictureThumbnails").toInt(); }
    QByteArray keptBytes(qint64 picture) const
    {
        return QByteArray::fromHex(
            exec(QStringLiteral("SELECT encode(Thumbnail, 'hex') FROM PictureThumbnails WHERE "
                                "Picture = %1")
                     .arg(picture))
                .toLatin1());
    }
};

} // namespace

// A server catalogue keeps its thumbnails itself: made on one machine, they are seen on
// every other, also for pictures whose disk is gone; each machine's thumbnail folder is a
// cache of them.
class TestServerThumbnails : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!PgServer::instance().isRunning())
            QFAIL(qPrintable(PgServer::instance().error()));
    }

    void aThumbnailMadeOnOneMachineIsSeenOnAnotherWithoutItsPicture()
    {
        Machine a, b;
        ServerCatalogue s(a);
        s.addPictures(3, 400, 300);
        a.ok(s.location, { "scan", s.folder() });
        a.ok(s.location, { "thumbs" });
        QCOMPARE(s.kept(), 3);
        const auto made = thumbnailsIn(a.thumbnails(s.location));
        QCOMPARE(made.size(), 3);
        QCOMPARE(s.keptBytes(2), made.value("00000002.jpg"));

        // B never saw the pictures, and now they are gone.
        QVERIFY(QDir(s.folder()).removeRecursively());
        const QString bFolder = b.thumbnails(s.location);
        QVERIFY(thumbnailsIn(bFolder).isEmpty());
        QCOMPARE(b.grid(s.location, { 1, 2, 3 }), QList<QSize>({ kLandscape, kLandscape, kLandscape }));
        QCOMPARE(thumbnailsIn(bFolder), made);

        // Nor does B's review make them again: the catalogue has them.
        const Run thumbs = b.run(s.location, { "thumbs" });
        QCOMPARE(thumbs.exitCode, 0);
        QCOMPARE(thumbnailsIn(bFolder), made);
        QCOMPARE(s.keptBytes(1), made.value("00000001.jpg"));
        const Run check = b.run(s.location, { "check" });
        QVERIFY2(!check.out.contains("miniatura"), qPrintable(check.out));

        // The picture page of a third machine shows it as well.
        Machine c;
        MainWindow w(c, s.location);
        w.show(1);
        QCOMPARE(w.image()->pixmap().size(), kLandscape);
        QCOMPARE(w.prompter.boxTexts(), QStringList());
        QCOMPARE(readFile(c.thumbnails(s.location) + "/00000001.jpg"), made.value("00000001.jpg"));
    }

    void aThumbnailMadeAgainReplacesEveryMachinesCopy()
    {
        Machine a, b;
        ServerCatalogue s(a);
        s.addPictures(1, 400, 300);
        a.ok(s.location, { "scan", s.folder() });
        a.ok(s.location, { "thumbs" });
        QCOMPARE(b.grid(s.location, { 1 }), QList<QSize>({ kLandscape }));

        // The picture is edited in place (its time kept): A's rescan and review make its
        // thumbnail anew.
        const QString picture = s.folder() + "/foto1.jpg";
        const QDateTime time = QFileInfo(picture).lastModified();
        writeFile(picture, samples::jpeg(300, 450));
        {
            QFile changed(picture);
            QVERIFY(changed.open(QIODevice::ReadWrite));
            QVERIFY(changed.setFileTime(time, QFileDevice::FileModificationTime));
        }
        a.ok(s.location, { "scan", s.folder() });
        // The rescan deleted the stale thumbnail on the server as well.
        QCOMPARE(s.kept(), 0);
        a.ok(s.location, { "thumbs" });
        const QSize portrait(90, 135);
        QCOMPARE(QImageReader(a.thumbnails(s.location) + "/00000001.jpg").size(), portrait);
        QCOMPARE(b.grid(s.location, { 1 }), QList<QSize>({ portrait }));
        QCOMPARE(readFile(b.thumbnails(s.location) + "/00000001.jpg"), s.keptBytes(1));
    }

    void thePicturePagesFirstShowingGivesTheServerItsThumbnail()
    {
        Machine a, b;
        ServerCatalogue s(a);
        s.addPictures(1, 400, 300);
        a.ok(s.location, { "scan", s.folder() });
        QCOMPARE(s.kept(), 0);
        {
            MainWindow w(b, s.location);
            w.show(1);
            QCOMPARE(w.image()->pixmap().size(), kLandscape);
            QTRY_COMPARE(s.kept(), 1);
        }
        QCOMPARE(s.keptBytes(1), readFile(b.thumbnails(s.location) + "/00000001.jpg"));
        QCOMPARE(a.grid(s.location, { 1 }), QList<QSize>({ kLandscape }));
    }

    void aPictureDeletedOnOneMachineLeavesEveryMachine()
    {
        Machine a, b;
        ServerCatalogue s(a);
        s.addPictures(2, 400, 300);
        a.ok(s.location, { "scan", s.folder() });
        a.ok(s.location, { "thumbs" });
        QCOMPARE(b.grid(s.location, { 1, 2 }), QList<QSize>({ kLandscape, kLandscape }));

        b.ok(s.location, { "delete", "picture", "1" });
        QCOMPARE(s.kept(), 1);
        QCOMPARE(s.exec("SELECT count(*) FROM PictureThumbnails WHERE Picture = 1"), "0");
        QVERIFY(!QFileInfo::exists(b.thumbnails(s.location) + "/00000001.jpg"));
        // A still holds its copy until it next looks.
        const QString aFolder = a.thumbnails(s.location);
        QVERIFY(QFileInfo::exists(aFolder + "/00000001.jpg"));
        QCOMPARE(a.grid(s.location, { 1, 2 }), QList<QSize>({ QSize(), kLandscape }));
        QVERIFY(!QFileInfo::exists(aFolder + "/00000001.jpg"));
        QVERIFY(QFileInfo::exists(aFolder + "/00000002.jpg"));

        // A copy left behind is an orphan to the check, which removes it and no other.
        QVERIFY(QFile::copy(aFolder + "/00000002.jpg", aFolder + "/00000001.jpg"));
        const Run r = a.run(s.location, { "check", "--repair" });
        QVERIFY2(r.out.startsWith("miniatura órfã\t" + aFolder + "/00000001.jpg\tremovido\n"),
            qPrintable(r.out + r.err));
        QVERIFY(!QFileInfo::exists(aFolder + "/00000001.jpg"));
        QCOMPARE(s.kept(), 1);
    }

    void aThumbnailTheServerMissedIsGivenByTheNextReview()
    {
        Machine a, b;
        ServerCatalogue s(a);
        s.addPictures(2, 400, 300);
        a.ok(s.location, { "scan", s.folder() });
        a.ok(s.location, { "thumbs" });
        const auto made = thumbnailsIn(a.thumbnails(s.location));
        QCOMPARE(s.kept(), 2);

        // The server goes away right after a thumbnail file was written here.
        {
            OpenStore store(a.paths(), s.location);
            QVERIFY(store.opened);
            const std::unique_ptr<ThumbnailStore> thumbnails = store.dados->thumbnails();
            const QByteArray remade = samples::jpeg(20, 10);
            QVERIFY(writeFile(thumbnails->fileOf(2), remade));
            // The test's server answers commits before writing them: what was committed
            // is made to last before it goes down.
            s.exec("CHECKPOINT");
            PgServer::instance().stop();
            QVERIFY_THROWS_EXCEPTION(DbError, thumbnails->kept({ 2 }));
            QVERIFY(PgServer::instance().start());
            QCOMPARE(readFile(thumbnails->fileOf(2)), remade);
        }
        QCOMPARE(s.keptBytes(2), made.value("00000002.jpg"));

        // Others lost altogether: the next review gives them back from this machine.
        s.exec("DELETE FROM PictureThumbnails");
        a.ok(s.location, { "thumbs" });
        QCOMPARE(s.kept(), 2);
        QCOMPARE(s.keptBytes(1), made.value("00000001.jpg"));
        QCOMPARE(s.keptBytes(2), samples::jpeg(20, 10));
        QCOMPARE(b.grid(s.location, { 1, 2 }), QList<QSize>({ kLandscape, QSize(20, 10) }));
    }

    void aServerCatalogueMadeBeforeGetsTheTableWithItsFirstThumbnail()
    {
        Machine a;
        ServerCatalogue s(a);
        QCOMPARE(s.exec("SELECT to_regclass('picturethumbnails') IS NOT NULL"), "t");
        s.exec("DROP TABLE PictureThumbnails");
        s.addPictures(1, 400, 300);
        a.ok(s.location, { "scan", s.folder() });
        // Read as having none.
        QCOMPARE(a.grid(s.location, { 1 }), QList<QSize>({ QSize() }));
        a.ok(s.location, { "thumbs" });
        QCOMPARE(s.kept(), 1);
    }

    void copiesCarryTheThumbnailsBetweenFileAndServer()
    {
        Machine a, b;
        CatalogFixture file;
        QTemporaryDir pictures;
        for (int i = 1; i <= 3; ++i)
            writeFile(pictures.filePath(QStringLiteral("p%1.jpg").arg(i)), samples::jpeg(400, 300));
        a.ok(file.path, { "scan", pictures.path() });
        a.ok(file.path, { "thumbs" });
        const auto made = thumbnailsIn(a.thumbnails(file.path));
        QCOMPARE(made.size(), 3);
        {
            // A catalogue file keeps no thumbnail inside itself.
            Connection c;
            c.openFile(file.path);
            QVERIFY(!c.hasTable("PictureThumbnails"));
        }

        // One still to review (a hand-made thumbnail, say) is copied all the same.
        file.exec("UPDATE Pictures SET Review = 1 WHERE RecId = 3");

        PgServer &pg = PgServer::instance();
        const QString server = pg.createDatabase("copia");
        a.ok(QString(), { "copy-catalogue", file.path, server });
        const QString database = PgServer::databaseOf(server);
        QCOMPARE(pg.exec(database, "SELECT count(*) FROM PictureThumbnails"), "3");
        for (qint64 id = 1; id <= 3; ++id)
            QCOMPARE(QByteArray::fromHex(pg.exec(database,
                                                 QStringLiteral("SELECT encode(Thumbnail, 'hex') "
                                                                "FROM PictureThumbnails WHERE "
                                                                "Picture = %1")
                                                     .arg(id))
                                             .toLatin1()),
                made.value(ThumbnailStore::fileName(id)));

        // Back to a file on a machine that never had them: they come from the server.
        QTemporaryDir elsewhere;
        const QString back = elsewhere.filePath("volta.mdb");
        b.ok(QString(), { "copy-catalogue", server, back });
        QCOMPARE(thumbnailsIn(b.thumbnails(back)), made);
        Connection c;
        c.openFile(back);
        QVERIFY(!c.hasTable("PictureThumbnails"));
    }
};

QTEST_MAIN(TestServerThumbnails)
#include "test_server_thumbnails.moc"
