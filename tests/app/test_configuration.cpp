#include "core/inifile.h"
#include "core/programpaths.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using testsupport::ProgramFolder;
using testsupport::readFile;
using testsupport::writeFile;

class TestConfiguration : public QObject {
    Q_OBJECT
private slots:
    void pathsDeriveFromTheProgramFile()
    {
        ProgramFolder pf;
        const ProgramPaths &p = pf.paths;
        QCOMPARE(p.ProgramFolder, QDir(pf.dir.path()).absolutePath());
        QVERIFY(!p.ProgramFolder.endsWith('/'));
        QCOMPARE(p.ConfigFile, p.ProgramFolder + "/quillomar.ini");
        QCOMPARE(p.DatabaseFolder, p.ProgramFolder);
        QCOMPARE(p.DatabaseFileName, QStringLiteral("quillomar.mdb"));
        QCOMPARE(p.defaultDatabaseName(), QStringLiteral("quillomar.mdb"));
        QCOMPARE(p.ThumbnailFolder, p.ProgramFolder + "/thumbs");
        QCOMPARE(p.databasePath(), p.ProgramFolder + "/quillomar.mdb");
        QVERIFY(p.databaseIsLocal());

        // A program file with an extension has it replaced, as with "program.exe".
        ProgramFolder withExt(QStringLiteral("viewer.bin"));
        QCOMPARE(withExt.paths.ConfigFile, withExt.paths.ProgramFolder + "/viewer.ini");
        QCOMPARE(withExt.paths.DatabaseFileName, QStringLiteral("viewer.mdb"));
    }

    void databasePathIgnoresATrailingDelimiterButLocalityDoesNot()
    {
        ProgramFolder pf;
        ProgramPaths p = pf.paths;
        p.DatabaseFolder = p.ProgramFolder + "/";
        QCOMPARE(p.databasePath(), pf.paths.databasePath());
        QVERIFY(!p.databaseIsLocal());
        p.DatabaseFolder = p.ProgramFolder;
        p.DatabaseFileName = "Quillomar.mdb"; // compared as exact, case-sensitive text
        QVERIFY(!p.databaseIsLocal());
        p.DatabaseFileName = "quillomar.mdb";
        QVERIFY(p.databaseIsLocal());
    }

    void thumbnailFolderIsCreatedWithItsParentsAndFailsSilently()
    {
        QTemporaryDir dir;
        ProgramPaths p = ProgramPaths::forProgram(dir.filePath("a/b/quillomar"));
        QVERIFY(!QFileInfo(p.ThumbnailFolder).exists());
        QVERIFY(p.ensureThumbnailFolder());
        QVERIFY(QFileInfo(p.ThumbnailFolder).isDir());
        QVERIFY(p.ensureThumbnailFolder());

        // A file in the way: no folder, no crash, no exception.
        ProgramPaths blocked = ProgramPaths::forProgram(dir.filePath("c/quillomar"));
        QDir().mkpath(dir.filePath("c"));
        QVERIFY(writeFile(blocked.ThumbnailFolder, "not a folder"));
        QVERIFY(!blocked.ensureThumbnailFolder());
        QCOMPARE(readFile(blocked.ThumbnailFolder), QByteArray("not a folder"));
    }

    void iniReadsSectionsAndKeysWithoutRegardToCase()
    {
        QTemporaryDir dir;
        const QString f = dir.filePath("q.ini");
        QVERIFY(writeFile(f,
            "; comment\r\n[Other]\r\nPATH=/wrong\r\n[database]\r\n"
            "  path = /srv/fotos/ \r\nFileName=acervo.mdb\r\n"));
        IniFile ini(f);
        QCOMPARE(ini.readString("DATABASE", "PATH", "def"), QStringLiteral("/srv/fotos/"));
        QCOMPARE(ini.readString("DATABASE", "FILENAME", "def"), QStringLiteral("acervo.mdb"));
        QCOMPARE(ini.readString("DATABASE", "MISSING", "def"), QStringLiteral("def"));
        QCOMPARE(ini.readString("NOSECTION", "PATH", "def"), QStringLiteral("def"));
        QVERIFY(ini.error().isEmpty());
    }

    void unreadableConfigurationGivesDefaultsAndIsNeverTouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("makeFolder");
        QTest::addColumn<bool>("unreadable");
        QTest::addColumn<bool>("expectError");
        QTest::newRow("missing") << QByteArray() << false << false << false;
        QTest::newRow("empty") << QByteArray("") << false << false << false;
        QTest::newRow("garbage") << QByteArray("\x00\xff\xfe[[[=\x01\x02=\n\n]]]", 16) << false
                                 << false << false;
        QTest::newRow("no section")
            << QByteArray("PATH=/x\nFILENAME=y\n") << false << false << false;
        QTest::newRow("folder") << QByteArray() << true << false << true;
        QTest::newRow("no permission")
            << QByteArray("[DATABASE]\nPATH=/x\n") << false << true << true;
    }
    void unreadableConfigurationGivesDefaultsAndIsNeverTouched()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, makeFolder);
        QFETCH(bool, unreadable);
        QFETCH(bool, expectError);
        if (unreadable && geteuid() == 0)
            QSKIP("root reads every file");
        QTemporaryDir dir;
        const QString f = dir.filePath("q.ini");
        if (makeFolder)
            QVERIFY(QDir().mkdir(f));
        else if (!content.isNull() || QTest::currentDataTag() != QByteArray("missing"))
            QVERIFY(writeFile(f, content));
        if (unreadable)
            QVERIFY(QFile::setPermissions(f, QFileDevice::WriteOwner));
        IniFile ini(f);
        QCOMPARE(ini.readString("DATABASE", "PATH", "cur"), QStringLiteral("cur"));
        QCOMPARE(ini.error().isEmpty(), !expectError);
        if (expectError)
            QVERIFY2(ini.error().contains(f), qPrintable(ini.error()));
        if (unreadable)
            QFile::setPermissions(f, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (!makeFolder && QFileInfo::exists(f))
            QCOMPARE(readFile(f), content.isNull() ? QByteArray() : content);
    }

    void configurationThatIsAFifoIsAnErrorNotAHang()
    {
        QTemporaryDir dir;
        const QString f = dir.filePath("q.ini");
        QVERIFY(::mkfifo(QFile::encodeName(f).constData(), 0644) == 0);
        IniFile ini(f);
        QString value;
        std::atomic<bool> done = false;
        std::thread reader([&] {
            value = ini.readString("DATABASE", "PATH", "cur");
            done = true;
        });
        // On the way out, whatever happened: a writer frees a reader blocked in open().
        auto release = qScopeGuard([&] {
            const int fd = ::open(QFile::encodeName(f).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            reader.join();
        });
        QTRY_VERIFY(done);
        QCOMPARE(value, QStringLiteral("cur"));
        QVERIFY2(ini.error().contains(f), qPrintable(ini.error()));
        QVERIFY(!ini.writeString("DATABASE", "PATH", "/x"));
        QVERIFY(QFileInfo(f).isFile() == false); // still the FIFO, not replaced by a file
    }

    void writingKeepsOtherLinesAndReplacesTheKey()
    {
        QTemporaryDir dir;
        const QString f = dir.filePath("q.ini");
        QVERIFY(writeFile(f, "[Other]\nA=1\n[DATABASE]\nPATH=/old\nX=keep\n"));
        IniFile ini(f);
        QVERIFY(ini.writeString("DATABASE", "PATH", "/new/"));
        QVERIFY(ini.writeString("DATABASE", "FILENAME", "b.mdb"));
        QCOMPARE(ini.readString("DATABASE", "PATH", ""), QStringLiteral("/new/"));
        QCOMPARE(ini.readString("DATABASE", "FILENAME", ""), QStringLiteral("b.mdb"));
        QCOMPARE(ini.readString("DATABASE", "X", ""), QStringLiteral("keep"));
        QCOMPARE(ini.readString("Other", "A", ""), QStringLiteral("1"));

        const QString g = dir.filePath("new.ini");
        IniFile fresh(g);
        QVERIFY(fresh.writeString("DATABASE", "PATH", "/p"));
        QCOMPARE(fresh.readString("DATABASE", "PATH", ""), QStringLiteral("/p"));
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "test_configuration.moc"
