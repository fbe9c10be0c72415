#include "test_scan_fixture.h"

#include "intake/drivelist.h"
#include "intake/mountedvolumes.h"
#include "intake/storagefordrive.h"
#include "intake/storagereach.h"
#include "intake/storagevolumes.h"
#include "intake/volumeidentity.h"
#include "store/transaction.h"
#include "support/diskimages.h"

#include <QProcess>
#include <QtTest>

#include <sys/stat.h>

namespace {

using namespace diskimages;

const QString ext4Uuid = QStringLiteral("0b9a5f1e-6c2d-4c4b-9a53-9a0e8b7e1c11");

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

CliRun cli(const ScanFixture &f, const QStringList &args)
{
    QProcess p;
    p.start(testsupport::binDir() + QStringLiteral("/quillomar-cli"),
        QStringList { QStringLiteral("--catalogue"), f.catalogue } + args);
    CliRun run;
    if (!p.waitForFinished(120000))
        return run;
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

VolumeIdentity identity(const QString &type, const QString &uuid, const QString &label)
{
    VolumeIdentity id;
    id.type = type;
    id.uuid = uuid;
    id.label = label;
    return id;
}

struct Picture {
    qint64 recId;
    QString fullPath;
    QString notes;
};

} // namespace

class TestDisks : public QObject {
    Q_OBJECT

private slots:
    void identityIsReadFromTheFileSystemItself()
    {
        QTemporaryDir dir;
        const QString ext4 = dir.filePath("ext4.img");
        const QString vfat = dir.filePath("vfat.img");
        const QString iso = dir.filePath("disc.iso");
        QVERIFY(ext4Image(ext4, "FOTOS_2019", ext4Uuid));
        QVERIFY(vfatImage(vfat, "CARTAO", "1A2B3C4D"));
        QVERIFY(QDir(dir.path()).mkpath("conteudo"));
        QVERIFY(testsupport::writeFile(dir.filePath("conteudo/a.txt"), "a"));
        QVERIFY(isoImage(iso, "DISCO_2005", dir.filePath("conteudo")));

        QCOMPARE(VolumeIdentity::probe(ext4), identity("ext4", ext4Uuid, "FOTOS_2019"));
        QCOMPARE(VolumeIdentity::probe(vfat), identity("vfat", "1A2B-3C4D", "CARTAO"));
        // An optical disc: its volume id, and the moment it was mastered as its UUID.
        const VolumeIdentity disc = VolumeIdentity::probe(iso);
        QCOMPARE(disc.type, QStringLiteral("iso9660"));
        QCOMPARE(disc.label, QStringLiteral("DISCO_2005"));
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d$")
                     .match(disc.uuid)
                     .hasMatch(),
            qPrintable(disc.uuid));

        // A file system further into an image (a partition) is read at its offset.
        const QString inside = dir.filePath("partitioned.img");
        {
            QFile out(inside);
            QVERIFY(out.open(QIODevice::WriteOnly));
            QVERIFY(out.write(QByteArray(1 << 20, '\0')) == 1 << 20);
            out.write(testsupport::readFile(vfat));
        }
        QVERIFY(!VolumeIdentity::probe(inside).isValid());
        QCOMPARE(VolumeIdentity::probe(inside, 1 << 20).uuid, QStringLiteral("1A2B-3C4D"));

        // Nothing to read gives no identity, and nothing waits: random bytes, a folder, a
        // FIFO without a writer, a file nobody may read, a name of nothing.
        QVERIFY(testsupport::writeFile(dir.filePath("random.img"), QByteArray(65536, '\x5a')));
        QVERIFY(!VolumeIdentity::probe(dir.filePath("random.img")).isValid());
        QVERIFY(!VolumeIdentity::probe(dir.path()).isValid());
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
        QVERIFY(!VolumeIdentity::probe(dir.filePath("fifo")).isValid());
        QVERIFY(!VolumeIdentity::probe(dir.filePath("nada.img")).isValid());
        QVERIFY(::chmod(QFile::encodeName(ext4).constData(), 0600) == 0);
        {
            AsOrdinaryUser ordinary;
            if (ordinary.effective())
                QVERIFY(!VolumeIdentity::probe(ext4).isValid());
        }
    }

    void sameVolumeIsTheSameUuidAndForADiscTheSameVolumeId()
    {
        const VolumeIdentity disk = identity("ext4", ext4Uuid, "FOTOS");
        QVERIFY(disk.sameVolume(identity("ext4", ext4Uuid.toUpper(), "RENOMEADO")));
        QVERIFY(
            !disk.sameVolume(identity("ext4", "1b9a5f1e-6c2d-4c4b-9a53-9a0e8b7e1c11", "FOTOS")));
        const VolumeIdentity disc = identity("iso9660", "2005-01-02-03-04-05-00", "FERIAS");
        QVERIFY(disc.sameVolume(identity("iso9660", "2005-01-02-03-04-05-00", "FERIAS")));
        // Two discs mastered in the same second are told apart by their names.
        QVERIFY(!disc.sameVolume(identity("iso9660", "2005-01-02-03-04-05-00", "NATAL")));
        QVERIFY(!VolumeIdentity().sameVolume(VolumeIdentity()));
    }

    void mountTableIsReadWithItsEscapes()
    {
        const MountedVolumes table = MountedVolumes::fromMountInfo(
            "28 1 254:0 / / rw - ext4 /dev/vda rw\n"
            "46 28 7:0 / /media/ana/MEU\\040DISCO rw,relatime - vfat /dev/loop0 rw\n"
            "47 28 7:0 /fotos /mnt/so\\134fotos rw - vfat /dev/loop0 rw\n"
            "48 28 0:50 / /run/user/1000 rw - tmpfs tmpfs rw\n");
        QCOMPARE(table.volumes().size(), 4);
        QCOMPARE(table.volumes().at(1).mountPoint, QStringLiteral("/media/ana/MEU DISCO"));
        QCOMPARE(table.volumes().at(1).type, QStringLiteral("vfat"));
        QCOMPARE(table.volumes().at(2).mountPoint, QStringLiteral("/mnt/so\\fotos"));
        QCOMPARE(table.volumes().at(2).root, QByteArray("/fotos"));
        QCOMPARE(table.volumes().at(3).device, dev_t(0));
        QVERIFY(table.isMountPoint("/media/ana/MEU DISCO/"));
        QVERIFY(!table.isMountPoint("/media/ana"));
        // Only one folder of a disk mounted somewhere is not where the disk is.
        QVERIFY(!table.identityAt("/mnt/so\\fotos").isValid());
        QVERIFY(!table.identityAt("/media/nada").isValid());
    }

    // A disk catalogued at one mount point and now mounted at another: its storage and every
    // picture under the old point move, in the caller's transaction; nothing else does.
    void aKnownDiskMovesToWhereItIsMountedNow()
    {
        ScanFixture f;
        const VolumeIdentity disk = identity("ext4", ext4Uuid, "FOTOS_2019");
        const QString old = "/media/ana/FOTOS";
        const qint64 storage = f.catalog.exec(
            "INSERT INTO Storages (Name, Unit, System) VALUES ('FOTOS_2019', '" + old + "', 1)");
        const qint64 other = f.catalog.exec(
            "INSERT INTO Storages (Name, Unit, System) VALUES ('Outro', '/media/ana/FOTOS2', 1)");
        {
            Connection c;
            c.openFile(f.catalogue);
            Transaction t(c);
            StorageVolumes::record(c, storage, disk);
            t.commit();
        }
        const auto add = [&](qint64 location, const QString &path, const QString &name) {
            return f.catalog.exec(
                "INSERT INTO Pictures (Collection, Category, Location, Name, FileName, FullPath,"
                " Created, Notes) VALUES (1, 1, :L, :N, :N, :P, '2020-01-01T00:00:00', 'nota')",
                { { "L", location }, { "N", name }, { "P", path } });
        };
        const qint64 deep = add(storage, old + "/2019/férias/", "a.jpg");
        const qint64 atRoot = add(storage, old + "/", "b.jpg");
        const qint64 noDelimiter = add(storage, old, "c.jpg");
        const qint64 oddNames = add(storage, old + "/100%_it's \\ \"x\"/", "d.jpg");
        // Not under the old point, though sharing its name as a prefix or differing in case.
        const qint64 sibling = add(storage, old + "2/", "e.jpg");
        const qint64 otherCase = add(storage, "/media/ana/fotos/", "f.jpg");
        const qint64 otherStorage = add(other, old + "/", "g.jpg");
        const qint64 pictures = f.count("Pictures");

        const QString now = "/run/media/bia/FOTOS 2019";
        bool named = false;
        // Rolled back with the caller's transaction: nothing moves.
        {
            Transaction t(f.store->Conexao);
            const StorageChoice choice
                = StorageForDrive(*f.store, now, disk, MountedVolumes::fromMountInfo(""), [&] {
                      named = true;
                      return QString("x");
                  });
            QVERIFY(choice.relocated);
            QCOMPARE(choice.movedPictures, 4);
        }
        QCOMPARE(f.scalar("SELECT Unit FROM Storages WHERE RecId = " + QString::number(storage))
                     .toString(),
            old);

        const StorageChoice choice
            = StorageForDrive(*f.store, now, disk, MountedVolumes::fromMountInfo(""), [&] {
                  named = true;
                  return QString("x");
              });
        QVERIFY(!named);
        QVERIFY(choice.relocated && !choice.added);
        QCOMPARE(choice.storage, storage);
        QCOMPARE(choice.formerUnit, old);
        QCOMPARE(choice.movedPictures, 4);
        QCOMPARE(f.store->TStorages.asInt("RecId"), storage);
        QCOMPARE(f.store->TStorages.asString("Unit"), now);
        const auto path = [&](qint64 recId) {
            return f.scalar("SELECT FullPath FROM Pictures WHERE RecId = " + QString::number(recId))
                .toString();
        };
        QCOMPARE(path(deep), now + "/2019/férias/");
        QCOMPARE(path(atRoot), now + "/");
        QCOMPARE(path(noDelimiter), now + "/");
        QCOMPARE(path(oddNames), now + "/100%_it's \\ \"x\"/");
        QCOMPARE(path(sibling), old + "2/");
        QCOMPARE(path(otherCase), QString("/media/ana/fotos/"));
        QCOMPARE(path(otherStorage), old + "/");
        QCOMPARE(f.count("Pictures"), pictures);
        QCOMPARE(f.scalar("SELECT count(*) FROM Pictures WHERE Notes = 'nota'").toInt(), pictures);
        QCOMPARE(f.count("Storages"), 3);

        // Found there again: nothing to do. And the root file system is a mount point too.
        const StorageChoice again
            = StorageForDrive(*f.store, now, disk, MountedVolumes::fromMountInfo(""), {});
        QVERIFY(!again.relocated && !again.added);
        QCOMPARE(again.storage, storage);
        QVERIFY(
            StorageForDrive(*f.store, "/", disk, MountedVolumes::fromMountInfo(""), {}).relocated);
        QCOMPARE(path(deep), QString("/2019/férias/"));
        QVERIFY(
            StorageForDrive(*f.store, now, disk, MountedVolumes::fromMountInfo(""), {}).relocated);
        QCOMPARE(path(deep), now + "/2019/férias/");
        QCOMPARE(f.integrity(), QStringLiteral("ok"));
    }

    // The storage of a mount point is the Part's (Unit, System) until a volume's identity
    // says otherwise: one without an identity adopts the disk found there; another disk at
    // the same point gets a storage of its own, named after its label.
    void aMountPointServesEachDiskWithItsOwnStorage()
    {
        ScanFixture f;
        const QString card = "/media/card";
        const qint64 first = f.catalog.exec(
            "INSERT INTO Storages (Name, Unit, System) VALUES ('Cartão', '" + card + "', 1)");
        const VolumeIdentity a = identity("vfat", "1A2B-3C4D", "CANON_DC");
        const VolumeIdentity b = identity("vfat", "5E6F-7081", "CANON_DC");
        const MountedVolumes none = MountedVolumes::fromMountInfo("");
        const auto entry = [] { return QStringLiteral(" card "); };

        StorageChoice c = StorageForDrive(*f.store, card, a, none, entry);
        QCOMPARE(c.storage, first);
        QVERIFY(!c.added && !c.relocated);
        Connection &db = f.store->Conexao;
        QCOMPARE(StorageVolumes::read(db, first), a);

        c = StorageForDrive(*f.store, card, b, none, entry);
        QVERIFY(c.added);
        QVERIFY(c.storage != first);
        QCOMPARE(f.store->TStorages.asString("Name"), QStringLiteral("CANON_DC"));
        QCOMPARE(StorageVolumes::read(db, c.storage), b);
        // A third card with the same label: a name that tells it apart.
        const VolumeIdentity third = identity("vfat", "9999-0000", "canon_dc");
        c = StorageForDrive(*f.store, card, third, none, entry);
        QVERIFY(c.added);
        QCOMPARE(f.store->TStorages.asString("Name"), QStringLiteral("canon_dc (2)"));
        // Each found again by its identity, the first where it always was.
        QCOMPARE(StorageForDrive(*f.store, card, a, none, entry).storage, first);
        QVERIFY(!StorageForDrive(*f.store, card, b, none, entry).added);
        // A relabelled disk stays the same disk; its new label is recorded.
        VolumeIdentity renamed = a;
        renamed.label = "VIAGEM";
        QCOMPARE(StorageForDrive(*f.store, card, renamed, none, entry).storage, first);
        QCOMPARE(StorageVolumes::read(db, first).label, QStringLiteral("VIAGEM"));
        // Deleting a storage takes its identity with it.
        QCOMPARE(StorageVolumes::readAll(db).size(), 3);
        f.exec("DELETE FROM Storages WHERE RecId = " + QString::number(c.storage));
        QCOMPARE(StorageVolumes::readAll(db).size(), 2);
        QVERIFY(!StorageVolumes::readAll(db).contains(c.storage));
    }

    void aDriveWithoutIdentityIsFoundByItsUnitAlone()
    {
        ScanFixture f;
        const StorageChoice c = StorageForDrive(*f.store, "/media/x", VolumeIdentity(),
            MountedVolumes::fromMountInfo(""), [] { return QStringLiteral(" Pendrive "); });
        QVERIFY(c.added);
        QCOMPARE(f.store->TStorages.asString("Name"), QStringLiteral("Pendrive"));
        QVERIFY(!StorageForDrive(
            *f.store, "/MEDIA/X", VolumeIdentity(), MountedVolumes::fromMountInfo(""), {})
                     .added);
        // Nothing of identities was written: the catalogue keeps the Part's tables only.
        QVERIFY(!f.store->Conexao.hasTable("StorageVolumes"));
        QVERIFY(StorageVolumes::readAll(f.store->Conexao).isEmpty());
    }

    void onlineMeansTheDiskIsMountedNotThatItsFolderIsThere()
    {
        QTemporaryDir dir;
        const StorageReach reach(
            MountedVolumes::fromMountInfo("28 1 254:0 / / rw - ext4 /dev/vda rw\n"));
        StorageReach::Storage disk;
        disk.recId = 7;
        disk.name = "Fotos antigas";
        disk.unit = dir.path(); // the folder a pulled-out disk leaves behind
        disk.system = true;
        disk.identity = identity("ext4", ext4Uuid, "FOTOS_2019");
        QVERIFY(!reach.stateOf(disk).online);
        QCOMPARE(StorageReach::connectDiskMessage(disk),
            QStringLiteral("Conecte o disco «FOTOS_2019» para abrir esta imagem."));
        disk.identity.label.clear();
        QCOMPARE(StorageReach::connectDiskMessage(disk),
            QStringLiteral("Conecte o disco «Fotos antigas» para abrir esta imagem."));
        // Without an identity: a drive's storage while its Unit is a mount point.
        disk.identity = VolumeIdentity();
        QVERIFY(!reach.stateOf(disk).online);
        disk.unit = "/";
        QVERIFY(reach.stateOf(disk).online);
        QCOMPARE(reach.stateOf(disk).mountPoint, QStringLiteral("/"));
        // A storage added by hand names a folder: online while the folder is there.
        disk.system = false;
        disk.unit = dir.path();
        QVERIFY(reach.stateOf(disk).online);
        disk.unit = dir.filePath("nada");
        QVERIFY(!reach.stateOf(disk).online);

        StorageReach::State moved { true, "/run/media/bia/FOTOS" };
        QCOMPARE(StorageReach::reachablePath("/media/FOTOS/a/", "/media/FOTOS", moved),
            QStringLiteral("/run/media/bia/FOTOS/a/"));
        QCOMPARE(StorageReach::reachablePath("/media/FOTOS2/a/", "/media/FOTOS", moved),
            QStringLiteral("/media/FOTOS2/a/"));
    }

    void checkReportsAnUnpluggedDiskAsOfflineNotItsPicturesAsMissing()
    {
        ScanFixture f;
        QVERIFY(f.folder("montagem"));
        // The drive's mount point folder stayed behind, empty, as it does under /media.
        const qint64 storage = f.catalog.exec("INSERT INTO Storages (Name, Unit, System) VALUES "
                                              "('Externo', '"
            + f.tree("montagem") + "', 1)");
        for (const char *name : { "a", "b" })
            f.catalog.exec("INSERT INTO Pictures (Collection, Category, Location, Name, FileName,"
                           " FullPath) VALUES (1, 1, :L, :N, :N, :P)",
                { { "L", storage }, { "N", name }, { "P", f.tree("montagem/fotos/") } });
        const StorageReach::PictureFile file
            = StorageReach().pictureFile(f.store->Conexao, storage, f.tree("montagem/fotos/"), "a");
        QVERIFY(!file.online);
        QCOMPARE(file.message, QStringLiteral("Conecte o disco «Externo» para abrir esta imagem."));
        const CliRun check = cli(f, { "check" });
        QCOMPARE(check.exitCode, 0);
        QCOMPARE(check.out,
            QString("local fora de linha\t%1\tExterno\t%2\t2\n"
                    "0 problemas, 1 locais fora de linha, 0 arquivos removidos\n")
                .arg(storage)
                .arg(f.tree("montagem")));
        const CliRun storages = cli(f, { "storages" });
        QCOMPARE(storages.exitCode, 0);
        QVERIFY2(
            storages.out.contains(
                QString("%1\tExterno\t%2\t\t\toffline\t2\n").arg(storage).arg(f.tree("montagem"))),
            qPrintable(storages.out));
    }

    // The whole journey on real mounts: a labelled disk scanned at one point, unplugged,
    // mounted at another and scanned again.
    void aDiskScannedAtOnePointIsFoundAtAnother()
    {
        if (const QString why = mountRefusal(); !why.isEmpty())
            QSKIP(qPrintable("Loop mounts are not possible here: " + why));
        ScanFixture f;
        const QString image = f.tree("fotos.img");
        QVERIFY(ext4Image(image, "FOTOS_2019", ext4Uuid));
        LoopMounts mounts;
        const QString first = f.tree("media/ana/FOTOS");
        const QString second = f.tree("run/media/bia/FOTOS 2019");
        if (const QString why = mounts.mount(image, first); !why.isEmpty())
            QSKIP(qPrintable("Loop mounts are not permitted here: " + why));
        QVERIFY(QDir().mkpath(first + "/2019/férias"));
        for (const char *name : { "2019/férias/praia.jpg", "2019/férias/mar.jpg", "capa.jpg" })
            QVERIFY(ScanFixture::writeRaw(
                QFile::encodeName(first + "/" + QString::fromUtf8(name)), 100));
        QCOMPARE(DriveList::driveOfFolder(first + "/2019").root, first);
        QCOMPARE(
            DriveList::driveOfFolder(first + "/2019").displayName, QStringLiteral("FOTOS_2019"));

        CliRun run = cli(f, { "scan", first });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("Rastreados 3 arquivos 3 novos\n"));
        const qint64 storage
            = f.scalar("SELECT RecId FROM Storages WHERE Name = 'FOTOS_2019'").toLongLong();
        QVERIFY(storage > 0);
        QCOMPARE(f.scalar("SELECT Unit FROM Storages WHERE RecId = " + QString::number(storage))
                     .toString(),
            first);
        f.exec("UPDATE Pictures SET Notes = 'Praia do Forte', KeyWords = 'mar' WHERE FileName = "
               "'praia.jpg'");
        const QList<QVariantMap> before
            = f.rows("SELECT RecId, FileName FROM Pictures ORDER BY RecId");

        run = cli(f, { "storages" });
        QVERIFY2(run.out.contains(QString("%1\tFOTOS_2019\t%2\tFOTOS_2019\t%3\tonline\t3\n")
                                      .arg(storage)
                                      .arg(first, ext4Uuid)),
            qPrintable(run.out));

        // Unplugged: the mount point folder stays, the disk is offline, nothing is missing.
        QVERIFY(mounts.unmount(first));
        QVERIFY(QFileInfo(first).isDir());
        run = cli(f, { "check" });
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(
            run.out.contains(
                QString("local fora de linha\t%1\tFOTOS_2019\t%2\t3\n").arg(storage).arg(first)),
            qPrintable(run.out));
        QVERIFY(!run.out.contains("arquivos ausentes"));
        run = cli(f, { "storages" });
        QVERIFY(run.out.contains(QString("\t%1\toffline\t3\n").arg(ext4Uuid)));

        // Mounted elsewhere: online where it is; the next scan moves the storage there.
        QCOMPARE(mounts.mount(image, second), QString());
        run = cli(f, { "check" });
        QCOMPARE(
            run.out, QStringLiteral("0 problemas, 0 locais fora de linha, 0 arquivos removidos\n"));
        // Before the next scan the pictures are reached where the disk is now.
        const StorageReach reach;
        QCOMPARE(
            reach.pictureFile(f.store->Conexao, storage, first + "/2019/férias/", "praia.jpg").path,
            second + "/2019/férias/praia.jpg");
        run = cli(f, { "scan", second + "/2019" });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("Rastreados 2 arquivos 2 já catalogados anteriormente\n"));
        QCOMPARE(f.rows("SELECT RecId, FileName FROM Pictures ORDER BY RecId"), before);
        QCOMPARE(f.count("Storages"), 2); // "(local)" and the disk's
        QCOMPARE(f.scalar("SELECT Unit FROM Storages WHERE RecId = " + QString::number(storage))
                     .toString(),
            second);
        QCOMPARE(f.rows("SELECT FullPath, Location, Notes, KeyWords FROM Pictures WHERE FileName = "
                        "'praia.jpg'"),
            QList<QVariantMap>({ { { "FullPath", second + "/2019/férias/" },
                { "Location", storage }, { "Notes", "Praia do Forte" }, { "KeyWords", "mar" } } }));
        QCOMPARE(f.scalar("SELECT FullPath FROM Pictures WHERE FileName = 'capa.jpg'").toString(),
            second + "/");
        run = cli(f, { "scan", second });
        QCOMPARE(run.out, QStringLiteral("Rastreados 3 arquivos 3 já catalogados anteriormente\n"));

        // A copy of the disk (the same identity) mounted at once at the first point is
        // another disk: it does not take the storage away from the one at the second point.
        const QString copy = f.tree("copia.img");
        QVERIFY(tool("sync", {}));
        QVERIFY(QFile::copy(image, copy));
        QCOMPARE(mounts.mount(copy, first), QString());
        run = cli(f, { "scan", first });
        QCOMPARE(run.out, QStringLiteral("Rastreados 3 arquivos 3 já catalogados anteriormente\n"));
        QCOMPARE(f.scalar("SELECT Unit FROM Storages WHERE RecId = " + QString::number(storage))
                     .toString(),
            second);
        QCOMPARE(f.scalar("SELECT Name FROM Storages WHERE Unit = '" + first + "'").toString(),
            QStringLiteral("FOTOS_2019 (2)"));
        QCOMPARE(f.integrity(), QStringLiteral("ok"));

        // An ordinary user may not read the loop device: the identity then comes from the
        // image file behind it, so the disk is still known to be connected.
        QVERIFY(::chmod(QFile::encodeName(f.tree()).constData(), 0755) == 0);
        AsOrdinaryUser ordinary;
        if (ordinary.effective())
            QCOMPARE(MountedVolumes::current().identityAt(second).uuid, ext4Uuid);
    }

    void aCardIsNamedAfterItsLabel()
    {
        if (const QString why = mountRefusal("vfat"); !why.isEmpty())
            QSKIP(qPrintable("A card cannot be mounted here: " + why));
        ScanFixture f;
        LoopMounts mounts;
        const QString card = f.tree("cartao.img");
        QVERIFY(vfatImage(card, "CARTAO", "1A2B3C4D"));
        QCOMPARE(mounts.mount(card, f.tree("cartao")), QString());
        QVERIFY(ScanFixture::writeRaw(QFile::encodeName(f.tree("cartao/IMG_0001.JPG")), 10));
        QCOMPARE(cli(f, { "scan", f.tree("cartao") }).exitCode, 0);
        QCOMPARE(f.rows("SELECT s.Name, v.FileSystem, v.Uuid, v.Label FROM Storages s"
                        " JOIN StorageVolumes v ON v.Storage = s.RecId"),
            QList<QVariantMap>({ { { "Name", "CARTAO" }, { "FileSystem", "vfat" },
                { "Uuid", "1A2B-3C4D" }, { "Label", "CARTAO" } } }));
    }

    void aDiscIsNamedAfterItsVolumeId()
    {
        if (const QString why = mountRefusal("iso9660"); !why.isEmpty())
            QSKIP(qPrintable("A disc cannot be mounted here: " + why));
        ScanFixture f;
        LoopMounts mounts;
        QVERIFY(QDir().mkpath(f.tree("conteudo")));
        QVERIFY(ScanFixture::writeRaw(QFile::encodeName(f.tree("conteudo/scan.jpg")), 10));
        QVERIFY(isoImage(f.tree("disco.iso"), "DISCO_2005", f.tree("conteudo")));
        QCOMPARE(mounts.mount(f.tree("disco.iso"), f.tree("disco"), true), QString());
        QCOMPARE(cli(f, { "scan", f.tree("disco") }).exitCode, 0);
        const QList<QVariantMap> rows = f.rows("SELECT s.Name, s.Unit, v.FileSystem, v.Label"
                                               " FROM Storages s JOIN StorageVolumes v"
                                               " ON v.Storage = s.RecId");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.at(0).value("Name").toString(), QStringLiteral("DISCO_2005"));
        QCOMPARE(rows.at(0).value("FileSystem").toString(), QStringLiteral("iso9660"));
        QCOMPARE(rows.at(0).value("Unit").toString(), f.tree("disco"));
    }
};

QTEST_GUILESS_MAIN(TestDisks)
#include "test_disks.moc"
