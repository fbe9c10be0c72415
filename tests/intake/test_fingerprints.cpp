#include "intake/contentfingerprint.h"
#include "intake/perceptualhash.h"
#include "intake/picturefingerprints.h"
#include "store/connection.h"
#include "store/statement.h"
#include "store/transaction.h"
#include "support/catalogfixture.h"
#include "support/testsupport.h"

#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(random.bounded(256));
    return bytes;
}

bool magick(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("convert"), args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The picture as its thumbnail has it: fitted into the thumbnail view, kept as a JPEG.
quint64 thumbnailHash(const QString &path)
{
    const QImage picture(path);
    const QImage fitted = picture.scaled(135, 135, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    fitted.save(&buffer, "JPG", 90);
    quint64 hash = 0;
    perceptualhash::of(QImage::fromData(jpeg), hash);
    return hash;
}

} // namespace

class TestFingerprints : public QObject {
    Q_OBJECT

private slots:
    void aFileHasOneFingerprintHoweverItIsRead()
    {
        QTemporaryDir dir;
        const qint64 sample = ContentFingerprint::kSampleBytes;
        for (const qint64 size :
            { qint64(0), qint64(1), 3 * sample, 3 * sample + 1, qint64(5 << 20) }) {
            const QByteArray bytes = randomBytes(size, quint32(size + 1));
            const QString path = dir.filePath(QString::number(size));
            QVERIFY(testsupport::writeFile(path, bytes));
            const ContentFingerprint whole = ContentFingerprint::ofBytes(bytes);
            QCOMPARE(whole.size, size);
            QCOMPARE(whole.content.size(), 16);
            const std::optional<ContentFingerprint> read = ContentFingerprint::ofFile(path);
            QVERIFY(read);
            QCOMPARE(read->sample, whole.sample);
            QCOMPARE(read->content, whole.content);
            // In uneven pieces, as a decoder reads.
            ContentHasher hasher(size);
            for (qint64 at = 0; at < size;) {
                const qint64 piece = std::min<qint64>(size - at, 1 + (at * 7919) % 100003);
                hasher.add(QByteArrayView(bytes.constData() + at, piece));
                at += piece;
            }
            const ContentFingerprint pieces = hasher.finish();
            QCOMPARE(pieces.sample, whole.sample);
            QCOMPARE(pieces.content, whole.content);
            // Read only in samples: the same sample hash; a small file is read whole anyway.
            const std::optional<ContentFingerprint> sampled = ContentFingerprint::sampledFile(path);
            QVERIFY(sampled);
            QCOMPARE(sampled->sample, whole.sample);
            QCOMPARE(sampled->isWhole(), size <= 3 * sample);
        }
        // Fewer bytes than the size said: no fingerprint.
        ContentHasher short_(10);
        short_.add("abc");
        QVERIFY(!short_.finish().isValid());
    }

    void samplesTellApartWhatTheyCoverAndOnlyTheWholeTheRest()
    {
        const qint64 size = 4 << 20;
        const QByteArray original = randomBytes(size, 7);
        for (const qint64 at : { qint64(10), size / 2, size - 10 }) {
            QByteArray changed = original;
            changed[at] = char(changed[at] ^ 1);
            QVERIFY(ContentFingerprint::ofBytes(changed).sample
                != ContentFingerprint::ofBytes(original).sample);
        }
        // A byte between the samples: only the whole file tells.
        QByteArray between = original;
        between[size / 4] = char(between[size / 4] ^ 1);
        QCOMPARE(ContentFingerprint::ofBytes(between).sample,
            ContentFingerprint::ofBytes(original).sample);
        QVERIFY(ContentFingerprint::ofBytes(between).content
            != ContentFingerprint::ofBytes(original).content);
        // Another size never shares the sample hash, even with the same samples.
        QByteArray longer = original;
        longer.insert(size / 4, 'x');
        QVERIFY(ContentFingerprint::ofBytes(longer).sample
            != ContentFingerprint::ofBytes(original).sample);

        // Nothing comes of what is not a regular file, and nothing waits on a FIFO.
        QTemporaryDir dir;
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
        QVERIFY(!ContentFingerprint::ofFile(dir.filePath("fifo")));
        QVERIFY(!ContentFingerprint::sampledFile(dir.filePath("fifo")));
        QVERIFY(!ContentFingerprint::ofFile(dir.path()));
        QVERIFY(!ContentFingerprint::ofFile(dir.filePath("nada")));
    }

    void resizedAndRecompressedCopiesLookAlikeOtherPhotosDoNot()
    {
        QTemporaryDir dir;
        const auto file = [&](const QString &name) { return dir.filePath(name); };
        // A scene, a photograph of part of it, and that photograph's copies.
        QVERIFY(magick({ "-seed", "7", "-size", "1200x900", "plasma:fractal", "-blur", "0x2",
            file("scene.png") }));
        QVERIFY(magick({ file("scene.png"), "-crop", "1000x750+0+0", "+repage", "-quality", "92",
            file("foto.jpg") }));
        QVERIFY(magick({ file("foto.jpg"), "-resize", "50%", file("menor.jpg") }));
        QVERIFY(magick({ file("foto.jpg"), "-quality", "25", file("recomprimida.jpg") }));
        QVERIFY(magick(
            { file("foto.jpg"), "-resize", "640x480!", "-quality", "60", file("ambas.png") }));
        QVERIFY(magick({ file("foto.jpg"), "-modulate", "110", file("clara.jpg") }));
        // The same scene from a little further along, and another scene.
        QVERIFY(magick({ file("scene.png"), "-crop", "1000x750+60+45", "+repage", "-quality", "92",
            file("ao_lado.jpg") }));
        QVERIFY(magick({ "-seed", "8", "-size", "1000x750", "plasma:fractal", "-blur", "0x2",
            file("outra.jpg") }));

        const quint64 original = thumbnailHash(file("foto.jpg"));
        for (const char *copy : { "menor.jpg", "recomprimida.jpg", "ambas.png", "clara.jpg" }) {
            const int d = perceptualhash::distance(original, thumbnailHash(file(copy)));
            QVERIFY2(d <= 4, qPrintable(QString("%1: %2 bits").arg(copy).arg(d)));
        }
        for (const char *other : { "ao_lado.jpg", "outra.jpg" }) {
            const int d = perceptualhash::distance(original, thumbnailHash(file(other)));
            QVERIFY2(d > 10, qPrintable(QString("%1: %2 bits").arg(other).arg(d)));
        }
        quint64 none = 1;
        QVERIFY(!perceptualhash::of(QImage(), none));
        QCOMPARE(none, quint64(0));
    }

    void fingerprintsLiveInATableOfTheirOwnMadeByTheFirstOne()
    {
        CatalogFixture f;
        const qint64 collection = f.collection("Viagens");
        const qint64 category = f.category(collection, "Roma");
        const qint64 a = f.picture(collection, category, 0, "a");
        const qint64 b = f.picture(collection, category, 0, "b");
        QTemporaryDir dir;
        const QString path = dir.filePath("a.jpg");
        const QByteArray bytes = randomBytes(300000, 3);
        QVERIFY(testsupport::writeFile(path, bytes));

        Connection c;
        c.openFile(f.path);
        QVERIFY(!PictureFingerprints::exists(c));
        QImage look(40, 30, QImage::Format_RGB32);
        look.fill(Qt::darkCyan);
        const QDateTime modified = QDateTime::fromString("2020-01-02T03:04:06", Qt::ISODate);
        // The review read the file whole, or read only part of it and samples it.
        const PictureFingerprints::Entry whole
            = PictureFingerprints::entryOf(a, modified, path, &bytes, look);
        const PictureFingerprints::Entry sampled
            = PictureFingerprints::entryOf(b, modified, path, nullptr, QImage());
        QVERIFY(whole.content.isWhole() && whole.perceptual);
        QVERIFY(!sampled.content.isWhole() && !sampled.perceptual);
        QCOMPARE(sampled.content.sample, whole.content.sample);
        {
            Transaction t(c);
            PictureFingerprints::Writer writer(c);
            writer.record(whole);
            writer.record(sampled);
            writer.record(whole); // again: replaced, not doubled
            t.commit();
        }
        QVERIFY(PictureFingerprints::exists(c));
        Query q(c);
        q.setSql("SELECT Picture, FileSize, Modified, Sample, length(Content) AS L, Perceptual"
                 " FROM PictureFingerprints ORDER BY Picture");
        q.open();
        QCOMPARE(q.asInt("Picture"), a);
        QCOMPARE(q.asInt("FileSize"), qint64(300000));
        QCOMPARE(q.asString("Modified"), QStringLiteral("2020-01-02T03:04:06"));
        QCOMPARE(quint64(q.asInt("Sample")), whole.content.sample);
        QCOMPARE(q.asInt("L"), qint64(16));
        QCOMPARE(quint64(q.asInt("Perceptual")), *whole.perceptual);
        q.next();
        QCOMPARE(q.asInt("Picture"), b);
        QVERIFY(q.value("L").isNull() && q.value("Perceptual").isNull());
        q.close();
        // Both the copies and the looks are found through an index.
        q.setSql("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = "
                 "'PictureFingerprints' ORDER BY name");
        q.open();
        QStringList indexes;
        for (; !q.eof(); q.next())
            indexes << q.asString("name");
        q.close();
        QCOMPARE(indexes,
            QStringList({ "PictureFingerprints_Perceptual", "PictureFingerprints_Sample" }));

        // A picture's fingerprints go with it.
        c.exec("DELETE FROM Pictures WHERE RecId = " + QString::number(a));
        q.setSql("SELECT count(*) AS N FROM PictureFingerprints");
        q.open();
        QCOMPARE(q.asInt("N"), qint64(1));
        q.close();
        c.close();
    }
};

QTEST_GUILESS_MAIN(TestFingerprints)
#include "test_fingerprints.moc"
