#include "batch/copytofolder.h"
#include "batch/eventlog.h"
#include "batchfixture.h"
#include "support/unwritable.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#include <utime.h>

namespace {

struct Cli {
    int code = -1;
    QString out;
    QString err;
};

Cli cli(const QString &catalogue, const QStringList &args, const QByteArray &input = {},
    rlim_t fileSizeLimit = RLIM_INFINITY)
{
    QProcess p;
    if (fileSizeLimit != RLIM_INFINITY) {
        p.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit l { fileSizeLimit, fileSizeLimit };
            setrlimit(RLIMIT_FSIZE, &l);
        });
    }
    p.start(
        testsupport::binDir() + "/quillomar-cli", QStringList { "--catalogue", catalogue } + args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        qFatal("quillomar-cli did not end");
    return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
        QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError()) };
}

void setTime(const QString &path, qint64 seconds)
{
    const utimbuf t { time_t(seconds), time_t(seconds) };
    utime(QFile::encodeName(path).constData(), &t);
}

qint64 mtime(const QString &path)
{
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

// Names in a folder, hidden ones too: a temporary left behind would show here.
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QString key(qint64 k)
{
    return QString::number(k);
}

} // namespace

class TestCopy : public QObject {
    Q_OBJECT
private slots:
    void copyReplacesKeepsTimesAndLogsOnlyTheMissingFile()
    {
        BatchFixture f;
        const QByteArray a = sampleBytes(300000, 'a'), b = sampleBytes(2000, 'b'),
                         c = sampleBytes(3000, 'c');
        const QString src1 = f.catalog.folder.file("um"), src2 = f.catalog.folder.file("dois/");
        const qint64 ka = f.picture(src1, "praia.jpg", &a);
        const qint64 kb = f.picture(src1, "mar.jpg", &b);
        // Same file name in another folder: the later row of the query wins.
        const qint64 kc = f.picture(src2, "mar.jpg", &c);
        setTime(src1 + "/praia.jpg", 1262304000);
        const QString dest = f.catalog.folder.file("cd");
        QDir().mkpath(dest);
        testsupport::writeFile(dest + "/praia.jpg", "old");

        EventLog log;
        log.AddLogLine("linha de uma remessa anterior");
        NullProgress progress;
        QVERIFY(CopyToFolder(f.store, { kc, ka, kb }, dest + "/", log, f.prompter, progress));
        QVERIFY(log.lines().isEmpty());
        QCOMPARE(testsupport::readFile(dest + "/praia.jpg"), a);
        QCOMPARE(mtime(dest + "/praia.jpg"), qint64(1262304000));
        QCOMPARE(testsupport::readFile(dest + "/mar.jpg"), c);
        QCOMPARE(entries(dest), QStringList({ "mar.jpg", "praia.jpg" }));
        QVERIFY(f.prompter.boxTexts().isEmpty());

        // One missing file among several: the others still copied, one log line, no box.
        QFile::remove(src1 + "/mar.jpg");
        QDir(dest).removeRecursively();
        QDir().mkpath(dest);
        QVERIFY(!CopyToFolder(f.store, { ka, kb, kc }, dest, log, f.prompter, progress));
        QCOMPARE(log.lines(), QStringList { src1 + "/mar.jpg não encontrado!" });
        QCOMPARE(entries(dest), QStringList({ "mar.jpg", "praia.jpg" }));
        QVERIFY(f.prompter.boxTexts().isEmpty());

        // Keys of no row: nothing to do, and that is a success.
        QVERIFY(CopyToFolder(f.store, { 9999 }, dest, log, f.prompter, progress));
        QVERIFY(log.lines().isEmpty());
    }

    void copyNeverHarmsTheSourceOrAnOlderFile()
    {
        BatchFixture f;
        const QByteArray big = sampleBytes(200000, 'g');
        const QString src = f.catalog.folder.file("fotos");
        const qint64 k = f.picture(src, "grande.jpg", &big);
        NullProgress progress;
        EventLog log;

        // The picture's own folder, and the same folder through a link: the file stays whole.
        QVERIFY(QFile::link(src, f.catalog.folder.file("atalho")));
        for (const QString &folder : { src, f.catalog.folder.file("atalho") }) {
            f.prompter.clear();
            QVERIFY(!CopyToFolder(f.store, { k }, folder, log, f.prompter, progress));
            QCOMPARE(log.lines().size(), 1);
            QCOMPARE(f.prompter.boxTexts(), log.lines());
            QCOMPARE(testsupport::readFile(src + "/grande.jpg"), big);
            QCOMPARE(entries(src), QStringList { "grande.jpg" });
        }

        // A medium that fills half way: the older file of that name stays, nothing is left.
        const QString dest = f.catalog.folder.file("cheio");
        QDir().mkpath(dest);
        testsupport::writeFile(dest + "/grande.jpg", "older");
        f.prompter.clear();
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit before {};
        getrlimit(RLIMIT_FSIZE, &before);
        const rlimit small { 100000, before.rlim_max };
        setrlimit(RLIMIT_FSIZE, &small);
        const bool copied = CopyToFolder(f.store, { k }, dest, log, f.prompter, progress);
        setrlimit(RLIMIT_FSIZE, &before);
        QVERIFY(!copied);
        QCOMPARE(log.lines().size(), 1);
        QVERIFY2(log.lines().constFirst().contains("grande.jpg"), qPrintable(log.lines().join("")));
        QCOMPARE(f.prompter.boxTexts(), log.lines());
        QCOMPARE(testsupport::readFile(dest + "/grande.jpg"), QByteArray("older"));
        QCOMPARE(entries(dest), QStringList { "grande.jpg" });

        // A folder that cannot be written (immutable, since the suite may run as root).
        const QString locked = f.catalog.folder.file("trancada");
        QDir().mkpath(locked);
        testsupport::Unwritable unwritable(locked);
        if (!unwritable.effective())
            QSKIP("this file system cannot refuse writes to the superuser");
        f.prompter.clear();
        const bool written = CopyToFolder(f.store, { k }, locked, log, f.prompter, progress);
        unwritable.release();
        QVERIFY(!written);
        QCOMPARE(log.lines().size(), 1);
        QCOMPARE(f.prompter.boxTexts(), log.lines());
        QVERIFY(entries(locked).isEmpty());
    }

    void cliCopyAndMove()
    {
        BatchFixture f;
        const QByteArray a = sampleBytes(4000, 'a'), b = sampleBytes(5000, 'b');
        const QString src = f.catalog.folder.file("fotos");
        const qint64 ka = f.picture(src, "a.jpg", &a);
        const qint64 kb = f.picture(src, "b.jpg", &b);
        const qint64 kc = f.picture(src, "sumiu.jpg");
        const QString dest = f.catalog.folder.file("cd");
        QDir().mkpath(dest);
        const QString db = f.catalog.path;

        // Keys from the arguments and standard input; a key twice is copied once.
        Cli r = cli(db, { "copy", dest, key(ka), "-" }, (key(kb) + "\n" + key(ka) + "\n").toUtf8());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Cópia efetuada!\n"));
        QCOMPARE(r.err, QString());
        QCOMPARE(testsupport::readFile(dest + "/b.jpg"), b);

        r = cli(db, { "copy", dest, key(ka), key(kc) });
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, src + "/sumiu.jpg não encontrado!\n");

        for (const QString &bad : { dest + "/a.jpg", f.catalog.folder.file("nada"), QString() }) {
            r = cli(db, { "copy", bad, key(ka) });
            QCOMPARE(r.code, 1);
            QCOMPARE(r.err, QStringLiteral("Caminho inválido!\n"));
        }
        r = cli(db, { "copy", dest, "-" }, "\n");
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QStringLiteral("Nenhuma imagem marcada!\n"));
        QCOMPARE(cli(db, { "copy", dest, "1;DROP TABLE Pictures" }).code, 2);

        // A full medium: the copy fails, the file already there stays as it was.
        testsupport::writeFile(dest + "/big.jpg", "older");
        const QByteArray big = sampleBytes(300000, 'z');
        const qint64 kbig = f.picture(src, "big.jpg", &big);
        r = cli(db, { "copy", dest, key(kbig) }, {}, 100000);
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("big.jpg"));
        QCOMPARE(testsupport::readFile(dest + "/big.jpg"), QByteArray("older"));
        QCOMPARE(entries(dest), QStringList({ "a.jpg", "b.jpg", "big.jpg" }));

        // move: only a category of the collection, then one UPDATE of the given pictures.
        const qint64 other = f.catalog.collection("Viagens");
        const qint64 beach = f.catalog.category(other, "Praias");
        r = cli(db,
            { "move", "--collection", key(other), "--category", key(f.store.DefaultCategoryId),
                key(ka) });
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QStringLiteral("Categoria inválida!\n"));
        QCOMPARE(
            cli(db, { "move", "--collection", "x", "--category", key(beach), key(ka) }).code, 2);
        QCOMPARE(cli(db, { "move", "--category", key(beach), key(ka) }).code, 2);
        r = cli(db, { "move", "--collection", key(other), "--category", key(beach), key(ka), "-" },
            (key(kc) + "\n" + key(ka) + "\n").toUtf8());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Mudança efetuada!\n"));
        Connection c;
        c.openFile(db);
        Query q(c);
        q.setSql("SELECT RecId, Collection, Category, FileName FROM Pictures ORDER BY RecId");
        q.open();
        QStringList rows;
        for (; !q.eof(); q.next())
            rows << QStringLiteral("%1 %2 %3")
                        .arg(q.asString("FileName"))
                        .arg(q.asInt("Collection") == other)
                        .arg(q.asInt("Category") == beach);
        q.close();
        QCOMPARE(rows, QStringList({ "a.jpg 1 1", "b.jpg 0 0", "sumiu.jpg 1 1", "big.jpg 0 0" }));
        q.setSql("PRAGMA integrity_check");
        q.open();
        QCOMPARE(q.asString("integrity_check"), QStringLiteral("ok"));
        q.close();
    }
};

QTEST_GUILESS_MAIN(TestCopy)
#include "test_copy.moc"
