#include "test_scan_fixture.h"

#include "intake/filetimetext.h"
#include "intake/folderscan.h"
#include "intake/storagefordrive.h"

#include <QProcess>
#include <QtTest>

#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const qint64 someTime = 1557126489; // 2019-05-06, an odd number of seconds

struct Run {
    FolderScan::Outcome outcome;
    int tracked;
    int added;
    int found;
    QString status;
};

} // namespace

class TestScan : public QObject {
    Q_OBJECT

private:
    // Runs one scan as the dialog runs it with "Executar" confirmed.
    Run scan(ScanFixture &f, TestProgress &progress, const QString &folder, bool subfolders = true,
        QList<bool> *treesCurrent = nullptr, qint64 collection = 0, qint64 category = 0)
    {
        FolderScan scan(*f.store, f.prompter, progress);
        scan.setTreesCurrent = [treesCurrent](bool v) {
            if (treesCurrent)
                *treesCurrent << v;
        };
        scan.driveEntryText = [] { return QStringLiteral("  Disco de teste  "); };
        FolderScan::Request request;
        request.folder = folder;
        request.includeSubfolders = subfolders;
        request.collection = collection > 0 ? collection : f.store->DefaultCollectionId;
        request.category = category > 0 ? category : f.store->DefaultCategoryId;
        const FolderScan::Outcome outcome = scan.ScanFolder(request);
        return { outcome, scan.trackedFiles(), scan.newPictures(), scan.alreadyCatalogued(),
            scan.statusText() };
    }
    Run scan(ScanFixture &f, const QString &folder, bool subfolders = true)
    {
        TestProgress progress;
        return scan(f, progress, folder, subfolders);
    }

private slots:
    void init() { QVERIFY(QDir::setCurrent(QDir::tempPath())); }

    void scanCataloguesKnownFormatsWithTheirFileFacts()
    {
        ScanFixture f;
        QVERIFY(f.file("a.jpg", 1234, someTime));
        QVERIFY(f.file("FOTO.JPG"));
        QVERIFY(f.file("b.jpeg")); // variation of jpg
        QVERIFY(f.file("c.TIFF")); // variation of tif, in capitals
        QVERIFY(f.file("d.jp")); // the membership is a substring test
        QVERIFY(f.file("e.txt"));
        QVERIFY(f.file("semextensao"));
        QVERIFY(f.file("ponto."));
        QVERIFY(f.file("g.jpgx"));
        QVERIFY(f.file(".oculta.jpg"));
        QVERIFY(f.file(".pasta/h.jpg"));
        QVERIFY(f.file("sub/deep/i.png"));
        QVERIFY(f.folder("vazia"));
        QList<bool> treesCurrent;
        TestProgress progress;
        const Run r = scan(f, progress, f.tree() + QStringLiteral("/"), true, &treesCurrent);

        QCOMPARE(r.outcome, FolderScan::Outcome::Completed);
        QCOMPARE(r.tracked, 6);
        QCOMPARE(r.added, 6);
        QCOMPARE(r.found, 0);
        QCOMPARE(progress.statuses.first(), QStringLiteral("Rastreados 0 arquivos"));
        QCOMPARE(r.status, QStringLiteral("Rastreados 6 arquivos 6 novos. Finalizando..."));
        QVERIFY(!treesCurrent.isEmpty() && !treesCurrent.contains(true));

        QStringList names = f.fileNames();
        names.sort();
        QCOMPARE(names, QStringList({ "FOTO.JPG", "a.jpg", "b.jpeg", "c.TIFF", "d.jp", "i.png" }));

        const qint64 storage
            = f.scalar(QStringLiteral("SELECT RecId FROM Storages WHERE Unit = '%1' AND System = TRUE")
                           .arg(driveOfPath(f.tree())))
                  .toLongLong();
        QVERIFY(storage > 0);
        const QVariantMap a
            = f.rows(QStringLiteral("SELECT * FROM Pictures WHERE FileName = 'a.jpg'")).first();
        QCOMPARE(a.value("Name").toString(), QStringLiteral("a"));
        QCOMPARE(a.value("FileSize").toLongLong(), 1234);
        QCOMPARE(a.value("Created").toString(), ScanFixture::storedTime(someTime));
        QVERIFY(a.value("Created").toString().endsWith(QLatin1String(":08")));
        QCOMPARE(a.value("Modified").toString(), a.value("Created").toString());
        QCOMPARE(a.value("FullPath").toString(), f.tree() + QStringLiteral("/"));
        QCOMPARE(a.value("FileType").toString(), QStringLiteral("jpg"));
        QCOMPARE(a.value("Location").toLongLong(), storage);
        QCOMPARE(a.value("Review").toInt(), 1);
        QCOMPARE(a.value("Collection").toLongLong(), f.store->DefaultCollectionId);
        QCOMPARE(a.value("Category").toLongLong(), f.store->DefaultCategoryId);
        for (const char *unset :
            { "ColorType", "Width", "Height", "Resolution", "Notes", "KeyWords" })
            QVERIFY2(a.value(unset).isNull(), unset);

        auto typeOf = [&](const char *file) {
            return f
                .scalar(QStringLiteral("SELECT FileType FROM Pictures WHERE FileName = '%1'")
                            .arg(QLatin1String(file)))
                .toString();
        };
        QCOMPARE(typeOf("FOTO.JPG"), QStringLiteral("jpg"));
        QCOMPARE(typeOf("b.jpeg"), QStringLiteral("jpg"));
        QCOMPARE(typeOf("c.TIFF"), QStringLiteral("tif"));
        QCOMPARE(typeOf("d.jp"), QStringLiteral("jp"));
        QCOMPARE(f.scalar("SELECT FullPath FROM Pictures WHERE FileName = 'i.png'").toString(),
            f.tree("sub/deep/"));
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
    }

    void scanSameFolderTwiceCatalogsNothingNewAndDeletesThumbnails()
    {
        ScanFixture f;
        QVERIFY(f.file("a.jpg"));
        QVERIFY(f.file("sub/b.gif"));
        QCOMPARE(scan(f, f.tree()).added, 2);
        const int storages = f.count("Storages");

        QVERIFY(QDir().mkpath(f.store->thumbnailFolder()));
        QStringList thumbs;
        for (const QVariantMap &row : f.rows("SELECT RecId FROM Pictures")) {
            thumbs << f.store->GetThumbnailName(row.value("RecId").toLongLong());
            QVERIFY(testsupport::writeFile(thumbs.last(), "stale"));
        }
        const QString unrelated = f.store->GetThumbnailName(999);
        QVERIFY(testsupport::writeFile(unrelated, "other"));

        QList<bool> treesCurrent;
        TestProgress progress;
        const Run r = scan(f, progress, f.tree(), true, &treesCurrent);
        QCOMPARE(r.outcome, FolderScan::Outcome::Completed);
        QCOMPARE(r.added, 0);
        QCOMPARE(r.found, 2);
        QCOMPARE(r.status,
            QStringLiteral("Rastreados 2 arquivos 2 já catalogados anteriormente. Finalizando..."));
        QCOMPARE(f.count("Pictures"), 2);
        QCOMPARE(f.count("Storages"), storages);
        QVERIFY(treesCurrent.isEmpty()); // nothing was written
        for (const QString &t : thumbs)
            QVERIFY2(!QFile::exists(t), qPrintable(t));
        QVERIFY(QFile::exists(unrelated));
    }

    void changedFilesFollowTheIdentityOfNameAndTime()
    {
        ScanFixture f;
        QVERIFY(f.file("a.jpg", 10, someTime));
        QVERIFY(f.file("b.jpg", 10, someTime));
        QCOMPARE(scan(f, f.tree()).added, 2);
        f.exec("UPDATE Pictures SET Review = FALSE");
        const QVariantMap before
            = f.rows("SELECT * FROM Pictures WHERE FileName = 'a.jpg'").first();

        // Same name and time, another size: the row is refreshed in place.
        QVERIFY(f.file("a.jpg", 20, someTime));
        // A new last-write time: another file as far as the catalogue knows.
        QVERIFY(f.file("b.jpg", 10, someTime + 3600));
        // Same name and time in another folder (and case): the same picture.
        QVERIFY(f.file("outra/A.JPG", 20, someTime));
        const Run r = scan(f, f.tree());
        QCOMPARE(r.tracked, 3);
        QCOMPARE(r.added, 1);
        QCOMPARE(r.found, 2);

        const QVariantMap a = f.rows("SELECT * FROM Pictures WHERE FileName = 'a.jpg'").first();
        QCOMPARE(a.value("RecId"), before.value("RecId"));
        QCOMPARE(a.value("FileSize").toLongLong(), 20);
        QCOMPARE(a.value("Review").toInt(), 1);
        QCOMPARE(a.value("FullPath"), before.value("FullPath"));
        QCOMPARE(a.value("Location"), before.value("Location"));
        QCOMPARE(f.count("Pictures"), 3);
        QCOMPARE(f.scalar("SELECT count(*) FROM Pictures WHERE FileName = 'b.jpg'").toInt(), 2);
        QCOMPARE(
            f.scalar("SELECT Review FROM Pictures WHERE FileName = 'b.jpg' ORDER BY RecId").toInt(),
            0);
        QCOMPARE(f.count("Pictures WHERE FileName = 'A.JPG' COLLATE BINARY"), 0);

        // Within one scan into an empty catalogue: the later file is the row already added.
        ScanFixture empty;
        QVERIFY(empty.file("c.jpg", 5, someTime));
        QVERIFY(empty.file("sub/C.JPG", 7, someTime));
        const Run once = scan(empty, empty.tree());
        QCOMPARE(once.added, 1);
        QCOMPARE(once.found, 1);
        QCOMPARE(empty.fileNames(), QStringList { "c.jpg" });
        QCOMPARE(empty.scalar("SELECT FileSize FROM Pictures").toLongLong(), 7);
    }

    void fileTimesFollowTheLocalZoneAcrossItsChanges()
    {
        // The text the C library gives, truncated to even seconds.
        auto reference = [](time_t t) {
            struct tm local;
            if (!localtime_r(&t, &local))
                return QByteArray();
            local.tm_sec &= ~1;
            return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec)
                .toLatin1();
        };
        const QByteArray savedZone = qgetenv("TZ");
        // Summer time, a half-hour shift, leap seconds in the zone's clock.
        for (const char *zone : { "Europe/Lisbon", "Australia/Lord_Howe", "right/UTC", "UTC" }) {
            qputenv("TZ", zone);
            tzset();
            FileTimeText times;
            for (time_t around : { time_t(1553994000), time_t(1572138000), time_t(1554566400),
                     time_t(-300000000), time_t(someTime) }) {
                for (time_t t = around - 7205; t <= around + 7205; t += 37)
                    QCOMPARE(times.text(t), reference(t));
            }
        }
        if (savedZone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", savedZone);
        tzset();
    }

    void sizesAboveTwoGibibytesAreStoredWhole()
    {
        ScanFixture f;
        const qint64 big = (qint64(3) << 30) + 5; // sparse: costs no disk
        QVERIFY(f.file("grande.tif", big, someTime));
        QCOMPARE(scan(f, f.tree()).added, 1);
        QCOMPARE(f.scalar("SELECT FileSize FROM Pictures").toLongLong(), big);
        const Run again = scan(f, f.tree());
        QCOMPARE(again.found, 1);
        QCOMPARE(f.scalar("SELECT Review FROM Pictures").toInt(), 1);
        f.exec("UPDATE Pictures SET Review = FALSE");
        scan(f, f.tree());
        QCOMPARE(f.scalar("SELECT Review FROM Pictures").toInt(), 0); // unchanged: not touched
    }

    void formatRowsAreMatchedAsStored()
    {
        ScanFixture f;
        f.exec("UPDATE Formats SET Extension = 'BMP' WHERE Extension = 'bmp'");
        f.exec("UPDATE Formats SET Used = FALSE");
        QVERIFY(f.openStore());
        QVERIFY(f.file("x.bmp"));
        QVERIFY(f.file("y.BMP"));
        QVERIFY(f.file("z.gif")); // Used plays no part
        const Run r = scan(f, f.tree());
        QCOMPARE(f.fileNames(), QStringList { "z.gif" });
        QCOMPARE(r.tracked, 1);
    }

    void withoutSubfoldersOnlyTheFolderIsExamined()
    {
        ScanFixture f;
        QVERIFY(f.file("a.png"));
        QVERIFY(f.file("sub/b.png"));
        scan(f, f.tree(), false);
        QCOMPARE(f.fileNames(), QStringList { "a.png" });
    }

    void folderWithoutPicturesAddsNoStorage()
    {
        ScanFixture f;
        f.exec("UPDATE Storages SET Unit = 'nenhuma'");
        QVERIFY(f.file("leia.txt"));
        const int storages = f.count("Storages");
        QList<bool> treesCurrent;
        TestProgress progress;
        const Run r = scan(f, progress, f.tree(), true, &treesCurrent);
        QCOMPARE(r.outcome, FolderScan::Outcome::Completed);
        QCOMPARE(r.status, QStringLiteral("Rastreados 0 arquivos. Finalizando..."));
        QCOMPARE(f.count("Storages"), storages);
        QVERIFY(treesCurrent.isEmpty());
    }

    void storageOfTheDriveIsFoundOrAddedOnce()
    {
        ScanFixture f;
        const QString drive = driveOfPath(f.tree());
        QVERIFY(drive.startsWith('/'));
        QVERIFY(drive == QLatin1String("/") || !drive.endsWith('/'));
        // A row added by hand for the drive never matches; the default row is moved away.
        f.exec("UPDATE Storages SET Unit = 'outra'");
        f.exec(QStringLiteral("INSERT INTO Storages (Name, Unit, System) VALUES ('À mão', '%1', FALSE)")
                   .arg(drive));
        QVERIFY(f.openStore());
        QVERIFY(f.file("a.jpg"));
        QVERIFY(f.file("b.jpg"));
        QList<bool> treesCurrent;
        TestProgress progress;
        scan(f, progress, f.tree(), true, &treesCurrent);
        const QList<QVariantMap> added = f.rows(
            QStringLiteral("SELECT RecId, Name FROM Storages WHERE Unit = '%1' AND System = TRUE")
                .arg(drive));
        QCOMPARE(added.size(), 1);
        QCOMPARE(added.first().value("Name").toString(), QStringLiteral("Disco de teste"));
        QCOMPARE(f.store->TStorages.asInt("RecId"), added.first().value("RecId").toLongLong());
        QCOMPARE(f.scalar("SELECT count(DISTINCT Location) FROM Pictures").toInt(), 1);
        QCOMPARE(f.scalar("SELECT Location FROM Pictures").toLongLong(),
            added.first().value("RecId").toLongLong());

        // The next scan of the drive, with the Unit in other letters, reuses the row.
        f.exec(QStringLiteral(
            "UPDATE Storages SET Unit = upper(Unit) WHERE System = TRUE AND Unit = '%1'")
                   .arg(drive));
        QVERIFY(f.file("c.jpg"));
        const int storages = f.count("Storages");
        scan(f, f.tree());
        QCOMPARE(f.count("Storages"), storages);

        // StorageForDrive on its own, as relinking uses it.
        bool asked = false;
        QVERIFY(StorageForDrive(*f.store, QStringLiteral("/media/x"), [&] {
            asked = true;
            return QStringLiteral(" X ");
        }).added);
        QVERIFY(asked);
        QCOMPARE(f.store->TStorages.asString("Name"), QStringLiteral("X"));
        asked = false;
        QVERIFY(!StorageForDrive(*f.store, QStringLiteral("/MEDIA/X"), [&] {
            asked = true;
            return QString();
        }).added);
        QVERIFY(!asked);
        QCOMPARE(driveOfPath(QStringLiteral("/")), QStringLiteral("/"));
        QCOMPARE(driveOfPath(f.tree("não/existe/ainda")), drive);
    }

    void linksAreNeverFollowed()
    {
        ScanFixture f;
        QTemporaryDir outside;
        QVERIFY(ScanFixture::writeRaw(QFile::encodeName(outside.filePath("fora.jpg"))));
        QVERIFY(f.file("dentro.jpg"));
        QVERIFY(f.folder("sub"));
        QVERIFY(QFile::link(outside.path(), f.tree("para-fora")));
        QVERIFY(QFile::link(f.tree(), f.tree("sub/laco"))); // a loop back to the top
        QVERIFY(QFile::link(f.tree("dentro.jpg"), f.tree("atalho.jpg")));
        QVERIFY(QFile::link(f.tree("nada"), f.tree("quebrado.jpg")));
        const Run r = scan(f, f.tree());
        QCOMPARE(r.outcome, FolderScan::Outcome::Completed);
        QCOMPARE(f.fileNames(), QStringList { "dentro.jpg" });
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
    }

    void awkwardNamesAreKeptExactlyAndFoundAgain()
    {
        ScanFixture f;
        const QStringList names
            = { QStringLiteral("it's \"aspas\" 100%.jpg"), QStringLiteral("linha\nnova.jpg"),
                  QStringLiteral("ação çã.png"), QStringLiteral("tab\there.gif"),
                  QStringLiteral("_%_.bmp"), QStringLiteral("日本.jpg") };
        for (const QString &n : names)
            QVERIFY(f.file(n));
        // Not UTF-8: a Latin-1 name, and a folder whose name is not text either.
        QVERIFY(ScanFixture::writeRaw(f.treeBytes("foto\xe7\xe3o.jpg")));
        QVERIFY(::mkdir(f.treeBytes("pasta\xff").constData(), 0755) == 0);
        QVERIFY(ScanFixture::writeRaw(f.treeBytes("pasta\xff/dentro.jpg")));

        const Run first = scan(f, f.tree());
        QCOMPARE(first.outcome, FolderScan::Outcome::Completed);
        QCOMPARE(first.added, names.size());
        QStringList stored = f.fileNames();
        stored.sort();
        QStringList expected = names;
        expected.sort();
        QCOMPARE(stored, expected);
        const QString quoted
            = f.scalar("SELECT Name FROM Pictures WHERE FileName LIKE 'it%'").toString();
        QCOMPARE(quoted, QStringLiteral("it's \"aspas\" 100%"));

        const QList<ScriptedPrompter::Record> boxes = f.prompter.boxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().icon, Prompter::Icon::Warning);
        const QStringList lines = boxes.first().text.split('\r');
        QCOMPARE(lines.first(),
            QStringLiteral("Estes nomes não estão em UTF-8 válido e não foram rastreados:"));
        QVERIFY(lines.contains(f.tree() + QStringLiteral("/foto\\xE7\\xE3o.jpg")));
        QVERIFY(lines.contains(f.tree() + QStringLiteral("/pasta\\xFF")));

        f.prompter.clear();
        const Run second = scan(f, f.tree());
        QCOMPARE(second.added, 0);
        QCOMPARE(second.found, names.size());
        QCOMPARE(f.count("Pictures"), names.size());
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
        // Qt cannot remove what it cannot name.
        QVERIFY(::unlink(f.treeBytes("foto\xe7\xe3o.jpg").constData()) == 0);
        QVERIFY(::unlink(f.treeBytes("pasta\xff/dentro.jpg").constData()) == 0);
        QVERIFY(::rmdir(f.treeBytes("pasta\xff").constData()) == 0);
    }

    void filesAndFoldersVanishingDuringTheWalk()
    {
        ScanFixture f;
        QVERIFY(f.file("a/um.jpg"));
        QVERIFY(f.file("b/dois.jpg"));
        QVERIFY(f.file("c/tres.jpg"));
        // The deepest folder is the last one the file pass lists.
        for (int i = 0; i < 20; ++i)
            QVERIFY(f.file(QStringLiteral("x/d/%1.jpg").arg(i)));
        TestProgress progress;
        FolderScan scan(*f.store, f.prompter, progress);
        bool walked = false;
        int removedWhileListed = 0;
        int lastFolderPumps = 0;
        progress.onPump = [&](int) {
            // During the walk: a folder goes away with its file.
            if (!walked) {
                walked = true;
                QVERIFY(QDir(f.tree("b")).removeRecursively());
            }
            // During the file pass, after the first entry of the last folder: the rest of
            // that folder goes away while it is being listed.
            // (The first pump that sees it last follows the folder before it.)
            if (scan.pendingFolders() == 1 && ++lastFolderPumps == 2) {
                for (int i = 0; i < 20; ++i)
                    removedWhileListed
                        += QFile::remove(f.tree(QStringLiteral("x/d/%1.jpg").arg(i)));
            }
        };
        const FolderScan::Outcome outcome = scan.ScanFolder(
            { f.tree(), true, f.store->DefaultCollectionId, f.store->DefaultCategoryId });
        QCOMPARE(outcome, FolderScan::Outcome::Completed);
        QCOMPARE(removedWhileListed, 20);
        const QStringList stored = f.fileNames();
        QVERIFY(!stored.contains("dois.jpg"));
        QVERIFY(stored.contains("um.jpg") && stored.contains("tres.jpg"));
        QCOMPARE(stored.size(), 3); // the one entry of x/d examined before the others went
        QCOMPARE(scan.newPictures(), 3);
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
    }

    void foldersThatCannotBeListedArePassedOver()
    {
        ScanFixture f;
        QVERIFY(f.file("aberta/a.jpg"));
        QVERIFY(f.file("fechada/b.jpg"));
        QVERIFY(f.file("fechada/sub/c.jpg"));
        QVERIFY(f.file("zeta/d.jpg"));
        QVERIFY(::chmod(QFile::encodeName(f.tree()).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(f.tree("fechada")).constData(), 0) == 0);
        // The ordinary user writes the catalogue and its journal beside it.
        QVERIFY(::chmod(QFile::encodeName(f.program.dir.path()).constData(), 0777) == 0);
        if (!f.catalog.onServer())
            QVERIFY(::chmod(QFile::encodeName(f.catalogue).constData(), 0666) == 0);
        Run r;
        {
            AsOrdinaryUser user;
            if (!user.effective())
                QSKIP("the file-system identity cannot be dropped here");
            if (DIR *probe = ::opendir(QFile::encodeName(f.tree("fechada")).constData())) {
                ::closedir(probe);
                QSKIP("permissions are not enforced here");
            }
            r = scan(f, f.tree());
        }
        ::chmod(QFile::encodeName(f.tree("fechada")).constData(), 0755);
        QCOMPARE(r.outcome, FolderScan::Outcome::Completed);
        QStringList stored = f.fileNames();
        stored.sort();
        QCOMPARE(stored, QStringList({ "a.jpg", "d.jpg" }));
    }

    void thumbnailFolderIsNeverCatalogued()
    {
        ScanFixture f;
        QVERIFY(QDir().mkpath(f.store->thumbnailFolder()));
        QVERIFY(testsupport::writeFile(f.program.paths.ThumbnailFolder + "/00000001.jpg", "x"));
        QVERIFY(testsupport::writeFile(f.program.file("foto.jpg"), "x"));
        QVERIFY(QDir().mkpath(f.program.file("Thumbs")));
        QVERIFY(testsupport::writeFile(f.program.file("Thumbs/outra.jpg"), "x"));
        scan(f, f.program.dir.path());
        QStringList stored = f.fileNames();
        stored.sort();
        QCOMPARE(stored, QStringList({ "foto.jpg", "outra.jpg" }));

        // Reached through a link to the program folder, it is still the thumbnail folder.
        f.exec("DELETE FROM Pictures"); // keys are not given again: 00000001 is nobody's now
        QVERIFY(testsupport::writeFile(f.program.paths.ThumbnailFolder + "/00000001.jpg", "x"));
        QTemporaryDir elsewhere;
        QVERIFY(QFile::link(f.program.dir.path(), elsewhere.filePath("programa")));
        scan(f, elsewhere.filePath("programa"));
        stored = f.fileNames();
        stored.sort();
        QCOMPARE(stored, QStringList({ "foto.jpg", "outra.jpg" }));
        QVERIFY(QFile::exists(f.program.paths.ThumbnailFolder + "/00000001.jpg"));
    }

    void pathsBeyondTheSystemLimitAreReported()
    {
        ScanFixture f;
        QVERIFY(f.file("curto.jpg"));
        // Folders inside each other until the path passes the limit, made one relative to
        // the other (no path that long can be opened).
        const QByteArray part(200, 'p');
        QByteArray path = QFile::encodeName(f.tree());
        int dir = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(dir >= 0);
        QByteArray longFile;
        QByteArray longFolder;
        while (longFolder.isEmpty()) {
            QVERIFY(::mkdirat(dir, part.constData(), 0755) == 0);
            const int inner = ::openat(dir, part.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(dir);
            QVERIFY(inner >= 0);
            dir = inner;
            path += '/' + part;
            if (path.size() > PATH_MAX - 1) {
                longFolder = path;
                QVERIFY(::close(::openat(dir, "dentro.jpg", O_WRONLY | O_CREAT | O_CLOEXEC, 0644))
                    == 0);
            } else if (path.size() + 255 > PATH_MAX - 1 && longFile.isEmpty()) {
                const QByteArray name = QByteArray(250, 'n') + ".jpg"; // 1 + 254 bytes more
                longFile = path + '/' + name;
                QVERIFY(
                    ::close(::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644))
                    == 0);
            }
        }
        ::close(dir);
        const Run r = scan(f, f.tree());
        QProcess::execute("rm", { "-rf", f.tree(QString::fromLatin1(part)) });
        QCOMPARE(r.outcome, FolderScan::Outcome::Completed);
        QCOMPARE(f.fileNames(), QStringList { "curto.jpg" });
        QCOMPARE(f.prompter.boxes().size(), 1);
        QCOMPARE(f.prompter.boxes().first().icon, Prompter::Icon::Warning);
        const QStringList lines = f.prompter.boxes().first().text.split('\r');
        QCOMPARE(lines.first(),
            QStringLiteral("Estes caminhos passam do limite de 4095 bytes do sistema e não foram "
                           "rastreados:"));
        QVERIFY(lines.contains(QString::fromLatin1(longFile)));
        QVERIFY(lines.contains(QString::fromLatin1(longFolder)));
    }

    void cancelDuringTheFilePassRollsEverythingBack()
    {
        ScanFixture f;
        for (int i = 0; i < 6; ++i)
            QVERIFY(f.file(QStringLiteral("velha%1.jpg").arg(i)));
        QCOMPARE(scan(f, f.tree(), false).added, 6);
        f.exec("UPDATE Pictures SET Review = FALSE");
        f.exec("UPDATE Storages SET Unit = 'nenhuma'");
        f.exec("DELETE FROM Storages WHERE RecId <> (SELECT min(RecId) FROM Storages)");
        f.exec("UPDATE Pictures SET Location = (SELECT min(RecId) FROM Storages)");
        QVERIFY(f.openStore());
        QVERIFY(QDir().mkpath(f.store->thumbnailFolder()));
        QStringList thumbs;
        for (const QVariantMap &row : f.rows("SELECT RecId FROM Pictures")) {
            thumbs << f.store->GetThumbnailName(row.value("RecId").toLongLong());
            QVERIFY(testsupport::writeFile(thumbs.last(), "stale"));
        }
        for (int i = 0; i < 10; ++i)
            QVERIFY(f.file(QStringLiteral("nova%1.jpg").arg(i)));
        f.exec("UPDATE Pictures SET FileSize = 99 WHERE FileName = 'velha0.jpg'");
        const QList<QVariantMap> before = f.rows("SELECT * FROM Pictures ORDER BY RecId");
        const int storages = f.count("Storages");

        QList<bool> treesCurrent;
        TestProgress progress;
        progress.onPump = [&](int pump) {
            if (pump == 9)
                progress.cancel = true;
        };
        const Run r = scan(f, progress, f.tree(), false, &treesCurrent);
        QCOMPARE(r.outcome, FolderScan::Outcome::Cancelled);
        QVERIFY(r.tracked >= 1 && r.tracked < 16);
        QCOMPARE(progress.statuses.last(), QStringLiteral("Cancelando a operação. Aguarde..."));
        QCOMPARE(r.status, QStringLiteral("Cancelando a operação. Aguarde..."));
        // Every row is as it was: no new picture, no new storage, no refreshed size.
        QCOMPARE(f.rows("SELECT * FROM Pictures ORDER BY RecId"), before);
        QCOMPARE(f.count("Storages"), storages);
        QVERIFY(!treesCurrent.isEmpty());
        QCOMPARE(treesCurrent.last(), true);
        // The thumbnails of the catalogued files examined before the cancel stay deleted.
        int deleted = 0;
        for (const QString &t : thumbs)
            deleted += !QFile::exists(t);
        QCOMPARE(deleted, r.found);
        QVERIFY(f.prompter.boxes().isEmpty());
        QCOMPARE(f.store->TStorages.state(), RecordSet::State::Browse);
        QVERIFY(!f.store->Conexao.inTransaction());
        QCOMPARE(f.integrity(), QStringLiteral("ok"));

        // Afterwards the store writes again as usual.
        const Run again = scan(f, f.tree(), false);
        QCOMPARE(again.added, 10);
        QCOMPARE(f.count("Pictures"), 16);
    }

    void cancelAfterRowsWereWrittenRollsThemBack()
    {
        ScanFixture f;
        // A catalogued file whose size changed, in a folder examined after the new files:
        // the rows that came before it are written before it is.
        QVERIFY(f.file("sub/velha.jpg", 10, someTime));
        QCOMPARE(scan(f, f.tree("sub")).added, 1);
        QVERIFY(f.file("sub/velha.jpg", 20, someTime));
        for (int i = 0; i < 1500; ++i)
            QVERIFY(f.file(QStringLiteral("f%1.png").arg(i)));
        TestProgress progress;
        qint64 written = 0;
        progress.onPump = [&](int) {
            if (progress.cancel)
                return;
            Query q(f.store->Conexao); // sees this scan's own uncommitted rows
            q.setSql(QStringLiteral("SELECT count(*) AS n FROM Pictures"));
            q.open();
            written = q.asInt(QStringLiteral("n"));
            q.close();
            progress.cancel = written > 1;
        };
        const Run r = scan(f, progress, f.tree());
        QCOMPARE(r.outcome, FolderScan::Outcome::Cancelled);
        QCOMPARE(written, 1501);
        QCOMPARE(f.count("Pictures"), 1);
        QCOMPARE(f.scalar("SELECT FileSize FROM Pictures").toInt(), 10);
        QCOMPARE(f.scalar("SELECT sum(Rows) FROM RowCounts WHERE TableName = 'Pictures'").toInt(), 1);
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
    }

    void cancelDuringTheWalkWritesNothing()
    {
        ScanFixture f;
        QVERIFY(f.file("a/b/c.jpg"));
        QList<bool> treesCurrent;
        TestProgress progress;
        progress.onPump = [&](int) { progress.cancel = true; };
        const Run r = scan(f, progress, f.tree(), true, &treesCurrent);
        QCOMPARE(r.outcome, FolderScan::Outcome::Cancelled);
        QCOMPARE(r.status, QStringLiteral("Cancelando a operação. Aguarde..."));
        QCOMPARE(r.tracked, 0);
        QCOMPARE(f.count("Pictures"), 0);
        QCOMPARE(treesCurrent, QList<bool> { true });
        QVERIFY(!f.store->Conexao.inTransaction());
    }

    void errorDuringThePassKeepsTheRowsPostedBefore()
    {
        ScanFixture f;
        f.exec("UPDATE Storages SET Unit = 'nenhuma'");
        f.refuseInsert("ruim.jpg", "arquivo recusado pelo catálogo");
        QVERIFY(f.openStore());
        QVERIFY(f.file("a.jpg"));
        QVERIFY(f.file("sub/ruim.jpg"));
        QVERIFY(f.file("sub/sub/z.jpg"));
        const Run r = scan(f, f.tree());
        QCOMPARE(r.outcome, FolderScan::Outcome::Failed);
        QCOMPARE(f.prompter.boxTexts(), QStringList { "arquivo recusado pelo catálogo" });
        QCOMPARE(f.prompter.boxes().first().icon, Prompter::Icon::Error);
        // The top folder comes first: its row and the new storage were committed; the rest
        // of the pass did not run.
        QCOMPARE(f.fileNames(), QStringList { "a.jpg" });
        QCOMPARE(f.count("Storages WHERE System = TRUE AND Unit <> 'nenhuma'"), 1);
        QVERIFY(!f.store->Conexao.inTransaction());
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
    }

    void errorInsideALargeBatchKeepsEveryRowBeforeIt()
    {
        ScanFixture f;
        f.refuseInsert("f1300.jpg", "recusado");
        QVERIFY(f.openStore());
        for (int i = 0; i < 2000; ++i)
            QVERIFY(f.file(QStringLiteral("f%1.jpg").arg(i)));
        // The order the folder lists its files in decides what came before the bad one.
        QStringList listed;
        DIR *dir = ::opendir(QFile::encodeName(f.tree()).constData());
        QVERIFY(dir);
        while (const dirent *e = ::readdir(dir)) {
            if (e->d_name[0] != '.')
                listed << QString::fromUtf8(e->d_name);
        }
        ::closedir(dir);
        const int bad = int(listed.indexOf("f1300.jpg"));
        QVERIFY(bad >= 0);
        const Run r = scan(f, f.tree(), false);
        QCOMPARE(r.outcome, FolderScan::Outcome::Failed);
        QCOMPARE(f.prompter.boxTexts(), QStringList { "recusado" });
        QCOMPARE(r.tracked, bad + 1);
        QCOMPARE(r.added, bad);
        QStringList stored = f.fileNames();
        QStringList expected = listed.mid(0, bad);
        stored.sort();
        expected.sort();
        QCOMPARE(stored, expected);
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
    }

    void catalogueLockedByAnotherProcess()
    {
        QM_FILE_ONLY("SQLite's lock held by the sqlite3 shell");
        ScanFixture f;
        QVERIFY(f.file("a.jpg"));
        QProcess holder;
        holder.start(QStringLiteral("sqlite3"), { f.catalogue });
        if (!holder.waitForStarted())
            QSKIP("the sqlite3 shell is not installed");
        holder.write("BEGIN IMMEDIATE;\nSELECT 'preso';\n");
        QByteArray said;
        while (!said.contains("preso")) {
            QVERIFY2(holder.waitForReadyRead(30000), holder.readAllStandardError().constData());
            said += holder.readAllStandardOutput();
        }

        const Run r = scan(f, f.tree());
        holder.write("ROLLBACK;\n.quit\n");
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(30000));

        QCOMPARE(r.outcome, FolderScan::Outcome::Failed);
        QCOMPARE(f.prompter.boxTexts(), QStringList { "database is locked" });
        QCOMPARE(f.count("Pictures"), 0);
        QVERIFY(!f.store->Conexao.inTransaction());
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
        // Once the other process lets go, the same scan goes through.
        f.prompter.clear();
        QCOMPARE(scan(f, f.tree()).added, 1);
    }

    void readOnlyCatalogueReportsTheEngine()
    {
        QM_FILE_ONLY("a catalogue file without write permission");
        ScanFixture f(false);
        QVERIFY(f.file("a.jpg"));
        // The store finds the file read-only when it opens it.
        QVERIFY(::chmod(QFile::encodeName(f.program.dir.path()).constData(), 0777) == 0);
        QVERIFY(::chmod(QFile::encodeName(f.catalogue).constData(), 0444) == 0);
        QVERIFY(::chmod(QFile::encodeName(f.tree()).constData(), 0755) == 0);
        Run r;
        {
            AsOrdinaryUser user;
            if (!user.effective())
                QSKIP("the file-system identity cannot be dropped here");
            QVERIFY(f.openStore());
            if (!f.store->Conexao.isReadOnly())
                QSKIP("the catalogue stays writable here");
            r = scan(f, f.tree());
            f.store.reset();
        }
        QCOMPARE(r.outcome, FolderScan::Outcome::Failed);
        QCOMPARE(
            f.prompter.boxTexts().last(), QStringLiteral("attempt to write a readonly database"));
        QCOMPARE(f.count("Pictures"), 0);
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
    }

    void validationOrderAndTexts()
    {
        ScanFixture f;
        f.exec("INSERT INTO Collections (Name, System) VALUES ('Viagens', FALSE)");
        const qint64 trips
            = f.scalar("SELECT RecId FROM Collections WHERE Name = 'Viagens'").toLongLong();
        f.exec(QStringLiteral(
            "INSERT INTO Categories (Collection, Name, System) VALUES (%1, 'Roma', FALSE)")
                   .arg(trips));
        const qint64 rome
            = f.scalar("SELECT RecId FROM Categories WHERE Name = 'Roma'").toLongLong();

        auto check = [&](const QString &folder, qint64 collection, qint64 category) {
            return FolderScan::checkMessage(
                FolderScan::checkRequest(*f.store, { folder, true, collection, category }));
        };
        QCOMPARE(check(QString(), 0, 0), QStringLiteral("Caminho inválido!"));
        QCOMPARE(check(f.tree("nada"), trips, rome), QStringLiteral("Caminho inválido!"));
        QVERIFY(f.file("arquivo.jpg"));
        QCOMPARE(check(f.tree("arquivo.jpg"), trips, rome), QStringLiteral("Caminho inválido!"));
        QCOMPARE(check(f.tree(), 0, rome), QStringLiteral("Coleção inválida!"));
        QCOMPARE(check(f.tree(), 9999, rome), QStringLiteral("Coleção inválida!"));
        QCOMPARE(check(f.tree(), trips, 0), QStringLiteral("Categoria inválida!"));
        QCOMPARE(check(f.tree(), trips, f.store->DefaultCategoryId),
            QStringLiteral("Categoria inválida!"));
        QCOMPARE(check(f.tree(), trips, rome), QString());
        QCOMPARE(FolderScan::folderOf(QStringLiteral("/")), QStringLiteral("/"));
        QCOMPARE(FolderScan::folderOf(f.tree() + "//"), f.tree());
        QCOMPARE(FolderScan::countsText(12, 5, 7),
            QStringLiteral("Rastreados 12 arquivos 5 novos 7 já catalogados anteriormente"));
        QCOMPARE(FolderScan::countsText(3, 0, 3),
            QStringLiteral("Rastreados 3 arquivos 3 já catalogados anteriormente"));

        // The scan files the new pictures where it was told.
        QVERIFY(f.file("a.jpg"));
        TestProgress progress;
        scan(f, progress, f.tree(), true, nullptr, trips, rome);
        QCOMPARE(f.scalar("SELECT count(*) FROM Pictures WHERE Collection = "
                      + QString::number(trips) + " AND Category = " + QString::number(rome))
                     .toInt(),
            2);
    }
};

QTEST_GUILESS_MAIN(TestScan)
#include "test_scan.moc"
