#include "app/startup.h"
#include "app/tabertura.h"
#include "browser/catalogbrowser.h"
#include "core/scriptedprompter.h"
#include "core/versiontools.h"
#include "maintenance/recorddeletion.h"
#include "store/command.h"
#include "store/connection.h"
#include "store/query.h"
#include "store/schema.h"
#include "store/tdados.h"
#include "support/catalogfixture.h"
#include "support/openstore.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"
#include "support/unwritable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

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

QByteArray digest(const QString &path)
{
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

// A program folder holding quillomar-cli and the default catalogue A (quillomar.mdb), and a
// second catalogue B in a folder of its own, both used from that one program folder.
struct TwoCatalogues {
    CatalogFixture fixture;
    const QString &a = fixture.path;
    QTemporaryDir elsewhere;
    QTemporaryDir pictures;
    QString b;
    QString cli;

    TwoCatalogues()
    {
        cli = fixture.folder.file("quillomar-cli");
        QFile::copy(testsupport::binDir() + "/quillomar-cli", cli);
        QFile::setPermissions(cli, QFile::permissions(cli) | QFile::ExeOwner);
        b = elsewhere.filePath("outro.mdb");
        Schema::createCatalogue(b, compiledVersion());
    }

    const ProgramPaths &paths() const { return fixture.folder.paths; }
    QString root() const { return paths().ThumbnailFolder; }

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

    static qint64 exec(const QString &catalogue, const QString &sql, const QVariantMap &params = {})
    {
        Connection c;
        c.openFile(catalogue);
        Command cmd(c);
        cmd.setSql(sql);
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            cmd.setParam(it.key(), it.value());
        cmd.execute();
        const qint64 id = c.lastInsertRowId();
        c.close();
        return id;
    }
    static QVariant scalar(const QString &catalogue, const QString &sql)
    {
        Connection c;
        c.openFile(catalogue);
        Query q(c);
        q.setSql(sql);
        q.open();
        const QVariant v = q.eof() ? QVariant() : q.value(q.fieldNames().first());
        q.close();
        c.close();
        return v;
    }
    // A catalogue as an older program left it: without an identity.
    static void withoutIdentity(const QString &catalogue)
    {
        exec(catalogue, "DROP TABLE IF EXISTS CatalogueIdentity");
    }

    // count pictures of width by height in a folder of their own, still to review; returns
    // that folder.
    QString addPictures(const QString &catalogue, const QString &prefix, int count, int width,
        int height, bool catalogued = true) const
    {
        const QString folder = pictures.filePath(prefix);
        QDir().mkpath(folder);
        for (int i = 1; i <= count; ++i) {
            const QString name = QStringLiteral("%1%2.jpg").arg(prefix).arg(i);
            writeFile(QDir(folder).filePath(name), samples::jpeg(width, height));
            if (catalogued)
                exec(catalogue,
                    "INSERT INTO Pictures (Name, FileName, FullPath, FileType, Review) "
                    "VALUES (:N, :N2, :P, 'jpg', 1)",
                    { { "N", name }, { "N2", name }, { "P", folder + "/" } });
        }
        return folder;
    }

    // The thumbnail file of a picture of a catalogue, as its store names it.
    QString thumbnail(const QString &catalogue, qint64 id) const
    {
        OpenStore store(paths(), catalogue);
        return store.dados->GetThumbnailName(id);
    }
    QSize thumbnailSize(const QString &catalogue, qint64 id) const
    {
        return QImageReader(thumbnail(catalogue, id)).size();
    }
};

// The main window opened on a catalogue, as the options dialog leaves it configured.
struct MainWindow {
    ScriptedPrompter prompter;
    Startup app;

    MainWindow(const TwoCatalogues &t, const QString &catalogue)
        : app((configure(t, catalogue), t.paths()), &prompter)
    {
        app.createWindows();
        QSignalSpy done(app.Abertura.get(), &TAbertura::startupLoadingDone);
        app.Abertura->show();
        if (!QTest::qWaitFor([&done] { return done.count() == 1; })
            || !done.first().first().toBool())
            qFatal("the main window did not load the catalogue");
    }

    static void configure(const TwoCatalogues &t, const QString &catalogue)
    {
        const QFileInfo file(catalogue);
        writeFile(t.paths().ConfigFile,
            QStringLiteral("[DATABASE]\nPATH=%1\nFILENAME=%2\n")
                .arg(file.absolutePath(), file.fileName())
                .toUtf8());
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
    QString status() const { return app.Abertura->findChild<QLabel *>("StatusPanel1")->text(); }
};

const QSize kLandscape(135, 101); // of A's 400 by 300 pictures
const QSize kPortrait(101, 135); // of B's 300 by 400 pictures

} // namespace

// Each catalogue used from one program folder has thumbnails of its own: what a scan,
// `thumbs`, `check --repair` or a deletion does in one catalogue never reaches another's,
// and a catalogue finds its own wherever its file goes, read-only media included.
class TestCatalogueThumbnails : public QObject {
    Q_OBJECT
private slots:
    void aScanIntoAnotherCatalogueLeavesTheDefaultCataloguesThumbnails()
    {
        TwoCatalogues t;
        t.addPictures(t.a, "a", 3, 400, 300);
        t.ok(t.a, { "thumbs" });
        const auto before = thumbnailsIn(t.root());
        QCOMPARE(before.size(), 3);

        // B's pictures get the keys 1 to 3 as well; its rescan deletes its own stale ones.
        const QString folder = t.addPictures(t.b, "b", 3, 300, 400, false);
        t.ok(t.b, { "scan", folder });
        t.ok(t.b, { "thumbs" });
        for (qint64 id = 1; id <= 3; ++id)
            QCOMPARE(t.thumbnailSize(t.b, id), kPortrait);
        t.ok(t.b, { "scan", folder });

        QCOMPARE(thumbnailsIn(t.root()), before);
        for (qint64 id = 1; id <= 3; ++id) {
            QVERIFY(!QFileInfo::exists(t.thumbnail(t.b, id)));
            QCOMPARE(t.thumbnailSize(t.a, id), kLandscape);
        }
    }

    void thumbsOnAnotherCatalogueWritesItsOwnAndOverwritesNone()
    {
        TwoCatalogues t;
        t.addPictures(t.a, "a", 3, 400, 300);
        t.ok(t.a, { "thumbs" });
        const auto before = thumbnailsIn(t.root());
        t.addPictures(t.b, "b", 3, 300, 400);
        t.ok(t.b, { "thumbs" });

        QCOMPARE(thumbnailsIn(t.root()), before);
        for (qint64 id = 1; id <= 3; ++id) {
            QCOMPARE(t.thumbnailSize(t.a, id), kLandscape);
            QCOMPARE(t.thumbnailSize(t.b, id), kPortrait);
        }
        // B's are in a folder of its own inside the program's thumbnail folder.
        const QFileInfo own(t.thumbnail(t.b, 1));
        QCOMPARE(
            QFileInfo(own.absolutePath()).absolutePath(), QFileInfo(t.root()).absoluteFilePath());
        QCOMPARE(own.fileName(), QStringLiteral("00000001.jpg"));
    }

    void checkRepairRemovesOnlyTheCataloguesOwnOrphans()
    {
        TwoCatalogues t;
        t.addPictures(t.a, "a", 3, 400, 300);
        t.ok(t.a, { "thumbs" });
        const auto before = thumbnailsIn(t.root());
        t.addPictures(t.b, "b", 1, 300, 400);
        t.ok(t.b, { "thumbs" });
        const QString bFolder = QFileInfo(t.thumbnail(t.b, 1)).absolutePath();
        const QString orphan = QDir(bFolder).filePath("00000009.jpg");
        QVERIFY(QFile::copy(t.thumbnail(t.b, 1), orphan));

        const Run r = t.run(t.b, { "check", "--repair" });
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out,
            "miniatura órfã\t" + orphan + "\tremovido\n"
                + "0 problemas, 0 locais fora de linha, 1 arquivos removidos\n");
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(thumbnailsIn(t.root()), before);
        QVERIFY(QFileInfo::exists(t.thumbnail(t.b, 1)));

        // Nor does the default catalogue's repair reach into B's folder.
        QVERIFY(QFile::copy(t.thumbnail(t.b, 1), orphan));
        const Run own = t.run(t.a, { "check", "--repair" });
        QCOMPARE(own.out, "0 problemas, 0 locais fora de linha, 0 arquivos removidos\n");
        QVERIFY(QFileInfo::exists(orphan));
        QCOMPARE(thumbnailsIn(t.root()), before);
    }

    void deletingAPictureOfAnotherCatalogueLeavesTheDefaultCataloguesThumbnail()
    {
        TwoCatalogues t;
        t.addPictures(t.a, "a", 2, 400, 300);
        t.ok(t.a, { "thumbs" });
        const auto before = thumbnailsIn(t.root());
        t.addPictures(t.b, "b", 2, 300, 400);
        t.ok(t.b, { "thumbs" });
        const QString bFirst = t.thumbnail(t.b, 1);
        QVERIFY(QFileInfo::exists(bFirst));

        t.ok(t.b, { "delete", "picture", "1" });
        QVERIFY(!QFileInfo::exists(bFirst));
        QVERIFY(QFileInfo::exists(t.thumbnail(t.b, 2)));
        QCOMPARE(thumbnailsIn(t.root()), before);
        QCOMPARE(t.thumbnailSize(t.a, 1), kLandscape);
    }

    void aMovedOrCopiedCatalogueKeepsFindingItsThumbnails()
    {
        TwoCatalogues t;
        t.addPictures(t.a, "a", 1, 400, 300);
        t.ok(t.a, { "thumbs" });
        t.addPictures(t.b, "b", 3, 300, 400);
        t.ok(t.b, { "thumbs" });
        QMap<qint64, QByteArray> made;
        for (qint64 id = 1; id <= 3; ++id)
            made.insert(id, readFile(t.thumbnail(t.b, id)));

        QTemporaryDir away;
        const QString moved = away.filePath("movido.mdb");
        QVERIFY(QFile::rename(t.b, moved));
        // Work on the default catalogue meanwhile: B's thumbnails are not its orphans.
        t.ok(t.a, { "check", "--repair" });
        t.ok(t.a, { "thumbs" });

        for (qint64 id = 1; id <= 3; ++id)
            QCOMPARE(readFile(t.thumbnail(moved, id)), made.value(id));
        const Run again = t.run(moved, { "thumbs" });
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.out.startsWith("Imagens a revisar: 0\nMiniaturas a refazer: 0\n"),
            qPrintable(again.out));

        // A copy of the default catalogue finds the program's thumbnail folder as its own.
        const QString copy = away.filePath("copia.mdb");
        QVERIFY(QFile::copy(t.a, copy));
        QCOMPARE(
            QFileInfo(t.thumbnail(copy, 1)).absolutePath(), QFileInfo(t.root()).absoluteFilePath());
        QCOMPARE(t.thumbnailSize(copy, 1), kLandscape);
        // So does the default catalogue reached through a link.
        const QString link = away.filePath("atalho.mdb");
        QVERIFY(QFile::link(t.a, link));
        QCOMPARE(t.thumbnail(link, 1), t.thumbnail(t.a, 1));
    }

    void anOlderInstallationKeepsItsThumbnailsForTheDefaultCatalogue()
    {
        TwoCatalogues t;
        t.ok(t.a, { "info" }); // the default rows, as an older program left them
        t.addPictures(t.a, "a", 3, 400, 300);
        t.exec(t.a, "UPDATE Pictures SET Review = 0, Width = 400, Height = 300, ColorType = 3");
        TwoCatalogues::withoutIdentity(t.a);
        // The thumbnails an older program wrote, beside the program.
        QVERIFY(QDir().mkpath(t.root()));
        for (int id = 1; id <= 3; ++id)
            QVERIFY(writeFile(QDir(t.root()).filePath(QStringLiteral("0000000%1.jpg").arg(id)),
                samples::jpeg(135, 101)));
        const auto before = thumbnailsIn(t.root());
        const QByteArray catalogueBefore = digest(t.a);

        // The default catalogue finds them without writing anything.
        for (qint64 id = 1; id <= 3; ++id)
            QCOMPARE(QFileInfo(t.thumbnail(t.a, id)).absolutePath(),
                QFileInfo(t.root()).absoluteFilePath());
        QCOMPARE(digest(t.a), catalogueBefore);

        // Another catalogue, older too, does all that touches thumbnails.
        TwoCatalogues::withoutIdentity(t.b);
        const QString folder = t.addPictures(t.b, "b", 3, 300, 400, false);
        t.ok(t.b, { "scan", folder });
        t.ok(t.b, { "thumbs" });
        t.ok(t.b, { "scan", folder });
        t.ok(t.b, { "thumbs" });
        t.ok(t.b, { "check", "--repair" });
        t.ok(t.b, { "delete", "picture", "1" });
        QCOMPARE(thumbnailsIn(t.root()), before);
        QCOMPARE(t.thumbnailSize(t.b, 2), kPortrait);

        // The default catalogue's first write that needs an identity takes the folder as its own:
        // nothing to remake, nothing lost. Its pictures, reviewed before facts were read, are
        // read for their facts; upright already, they keep the thumbnails they have.
        const Run r = t.run(t.a, { "thumbs" });
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith("Imagens a revisar: 3\nMiniaturas a refazer: 0\nMedidas: 3\n"
                                  "Miniaturas gravadas: 0\n"),
            qPrintable(r.out));
        QCOMPARE(thumbnailsIn(t.root()), before);
        const QString identity
            = TwoCatalogues::scalar(t.a, "SELECT Uuid FROM CatalogueIdentity").toString();
        QVERIFY(!QUuid::fromString(identity).isNull());
        QCOMPARE(readFile(QDir(t.root()).filePath(".catalogue")).trimmed(), identity.toLatin1());
        QCOMPARE(t.run(t.a, { "check" }).out,
            "0 problemas, 0 locais fora de linha, 0 arquivos removidos\n");
    }

    void aFreshDefaultCatalogueNeverTakesTheFormerOnesThumbnails()
    {
        TwoCatalogues t;
        t.addPictures(t.a, "a", 2, 400, 300);
        t.ok(t.a, { "thumbs" });
        const auto before = thumbnailsIn(t.root());
        QVERIFY(QFileInfo::exists(QDir(t.root()).filePath(".catalogue")));

        QVERIFY(QFile::remove(t.a));
        t.ok(QString(), { "create", t.a });
        t.addPictures(t.a, "novo", 2, 300, 400);
        QVERIFY(!QFileInfo::exists(t.thumbnail(t.a, 1)));
        t.ok(t.a, { "thumbs" });
        QCOMPARE(thumbnailsIn(t.root()), before);
        QCOMPARE(t.thumbnailSize(t.a, 1), kPortrait);
        t.ok(t.a, { "check", "--repair" });
        QCOMPARE(thumbnailsIn(t.root()), before);
    }

    void aReadOnlyCatalogueFindsItsOwnThumbnails()
    {
        TwoCatalogues t;
        t.addPictures(t.b, "b", 2, 300, 400);
        t.ok(t.b, { "thumbs" });
        t.addPictures(t.a, "a", 2, 400, 300);
        t.ok(t.a, { "thumbs" });
        const QByteArray before = digest(t.b);
        testsupport::Unwritable readOnly(t.elsewhere.path());
        if (!readOnly.effective())
            QSKIP("this file system cannot refuse writing to a folder");

        OpenStore store(t.paths(), t.b);
        QVERIFY(store.opened);
        QVERIFY(store.dados->Conexao.isReadOnly());
        for (qint64 id = 1; id <= 2; ++id) {
            QCOMPARE(QImageReader(store.dados->GetThumbnailName(id)).size(), kPortrait);
            QCOMPARE(t.thumbnailSize(t.a, id), kLandscape);
        }
        store.dados->CloseDatabaseAll();
        QCOMPARE(digest(t.b), before);
    }

    void aReadOnlyCatalogueWithoutIdentityKeepsThumbnailsOfItsOwn()
    {
        TwoCatalogues t;
        t.addPictures(t.a, "a", 1, 400, 300);
        t.ok(t.a, { "thumbs" });
        const auto before = thumbnailsIn(t.root());
        t.ok(t.b, { "info" });
        t.addPictures(t.b, "b", 1, 300, 400);
        t.exec(t.b, "UPDATE Pictures SET Review = 0, Width = 300, Height = 400, ColorType = 3");
        TwoCatalogues::withoutIdentity(t.b);
        const QByteArray catalogueBefore = digest(t.b);
        testsupport::Unwritable readOnly(t.elsewhere.path());
        if (!readOnly.effective())
            QSKIP("this file system cannot refuse writing to a folder");

        QString first;
        {
            OpenStore store(t.paths(), t.b);
            QVERIFY(store.opened);
            QVERIFY(store.dados->Conexao.isReadOnly());
            first = store.dados->prepareThumbnailFolder();
            QCOMPARE(store.dados->GetThumbnailName(1), first + "/00000001.jpg");
            QVERIFY(QFileInfo(first).isDir());
            QVERIFY(QFileInfo(first).absolutePath() == QFileInfo(t.root()).absoluteFilePath());
            QVERIFY(writeFile(store.dados->GetThumbnailName(1), samples::jpeg(101, 135)));
        }
        // The next opening finds it again; the default catalogue's are not its.
        OpenStore again(t.paths(), t.b);
        QCOMPARE(again.dados->thumbnailFolder(), first);
        QCOMPARE(QImageReader(again.dados->GetThumbnailName(1)).size(), kPortrait);
        again.dados->CloseDatabaseAll();
        QCOMPARE(digest(t.b), catalogueBefore);
        QCOMPARE(thumbnailsIn(t.root()), before);
    }

    void aReadOnlyCatalogueShowsTheThumbnailOfAPictureWhoseDiskIsGone()
    {
        TwoCatalogues t;
        const QString bFolder = t.addPictures(t.b, "b", 1, 300, 400);
        t.ok(t.b, { "thumbs" });
        t.addPictures(t.a, "a", 1, 400, 300);
        t.ok(t.a, { "thumbs" });
        t.exec(t.b,
            "UPDATE Pictures SET Collection = (SELECT RecId FROM Collections), "
            "Category = (SELECT RecId FROM Categories)");
        QVERIFY(QDir(bFolder).removeRecursively()); // the disk is no longer connected
        const QByteArray before = digest(t.b);
        testsupport::Unwritable readOnly(t.elsewhere.path());
        if (!readOnly.effective())
            QSKIP("this file system cannot refuse writing to a folder");
        MainWindow w(t, t.b);
        w.show(1);
        QCOMPARE(w.image()->pixmap().size(), kPortrait);
        QCOMPARE(w.status(), QString());
        QCOMPARE(w.prompter.boxTexts(), QStringList());
        w.app.Abertura->close();
        QCOMPARE(digest(t.b), before);
    }

    void theHandMadeThumbnailIsAskedForWhereTheCatalogueLooks()
    {
        TwoCatalogues t;
        t.addPictures(t.a, "a", 1, 400, 300);
        t.ok(t.a, { "thumbs" });
        const auto before = thumbnailsIn(t.root());
        t.ok(t.b, { "info" });
        const QString bFolder = t.addPictures(t.b, "b", 1, 300, 400);
        t.exec(t.b,
            "UPDATE Pictures SET Review = 0, Width = 300, Height = 400, ColorType = 3, "
            "Collection = (SELECT RecId FROM Collections), "
            "Category = (SELECT RecId FROM Categories)");
        TwoCatalogues::withoutIdentity(t.b);
        QVERIFY(QDir(bFolder).removeRecursively()); // the disk is no longer connected

        QString asked;
        {
            MainWindow w(t, t.b);
            w.show(1);
            QVERIFY(w.image()->pixmap().isNull());
            const QString identity
                = TwoCatalogues::scalar(t.b, "SELECT Uuid FROM CatalogueIdentity").toString();
            QVERIFY(!QUuid::fromString(identity).isNull());
            asked = QDir(t.root()).filePath(identity + "/00000001.jpg");
            QCOMPARE(
                w.status(), "Miniatura não disponível. Grave " + asked + " máximo 135px em 72dpi");
            QVERIFY(QFileInfo(QFileInfo(asked).absolutePath()).isDir());
            w.app.Abertura->close();
        }
        // Saved there by hand, it is the picture's thumbnail from then on.
        QVERIFY(writeFile(asked, samples::jpeg(101, 135)));
        MainWindow again(t, t.b);
        again.show(1);
        QCOMPARE(again.image()->pixmap().size(), kPortrait);
        QCOMPARE(again.status(), QString());
        QCOMPARE(thumbnailsIn(t.root()), before);
        again.app.Abertura->close();
    }

    void aDeletionFindsTheFolderAnotherProcessGaveTheCatalogue()
    {
        TwoCatalogues t;
        t.ok(t.b, { "info" });
        t.addPictures(t.b, "b", 2, 300, 400);
        TwoCatalogues::withoutIdentity(t.b);
        OpenStore open(t.paths(), t.b); // open as the window keeps it, before any thumbnail
        const QString before = open.dados->GetThumbnailName(1);

        t.ok(t.b, { "thumbs" }); // gives the catalogue its identity and folder
        const QString made = t.thumbnail(t.b, 1);
        QVERIFY(made != before);
        QVERIFY(QFileInfo::exists(made));
        QVERIFY(open.dados->TPictures.locate("RecId", 1));
        ScriptedPrompter answers;
        answers.answerButton(Prompter::Yes);
        answers.answerButton(Prompter::No); // the picture's file stays
        QVERIFY(RecordDeletion(*open.dados, answers).run(NodeKind::Picture));
        QVERIFY(!QFileInfo::exists(made));
        QVERIFY(QFileInfo::exists(t.thumbnail(t.b, 2)));
    }

    void findingTheThumbnailsNeverWritesTheCatalogue()
    {
        TwoCatalogues t;
        for (const QString &catalogue : { t.a, t.b }) {
            t.ok(catalogue, { "info" });
            t.addPictures(catalogue, QFileInfo(catalogue).baseName(), 2, 400, 300);
            TwoCatalogues::withoutIdentity(catalogue);
            const QByteArray before = digest(catalogue);
            {
                OpenStore store(t.paths(), catalogue);
                QVERIFY(store.opened);
                store.dados->GetThumbnailName(1);
                store.dados->thumbnailFolder();
            }
            for (const QStringList &args : { QStringList { "info" }, QStringList { "tree" },
                     QStringList { "check" }, QStringList { "search", "" } })
                t.run(catalogue, args);
            QCOMPARE(digest(catalogue), before);
        }
    }

    void anIdentityThatIsNoUuidNamesNoFolder()
    {
        TwoCatalogues t;
        t.addPictures(t.b, "b", 1, 300, 400);
        t.exec(t.b, "UPDATE CatalogueIdentity SET Uuid = '../../fora'");
        t.ok(t.b, { "thumbs" });
        QVERIFY(!QFileInfo::exists(QDir(t.paths().ProgramFolder).filePath("../fora")));
        QVERIFY(!QFileInfo::exists(QDir(t.paths().ProgramFolder).filePath("fora")));
        const QString identity
            = TwoCatalogues::scalar(t.b, "SELECT Uuid FROM CatalogueIdentity").toString();
        QVERIFY(!QUuid::fromString(identity).isNull());
        QCOMPARE(t.thumbnail(t.b, 1), QDir(t.root()).filePath(identity + "/00000001.jpg"));
        QCOMPARE(t.thumbnailSize(t.b, 1), kPortrait);
    }

    void aScanSkipsTheThumbnailFoldersOfEveryCatalogue()
    {
        TwoCatalogues t;
        t.addPictures(t.a, "a", 2, 400, 300);
        t.ok(t.a, { "thumbs" });
        t.addPictures(t.b, "b", 2, 300, 400);
        t.ok(t.b, { "thumbs" });
        QTemporaryDir third;
        const QString c = third.filePath("terceiro.mdb");
        Schema::createCatalogue(c, compiledVersion());
        t.ok(c, { "scan", t.paths().ProgramFolder });
        QCOMPARE(TwoCatalogues::scalar(c, "SELECT COUNT(*) FROM Pictures").toInt(), 0);
        t.ok(c, { "scan", QFileInfo(t.thumbnail(t.b, 1)).absolutePath() });
        QCOMPARE(TwoCatalogues::scalar(c, "SELECT COUNT(*) FROM Pictures").toInt(), 0);
    }
};

QTEST_MAIN(TestCatalogueThumbnails)
#include "test_catalogue_thumbnails.moc"
