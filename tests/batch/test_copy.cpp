#include "batch/copytofolder.h"
#include "batch/eventlog.h"
#include "batchfixture.h"
#include "support/unwritable.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

struct Cli {
    int code = -1;
    QString out;
    QString err;
};

Cli cli(const QString &catalogue, const QStringList &args, const QByteArray &input = {},
    rlim_t fileSizeLimit = RLIM_INFINITY, bool closeInput = true)
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
    p.waitForBytesWritten(60000);
    if (closeInput)
        p.closeWriteChannel();
    // A command that waits for good is a failure of its own, not the end of the suite.
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(60000);
        return { -2, QString(), QStringLiteral("quillomar-cli did not end") };
    }
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

// Waits until a hidden temporary is created in folder; its name, or empty when none came.
QString awaitTemporary(int inotify)
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        pollfd ready { inotify, POLLIN, 0 };
        if (::poll(&ready, 1, 60000) <= 0)
            return QString();
        const ssize_t n = ::read(inotify, buffer, sizeof buffer);
        if (n <= 0)
            return QString();
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            const QString name = QFile::decodeName(event->len ? event->name : "");
            if (name.startsWith('.') && name.endsWith(".tmp"))
                return name;
            at += qsizetype(sizeof(inotify_event)) + event->len;
        }
    }
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
        c.close();
        QCOMPARE(f.catalog.integrity(), QStringLiteral("ok"));
    }

    void copyNeverWritesOutsideTheChosenFolder()
    {
        // Names only a damaged or hostile catalogue holds: each is refused and logged, in the
        // window's run and in the command's, and nothing is written outside the folder.
        BatchFixture f;
        const QByteArray bytes = sampleBytes(1000, 'p');
        const QString src = f.catalog.folder.file("fotos");
        const QString dest = f.catalog.folder.file("cd/dentro");
        const QString outside = f.catalog.folder.file("cd/fora");
        QDir().mkpath(dest);
        QDir().mkpath(outside);
        QDir().mkpath(src + "/sub");
        QDir().mkpath(f.catalog.folder.file("fora"));
        // "../fora/plantado.jpg" names a file beside the source folder, and one beside the
        // destination folder that belongs to someone else.
        testsupport::writeFile(outside + "/plantado.jpg", "do dono");
        testsupport::writeFile(f.catalog.folder.file("fora/plantado.jpg"), "plantado");
        QVERIFY(testsupport::writeFile(src + "/sub/x.jpg", bytes));
        const qint64 up = f.picture(src, "../fora/plantado.jpg");
        const qint64 sub = f.picture(src, "sub/x.jpg");
        const qint64 dots = f.picture(src + "/sub", "..");
        const qint64 dot = f.picture(src, ".");
        const qint64 ok = f.picture(src, "bom.jpg", &bytes);
        const PictureKeys keys { up, sub, dots, dot, ok };

        EventLog log;
        NullProgress progress;
        QVERIFY(!CopyToFolder(f.store, keys, dest, log, f.prompter, progress));
        QCOMPARE(log.lines().size(), 4);
        QVERIFY2(log.lines().constFirst().contains("não é um nome de arquivo"),
            qPrintable(log.lines().join('|')));
        QCOMPARE(f.prompter.boxTexts(), log.lines());
        QCOMPARE(entries(dest), QStringList { "bom.jpg" });
        QCOMPARE(entries(outside), QStringList { "plantado.jpg" });
        QCOMPARE(testsupport::readFile(outside + "/plantado.jpg"), QByteArray("do dono"));
        QCOMPARE(entries(f.catalog.folder.file("cd")), QStringList());

        QFile::remove(dest + "/bom.jpg");
        Cli r = cli(f.catalog.path, { "copy", dest, key(up), key(sub), key(dots), key(ok), "-" },
            (key(dot) + "\n").toUtf8());
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err.count("não é um nome de arquivo"), 4);
        QCOMPARE(entries(dest), QStringList { "bom.jpg" });
        QCOMPARE(testsupport::readFile(outside + "/plantado.jpg"), QByteArray("do dono"));
        QCOMPARE(entries(src + "/sub"), QStringList { "x.jpg" });
    }

    void copyTakesRegularFilesOnlyAndNeverWaitsOnOne()
    {
        BatchFixture f;
        const QString src = f.catalog.folder.file("fotos");
        QDir().mkpath(src);
        const QString dest = f.catalog.folder.file("cd");
        QDir().mkpath(dest);
        // A picture's file replaced by a FIFO nobody writes to, by a link to an endless device,
        // by a folder.
        QCOMPARE(::mkfifo(QFile::encodeName(src + "/fila.jpg").constData(), 0644), 0);
        QVERIFY(QFile::link("/dev/zero", src + "/zero.jpg"));
        QVERIFY(QDir().mkpath(src + "/pasta.jpg"));
        const qint64 fifo = f.picture(src, "fila.jpg");
        const qint64 zero = f.picture(src, "zero.jpg");
        const qint64 folder = f.picture(src, "pasta.jpg");
        const QByteArray good = sampleBytes(2000, 'g');
        const qint64 ok = f.picture(src, "bom.jpg", &good);

        const Cli r = cli(f.catalog.path,
            { "copy", dest, key(fifo), key(zero), key(folder), key(ok) }, {}, 10 << 20);
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines.at(0).contains(src + "/fila.jpg")
                && lines.at(0).contains("não é um arquivo comum"),
            qPrintable(r.err));
        QVERIFY2(lines.at(1).contains(src + "/zero.jpg")
                && lines.at(1).contains("não é um arquivo comum"),
            qPrintable(r.err));
        QVERIFY2(lines.at(2).contains(src + "/pasta.jpg"), qPrintable(r.err));
        QCOMPARE(entries(dest), QStringList { "bom.jpg" });
        QCOMPARE(testsupport::readFile(dest + "/bom.jpg"), good);
    }

    void anInterruptedCopyLeavesNoTemporary()
    {
        BatchFixture f;
        const QString src = f.catalog.folder.file("fotos");
        QDir().mkpath(src);
        // Large enough that the copy is still under way when the signal comes.
        QFile huge(src + "/enorme.jpg");
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(8) << 30));
        huge.close();
        const qint64 big = f.picture(src, "enorme.jpg");
        const QByteArray small = sampleBytes(3000, 's');
        const qint64 ok = f.picture(src, "pequena.jpg", &small);
        const QString dest = f.catalog.folder.file("cd");
        QDir().mkpath(dest);
        testsupport::writeFile(dest + "/enorme.jpg", "anterior");

        for (const int sig : { SIGINT, SIGTERM, SIGHUP, SIGKILL }) {
            const int watch = ::inotify_init1(IN_CLOEXEC);
            QVERIFY(watch >= 0);
            QVERIFY(
                ::inotify_add_watch(watch, QFile::encodeName(dest).constData(), IN_CREATE) >= 0);
            QProcess p;
            p.start(testsupport::binDir() + "/quillomar-cli",
                { "--catalogue", f.catalog.path, "copy", dest, key(big) });
            QVERIFY(p.waitForStarted());
            const QString temporary = awaitTemporary(watch);
            ::close(watch);
            QVERIFY2(!temporary.isEmpty(), "no temporary was made");
            ::kill(pid_t(p.processId()), sig);
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitStatus(), QProcess::CrashExit);
            QCOMPARE(testsupport::readFile(dest + "/enorme.jpg"), QByteArray("anterior"));
            if (sig != SIGKILL) {
                QCOMPARE(entries(dest), QStringList { "enorme.jpg" });
                continue;
            }
            // Nothing runs on SIGKILL: the next copy into the folder removes what was left.
            QCOMPARE(entries(dest), QStringList({ temporary, "enorme.jpg" }));
            const Cli r = cli(f.catalog.path, { "copy", dest, key(ok) });
            QCOMPARE(r.code, 0);
            QCOMPARE(entries(dest), QStringList({ "enorme.jpg", "pequena.jpg" }));
        }
    }

    void keysFromStandardInputAreCheckedAsTheyCome()
    {
        BatchFixture f;
        const QByteArray a = sampleBytes(1000, 'a');
        const qint64 ka = f.picture(f.catalog.folder.file("fotos"), "a.jpg", &a);
        const QString dest = f.catalog.folder.file("cd");
        QDir().mkpath(dest);

        // The first bad line ends the reading, though the input goes on: nothing is done.
        Cli r = cli(f.catalog.path, { "copy", dest, "-" }, (key(ka) + "\n7x\n").toUtf8(),
            RLIM_INFINITY, false);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.startsWith("copy: chave inválida: \"7x\"\n"), qPrintable(r.err));
        QVERIFY(entries(dest).isEmpty());
        // A line that never ends is refused at its cap, not read to the end.
        r = cli(f.catalog.path, { "copy", dest, "-" }, QByteArray(5000, '1'), RLIM_INFINITY, false);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.startsWith("copy: a linha 1 da entrada padrão passa de 1024 caracteres\n"),
            qPrintable(r.err));
        QProcess zero;
        zero.setStandardInputFile("/dev/zero");
        zero.start(testsupport::binDir() + "/quillomar-cli",
            { "--catalogue", f.catalog.path, "move", "--collection", "1", "--category", "1", "-" });
        QVERIFY(zero.waitForFinished(60000));
        QCOMPARE(zero.exitCode(), 2);
        // A key line with control characters is named with them escaped.
        r = cli(f.catalog.path, { "copy", dest, "-" }, "\x1b[2J\n");
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.startsWith("copy: chave inválida: \"\\x1b[2J\"\n"), qPrintable(r.err));
        // Blank lines and blanks around keys are still taken.
        r = cli(f.catalog.path, { "copy", dest, "-" }, ("\n  " + key(ka) + " \r\n\n").toUtf8());
        QCOMPARE(r.code, 0);
        QCOMPARE(entries(dest), QStringList { "a.jpg" });
    }

    void keysOfNoPictureAreNamedAndTheOthersStillDone()
    {
        BatchFixture f;
        const QByteArray a = sampleBytes(1000, 'a'), b = sampleBytes(1500, 'b');
        const QString src = f.catalog.folder.file("fotos");
        const qint64 ka = f.picture(src, "a.jpg", &a);
        const qint64 kb = f.picture(src, "b.jpg", &b);
        const QString dest = f.catalog.folder.file("cd");
        QDir().mkpath(dest);

        Cli r = cli(f.catalog.path, { "copy", dest, key(ka), "99", key(kb), "4294967298", "99" });
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err,
            QStringLiteral(
                "Não há imagem com a chave 99.\nNão há imagem com a chave 4294967298.\n"));
        QCOMPARE(entries(dest), QStringList({ "a.jpg", "b.jpg" }));

        const qint64 other = f.catalog.collection("Viagens");
        const qint64 beach = f.catalog.category(other, "Praias");
        r = cli(f.catalog.path,
            { "move", "--collection", key(other), "--category", key(beach), key(ka), "-" }, "77\n");
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, QStringLiteral("Não há imagem com a chave 77.\n"));
        Connection c;
        c.openFile(f.catalog.path);
        Query q(c);
        q.setSql("SELECT RecId FROM Pictures WHERE Category = :K ORDER BY RecId");
        q.setParam("K", beach);
        q.open();
        QCOMPARE(q.asInt("RecId"), ka);
        q.next();
        QVERIFY(q.eof());
        q.close();

        // The window's runs keep their outcome: keys of no row are no failure there.
        EventLog log;
        NullProgress progress;
        QVERIFY(CopyToFolder(f.store, { kb, 99 }, dest, log, f.prompter, progress));
        QVERIFY(log.lines().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCopy)
#include "test_copy.moc"
