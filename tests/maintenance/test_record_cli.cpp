#include "support/catalogfixture.h"
#include "support/picturesamples.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// A catalogue with a copy of quillomar-cli beside it, so that its thumbnails land there.
struct Cli {
    CatalogFixture f;
    QTemporaryDir files;
    QString cli;
    qint64 system = 0, trips = 0, rome = 0, disk = 0, coliseum = 0, forum = 0;

    Cli()
    {
        cli = f.folder.file("quillomar-cli");
        QFile::copy(testsupport::binDir() + "/quillomar-cli", cli);
        QFile::setPermissions(cli, QFile::permissions(cli) | QFile::ExeOwner);
        system = f.exec("INSERT INTO Collections (Name, System) VALUES ('(undefined)', TRUE)");
        f.exec("INSERT INTO Categories (Collection, Name, System) VALUES (:C, '(undefined)', TRUE)",
            { { "C", system } });
        f.exec("INSERT INTO Storages (Name, Unit, System) VALUES ('(local)', '/', TRUE)");
        trips = f.collection("Viagens");
        rome = f.category(trips, "Roma");
        disk = f.storage("Disco externo");
        coliseum = f.picture(trips, rome, disk, "coliseu");
        forum = f.picture(trips, rome, disk, "forum");
        f.exec("UPDATE Pictures SET FullPath = :P", { { "P", files.path() + "/" } });
        for (const char *name : { "coliseu.jpg", "forum.jpg" })
            testsupport::writeFile(files.filePath(name), samples::jpeg(40, 30));
    }
    Run run(const QStringList &args)
    {
        QProcess p;
        p.start(cli, QStringList { "--catalogue", f.path } + args);
        p.waitForFinished(120000);
        return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError()) };
    }
    QVariant value(const QString &sql)
    {
        Connection c;
        c.openFile(f.path);
        Query q(c);
        q.setSql(sql);
        q.open();
        const QVariant v = q.eof() ? QVariant() : q.value(q.fieldNames().first());
        q.close();
        return v;
    }
    qint64 count(const QString &from) { return value("SELECT COUNT(*) FROM " + from).toLongLong(); }
    QString file(const char *name) const { return files.filePath(name); }
    QString thumbnail(qint64 id) const { return f.thumbnail(id); }
};

} // namespace

class TestRecordCli : public QObject {
    Q_OBJECT
private slots:
    void newAndRenameRunThePagesChecks()
    {
        Cli c;
        Run r = c.run({ "new", "collection", "Férias\t\"100%\"\nfim" });
        QCOMPARE(r.exitCode, 0);
        const qint64 holidays = r.out.trimmed().toLongLong();
        QCOMPARE(c.value("SELECT Name FROM Collections WHERE RecId = " + QString::number(holidays))
                     .toString(),
            QStringLiteral("Férias\t\"100%\"\nfim"));
        r = c.run({ "new", "collection", "Viagens" });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QStringLiteral("Coleção já cadastrada!\n"));
        QCOMPARE(c.run({ "new", "collection", "   " }).err, QStringLiteral("Nome inválido!\n"));
        QCOMPARE(c.run({ "new", "album", "x" }).exitCode, 2);
        QCOMPARE(c.run({ "new", "category", "abc", "x" }).exitCode, 2);
        QCOMPARE(c.run({ "new", "category", "999", "x" }).exitCode, 1);
        QCOMPARE(c.run({ "new", "category", QString::number(c.trips), "Roma" }).err,
            QStringLiteral("Categoria já cadastrada nesta coleção!\n"));
        QCOMPARE(c.run({ "new", "category", QString::number(holidays), "Roma" }).exitCode, 0);
        QCOMPARE(c.run({ "new", "storage", "Disco externo", "/mnt" }).err,
            QStringLiteral("Local já cadastrado!\n"));
        QCOMPARE(c.run({ "new", "storage", "USB", "/media/usb/" }).exitCode, 0);
        QCOMPARE(c.count("Storages WHERE Name = 'USB' AND Unit = '/media/usb'"), 1);

        // Renames: the same checks, the record itself excluded.
        const QString trips = QString::number(c.trips);
        QCOMPARE(c.run({ "rename", "collection", trips, "Viagens" }).exitCode, 0);
        QCOMPARE(c.run({ "rename", "collection", trips, "(undefined)" }).err,
            QStringLiteral("Coleção já cadastrada!\n"));
        QCOMPARE(c.run({ "rename", "picture", QString::number(c.forum), "coliseu" }).err,
            QStringLiteral("Imagem já cadastrada nesta categoria!\n"));
        // A server holds names within their declared width.
        const QString longName(c.f.onServer() ? 255 : 5000, QChar(0xE9));
        QCOMPARE(c.run({ "rename", "picture", QString::number(c.forum), longName }).exitCode, 0);
        QCOMPARE(c.value("SELECT Name FROM Pictures WHERE RecId = " + QString::number(c.forum)),
            QVariant(longName));
        QCOMPARE(c.run({ "rename", "storage", "999", "x" }).exitCode, 1);
        QCOMPARE(c.run({ "rename", "category", "x1", "x" }).exitCode, 2);
        QCOMPARE(c.f.integrity(), QStringLiteral("ok"));
    }

    void newPictureAndRelinkTakeTheFilesDetails()
    {
        Cli c;
        const QString beach = c.file("praia.jpg");
        testsupport::writeFile(beach, samples::jpeg(300, 200));
        Run r = c.run({ "new", "picture", beach, "--collection", QString::number(c.trips) });
        QCOMPARE(r.exitCode, 0);
        const QString id = r.out.trimmed();
        QCOMPARE(c.value("SELECT Name || '|' || FileName || '|' || FullPath || '|' || FileType || "
                         "'|' || Category || '|' || Width || '|' || FileSize || '|' || CASE WHEN Review THEN 1 ELSE 0 END "
                         "FROM Pictures WHERE RecId = "
                      + id)
                     .toString(),
            QString("praia|praia.jpg|%1/|jpg|%2|300|%3|1")
                .arg(c.files.path())
                .arg(c.rome)
                .arg(QFileInfo(beach).size()));
        QCOMPARE(c.value("SELECT S.System FROM Pictures P JOIN Storages S ON S.RecId = P.Location "
                         "WHERE P.RecId = "
                     + id),
            QVariant(qint64(1)));
        // The same file again: its name, then its file name and date are taken.
        QCOMPARE(c.run({ "new", "picture", beach, "--collection", QString::number(c.trips) }).err,
            QStringLiteral("Imagem já cadastrada nesta categoria!\n"));
        QCOMPARE(c.run({ "new", "picture", beach, "--category", QString::number(c.rome), "--name",
                           "outra" })
                     .err,
            QStringLiteral("Imagem já catalogada!\n"));
        QCOMPARE(c.run({ "new", "picture", c.file("nada.jpg") }).exitCode, 1);
        QCOMPARE(c.run({ "new", "picture", beach, "--category", "x" }).exitCode, 2);
        QCOMPARE(c.run({ "new", "collection", "x", "--name", "y" }).exitCode, 2);

        // Relink: the moved file's folder and size; a vanished file is refused.
        QTemporaryDir moved;
        const QString target = moved.filePath("forum.jpg");
        testsupport::writeFile(target, samples::jpeg(50, 50));
        QCOMPARE(c.run({ "relink", QString::number(c.forum), target }).exitCode, 0);
        QCOMPARE(c.value("SELECT FullPath || FileName || FileSize FROM Pictures WHERE RecId = "
                      + QString::number(c.forum))
                     .toString(),
            moved.path() + "/forum.jpg" + QString::number(QFileInfo(target).size()));
        QCOMPARE(c.run({ "relink", QString::number(c.forum), c.file("sumiu.jpg") }).exitCode, 1);
        QCOMPARE(c.run({ "relink", "0", target }).exitCode, 2);
        QCOMPARE(c.run({ "relink", "777", target }).exitCode, 1);
        QCOMPARE(c.f.integrity(), QStringLiteral("ok"));
    }

    void namesAreUniqueIgnoringCaseOverAllOfUnicode()
    {
        Cli c;
        const QString taken = QStringLiteral("Coleção já cadastrada!\n");
        QCOMPARE(c.run({ "new", "collection", "Férias" }).exitCode, 0);
        for (const char *name : { "FÉRIAS", "fÉrias", "FéRIAS", "férias" })
            QCOMPARE(c.run({ "new", "collection", QString::fromUtf8(name) }).err, taken);
        // Accents still tell names apart.
        QCOMPARE(c.run({ "new", "collection", "FERIAS" }).exitCode, 0);
        // Letters of other alphabets, and letters with several lower cases (σ and ς): more
        // spellings than are looked up one by one.
        QCOMPARE(c.run({ "new", "collection", QString::fromUtf8("ΣΣΣΣΣΣΣΣΣΣΣΣ Δ") }).exitCode, 0);
        QCOMPARE(c.run({ "new", "collection", QString::fromUtf8("σσςσσσσσσσσς δ") }).err, taken);
        QCOMPARE(c.run({ "new", "collection", QString::fromUtf8("σσςσσσσσσσσς") }).exitCode, 0);
        QCOMPARE(c.run({ "new", "collection", QString::fromUtf8("Москва") }).exitCode, 0);
        QCOMPARE(c.run({ "new", "collection", QString::fromUtf8("МОСКВА") }).err, taken);
        // Signs that fold to ASCII letters: the Kelvin sign and the long s.
        QCOMPARE(c.run({ "new", "collection", QString::fromUtf8("\u212Aelvin") }).exitCode, 0);
        QCOMPARE(c.run({ "new", "collection", "KELVIN" }).err, taken);
        QCOMPARE(c.run({ "new", "collection", "Sol" }).exitCode, 0);
        QCOMPARE(c.run({ "new", "collection", QString::fromUtf8("\u017Fol") }).err, taken);
        QCOMPARE(
            c.run({ "rename", "collection", QString::number(c.trips), "VIAGENS" }).exitCode, 0);
        QCOMPARE(c.run({ "rename", "collection", QString::number(c.trips), "férias" }).err, taken);

        const QString trips = QString::number(c.trips);
        QCOMPARE(c.run({ "new", "category", trips, QString::fromUtf8("Nápoles") }).exitCode, 0);
        QCOMPARE(c.run({ "new", "category", trips, QString::fromUtf8("NÁPOLES") }).err,
            QStringLiteral("Categoria já cadastrada nesta coleção!\n"));
        QCOMPARE(c.run({ "new", "storage", QString::fromUtf8("Cartão"), "/mnt" }).exitCode, 0);
        QCOMPARE(c.run({ "new", "storage", QString::fromUtf8("CARTÃO"), "/mnt" }).err,
            QStringLiteral("Local já cadastrado!\n"));
        QCOMPARE(
            c.run({ "rename", "picture", QString::number(c.coliseum), QString::fromUtf8("Pão") })
                .exitCode,
            0);
        QCOMPARE(
            c.run({ "rename", "picture", QString::number(c.forum), QString::fromUtf8("PÃO") }).err,
            QStringLiteral("Imagem já cadastrada nesta categoria!\n"));

        // The same file name and time, in any case, is the same picture.
        QTemporaryDir other;
        const QString first = c.file("Árvore.jpg");
        const QString second = other.filePath("ÁRVORE.jpg");
        testsupport::writeFile(first, samples::jpeg(20, 20));
        QFile::copy(first, second);
        const QDateTime when = QFileInfo(first).lastModified();
        QFile f2(second);
        QVERIFY(f2.open(QIODevice::ReadWrite));
        QVERIFY(f2.setFileTime(when, QFileDevice::FileModificationTime));
        f2.close();
        QCOMPARE(c.run({ "new", "picture", first }).exitCode, 0);
        QCOMPARE(c.run({ "new", "picture", second, "--name", "outra" }).err,
            QStringLiteral("Imagem já catalogada!\n"));
        QCOMPARE(c.f.integrity(), QStringLiteral("ok"));
    }

    void namesTakenByCommandsRunningAtOnceAreTakenOnce()
    {
        Cli c;
        // Several processes save one name at the same moment: one of them wins, the others
        // are refused (or find the catalogue busy); never two rows.
        const auto race = [&](const QList<QStringList> &commands) {
            std::vector<std::unique_ptr<QProcess>> running;
            for (const QStringList &args : commands) {
                running.push_back(std::make_unique<QProcess>());
                running.back()->start(c.cli, QStringList { "--catalogue", c.f.path } + args);
            }
            int succeeded = 0;
            for (const auto &p : running) {
                if (!p->waitForFinished(120000))
                    qFatal("quillomar-cli did not end");
                succeeded += p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
            }
            return succeeded;
        };
        constexpr int kTrials = 12;
        for (int t = 0; t < kTrials; ++t) {
            const QString name = QStringLiteral("Col%1").arg(t);
            const QStringList add { "new", "collection", name };
            QCOMPARE(race({ add, add, add, add }), 1);
            QCOMPARE(c.count("Collections WHERE Name = '" + name + "'"), 1);

            const QString place = QStringLiteral("Local%1").arg(t);
            const QStringList store { "new", "storage", place, "/mnt" };
            QCOMPARE(race({ store, store, store, store }), 1);
            QCOMPARE(c.count("Storages WHERE Name = '" + place + "'"), 1);

            QList<QStringList> renames;
            for (int i = 0; i < 4; ++i)
                renames << QStringList { "rename", "collection",
                    QString::number(c.f.collection(QStringLiteral("R%1.%2").arg(t).arg(i))),
                    QStringLiteral("Novo%1").arg(t) };
            QCOMPARE(race(renames), 1);
            QCOMPARE(c.count(QStringLiteral("Collections WHERE Name = 'Novo%1'").arg(t)), 1);

            // Two pictures relinked to files of a drive that has no storage yet: one storage.
            c.f.exec("UPDATE Storages SET System = FALSE WHERE System = TRUE");
            QCOMPARE(race({ { "relink", QString::number(c.coliseum), c.file("coliseu.jpg") },
                         { "relink", QString::number(c.forum), c.file("forum.jpg") } }),
                2);
            QCOMPARE(c.count("Storages WHERE System = TRUE"), 1);
        }
        QCOMPARE(c.f.integrity(), QStringLiteral("ok"));
    }

    void onlyARegularFileIsAPicturesFile()
    {
        Cli c;
        const QString fifo = c.file("fila.jpg");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        const QString folder = c.file("pasta.jpg");
        QVERIFY(QDir().mkpath(folder));
        const qint64 pictures = c.count("Pictures");
        for (const QString &path : { fifo, folder, QStringLiteral("/dev/null"), c.files.path() }) {
            Run r = c.run({ "new", "picture", path });
            QCOMPARE(r.exitCode, 1);
            QCOMPARE(r.err,
                QStringLiteral("Não foi possível abrir o arquivo \"%1\". O arquivo não é um "
                               "arquivo comum.\n")
                    .arg(path));
            r = c.run({ "relink", QString::number(c.forum), path });
            QCOMPARE(r.exitCode, 1);
            QVERIFY(r.err.contains("não é um arquivo comum"));
        }
        QCOMPARE(c.count("Pictures"), pictures);
        QCOMPARE(c.value("SELECT FullPath || FileName FROM Pictures WHERE RecId = "
                      + QString::number(c.forum))
                     .toString(),
            c.files.path() + "/forum.jpg");
        // A link to a regular file is one.
        QVERIFY(QFile::link(c.file("forum.jpg"), c.file("atalho.jpg")));
        QCOMPARE(c.run({ "relink", QString::number(c.forum), c.file("atalho.jpg") }).exitCode, 0);
    }

    void checkReportsEachFindingAndRepairsOnlyFiles()
    {
        QM_FILE_ONLY("relations broken behind a file's back, and its own thumbnail folder");
        Cli c;
        Run r = c.run({ "check" });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(
            r.out, QStringLiteral("0 problemas, 0 locais fora de linha, 0 arquivos removidos\n"));

        // Thumbnails: one of a picture, one of none, a dead writer's temporary and a live one.
        QDir().mkpath(c.f.folder.file("thumbs"));
        testsupport::writeFile(c.thumbnail(c.forum), samples::jpeg(8, 8));
        testsupport::writeFile(c.thumbnail(999), samples::jpeg(8, 8));
        QProcess ended;
        ended.start("/bin/true");
        QVERIFY(ended.waitForStarted());
        const qint64 endedPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        const QString dead
            = c.f.folder.file(QString("thumbs/.00000001.jpg.%1.ab12.tmp").arg(endedPid));
        const QString live = c.f.folder.file(
            QString("thumbs/.00000002.jpg.%1.ab12.tmp").arg(QCoreApplication::applicationPid()));
        testsupport::writeFile(dead, "x");
        testsupport::writeFile(live, "x");
        // A missing file, a storage whose drive is not mounted, a row naming no collection.
        QFile::remove(c.file("coliseu.jpg"));
        const qint64 away = c.f.exec(
            "INSERT INTO Storages (Name, Unit, System) VALUES ('Fora', '/media/nao-montado', TRUE)");
        c.f.picture(c.trips, c.rome, away, "longe");
        {
            Connection raw;
            raw.openFile(c.f.path);
            raw.exec("PRAGMA foreign_keys = OFF");
            raw.exec(
                "UPDATE Pictures SET Collection = 4242 WHERE RecId = " + QString::number(c.forum));
            raw.close();
        }
        r = c.run({ "check" });
        QCOMPARE(r.exitCode, 1);
        QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines,
            QStringList({ QString("chave estrangeira\tPictures\t%1\tCollections").arg(c.forum),
                "miniatura órfã\t" + c.thumbnail(999), "temporário\t" + dead,
                QString("arquivos ausentes\t%1\tDisco externo\t1").arg(c.disk),
                QString("local fora de linha\t%1\tFora\t/media/nao-montado\t1").arg(away),
                "4 problemas, 1 locais fora de linha, 0 arquivos removidos" }));

        // Repair removes the two files only; the rows stay as they were.
        const qint64 pictures = c.count("Pictures");
        r = c.run({ "check", "--repair" });
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.contains("miniatura órfã\t" + c.thumbnail(999) + "\tremovido\n"));
        QVERIFY(r.out.endsWith("2 problemas, 1 locais fora de linha, 2 arquivos removidos\n"));
        QVERIFY(!QFile::exists(c.thumbnail(999)) && !QFile::exists(dead));
        QVERIFY(QFile::exists(c.thumbnail(c.forum)) && QFile::exists(live));
        QCOMPARE(c.count("Pictures"), pictures);
    }

    void deleteAnswersAsItsOptionsSay()
    {
        Cli c;
        // Bad input: a clear text and exit 2 or 1; nothing deleted.
        QCOMPARE(c.run({ "delete", "colecao", "1" }).exitCode, 2);
        QCOMPARE(c.run({ "delete", "picture", "abc" }).exitCode, 2);
        QCOMPARE(c.run({ "delete", "picture", "-3" }).exitCode, 2);
        Run r = c.run({ "delete", "picture", "999" });
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("999"), qPrintable(r.err));
        r = c.run({ "delete", "collection", QString::number(c.system) });
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("Registro do sistema. Exclusão não permitida."));
        QCOMPARE(c.count("Collections"), 2);

        // Without --delete-file the file stays; the thumbnail goes.
        QDir().mkpath(c.f.folder.file("thumbs"));
        testsupport::writeFile(c.thumbnail(c.coliseum), samples::jpeg(8, 8));
        r = c.run({ "delete", "picture", QString::number(c.coliseum) });
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains("Apagar o arquivo físico também?"));
        QVERIFY(QFile::exists(c.file("coliseu.jpg")));
        QVERIFY(!QFile::exists(c.thumbnail(c.coliseum)));
        QCOMPARE(c.count("Pictures"), 1);

        // A read-only file needs --force as well.
        QFile::setPermissions(c.file("forum.jpg"), QFile::ReadOwner);
        r = c.run({ "delete", "picture", QString::number(c.forum), "--delete-file" });
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains("somente para leitura!"));
        QVERIFY(QFile::exists(c.file("forum.jpg")));
        const qint64 again = c.f.picture(c.trips, c.rome, c.disk, "forum");
        c.f.exec("UPDATE Pictures SET FullPath = :P", { { "P", c.files.path() + "/" } });
        r = c.run({ "delete", "picture", QString::number(again), "--delete-file", "--force" });
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!QFile::exists(c.file("forum.jpg")));

        // A file name from the catalogue reaches the terminal with its controls escaped.
        const QString hostile = QStringLiteral("olho\x1b]0;dono\x07.jpg");
        testsupport::writeFile(c.file(hostile.toUtf8().constData()), samples::jpeg(8, 8));
        QFile::setPermissions(c.file(hostile.toUtf8().constData()), QFile::ReadOwner);
        const qint64 eye = c.f.exec("INSERT INTO Pictures (Collection, Category, Name, FileName, "
                                    "FullPath, Created) VALUES (:C, :K, 'olho', :F, :P, "
                                    "'2020-01-01T00:00:00')",
            { { "C", c.trips }, { "K", c.rome }, { "F", hostile }, { "P", c.files.path() } });
        r = c.run({ "delete", "picture", QString::number(eye), "--delete-file" });
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(
            r.err.contains("olho\\x1b]0;dono\\x07.jpg somente para leitura!"), qPrintable(r.err));
        QVERIFY(!r.err.contains(QChar(0x1b)) && !r.err.contains(QChar(0x07)));

        // A collection takes its categories and pictures with it.
        c.f.picture(c.trips, c.rome, c.disk, "mais");
        r = c.run({ "delete", "collection", QString::number(c.trips) });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(c.count("Categories"), 1);
        QCOMPARE(c.count("Pictures"), 0);
        QCOMPARE(c.f.integrity(), QStringLiteral("ok"));
    }
};

QTEST_MAIN(TestRecordCli)
#include "test_record_cli.moc"
