#include "intake/contentfingerprint.h"
#include "intake/picturefingerprints.h"
#include "intake/storagereach.h"
#include "maintenance/duplicatefinder.h"
#include "maintenance/hammingindex.h"
#include "store/connection.h"
#include "store/transaction.h"
#include "support/catalogfixture.h"
#include "support/testsupport.h"

#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <bit>
#include <set>

namespace {

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(random.bounded(256));
    return bytes;
}

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

CliRun cli(const QString &catalogue, const QStringList &args)
{
    QProcess p;
    p.start(testsupport::binDir() + QStringLiteral("/quillomar-cli"),
        QStringList { QStringLiteral("--catalogue"), catalogue } + args);
    CliRun run;
    if (!p.waitForFinished(120000))
        return run;
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

// A catalogue with pictures whose files the test writes, and their fingerprints recorded as
// the review records them.
struct Library {
    CatalogFixture f;
    QTemporaryDir files;
    qint64 collection = 0;
    qint64 category = 0;
    qint64 here = 0; // a storage whose folder is there
    qint64 away = 0; // a drive's storage whose disk is not mounted
    QString modified = QStringLiteral("2020-01-02T03:04:06");

    Library()
    {
        collection = f.collection("Fotos");
        category = f.category(collection, "Todas");
        here = f.exec("INSERT INTO Storages (Name, Unit, System) VALUES ('Aqui', :U, FALSE)",
            { { "U", files.path() } });
        away = f.exec("INSERT INTO Storages (Name, Unit, System) VALUES ('Externo', :U, TRUE)",
            { { "U", files.filePath("montagem") } });
    }
    // A picture row of the file at folder/name (written when bytes are given).
    qint64 picture(
        qint64 storage, const QString &folder, const QString &name, const QByteArray &bytes)
    {
        const QString dir = files.filePath(folder);
        QDir().mkpath(dir);
        if (storage == here)
            testsupport::writeFile(dir + "/" + name, bytes);
        return f.exec("INSERT INTO Pictures (Collection, Category, Location, Name, FileName,"
                      " FullPath, FileSize, Created, Modified, FileType, Review) VALUES (:C, :K,"
                      " :L, :N, :N, :P, :S, :M, :M, 'jpg', FALSE)",
            { { "C", collection }, { "K", category }, { "L", storage }, { "N", name },
                { "P", dir + "/" }, { "S", qint64(qint32(bytes.size())) }, { "M", modified } });
    }
    void record(const QList<PictureFingerprints::Entry> &entries)
    {
        Connection c;
        c.openFile(f.path);
        Transaction t(c);
        PictureFingerprints::Writer writer(c);
        for (const PictureFingerprints::Entry &e : entries)
            writer.record(e);
        t.commit();
    }
    PictureFingerprints::Entry whole(
        qint64 picture, const QByteArray &bytes, std::optional<quint64> look = std::nullopt)
    {
        PictureFingerprints::Entry e;
        e.picture = picture;
        e.content = ContentFingerprint::ofBytes(bytes);
        e.perceptual = look;
        e.modified = QDateTime::fromString(modified, Qt::ISODate);
        return e;
    }
    // Read in part: the samples only.
    PictureFingerprints::Entry sampled(qint64 picture, const QByteArray &bytes)
    {
        PictureFingerprints::Entry e = whole(picture, bytes);
        e.content.content.clear();
        return e;
    }
};

QList<QList<qint64>> keysOf(const QList<DuplicateFinder::Group> &groups)
{
    QList<QList<qint64>> keys;
    for (const DuplicateFinder::Group &g : groups) {
        QList<qint64> k;
        for (const DuplicateFinder::Member &m : g)
            k << m.picture;
        keys << k;
    }
    return keys;
}

} // namespace

class TestDuplicates : public QObject {
    Q_OBJECT

private slots:
    void theIndexFindsEveryPairWithinTheDistanceAndNoOther()
    {
        QRandomGenerator random(42);
        std::vector<quint64> hashes;
        for (int i = 0; i < 3000; ++i)
            hashes.push_back(random.generate64());
        // Near copies of some, a few bits apart, and exact copies.
        for (int i = 0; i < 400; ++i) {
            quint64 h = hashes[random.bounded(3000)];
            for (int b = int(random.bounded(12)); b > 0; --b)
                h ^= quint64(1) << random.bounded(64);
            hashes.push_back(h);
        }
        hashes.push_back(hashes[5]);
        for (const int distance : { 0, 1, 3, 6, 10, 16 }) {
            std::set<std::pair<quint32, quint32>> expected;
            for (quint32 i = 0; i < hashes.size(); ++i)
                for (quint32 j = i + 1; j < hashes.size(); ++j)
                    if (std::popcount(hashes[i] ^ hashes[j]) <= distance)
                        expected.insert({ i, j });
            std::set<std::pair<quint32, quint32>> found;
            HammingIndex(hashes).forEachPairWithin(distance, [&](quint32 a, quint32 b) {
                QVERIFY(a < b);
                found.insert({ a, b });
            });
            QCOMPARE(found.size(), expected.size());
            QVERIFY2(found == expected, qPrintable(QString("distance %1").arg(distance)));
        }
        // A million hashes are cut into blocks that keep the buckets small.
        std::vector<quint64> many(1000000);
        QVERIFY(HammingIndex(many).blocksFor(6) >= 3);
    }

    void groupsJoinWhatPairsJoin()
    {
        ItemGroups groups(7);
        groups.join(5, 1);
        groups.join(1, 3);
        groups.join(6, 4);
        groups.join(3, 5);
        QCOMPARE(groups.groups(), (std::vector<std::vector<quint32>> { { 1, 3, 5 }, { 4, 6 } }));
    }

    void exactCopiesHaveTheSameBytesConfirmedWhereTheyCanBeRead()
    {
        Library lib;
        const qint64 big = 3 * ContentFingerprint::kSampleBytes + 5000;
        const QByteArray x = randomBytes(20000, 1);
        const QByteArray sameSize = randomBytes(20000, 2);
        const QByteArray z = randomBytes(big, 3);

        const qint64 px = lib.picture(lib.here, "a", "x.jpg", x);
        const qint64 pxCopy = lib.picture(lib.here, "b", "x copia.jpg", x);
        const qint64 pxAway = lib.picture(lib.away, "montagem/c", "x.jpg", x);
        const qint64 pOther = lib.picture(lib.here, "a", "y.jpg", sameSize);
        const qint64 pStale = lib.picture(lib.here, "d", "x velha.jpg", x);
        const qint64 pz1 = lib.picture(lib.here, "e", "z1.cr2", z);
        const qint64 pz3 = lib.picture(lib.here, "f", "z3.cr2", z);
        const qint64 pzAway = lib.picture(lib.away, "montagem/g", "z.cr2", z);
        // Samples alike, files not: the one on the unplugged disk may be either.
        const QByteArray v = randomBytes(big, 4);
        QByteArray vBetween = v;
        const qint64 between = ContentFingerprint::kSampleBytes + 1000;
        vBetween[between] = char(vBetween[between] ^ 1);
        const qint64 pv = lib.picture(lib.here, "e", "v.cr2", v);
        const qint64 pvBetween = lib.picture(lib.here, "e", "v2.cr2", vBetween);
        const qint64 pvAway = lib.picture(lib.away, "montagem/g", "v.cr2", v);
        const qint64 pNoFile = lib.picture(lib.here, "h", "sem.jpg", QByteArray());
        lib.record({ lib.whole(px, x), lib.whole(pxCopy, x), lib.whole(pxAway, x),
            lib.whole(pOther, sameSize), lib.whole(pStale, x), lib.sampled(pz1, z),
            lib.sampled(pz3, z), lib.sampled(pzAway, z), lib.sampled(pv, v),
            lib.sampled(pvBetween, vBetween), lib.sampled(pvAway, v),
            { pNoFile, ContentFingerprint(), quint64(1), {} } });
        // Changed since its fingerprint was taken: not known to be a copy any more.
        lib.f.exec("UPDATE Pictures SET Modified = '2021-05-05T10:00:00' WHERE RecId = "
            + QString::number(pStale));

        Connection c;
        c.openFile(lib.f.path);
        const StorageReach reach(MountedVolumes::fromMountInfo(""));
        DuplicateFinder finder(c, reach);
        QStringList read;
        finder.readWhole = [&read](const QString &path) {
            read << QFileInfo(path).fileName();
            return ContentFingerprint::ofFile(path);
        };
        const QList<DuplicateFinder::Group> groups = finder.exactGroups();
        QCOMPARE(
            keysOf(groups), QList<QList<qint64>>({ { px, pxCopy, pxAway }, { pz1, pz3, pzAway } }));
        // Only the sampled pictures of the candidate groups were read whole, and only those
        // whose disk is connected.
        read.sort();
        QCOMPARE(read, QStringList({ "v.cr2", "v2.cr2", "z1.cr2", "z3.cr2" }));
        const DuplicateFinder::Member &first = groups.first().first();
        QCOMPARE(first.storageName, QStringLiteral("Aqui"));
        QCOMPARE(first.fullPath, lib.files.filePath("a") + "/");
        QCOMPARE(first.fileName, QStringLiteral("x.jpg"));
        QVERIFY(first.online);
        QVERIFY(!groups.first().last().online);

        // A sampled picture whose file cannot be read now is left out, not guessed.
        QFile::remove(lib.files.filePath("f/z3.cr2"));
        QCOMPARE(keysOf(finder.exactGroups()).last(), QList<qint64>({ pz1, pzAway }));
    }

    void similarPicturesAreThoseThatLookAlike()
    {
        Library lib;
        const quint64 look = 0x48a47b389e46e3b1ull;
        const QByteArray a = randomBytes(1000, 1);
        const QByteArray b = randomBytes(900, 2);
        const QByteArray c = randomBytes(800, 3);
        const QByteArray d = randomBytes(700, 4);
        const qint64 pa = lib.picture(lib.here, "a", "a.jpg", a);
        const qint64 pb = lib.picture(lib.here, "a", "b.jpg", b); // resized: 3 bits off
        const qint64 pc = lib.picture(lib.here, "a", "c.jpg", c); // another photo: 20 bits off
        const qint64 pd = lib.picture(lib.here, "a", "d.jpg", d); // an exact copy of d, no look
        const qint64 pdCopy = lib.picture(lib.away, "montagem", "d.jpg", d);
        lib.record({ lib.whole(pa, a, look), lib.whole(pb, b, look ^ 0x111),
            lib.whole(pc, c, look ^ 0xfffff), lib.whole(pd, d), lib.whole(pdCopy, d) });

        Connection conn;
        conn.openFile(lib.f.path);
        const StorageReach reach(MountedVolumes::fromMountInfo(""));
        DuplicateFinder finder(conn, reach);
        QCOMPARE(
            keysOf(finder.similarGroups(6)), QList<QList<qint64>>({ { pa, pb }, { pd, pdCopy } }));
        QCOMPARE(keysOf(finder.similarGroups(2)), QList<QList<qint64>>({ { pd, pdCopy } }));
        QCOMPARE(keysOf(finder.similarGroups(16)).first(), QList<qint64>({ pa, pb }));
        QCOMPARE(keysOf(finder.exactGroups()), QList<QList<qint64>>({ { pd, pdCopy } }));
    }

    // Real pictures, fingerprinted as the review does it: from the file's bytes and from the
    // picture as its thumbnail has it.
    void copiesOfAPhotographAreFoundAmongOtherPhotographs()
    {
        Library lib;
        const auto file = [&](const QString &name) { return lib.files.filePath(name); };
        const auto magick = [](const QStringList &args) {
            QProcess p;
            p.start("convert", args);
            return p.waitForFinished(120000) && p.exitCode() == 0;
        };
        QDir().mkpath(file("a"));
        QDir().mkpath(file("b"));
        QVERIFY(magick({ "-seed", "7", "-size", "1200x900", "plasma:fractal", "-blur", "0x2",
            file("cena.png") }));
        QVERIFY(magick({ file("cena.png"), "-crop", "1000x750+0+0", "+repage", "-quality", "92",
            file("a/foto.jpg") }));
        QVERIFY(QFile::copy(file("a/foto.jpg"), file("b/foto.jpg")));
        QVERIFY(magick({ file("a/foto.jpg"), "-resize", "50%", file("b/menor.jpg") }));
        QVERIFY(magick({ file("a/foto.jpg"), "-quality", "30", file("b/recomprimida.jpg") }));
        QVERIFY(magick({ file("cena.png"), "-crop", "1000x750+80+60", "+repage", "-quality", "92",
            file("a/ao_lado.jpg") }));
        QVERIFY(magick({ "-seed", "9", "-size", "800x600", "plasma:fractal", "-blur", "0x2",
            file("a/outra.jpg") }));
        QList<PictureFingerprints::Entry> entries;
        QHash<QString, qint64> keys;
        for (const char *name : { "a/foto.jpg", "b/foto.jpg", "b/menor.jpg", "b/recomprimida.jpg",
                 "a/ao_lado.jpg", "a/outra.jpg" }) {
            const QString path = file(QString::fromUtf8(name));
            const QByteArray bytes = testsupport::readFile(path);
            const QFileInfo info(path);
            const qint64 key = lib.f.exec(
                "INSERT INTO Pictures (Collection, Category, Location, Name, FileName, FullPath,"
                " FileSize) VALUES (:C, :K, :L, :N, :N, :P, :S)",
                { { "C", lib.collection }, { "K", lib.category }, { "L", lib.here },
                    { "N", info.fileName() }, { "P", info.path() + "/" }, { "S", bytes.size() } });
            keys.insert(QString::fromUtf8(name), key);
            const QImage thumbnail
                = QImage(path).scaled(135, 135, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            entries << PictureFingerprints::entryOf(key, QDateTime(), path, &bytes, thumbnail);
        }
        lib.record(entries);

        Connection c;
        c.openFile(lib.f.path);
        const StorageReach reach(MountedVolumes::fromMountInfo(""));
        DuplicateFinder finder(c, reach);
        QCOMPARE(keysOf(finder.exactGroups()),
            QList<QList<qint64>>({ { keys["a/foto.jpg"], keys["b/foto.jpg"] } }));
        QCOMPARE(keysOf(finder.similarGroups(6)),
            QList<QList<qint64>>({ { keys["a/foto.jpg"], keys["b/foto.jpg"], keys["b/menor.jpg"],
                keys["b/recomprimida.jpg"] } }));
    }

    void theCommandListsGroupsOnePictureALine()
    {
        Library lib;
        // Without any fingerprint yet there is nothing to list, and that is no failure.
        CliRun run = cli(lib.f.path, { "duplicates" });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QString());
        run = cli(lib.f.path, { "duplicates", "--similar" });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QString());

        const QByteArray a = randomBytes(1000, 1);
        const QByteArray b = randomBytes(2000, 2);
        const qint64 p1 = lib.picture(lib.here, "um", "a.jpg", a);
        const qint64 p2 = lib.picture(lib.here, "dois\tx", "a.jpg", a);
        const qint64 p3 = lib.picture(lib.here, "um", "b.jpg", b);
        const qint64 p4 = lib.picture(lib.away, "montagem", "b.jpg", b);
        const qint64 p5 = lib.picture(lib.here, "um", "c.jpg", randomBytes(10, 5));
        lib.record({ lib.whole(p1, a, 1), lib.whole(p2, a, 1), lib.whole(p3, b, 0xff00),
            lib.whole(p4, b, 0xff00), lib.whole(p5, randomBytes(10, 5), 0xff01) });
        const QString root = lib.files.path();
        run = cli(lib.f.path, { "duplicates" });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out,
            QString("%1\tAqui\t%3/um/a.jpg\n%2\tAqui\t%3/dois\\tx/a.jpg\n\n"
                    "%4\tAqui\t%3/um/b.jpg\n%5\tExterno\t%3/montagem/b.jpg\n")
                .arg(p1)
                .arg(p2)
                .arg(root)
                .arg(p3)
                .arg(p4));
        run = cli(lib.f.path, { "duplicates", "--similar", "--distance", "1" });
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.endsWith(QString("%1\tAqui\t%2/um/c.jpg\n").arg(p5).arg(root)),
            qPrintable(run.out));
        QCOMPARE(run.out.count("\n\n"), 1);
        run = cli(lib.f.path, { "duplicates", "--similar", "--distance", "0" });
        QVERIFY(!run.out.contains("c.jpg"));

        for (const QStringList &wrong : { QStringList { "duplicates", "--distance", "3" },
                 QStringList { "duplicates", "--similar", "--distance", "17" },
                 QStringList { "duplicates", "--similar", "--distance", "seis" },
                 QStringList { "duplicates", "extra" } }) {
            run = cli(lib.f.path, wrong);
            QCOMPARE(run.exitCode, 2);
            QCOMPARE(run.out, QString());
        }
    }
};

QTEST_GUILESS_MAIN(TestDuplicates)
#include "test_duplicates.moc"
