#include "core/versiontools.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

namespace {
QByteArray fixedInfo(uint32_t ms, uint32_t ls)
{
    QByteArray b;
    auto put = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xFF));
    };
    put(0xFEEF04BDu);
    put(0x00010000u);
    put(ms);
    put(ls);
    put(ms);
    put(ls);
    return b;
}

// Builds the version value the way the system reports it: major in the low byte, minor
// in the next, the build in bits 16-30 and bit 31 for the 95/98/Me family.
uint32_t version(uint32_t major, uint32_t minor, uint32_t build, bool family9x)
{
    return major | (minor << 8) | ((build & 0x7FFF) << 16) | (family9x ? 0x80000000u : 0);
}
} // namespace

class TestVersionTools : public QObject {
    Q_OBJECT
private slots:
    void compareVersionsPadsComponentsToCompareByValue_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QString>("result");
        QTest::newRow("equal") << "1.0.0.9"
                               << "1.0.0.9"
                               << "EQ";
        QTest::newRow("last lower") << "1.0.0.1"
                                    << "1.0.0.2"
                                    << "LT";
        QTest::newRow("empty is lower than every release") << ""
                                                           << "1.0.0.2"
                                                           << "LT";
        QTest::newRow("empty against empty") << ""
                                             << ""
                                             << "EQ";
        QTest::newRow("fourth by value") << "1.0.0.10"
                                         << "1.0.0.9"
                                         << "GT";
        QTest::newRow("fourth by value reversed") << "1.0.0.9"
                                                  << "1.0.0.10"
                                                  << "LT";
        QTest::newRow("first by value") << "10.0.0.0"
                                        << "9.0.0.0"
                                        << "GT";
        QTest::newRow("second by value") << "1.9.0.0"
                                         << "1.10.0.0"
                                         << "LT";
        QTest::newRow("third by value") << "1.0.12.0"
                                        << "1.0.3.0"
                                        << "GT";
        QTest::newRow("leading zeros are equal") << "1.0.0.09"
                                                 << "1.0.0.9"
                                                 << "EQ";
        QTest::newRow("newer release") << "1.0.1.0"
                                       << "1.0.0.9"
                                       << "GT";
        QTest::newRow("older catalogue") << "1.0.0.2"
                                         << "1.0.0.9"
                                         << "LT";
        QTest::newRow("all wide") << "12.34.56.78"
                                  << "12.34.56.9"
                                  << "GT";
        // Padding runs on the missing fourth component too, so the digits meet a dot.
        QTest::newRow("three components against four") << "1.0.0"
                                                       << "1.0.0.0"
                                                       << "GT";
        QTest::newRow("no dots moves the digits to the end") << "5"
                                                             << "1.0.0.2"
                                                             << "LT";
    }
    void compareVersionsPadsComponentsToCompareByValue()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(QString, result);
        QCOMPARE(CompareVersions(a, b), result);
    }

    void compareVersionsIsAntisymmetricOnDottedNumbers()
    {
        const QStringList v = { "1.0.0.2", "1.0.0.9", "1.0.0.10", "1.2.0.0", "1.10.3.4", "2.0.0.0",
            "0.99.99.99", "10.0.0.1" };
        for (const QString &a : v) {
            for (const QString &b : v) {
                const QString ab = CompareVersions(a, b);
                const QString ba = CompareVersions(b, a);
                if (ab == QLatin1String("EQ"))
                    QCOMPARE(ba, QStringLiteral("EQ"));
                else
                    QCOMPARE(ba,
                        ab == QLatin1String("LT") ? QStringLiteral("GT") : QStringLiteral("LT"));
            }
        }
    }

    void windowsVersionNameFollowsTheTable_data()
    {
        QTest::addColumn<uint>("value");
        QTest::addColumn<QString>("name");
        QTest::newRow("NT 4") << version(4, 0, 1381, false) << "Windows® NT 4";
        QTest::newRow("2000") << version(5, 0, 2195, false) << "Windows® 2000";
        QTest::newRow("XP") << version(5, 1, 2600, false) << "Windows® XP";
        QTest::newRow("Vista is not named") << version(6, 0, 6000, false) << "";
        QTest::newRow("NT 5.2 is not named") << version(5, 2, 3790, false) << "";
        QTest::newRow("16-bit host") << version(3, 95, 0, true) << "Windows® NT 3.51";
        QTest::newRow("95") << version(4, 0, 950, true) << "Windows® 95";
        QTest::newRow("95 SP1") << version(4, 0, 1080, true) << "Windows® 95 SP1";
        QTest::newRow("95 SP1 low build") << version(4, 0, 100, true) << "Windows® 95 SP1";
        QTest::newRow("95 OSR2") << version(4, 0, 1111, true) << "Windows® 95 OSR2";
        QTest::newRow("4.3 OSR2") << version(4, 3, 1212, true) << "Windows® 95 OSR2";
        QTest::newRow("4.3 low build") << version(4, 3, 1000, true) << "";
        QTest::newRow("98") << version(4, 10, 1998, true) << "Windows® 98";
        QTest::newRow("98 SP1") << version(4, 10, 2000, true) << "Windows® 98 SP1";
        QTest::newRow("98 SE") << version(4, 10, 2222, true) << "Windows® 98 SE";
        QTest::newRow("98 SE boundary") << version(4, 10, 2183, true) << "Windows® 98 SE";
        QTest::newRow("Me") << version(4, 90, 3000, true) << "Windows® Me";
        QTest::newRow("4.90 low build") << version(4, 90, 2999, true) << "";
        QTest::newRow("5.0 in the 9x family") << version(5, 0, 0, true) << "";
    }
    void windowsVersionNameFollowsTheTable()
    {
        QFETCH(uint, value);
        QFETCH(QString, name);
        QCOMPARE(windowsVersionName(value), name);
    }

    void registeredSignIsOneCharacter()
    {
        const QString name = windowsVersionName(version(5, 1, 0, false));
        QCOMPARE(name.size(), 11);
        QCOMPARE(name.at(7), QChar(0x00AE));
    }

    void systemNameComesFromPrettyName()
    {
        QTemporaryDir dir;
        const QString f = dir.filePath("os-release");
        QVERIFY(testsupport::writeFile(f,
            "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 "
            "(bookworm)\"\nID=debian\n"));
        QCOMPARE(systemNameFromOsRelease(f), QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
        QVERIFY(testsupport::writeFile(f, "PRETTY_NAME=Plain\n"));
        QCOMPARE(systemNameFromOsRelease(f), QStringLiteral("Plain"));
        QVERIFY(testsupport::writeFile(f, "NAME=x\n"));
        QCOMPARE(systemNameFromOsRelease(f), QString());
        QCOMPARE(systemNameFromOsRelease(dir.filePath("missing")), QString());
    }

    void fileVersionReadsTheFixedVersionRecord()
    {
        QCOMPARE(compiledVersion(), QStringLiteral("1.0.0.9"));
        // This test program carries the program's record, like the program file does.
        QCOMPARE(
            GetFileVersion(QCoreApplication::applicationFilePath()), QStringLiteral("1.0.0.9"));

        QTemporaryDir dir;
        // A copy is another program file: its record is read from the file, whatever the
        // build did with the constants the reader uses.
        const QString copy = dir.filePath("copia");
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QCOMPARE(GetFileVersion(copy), QStringLiteral("1.0.0.9"));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fila")).constData(), 0644) == 0);
        QCOMPARE(GetFileVersion(dir.filePath("fila")), QString());

        const QString f = dir.filePath("other.exe");
        QByteArray bytes(1000, 'x');
        bytes += fixedInfo((2u << 16) | 13u, (65535u << 16) | 0u);
        bytes += QByteArray(50, '\0');
        QVERIFY(testsupport::writeFile(f, bytes));
        QCOMPARE(GetFileVersion(f), QStringLiteral("2.13.65535.0"));

        QVERIFY(testsupport::writeFile(f, QByteArray(4096, 'y')));
        QCOMPARE(GetFileVersion(f), QString());
        QCOMPARE(GetFileVersion(dir.filePath("missing")), QString());
        // A record cut short by the end of the file is not read.
        QVERIFY(testsupport::writeFile(f, QByteArray(10, 'z') + fixedInfo(1, 2).left(12)));
        QCOMPARE(GetFileVersion(f), QString());
    }
};

QTEST_GUILESS_MAIN(TestVersionTools)
#include "test_versiontools.moc"
