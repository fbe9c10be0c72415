#include "core/programpaths.h"
#include "core/scriptedprompter.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/tdados.h"
#include "store/transaction.h"
#include "storetesthelpers.h"

#include <QDir>
#include <QStorageInfo>
#include <QtTest>
#include <unistd.h>

using storetest::RawDb;

namespace {

QString describe(Prompter::Icon icon, Prompter::Buttons buttons, const QString &text)
{
    QStringList names;
    for (Prompter::Button b : { Prompter::Ok, Prompter::Yes, Prompter::No, Prompter::Abort,
             Prompter::Ignore, Prompter::Cancel, Prompter::Retry }) {
        if (buttons.testFlag(b))
            names << buttonName(b);
    }
    return iconName(icon) + QLatin1Char(' ') + names.join(QLatin1Char('+')) + QStringLiteral(": ")
        + text;
}

QStringList boxes(const ScriptedPrompter &prompter)
{
    QStringList out;
    for (const auto &r : prompter.boxes())
        out << describe(r.icon, r.buttons, r.text);
    return out;
}

// The two boxes the chain shows when the catalogue itself cannot be opened.
QStringList chainBoxes(const QString &path, const QString &engineText)
{
    const QString cause
        = QStringLiteral(" (Microsoft.Jet.OLEDB.4.0 não conseguiu abrir \"%1\": %2)")
              .arg(path, engineText);
    return { describe(Prompter::Icon::Warning,
                 Prompter::Buttons(Prompter::Ignore) | Prompter::Cancel,
                 QStringLiteral(
                     "O provedor \"Microsoft.Jet.OLEDB.3.51\" não está disponível neste sistema")
                     + cause),
        describe(Prompter::Icon::Error, Prompter::Ok,
            QStringLiteral("O driver ODBC \"Driver do Microsoft Access (*.mdb)\" não está "
                           "disponível neste sistema")
                + cause) };
}

const QString newerMessage
    = QStringLiteral("A versão do programa é mais antiga que o banco de dados.");

// Makes a file unwritable even for root (immutable attribute); false when impossible here.
bool makeReadOnly(const QString &path)
{
    if (::geteuid() == 0) {
        if (QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("+i"), path }) != 0)
            return false;
    } else {
        QFile::setPermissions(
            path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    QFile probe(path);
    return !probe.open(QIODevice::WriteOnly | QIODevice::Append);
}

void makeWritable(const QString &path)
{
    if (::geteuid() == 0)
        QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("-i"), path });
    QFile::setPermissions(path,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
            | QFileDevice::ReadOther);
}

} // namespace

class TestStoreTDados : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::ProgramFolder> m_program;
    QStringList m_readOnly;

    ProgramPaths &paths() { return m_program->paths; }
    QString defaultPath() { return paths().databasePath(); }
    // The catalogue the program opens: the default file, or (server row) a database on the
    // test's server that DatabaseFolder and DatabaseFileName name.
    QString makeDefault(const QString &version = QStringLiteral("1.0.0.9"))
    {
        const QString location = storetest::makeCatalogue(paths().ProgramFolder,
            QStringLiteral("quillomar.mdb"), version, storetest::onServer());
        if (storetest::onServer())
            Connection::splitLocation(location, &paths().DatabaseFolder, &paths().DatabaseFileName);
        return location;
    }
    // What tells that nothing was written since: the file's bytes, or the server's next
    // transaction number (only a writing transaction takes one; the server is this test's).
    static QByteArray writeMark(const QString &location)
    {
        if (!Connection::isServerLocation(location))
            return storetest::digest(location);
        return RawDb(location).scalar("SELECT pg_snapshot_xmax(pg_current_snapshot())").toUtf8();
    }
    static QString engineText(const char *sqlite, const char *server)
    {
        return QString::fromUtf8(storetest::onServer() ? server : sqlite);
    }


    // The default catalogue on the server, opened as the user who must give a password;
    // libpq's password file is kept out of it.
    QString makeGuardedDefault()
    {
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        const QString location = makeDefault();
        const QString database = testsupport::PgServer::databaseOf(location);
        pg.exec(database, "GRANT ALL ON ALL TABLES IN SCHEMA public TO quillomar_pw");
        pg.exec(database, "GRANT ALL ON ALL SEQUENCES IN SCHEMA public TO quillomar_pw");
        const QString guarded = pg.location(database, "quillomar_pw");
        Connection::splitLocation(guarded, &paths().DatabaseFolder, &paths().DatabaseFileName);
        qputenv("PGPASSFILE", QFile::encodeName(paths().ProgramFolder + "/sem-pgpass"));
        return guarded;
    }
    static QString askedFor(const QString &problem = QString())
    {
        return QStringLiteral("quillomar_pw\n127.0.0.1:%1\n%2")
            .arg(testsupport::PgServer::instance().port())
            .arg(problem);
    }
    static QStringList passwordRequests(const ScriptedPrompter &prompter)
    {
        QStringList out;
        for (const auto &r : prompter.records())
            if (r.kind == ScriptedPrompter::Kind::CataloguePassword)
                out << r.text + " -> " + r.answer;
        return out;
    }

private slots:
    void initTestCase_data() { storetest::addEngines(); }

    void init()
    {
        m_program = std::make_unique<testsupport::ProgramFolder>();
        QCOMPARE(paths().ProgramVersion, QStringLiteral("1.0.0.9"));
    }
    void cleanup()
    {
        qunsetenv("PGPASSFILE");
        for (const QString &p : std::as_const(m_readOnly))
            makeWritable(p);
        m_readOnly.clear();
        m_program.reset();
    }

    void opensTheDefaultCatalogueThroughTheFirstProvider()
    {
        const QString path = makeDefault();
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QCOMPARE(dados.objectName(), QStringLiteral("TDados"));
        QVERIFY(!dados.connected());
        QVERIFY(dados.OpenDatabaseAll());
        QVERIFY(dados.connected());
        QCOMPARE(boxes(prompter), QStringList());
        if (storetest::onServer()) {
            QCOMPARE(dados.connectionString(),
                QStringLiteral("Provider=PostgreSQL;Data Source=") + path + ";");
            QCOMPARE(dados.providerText(), QStringLiteral("Provider=PostgreSQL;"));
            QCOMPARE(dados.serverText(),
                QStringLiteral("127.0.0.1:%1").arg(testsupport::PgServer::instance().port()));
        } else {
            QCOMPARE(dados.connectionString(),
                QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path + ";");
            QCOMPARE(dados.providerText(), QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;"));
            QVERIFY(dados.serverText().isEmpty());
        }
        for (RecordSet *rs : { &dados.TFormats, &dados.TColorDepth, &dados.TResolutions,
                 &dados.TCollections, &dados.TCategories, &dados.TPictures, &dados.TStorages,
                 &dados.TFTPAccounts, &dados.TSMTPAccount })
            QVERIFY2(rs->isOpen(), qPrintable(rs->objectName()));
        QVERIFY(!dados.CatalogInfo.isOpen());
        QCOMPARE(dados.TCategories.sort(), QStringLiteral("Collection;Name"));
        QCOMPARE(dados.TPictures.sort(), QStringLiteral("Name"));
        QCOMPARE(dados.findChild<RecordSet *>("TPictures"), &dados.TPictures);
        QCOMPARE(dados.DatabaseVersion, QStringLiteral("1.0.0.9"));

        dados.CloseDatabaseAll();
        QVERIFY(!dados.connected());
        QVERIFY(!dados.TPictures.isOpen());
        QVERIFY(dados.connectionString().isEmpty());
        // Opening again (and over an open store) finds the same defaults.
        const qint64 collection = dados.DefaultCollectionId;
        QVERIFY(dados.OpenDatabaseAll());
        QVERIFY(dados.OpenDatabaseAll());
        QCOMPARE(dados.DefaultCollectionId, collection);
        QCOMPARE(boxes(prompter), QStringList());
    }

    void configurationNamesTheCatalogue()
    {
        STORETEST_FILE_ONLY();
        QDir(paths().ProgramFolder).mkdir("dados");
        const QString folder = paths().ProgramFolder + "/dados";
        const QString path = storetest::makeCatalogue(folder, "fotos.mdb");
        for (const QString &written : { folder, folder + "/" }) {
            QVERIFY(testsupport::writeFile(paths().ConfigFile,
                ("[DATABASE]\nPATH=" + written + "\nFILENAME=fotos.mdb\n").toUtf8()));
            ScriptedPrompter prompter;
            TDados dados(paths(), prompter);
            QVERIFY(dados.OpenDatabaseAll());
            QCOMPARE(dados.Conexao.filePath(), path);
            QCOMPARE(paths().DatabaseFolder, written);
            QCOMPARE(paths().DatabaseFileName, QStringLiteral("fotos.mdb"));
            QCOMPARE(boxes(prompter), QStringList());
        }
        // With the configuration off, the paths are taken as they stand.
        paths().DatabaseFolder = paths().ProgramFolder;
        paths().DatabaseFileName = "quillomar.mdb";
        const QString local = makeDefault();
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        dados.setConfigurationEnabled(false);
        QVERIFY(dados.OpenDatabaseAll());
        QCOMPARE(dados.Conexao.filePath(), local);
    }

    void anUnreadableConfigurationIsShownAndSkipped()
    {
        STORETEST_FILE_ONLY();
        makeDefault();
        QVERIFY(QDir().mkpath(paths().ConfigFile)); // a folder where the file should be
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QVERIFY(dados.OpenDatabaseAll());
        QCOMPARE(boxes(prompter),
            QStringList({ describe(Prompter::Icon::Error, Prompter::Ok,
                QStringLiteral(
                    "Não foi possível ler o arquivo de configuração \"%1\": é uma pasta.")
                    .arg(paths().ConfigFile)) }));
        QCOMPARE(dados.Conexao.filePath(), defaultPath());
    }

    void badCataloguesEndInTheChainsMessagesUntouched_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("engineText");
        QTest::newRow("missing") << "missing"
                                 << "unable to open database file";
        QTest::newRow("empty") << "empty"
                               << "no such table: Formats";
        QTest::newRow("random bytes") << "random"
                                      << "file is not a database";
        QTest::newRow("another SQLite file") << "foreign"
                                             << "no such table: Formats";
        QTest::newRow("a table missing") << "partial"
                                         << "no such table: FTPAccounts";
        QTest::newRow("a folder") << "folder"
                                  << "unable to open database file";
    }

    void badCataloguesEndInTheChainsMessagesUntouched()
    {
        STORETEST_FILE_ONLY();
        QFETCH(QString, kind);
        QFETCH(QString, engineText);
        const QString path = defaultPath();
        if (kind == "empty") {
            QVERIFY(testsupport::writeFile(path, QByteArray()));
        } else if (kind == "random") {
            QByteArray bytes(20000, '\0');
            for (int i = 0; i < bytes.size(); ++i)
                bytes[i] = char(QRandomGenerator::global()->bounded(256));
            bytes.replace(0, 6, "SQLitf");
            QVERIFY(testsupport::writeFile(path, bytes));
        } else if (kind == "foreign") {
            Connection c;
            c.createFile(path);
            c.exec("CREATE TABLE Notas (Texto TEXT); INSERT INTO Notas VALUES ('x')");
        } else if (kind == "partial") {
            makeDefault();
            RawDb raw(path);
            raw.exec("DROP TABLE FTPAccounts");
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        }
        const QByteArray before = QFileInfo(path).isFile() ? storetest::digest(path) : QByteArray();
        const QStringList filesBefore = storetest::listing(paths().ProgramFolder);

        ScriptedPrompter prompter;
        {
            TDados dados(paths(), prompter);
            QVERIFY(!dados.OpenDatabaseAll());
            QVERIFY(!dados.connected());
            QVERIFY(!dados.TCollections.isOpen());
        }
        QCOMPARE(boxes(prompter), chainBoxes(path, engineText));
        QCOMPARE(QFileInfo(path).isFile() ? storetest::digest(path) : QByteArray(), before);
        QCOMPARE(storetest::listing(paths().ProgramFolder), filesBefore);
    }

    void cancelEndsTheChainAtOnce()
    {
        STORETEST_FILE_ONLY();
        ScriptedPrompter prompter;
        prompter.answerButton(Prompter::Cancel);
        TDados dados(paths(), prompter);
        QVERIFY(!dados.OpenDatabaseAll());
        QCOMPARE(
            boxes(prompter), chainBoxes(defaultPath(), "unable to open database file").mid(0, 1));
        QVERIFY(!QFileInfo::exists(defaultPath()));
    }

    void aPasswordTheServerWantsIsAskedForUntilItIsTaken()
    {
        if (!storetest::onServer())
            QSKIP("a server's own behaviour");
        makeGuardedDefault();
        const QString right = testsupport::PgServer::password();
        ScriptedPrompter prompter;
        prompter.answerCataloguePassword(Prompter::CataloguePassword { "errada", false });
        prompter.answerCataloguePassword(Prompter::CataloguePassword { right, false });
        QStringList kept;
        TDados dados(paths(), prompter);
        dados.setPasswordKeeper([&kept](const QString &, const QString &password) {
            kept << password;
            return QString();
        });
        QVERIFY2(dados.OpenDatabaseAll(), qPrintable(boxes(prompter).join('\n')));
        QVERIFY(dados.TPictures.isOpen());
        QCOMPARE(passwordRequests(prompter),
            QStringList({ askedFor() + " -> ****",
                askedFor("Senha incorreta. Digite-a de novo.") + " -> ****" }));
        QCOMPARE(boxes(prompter), QStringList());
        QCOMPARE(kept, QStringList()); // not asked to keep it
        // Opened again (the options), the password typed holds: nobody is asked twice.
        dados.CloseDatabaseAll();
        QVERIFY(dados.OpenDatabaseAll());
        QCOMPARE(passwordRequests(prompter).size(), 2);
    }

    void cancellingThePasswordFailsTheOpeningSayingWhy()
    {
        if (!storetest::onServer())
            QSKIP("a server's own behaviour");
        const QString guarded = makeGuardedDefault();
        const QString port = QString::number(testsupport::PgServer::instance().port());
        ScriptedPrompter prompter;
        prompter.answerCataloguePassword(Prompter::CataloguePassword { "errada", false });
        prompter.answerCataloguePassword(std::nullopt);
        TDados dados(paths(), prompter);
        QVERIFY(!dados.OpenDatabaseAll());
        QVERIFY(!dados.connected());
        QVERIFY(!dados.TCollections.isOpen());
        QCOMPARE(passwordRequests(prompter),
            QStringList({ askedFor() + " -> ****",
                askedFor("Senha incorreta. Digite-a de novo.") + " -> " }));
        // One box, in Portuguese; libpq's own text only as its detail. None of the other
        // providers is tried for a server.
        QCOMPARE(boxes(prompter),
            QStringList({ describe(Prompter::Icon::Error, Prompter::Ok,
                "O servidor do catálogo 127.0.0.1:" + port
                    + " recusou a senha do usuário \"quillomar_pw\".") }));
        QCOMPARE(prompter.details().size(), 1);
        QVERIFY2(prompter.details().first().contains("password authentication failed"),
            qPrintable(prompter.details().first()));
        QVERIFY(!prompter.details().first().contains("errada"));

        // Where nobody can be asked (the command line), the first refusal is the answer.
        ScriptedPrompter none;
        TDados script(paths(), none);
        QVERIFY(!script.OpenDatabaseAll());
        QCOMPARE(passwordRequests(none), QStringList({ askedFor() + " -> " }));
        QCOMPARE(boxes(none),
            QStringList({ describe(Prompter::Icon::Error, Prompter::Ok,
                "O servidor do catálogo 127.0.0.1:" + port
                    + " pede uma senha para o usuário \"quillomar_pw\".") }));
        Q_UNUSED(guarded);
    }

    void aStoredPasswordTheServerRefusesIsAskedForAndTheNewOneKept()
    {
        if (!storetest::onServer())
            QSKIP("a server's own behaviour");
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        const QString guarded = makeGuardedDefault();
        const QString right = testsupport::PgServer::password();
        ScriptedPrompter prompter;
        prompter.answerCataloguePassword(Prompter::CataloguePassword { "errada", true });
        prompter.answerCataloguePassword(Prompter::CataloguePassword { right, true });
        QStringList asked;
        QStringList kept;
        TDados dados(paths(), prompter);
        dados.setPasswordSource([&asked](const QString &location) {
            asked << location;
            return QStringLiteral("antiga");
        });
        // No keyring answers: said once, however often it fails.
        dados.setPasswordKeeper([&kept](const QString &location, const QString &password) {
            kept << location + " " + password;
            return QStringLiteral("sem sessão D-Bus");
        });
        QVERIFY2(dados.OpenDatabaseAll(), qPrintable(boxes(prompter).join('\n')));
        QCOMPARE(asked, QStringList({ guarded }));
        QCOMPARE(passwordRequests(prompter),
            QStringList({ askedFor("O servidor recusou a senha guardada. Digite a senha do "
                                   "catálogo.")
                    + " -> **** keep",
                askedFor("Senha incorreta. Digite-a de novo.") + " -> **** keep" }));
        // Only the password the server took is kept.
        QCOMPARE(kept, QStringList({ guarded + " " + right }));
        const QString unkept = describe(Prompter::Icon::Warning, Prompter::Ok,
            "Nenhum chaveiro respondeu: a senha do catálogo não foi guardada e vale só até o "
            "programa terminar.");
        QCOMPARE(boxes(prompter), QStringList({ unkept }));
        QCOMPARE(prompter.details(), QStringList({ "sem sessão D-Bus" }));

        // The password changes on the server: asked again, kept again, nothing said again.
        struct Restore {
            ~Restore()
            {
                testsupport::PgServer::instance().exec("postgres",
                    "ALTER ROLE quillomar_pw PASSWORD '" + testsupport::PgServer::password()
                        + "'");
            }
        } restore;
        pg.exec("postgres", "ALTER ROLE quillomar_pw PASSWORD 'nova-senha'");
        prompter.answerCataloguePassword(Prompter::CataloguePassword { "nova-senha", true });
        dados.CloseDatabaseAll();
        QVERIFY(dados.OpenDatabaseAll());
        QCOMPARE(passwordRequests(prompter).size(), 3);
        QCOMPARE(passwordRequests(prompter).last(),
            askedFor("O servidor recusou a senha guardada. Digite a senha do catálogo.")
                + " -> **** keep");
        QCOMPARE(kept.last(), guarded + " nova-senha");
        QCOMPARE(boxes(prompter), QStringList({ unkept }));
        QCOMPARE(prompter.details().size(), 1);
    }

    void aServerThatCannotBeReachedIsSaidInOneBox_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("detail");
        const int port = testsupport::PgServer::instance().port();
        QTest::newRow("down") << "postgresql://quillomar@127.0.0.1:1/x"
                              << "Não foi possível conectar ao servidor do catálogo "
                                 "127.0.0.1:1: ele não responde (está desligado, ou fora de "
                                 "alcance)."
                              << "Connection refused";
        QTest::newRow("no database")
            << QStringLiteral("postgresql://quillomar@127.0.0.1:%1/nenhum").arg(port)
            << QStringLiteral("O servidor do catálogo 127.0.0.1:%1 não tem o banco de dados "
                              "\"nenhum\".")
                   .arg(port)
            << "database \"nenhum\" does not exist";
    }

    void aServerThatCannotBeReachedIsSaidInOneBox()
    {
        if (!storetest::onServer())
            QSKIP("a server's own behaviour");
        QFETCH(QString, location);
        QFETCH(QString, message);
        QFETCH(QString, detail);
        Connection::splitLocation(location, &paths().DatabaseFolder, &paths().DatabaseFileName);
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QVERIFY(!dados.OpenDatabaseAll());
        QCOMPARE(boxes(prompter),
            QStringList({ describe(Prompter::Icon::Error, Prompter::Ok, message) }));
        QCOMPARE(prompter.details().size(), 1);
        QVERIFY2(prompter.details().first().contains(detail), qPrintable(prompter.details().first()));
        QCOMPARE(passwordRequests(prompter), QStringList());
    }

    void aNewerCatalogueIsRefusedWithoutAWrite()
    {
        const QString path = makeDefault("1.0.1.0");
        const QByteArray before = writeMark(path);
        const QStringList filesBefore = storetest::listing(paths().ProgramFolder);
        ScriptedPrompter prompter;
        {
            TDados dados(paths(), prompter);
            QVERIFY(!dados.OpenDatabaseAll());
            QVERIFY(dados.connected()); // connected without tables
            QVERIFY(!dados.TFormats.isOpen());
            QVERIFY(!dados.TCollections.isOpen());
            QCOMPARE(dados.DatabaseVersion, QStringLiteral("1.0.1.0"));
            dados.CloseDatabaseAll();
        }
        QCOMPARE(boxes(prompter),
            QStringList({ describe(Prompter::Icon::Error, Prompter::Ok, newerMessage) }));
        QCOMPARE(writeMark(path), before);
        QCOMPARE(storetest::listing(paths().ProgramFolder), filesBefore);
    }

    void anOlderCatalogueWithoutVersionIsUpgraded()
    {
        const QString path = makeDefault();
        {
            RawDb raw(path);
            raw.exec(raw.onServer()
                    ? "DROP TABLE CatalogInfo; CREATE TABLE CatalogInfo (Notes TEXT, rowid bigint "
                      "GENERATED BY DEFAULT AS IDENTITY);"
                    : "DROP TABLE CatalogInfo; CREATE TABLE CatalogInfo (Notes TEXT);");
            raw.exec("UPDATE Formats SET Support = FALSE WHERE Extension = 'png'");
            raw.exec("DROP INDEX Pictures_CategoryType");
            raw.exec("DROP INDEX Pictures_LocationType");
        }
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QVERIFY(dados.OpenDatabaseAll());
        QCOMPARE(boxes(prompter), QStringList());
        QCOMPARE(dados.DatabaseVersion, QString());
        RawDb raw(path);
        if (raw.onServer()) {
            QCOMPARE(raw.rows("SELECT column_name, data_type FROM information_schema.columns "
                              "WHERE table_name = 'cataloginfo' AND column_name <> 'rowid' "
                              "ORDER BY ordinal_position"),
                QList<QStringList>(
                    { { "notes", "text" }, { "version", "character varying" } }));
        } else {
            QCOMPARE(raw.rows("SELECT name, type FROM pragma_table_info('CatalogInfo')"),
                QList<QStringList>({ { "Notes", "TEXT" }, { "Version", "Char(20)" } }));
        }
        QCOMPARE(raw.column("SELECT Version FROM CatalogInfo"), QStringList({ "1.0.0.9" }));
        QCOMPARE(
            raw.scalar("SELECT Support FROM Formats WHERE Extension = 'png'"), QStringLiteral("1"));
        // The indexes the statistics pages read are added.
        QCOMPARE(raw.column(raw.onServer()
                         ? "SELECT initcap(indexname) FROM pg_indexes WHERE indexname LIKE "
                           "'pictures_%type' ORDER BY indexname"
                         : "SELECT name FROM sqlite_master WHERE name LIKE 'Pictures_%Type' "
                           "ORDER BY name"),
            raw.onServer() ? QStringList({ "Pictures_Categorytype", "Pictures_Locationtype" })
                           : QStringList({ "Pictures_CategoryType", "Pictures_LocationType" }));
    }

    void thePngStepBelongsToReleasesBefore1002_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("support");
        QTest::newRow("1.0.0.1") << "1.0.0.1"
                                 << "1";
        QTest::newRow("empty") << ""
                               << "1";
        QTest::newRow("1.0.0.2") << "1.0.0.2"
                                 << "0";
        QTest::newRow("1.0.0.8") << " 1.0.0.8 "
                                 << "0";
    }

    void thePngStepBelongsToReleasesBefore1002()
    {
        QFETCH(QString, stored);
        QFETCH(QString, support);
        const QString path = makeDefault(stored);
        {
            RawDb raw(path);
            raw.exec("UPDATE Formats SET Support = FALSE WHERE Extension = 'png'");
        }
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QVERIFY(dados.OpenDatabaseAll());
        QCOMPARE(dados.DatabaseVersion, stored.trimmed());
        RawDb raw(path);
        QCOMPARE(raw.scalar("SELECT Support FROM Formats WHERE Extension = 'png'"), support);
        QCOMPARE(raw.column("SELECT Version FROM CatalogInfo"), QStringList({ "1.0.0.9" }));
    }

    void theSameVersionOpensWithoutAnyWrite()
    {
        const QString path = makeDefault();
        ScriptedPrompter prompter;
        {
            TDados first(paths(), prompter);
            QVERIFY(first.OpenDatabaseAll()); // writes the default rows once
        }
        const QByteArray before = writeMark(path);
        {
            TDados second(paths(), prompter);
            QVERIFY(second.OpenDatabaseAll());
            QVERIFY(second.TPictures.isEmpty());
        }
        QCOMPARE(writeMark(path), before);
        if (!storetest::onServer())
            QCOMPARE(storetest::listing(paths().ProgramFolder), QStringList({ "quillomar.mdb" }));
        QCOMPARE(boxes(prompter), QStringList());
    }

    void aReadOnlyCatalogueOpensForReading()
    {
        STORETEST_FILE_ONLY();
        const QString path = makeDefault();
        {
            ScriptedPrompter prompter;
            TDados dados(paths(), prompter);
            QVERIFY(dados.OpenDatabaseAll());
        }
        if (!makeReadOnly(path))
            QSKIP("this file system cannot make a file read-only");
        m_readOnly << path;
        const QByteArray before = storetest::digest(path);
        ScriptedPrompter prompter;
        {
            TDados dados(paths(), prompter);
            QVERIFY(dados.OpenDatabaseAll());
            QVERIFY(dados.Conexao.isReadOnly());
            QCOMPARE(dados.TCollections.asString("Name"), QStringLiteral("(undefined)"));
            dados.TCollections.edit();
            dados.TCollections.setValue("Notes", "não grava");
            try {
                dados.TCollections.post();
                QFAIL("wrote a read-only catalogue");
            } catch (const DbError &e) {
                QCOMPARE(e.message(), QStringLiteral("attempt to write a readonly database"));
            }
            dados.TCollections.cancel();
        }
        QCOMPARE(boxes(prompter), QStringList());
        QCOMPARE(storetest::digest(path), before);
        // SQLite keeps its shared-memory index beside a file it may not write; the journal
        // stays empty, since nothing was written.
        for (const QString &name : storetest::listing(paths().ProgramFolder)) {
            QVERIFY2(QStringList({ "quillomar.mdb", "quillomar.mdb-wal", "quillomar.mdb-shm" })
                         .contains(name),
                qPrintable(name));
        }
        QCOMPARE(QFileInfo(path + "-wal").exists() ? QFileInfo(path + "-wal").size() : 0, 0);
    }

    void aReadOnlyCatalogueThatNeedsAnUpgradeFailsClearly()
    {
        STORETEST_FILE_ONLY();
        const QString path = makeDefault("1.0.0.5");
        if (!makeReadOnly(path))
            QSKIP("this file system cannot make a file read-only");
        m_readOnly << path;
        const QByteArray before = storetest::digest(path);
        ScriptedPrompter prompter;
        {
            TDados dados(paths(), prompter);
            QVERIFY(!dados.OpenDatabaseAll());
            QVERIFY(!dados.TCollections.isOpen());
        }
        QCOMPARE(boxes(prompter),
            QStringList({ describe(
                Prompter::Icon::Error, Prompter::Ok, "attempt to write a readonly database") }));
        QCOMPARE(storetest::digest(path), before);
    }

    void aCatalogueLockedByAnotherProcessIsWaitedForThenReported()
    {
        const QString path = makeDefault("1.0.0.5"); // the upgrade must write
        std::unique_ptr<storetest::LockHolder> fileHolder;
        std::unique_ptr<storetest::ServerLockHolder> serverHolder;
        if (storetest::onServer())
            serverHolder = std::make_unique<storetest::ServerLockHolder>(path);
        else
            fileHolder = std::make_unique<storetest::LockHolder>(path);
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QVERIFY(!dados.OpenDatabaseAll());
        QCOMPARE(boxes(prompter),
            QStringList({ describe(Prompter::Icon::Error, Prompter::Ok,
                engineText("database is locked", storetest::serverBusyText())) }));
        QVERIFY(!dados.Conexao.inTransaction());
        fileHolder.reset();
        serverHolder.reset();
        prompter.clear();
        QVERIFY(dados.OpenDatabaseAll());
        QCOMPARE(boxes(prompter), QStringList());
        RawDb raw(path);
        QCOMPARE(raw.column("SELECT Version FROM CatalogInfo"), QStringList({ "1.0.0.9" }));
    }

    void emptyTablesGetTheirDefaultRows()
    {
        const QString path = makeDefault();
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QVERIFY(dados.OpenDatabaseAll());
        QCOMPARE(boxes(prompter), QStringList());
        RawDb raw(path);
        QCOMPARE(raw.rows("SELECT RecId, Name, System FROM Collections"),
            QList<QStringList>({ { "1", "(undefined)", "1" } }));
        QCOMPARE(raw.rows("SELECT Collection, Name, System FROM Categories"),
            QList<QStringList>({ { "1", "(undefined)", "1" } }));
        QString drive = QStorageInfo(QDir::currentPath()).rootPath();
        if (drive.size() > 1 && drive.endsWith('/'))
            drive.chop(1);
        QCOMPARE(raw.rows("SELECT Name, Unit, System, Notes FROM Storages"),
            QList<QStringList>({ { "(local)", drive, "1", "NULL" } }));
        QCOMPARE(raw.rows("SELECT Host, Port FROM SMTPAccount"),
            QList<QStringList>({ { "NULL", "25" } }));
        QCOMPARE(raw.scalar("SELECT count(*) FROM CatalogInfo"), QStringLiteral("1"));
        QCOMPARE(dados.DefaultCollectionId, 1);
        QCOMPARE(dados.DefaultCategoryId, 1);
        QCOMPARE(dados.TCollections.asString("Name"), QStringLiteral("(undefined)"));
        QCOMPARE(dados.TCategories.asString("Name"), QStringLiteral("(undefined)"));
        QCOMPARE(dados.TStorages.asString("Name"), QStringLiteral("(local)"));
        QVERIFY(!dados.Conexao.inTransaction());
    }

    void existingSystemRowsAreFoundNotAdded()
    {
        const QString path = makeDefault();
        {
            RawDb raw(path);
            raw.exec("INSERT INTO Collections (RecId, Name, System) VALUES (1, 'Beta', TRUE), (2, "
                     "'Arte', FALSE), (3, 'Alfa', TRUE)");
            raw.exec("INSERT INTO Categories (RecId, Collection, Name, System) VALUES (10, 3, 'Sem "
                     "sistema', FALSE)");
            raw.exec("INSERT INTO Storages (RecId, Name, System) VALUES (4, 'Disco', NULL), (5, "
                     "'Pen', TRUE)");
        }
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QVERIFY(dados.OpenDatabaseAll());
        QCOMPARE(dados.DefaultCollectionId, 3); // the first in name order
        QCOMPARE(dados.DefaultCategoryId, 0); // none found: keeps its value
        QCOMPARE(dados.TCollections.asString("Name"), QStringLiteral("Alfa"));
        QCOMPARE(dados.TStorages.asString("Name"), QStringLiteral("Pen"));
        RawDb raw(path);
        QCOMPARE(raw.scalar("SELECT count(*) FROM Collections"), QStringLiteral("3"));
        QCOMPARE(raw.scalar("SELECT count(*) FROM Categories"), QStringLiteral("1"));
        QCOMPARE(raw.scalar("SELECT count(*) FROM Storages"), QStringLiteral("2"));
    }

    void aDefaultRowThatCannotBeWrittenIsShownAndRolledBack()
    {
        STORETEST_FILE_ONLY();
        const QString path = makeDefault();
        {
            RawDb raw(path);
            raw.exec("CREATE TRIGGER Bloqueio BEFORE INSERT ON Collections BEGIN "
                     "SELECT RAISE(ABORT, 'coleções bloqueadas'); END");
        }
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QVERIFY(dados.OpenDatabaseAll());
        // The category then points at no collection and fails its relation.
        QCOMPARE(boxes(prompter),
            QStringList({ describe(Prompter::Icon::Error, Prompter::Ok, "coleções bloqueadas"),
                describe(Prompter::Icon::Error, Prompter::Ok, "FOREIGN KEY constraint failed") }));
        QVERIFY(dados.TCollections.isOpen());
        QVERIFY(dados.TCollections.isEmpty());
        QCOMPARE(dados.TCollections.state(), RecordSet::State::Browse);
        QCOMPARE(dados.DefaultCollectionId, 0);
        QVERIFY(!dados.Conexao.inTransaction());
        RawDb raw(path);
        QCOMPARE(raw.scalar("SELECT count(*) FROM Categories"), QStringLiteral("0"));
        QCOMPARE(raw.scalar("SELECT count(*) FROM Storages"), QStringLiteral("1"));
        QCOMPARE(raw.scalar("SELECT Rows FROM RowCounts WHERE TableName = 'Collections'"),
            QStringLiteral("0"));
    }

    void newRowsStartWithTheirDefaults()
    {
        makeDefault();
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QVERIFY(dados.OpenDatabaseAll());
        dados.TPictures.insert();
        QCOMPARE(dados.TPictures.asInt("Collection"), dados.DefaultCollectionId);
        QCOMPARE(dados.TPictures.asInt("Category"), dados.DefaultCategoryId);
        QCOMPARE(dados.TPictures.value("Review"), QVariant(true));
        QVERIFY(!dados.TPictures.modified());
        dados.TPictures.cancel();
        dados.TFTPAccounts.insert();
        QCOMPARE(dados.TFTPAccounts.asInt("Port"), 21);
        QCOMPARE(dados.TFTPAccounts.value("UseProxyServer"), QVariant(false));
        dados.TFTPAccounts.cancel();
        dados.TCollections.insert();
        QCOMPARE(dados.TCollections.value("System"), QVariant(false));
        dados.TCollections.cancel();
        dados.TCategories.insert();
        QCOMPARE(dados.TCategories.asInt("Collection"), dados.DefaultCollectionId);
        QCOMPARE(dados.TCategories.value("System"), QVariant(false));
        dados.TCategories.cancel();
        dados.TStorages.insert();
        QVERIFY(dados.TStorages.isNull("System"));
        dados.TStorages.cancel();
    }

    void emptyTextsAreStoredAsNull()
    {
        const QString path = makeDefault();
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        QVERIFY(dados.OpenDatabaseAll());
        RecordSet &p = dados.TPictures;
        p.insert();
        p.setValue("Name", "");
        p.setValue("FileName", "praia.jpg");
        p.setValue("Notes", "");
        p.setValue("KeyWords", " ");
        p.setValue("Width", 0);
        p.post();
        RawDb raw(path);
        QCOMPARE(raw.rows("SELECT Name, FileName, Notes, KeyWords, Width, Review FROM Pictures"),
            QList<QStringList>({ { "NULL", "praia.jpg", "NULL", " ", "0", "1" } }));
        dados.TFormats.locate("Extension", "bmp");
        dados.TFormats.edit();
        dados.TFormats.setValue("Name", QString(""));
        dados.TFormats.post();
        QCOMPARE(raw.scalar("SELECT coalesce(Name, 'NULL') FROM Formats WHERE Extension = 'bmp'"),
            QStringLiteral("NULL"));
        // A saved row shows what the catalogue gave it, inside a transaction or not.
        QCOMPARE(p.asInt("RecId"), 1);
        {
            Transaction t(dados.Conexao);
            p.insert();
            p.setValue("FileName", "serra.jpg");
            p.post();
            QCOMPARE(p.asInt("RecId"), 2);
            t.commit();
        }
        QCOMPARE(raw.scalar("SELECT count(*) FROM Pictures"), QStringLiteral("2"));
    }

    void thumbnailNamesAreZeroFilledKeys()
    {
        ScriptedPrompter prompter;
        TDados dados(paths(), prompter);
        const QString folder = paths().ProgramFolder + "/thumbs/";
        QCOMPARE(paths().ThumbnailFolder + "/", folder);
        QCOMPARE(dados.GetThumbnailName(42), folder + "00000042.jpg");
        QCOMPARE(dados.GetThumbnailName(7), folder + "00000007.jpg");
        QCOMPARE(dados.GetThumbnailName(12345678), folder + "12345678.jpg");
        QCOMPARE(dados.GetThumbnailName(123456789), folder + "123456789.jpg");
    }
};

QTEST_GUILESS_MAIN(TestStoreTDados)
#include "test_store_tdados.moc"
