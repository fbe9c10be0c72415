#include "core/versiontools.h"
#include "intake/jpegconv.h"
#include "store/connection.h"
#include "store/query.h"
#include "store/schema.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace samples;
using testsupport::writeFile;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// A copy of quillomar-cli in a folder of its own, so that its thumbnails land there, with
// the default catalogue beside it and a folder of real pictures.
struct ThumbsFixture {
    QTemporaryDir program;
    QTemporaryDir pictures;
    QString cli;
    QString catalogue;

    ThumbsFixture()
    {
        cli = program.filePath("quillomar-cli");
        QFile::copy(testsupport::binDir() + "/quillomar-cli", cli);
        QFile::setPermissions(cli, QFile::permissions(cli) | QFile::ExeOwner);
        catalogue = program.filePath("quillomar.mdb");
        Schema::createCatalogue(catalogue, compiledVersion());
    }

    QString file(const QString &name) const { return pictures.filePath(name); }
    QString thumbnail(qint64 id) const
    {
        return program.filePath(QStringLiteral("thumbs/%1.jpg").arg(id, 8, 10, QLatin1Char('0')));
    }

    qint64 exec(const QString &sql, const QVariantMap &params = {}) const
    {
        Connection c;
        c.openFile(catalogue);
        Command cmd(c);
        cmd.setSql(sql);
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            cmd.setParam(it.key(), it.value());
        cmd.execute();
        Query q(c);
        q.setSql("SELECT last_insert_rowid() AS Id");
        q.open();
        const qint64 id = q.asInt("Id");
        q.close();
        c.close();
        return id;
    }

    qint64 picture(
        const QString &name, const QString &type, const QByteArray &bytes, bool review = true)
    {
        if (!bytes.isNull())
            writeFile(file(name), bytes);
        return exec("INSERT INTO Pictures (Name, FileName, FullPath, FileType, ColorType, Review) "
                    "VALUES (:N, :N2, :P, :T, 4, :R)",
            { { "N", name }, { "N2", name }, { "P", pictures.path() + "/" }, { "T", type },
                { "R", review ? 1 : 0 } });
    }

    QVariant stored(qint64 id, const QString &column) const
    {
        Connection c;
        c.openFile(catalogue);
        Query q(c);
        q.setSql(QStringLiteral("SELECT %1 AS V FROM Pictures WHERE RecId = :ID").arg(column));
        q.setParam("ID", id);
        q.open();
        const QVariant v = q.value("V");
        q.close();
        c.close();
        return v;
    }

    Run run(const QStringList &args) const
    {
        QProcess p;
        p.start(cli, args);
        Run r;
        if (!p.waitForFinished(120000))
            return r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    // Standard error on a terminal, standard output on a pipe; what each received.
    QPair<QByteArray, QByteArray> runOnTerminal(const QStringList &args) const
    {
        int master = -1;
        int slave = -1;
        int outPipe[2];
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || ::pipe(outPipe) != 0)
            return {};
        const QByteArray program = QFile::encodeName(cli);
        QList<QByteArray> bytes;
        for (const QString &a : args)
            bytes << a.toUtf8();
        std::vector<char *> argv { const_cast<char *>(program.constData()) };
        for (QByteArray &a : bytes)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(outPipe[1], 1);
            ::dup2(slave, 2);
            ::close(master);
            ::execv(program.constData(), argv.data());
            ::_exit(127);
        }
        ::close(slave);
        ::close(outPipe[1]);
        QByteArray terminal;
        QByteArray out;
        bool terminalOpen = true;
        bool outOpen = true;
        while (terminalOpen || outOpen) {
            pollfd fds[2] = { { terminalOpen ? master : -1, POLLIN, 0 },
                { outOpen ? outPipe[0] : -1, POLLIN, 0 } };
            if (::poll(fds, 2, 60000) <= 0)
                break;
            char buffer[4096];
            if (fds[0].revents) {
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0)
                    terminal.append(buffer, n);
                else
                    terminalOpen = false;
            }
            if (fds[1].revents) {
                const ssize_t n = ::read(outPipe[0], buffer, sizeof buffer);
                if (n > 0)
                    out.append(buffer, n);
                else
                    outOpen = false;
            }
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(master);
        ::close(outPipe[0]);
        return { terminal, out };
    }
};

QString summary(
    int review, int measured, int thumbnailed, int fits, int ignored, int missing, int failed)
{
    return QStringLiteral("Imagens a revisar: %1\nMedidas: %2\nMiniaturas gravadas: %3\n"
                          "Sem miniatura (até 135 pixels): %4\nIgnoradas (GIF, PNG ou formato não "
                          "suportado): %5\nArquivos ausentes: %6\nFalhas: %7\n")
        .arg(review)
        .arg(measured)
        .arg(thumbnailed)
        .arg(fits)
        .arg(ignored)
        .arg(missing)
        .arg(failed);
}

} // namespace

class TestThumbsCli : public QObject {
    Q_OBJECT
private slots:
    void thumbsDoesWhatTheFirstShowingDoes()
    {
        ThumbsFixture f;
        const qint64 photo = f.picture("foto.jpg", "jpg", jpeg(2000, 1500));
        const qint64 board = f.picture("quadro.bmp", "bmp", bmp(1000, 750, 8));
        const qint64 small = f.picture("pequena.jpg", "jpg", jpeg(100, 80));
        const qint64 gif = f.picture("anima.gif", "gif", samples::gif(300, 200, { qRgb(1, 2, 3) }));
        const qint64 tif = f.picture("scan.tif", "tif", encoded(gradient(300, 200), "tiff"));
        const qint64 gone = f.picture("sumiu.jpg", "jpg", QByteArray());
        const qint64 text = f.picture("texto.jpg", "jpg", QByteArray("not a picture"));
        const qint64 bomb = f.picture("bomba.bmp", "bmp", bombBmp());
        const qint64 strip = f.picture("faixa.jpg", "jpg", jpeg(27000, 100));
        const qint64 done = f.picture("feita.jpg", "jpg", jpeg(2000, 1500), false);

        const Run r = f.run({ "thumbs", "--jobs", "2" });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, summary(9, 3, 2, 1, 2, 1, 3));
        // Each failure with its path and the error's text; no progress line off a terminal.
        const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.contains(f.file("faixa.jpg") + ": Invalid Height"));
        QVERIFY(lines.contains(
            f.file("bomba.bmp") + ": The file holds less pixel data than its header declares"));
        QVERIFY(std::any_of(lines.begin(), lines.end(), [&](const QString &l) {
            return l.startsWith(f.file("texto.jpg") + ": ")
                && l.size() > f.file("texto.jpg").size() + 2;
        }));

        QCOMPARE(f.stored(photo, "ColorType").toInt(), 3);
        QCOMPARE(f.stored(photo, "Width").toInt(), 2000);
        QCOMPARE(f.stored(photo, "Height").toInt(), 1500);
        QCOMPARE(f.stored(photo, "Review").toInt(), 0);
        QCOMPARE(f.stored(board, "ColorType").toInt(), 15);
        QCOMPARE(f.stored(board, "Review").toInt(), 0);
        for (qint64 id : { small, gif, tif, gone, text, bomb, strip }) {
            QCOMPARE(f.stored(id, "Review").toInt(), 1);
            QVERIFY(f.stored(id, "Width").isNull());
            QCOMPARE(f.stored(id, "ColorType").toInt(), 4);
        }
        QVERIFY(f.stored(done, "Width").isNull());

        // The thumbnails are the writer's: the same bytes ConvertJPEGFile writes.
        QCOMPARE(QImageReader(f.thumbnail(photo)).size(), QSize(135, 101));
        QCOMPARE(QImageReader(f.thumbnail(board)).size(), QSize(135, 101));
        const QString reference = f.program.filePath("reference.jpg");
        ConvertJPEGFile(f.file("foto.jpg"), reference, 135, 101, qRgb(255, 255, 255));
        QCOMPARE(testsupport::readFile(f.thumbnail(photo)), testsupport::readFile(reference));
        QCOMPARE(QDir(f.program.filePath("thumbs")).entryList(QDir::Files | QDir::Hidden),
            (QStringList { QFileInfo(f.thumbnail(photo)).fileName(),
                QFileInfo(f.thumbnail(board)).fileName() }));

        // What failed or fits the view is still to review; the rest is not measured again.
        const Run again = f.run({ "thumbs" });
        QCOMPARE(again.exitCode, 1);
        QCOMPARE(again.out, summary(7, 1, 0, 1, 2, 1, 3));
    }

    void progressLineOnlyOnATerminal()
    {
        ThumbsFixture f;
        for (int i = 0; i < 3; ++i)
            f.picture(QStringLiteral("foto%1.jpg").arg(i), "jpg", jpeg(400, 300));
        const auto [terminal, out] = f.runOnTerminal({ "thumbs", "--jobs", "1" });
        QVERIFY(terminal.contains("\rMiniaturas: 3 de 3 imagens"));
        QCOMPARE(QString::fromUtf8(out), summary(3, 3, 3, 0, 0, 0, 0));
        QVERIFY(!out.contains("Miniaturas:"));

        const Run nothing = f.run({ "thumbs" });
        QCOMPARE(nothing.exitCode, 0);
        QCOMPARE(nothing.out, summary(0, 0, 0, 0, 0, 0, 0));
        QCOMPARE(nothing.err, QString());
    }

    void usageErrors()
    {
        ThumbsFixture f;
        for (const QStringList &args :
            { QStringList { "thumbs", "--jobs", "0" }, QStringList { "thumbs", "--jobs" },
                QStringList { "thumbs", "--jobs=muitos" }, QStringList { "thumbs", "pasta" } }) {
            const Run r = f.run(args);
            QCOMPARE(r.exitCode, 2);
            QVERIFY(r.err.contains("Uso: quillomar-cli [--catalogue ARQUIVO] thumbs [--jobs N]"));
            QCOMPARE(r.out, QString());
        }
        const Run noCatalogue = f.run({ "--catalogue", f.program.filePath("none.mdb"), "thumbs" });
        QCOMPARE(noCatalogue.exitCode, 1);
        QVERIFY(noCatalogue.err.contains("Banco de dados não conectado."));
    }
};

QTEST_MAIN(TestThumbsCli)
#include "test_thumbs_cli.moc"
