#include "app/startup.h"
#include "app/tabertura.h"
#include "browser/catalogbrowser.h"
#include "core/desktopshell.h"
#include "core/eventpump.h"
#include "core/scriptedprompter.h"
#include "intake/picturefilter.h"
#include "intake/picturepreview.h"
#include "store/tdados.h"
#include "store/thumbnailplace.h"
#include "support/catalogfixture.h"
#include "support/photosamples.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"
#include "support/windowdriver.h"
#include "widgets/dbcontrols.h"
#include "widgets/pagecontrol.h"

#include <QCheckBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>

using namespace samples;
using testsupport::writeFile;

namespace {

const QString kLoading = QStringLiteral("Carregando imagem...");

// Keeps what the program would have opened or started instead of doing it.
struct RecordingDesktop : DesktopShell {
    QList<QUrl> &opened;
    QList<QStringList> &started; // program, then its arguments
    RecordingDesktop(QList<QUrl> &o, QList<QStringList> &s) : opened(o), started(s) { }
    bool openUrl(const QUrl &url) override
    {
        opened << url;
        return true;
    }
    bool startProgram(const QString &program, const QStringList &arguments) override
    {
        started << (QStringList { program } + arguments);
        return true;
    }
};

// The real main window over a catalogue whose pictures are real files in a folder.
struct PreviewWindow {
    CatalogFixture f;
    QTemporaryDir folder;
    ScriptedPrompter prompter;
    std::unique_ptr<Startup> app;
    qint64 collection = 0;
    qint64 category = 0;
    qint64 storage = 0;
    QList<QUrl> opened;
    QList<QStringList> started; // program, then its arguments
    RecordingDesktop desktop { opened, started };
    QStringList statusTexts;

    PreviewWindow()
    {
        collection = f.collection("Fotos");
        category = f.category(collection, "Todas");
        storage = f.storage("Disco");
    }

    QString file(const QString &name) const { return folder.filePath(name); }

    // A picture row for a file of the folder (written when bytes are given).
    qint64 picture(
        const QString &name, const QString &fileType, const QByteArray &bytes, bool review = true)
    {
        if (!bytes.isNull())
            writeFile(file(name), bytes);
        return f.exec(QStringLiteral("INSERT INTO Pictures (Collection, Category, Location, Name, "
                                     "FileName, FullPath, FileType, Review) VALUES (:C, :K, :L, "
                                     ":N, :F, :P, :T, :R)"),
            { { "C", collection }, { "K", category }, { "L", storage }, { "N", name },
                { "F", name }, { "P", folder.path() }, { "T", fileType },
                { "R", review ? 1 : 0 } });
    }

    void start()
    {
        app = std::make_unique<Startup>(f.folder.paths, &prompter, &desktop);
        app->createWindows();
        QSignalSpy done(app->Abertura.get(), &TAbertura::startupLoadingDone);
        app->Abertura->show();
        QTRY_COMPARE(done.count(), 1);
        QVERIFY(done.first().first().toBool());
        // Every text the status panel takes, in order.
        QObject::connect(preview(), &PicturePreview::statusTextChanged,
            [this](const QString &text) { statusTexts << text; });
    }

    template<class T> T *child(const char *name) const
    {
        return testsupport::child<T>(app->Abertura.get(), QString::fromLatin1(name));
    }
    PicturePreview *preview() const { return child<PicturePreview>("PicturePreview"); }
    QLabel *image1() const { return child<QLabel>("Image1"); }
    QPushButton *enlarge() const { return child<QPushButton>("BitBtn1"); }
    PageControl *details() const { return child<PageControl>("PageControl2"); }
    bool detailPage(const char *name) const
    {
        return details()->isPageVisible(details()->indexOf(child<QWidget>(name)));
    }
    bool tab(int index) const { return child<PageControl>("PageControl3")->isPageVisible(index); }
    QString status() const { return child<QLabel>("StatusPanel1")->text(); }
    QString thumbnail(qint64 id) { return app->Dados->GetThumbnailName(id); }
    // The files of the catalogue's thumbnail folder but the file naming its owner.
    QStringList thumbnailFolder() const
    {
        QStringList files = QDir(app->Dados->thumbnailFolder())
                                .entryList(QDir::Files | QDir::Hidden | QDir::System);
        files.removeOne(ThumbnailPlace::ownerFileName());
        return files;
    }

    QModelIndex node(qint64 id) const
    {
        auto *m = static_cast<CatalogTree *>(child<QTreeView>("TreeView1")->model());
        return m->modelIndex(m->indexOfCode(QStringLiteral("N3=%1").arg(id)));
    }
    bool isCurrent(qint64 id) const
    {
        return child<QTreeView>("TreeView1")->currentIndex() == node(id);
    }

    // Clicks the picture's node in the organisation tree.
    void show(qint64 id, bool selected = true)
    {
        auto *tree = child<QTreeView>("TreeView1");
        const QModelIndex index = node(id);
        QVERIFY(index.isValid());
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
            tree->expand(p);
        tree->scrollTo(index);
        statusTexts.clear();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(index).center());
        if (selected)
            QVERIFY(isCurrent(id));
    }

    // The row as stored in the file (not as the window's record set shows it).
    QVariant stored(qint64 id, const QString &column)
    {
        Connection c;
        c.openFile(f.path);
        Query q(c);
        q.setSql(QStringLiteral("SELECT %1 AS V FROM Pictures WHERE RecId = :ID").arg(column));
        q.setParam("ID", id);
        q.open();
        const QVariant v = q.value("V");
        q.close();
        c.close();
        return v;
    }

    static QSize shown(QLabel *label)
    {
        return label->pixmap().isNull() ? QSize() : label->pixmap().size();
    }
};

QString askForThumbnail(const QString &name)
{
    return QStringLiteral("Miniatura não disponível. Grave ") + name
        + QStringLiteral(" máximo 135px em 72dpi");
}

} // namespace

class TestPreview : public QObject {
    Q_OBJECT
private slots:
    void firstShowingRecordsTheJpegAndTheNextShowsItsThumbnail()
    {
        PreviewWindow w;
        const qint64 id = w.picture("paisagem.jpg", "jpg", jpeg(2000, 1500));
        const qint64 other = w.picture("outra.jpg", "jpg", jpeg(300, 200));
        w.start();
        w.show(id);
        QCOMPARE(w.stored(id, "ColorType").toInt(), 3);
        QCOMPARE(w.stored(id, "Width").toInt(), 2000);
        QCOMPARE(w.stored(id, "Height").toInt(), 1500);
        QCOMPARE(w.stored(id, "Review").toInt(), 0);
        QCOMPARE(QImageReader(w.thumbnail(id)).size(), QSize(135, 101));
        QCOMPARE(QImageReader(w.thumbnail(id)).format(), QByteArray("jpeg"));
        QCOMPARE(w.shown(w.image1()), QSize(135, 101));
        QVERIFY(w.tab(0));
        QVERIFY(!w.tab(1));
        QCOMPARE(w.child<PageControl>("PageControl3")->activePageIndex(), 0);
        QCOMPARE(w.enlarge()->text(), QStringLiteral("Ampliar"));
        QVERIFY(w.enlarge()->isEnabled());
        QVERIFY(w.child<QCheckBox>("DBCheckBox4")->isChecked() == false);
        QCOMPARE(w.child<QLineEdit>("DBEdit8")->text(), QStringLiteral("2000"));
        QCOMPARE(w.statusTexts.first(), kLoading);
        QCOMPARE(w.status(), QString());
        QVERIFY(w.prompter.boxes().isEmpty());
        // Nothing but the thumbnail is left in the thumbnail folder.
        QCOMPARE(w.thumbnailFolder(), QStringList { QFileInfo(w.thumbnail(id)).fileName() });

        // The next showing takes the thumbnail file: the picture itself is gone now.
        QVERIFY(QFile::remove(w.file("paisagem.jpg")));
        w.show(other);
        w.show(id);
        QCOMPARE(w.shown(w.image1()), QSize(135, 101));
        QVERIFY(w.tab(0));
        QVERIFY(w.enlarge()->isEnabled());
        QCOMPARE(w.status(), QString());
        QCOMPARE(w.stored(id, "Width").toInt(), 2000);
        QVERIFY(w.prompter.boxes().isEmpty());
    }

    void aPortraitFromACameraIsShownAndRecordedUpright()
    {
        // Stored lying down, as cameras store portraits, with the EXIF orientation to turn it.
        PreviewWindow w;
        const qint64 id = w.picture("retrato.jpg", "jpg", qtJpeg(corners(400, 300), 95));
        QString output;
        QVERIFY2(
            exiftool(w.file("retrato.jpg"), { "-Orientation=6" }, &output), qPrintable(output));
        w.start();
        w.show(id);
        QCOMPARE(w.stored(id, "Width").toInt(), 300);
        QCOMPARE(w.stored(id, "Height").toInt(), 400);
        const QImage small = w.image1()->pixmap().toImage();
        QCOMPARE(small.size(), QSize(101, 135));
        // The stored top-left corner (red) is seen top right, the top-right one (green)
        // bottom right.
        QCOMPARE(cornerOf(small, qRgb(255, 0, 0)), 1);
        QCOMPARE(cornerOf(small, qRgb(0, 255, 0)), 2);
        const QImage thumbnail(w.thumbnail(id));
        QCOMPARE(thumbnail.size(), QSize(101, 135));
        QCOMPARE(cornerOf(thumbnail, qRgb(255, 0, 0)), 1);

        QTest::mouseClick(w.enlarge(), Qt::LeftButton);
        QVERIFY(w.detailPage("TabSheet9"));
        const QImage large = w.child<QLabel>("Image2")->pixmap().toImage();
        QVERIFY(large.height() > large.width());
        QCOMPARE(cornerOf(large, qRgb(255, 0, 0)), 1);
        QCOMPARE(cornerOf(large, qRgb(0, 255, 0)), 2);
        QVERIFY(w.prompter.boxes().isEmpty());
    }

    void smallPictureAsksForAHandMadeThumbnail()
    {
        PreviewWindow w;
        const qint64 id = w.picture("icone.jpg", "jpg", jpeg(100, 80));
        const qint64 other = w.picture("outra.jpg", "jpg", jpeg(120, 90));
        w.start();
        w.show(id);
        QCOMPARE(w.shown(w.image1()), QSize(100, 80));
        QVERIFY(w.tab(0));
        QCOMPARE(w.stored(id, "Review").toInt(), 1);
        QVERIFY(w.stored(id, "Width").isNull());
        QVERIFY(w.stored(id, "ColorType").isNull());
        QVERIFY(!QFileInfo::exists(w.thumbnail(id)));
        QCOMPARE(w.status(), askForThumbnail(w.thumbnail(id)));

        // A thumbnail saved by hand is not taken while Review is true...
        QImage hand(60, 50, QImage::Format_RGB32);
        hand.fill(Qt::blue);
        QVERIFY(writeFile(w.thumbnail(id), encoded(hand, "jpeg")));
        w.show(other);
        w.show(id);
        QCOMPARE(w.shown(w.image1()), QSize(100, 80));
        // ...and is shown once Review is false.
        w.f.exec("UPDATE Pictures SET Review = 0 WHERE RecId = :ID", { { "ID", id } });
        w.show(other);
        w.show(id);
        QCOMPARE(w.shown(w.image1()), QSize(60, 50));
        QVERIFY(w.image1()->pixmap().toImage().pixelColor(30, 25).blue() > 200);
        QCOMPARE(w.status(), QString());
        QVERIFY(w.prompter.boxes().isEmpty());
    }

    void staleThumbnailIsIgnoredWhileReviewIsTrue()
    {
        PreviewWindow w;
        const qint64 id = w.picture("nova.jpg", "jpg", jpeg(1000, 750));
        w.start();
        QImage old(30, 30, QImage::Format_RGB32);
        old.fill(Qt::blue);
        QVERIFY(writeFile(w.thumbnail(id), encoded(old, "jpeg")));
        w.show(id);
        QCOMPARE(QImageReader(w.thumbnail(id)).size(), QSize(135, 101));
        QCOMPARE(w.shown(w.image1()), QSize(135, 101));
        QCOMPARE(w.stored(id, "Review").toInt(), 0);
    }

    void bitmapsAndIconsGetThumbnailsFromThePictureShown()
    {
        PreviewWindow w;
        const qint64 rgb = w.picture("quadro.bmp", "bmp", bmp(2000, 1500, 24));
        const qint64 palette = w.picture("paleta.bmp", "bmp", bmp(300, 200, 8));
        QImage icon(256, 256, QImage::Format_ARGB32);
        icon.fill(qRgba(0, 0, 255, 255));
        const qint64 ico = w.picture("icone.ico", "ico", encoded(icon, "ico"));
        w.f.exec("UPDATE Pictures SET ColorType = 4 WHERE RecId = :ID", { { "ID", rgb } });
        w.start();

        w.show(rgb);
        QCOMPARE(w.stored(rgb, "ColorType").toInt(), 4); // 24 bits: unchanged
        QCOMPARE(w.stored(rgb, "Width").toInt(), 2000);
        QCOMPARE(w.stored(rgb, "Review").toInt(), 0);
        const QImage thumb(w.thumbnail(rgb));
        QCOMPARE(thumb.size(), QSize(135, 101));
        QVERIFY(thumb.pixelColor(67, 50).red() > 230 && thumb.pixelColor(67, 50).blue() < 30);

        w.show(palette);
        QCOMPARE(w.stored(palette, "ColorType").toInt(), 15);
        QCOMPARE(QImageReader(w.thumbnail(palette)).size(), QSize(135, 90));

        w.show(ico);
        QCOMPARE(w.stored(ico, "ColorType").toInt(), 11);
        QCOMPARE(w.stored(ico, "Height").toInt(), 256);
        QCOMPARE(QImageReader(w.thumbnail(ico)).size(), QSize(135, 135));
        QVERIFY(w.prompter.boxes().isEmpty());
    }

    void editInProgressFillsTheEditedRowWithoutAThumbnail()
    {
        PreviewWindow w;
        const qint64 id = w.picture("editada.jpg", "jpg", jpeg(2000, 1500));
        w.start();
        RecordSet &pictures = w.app->Dados->TPictures;
        // Selected while its file is away, so that the selection records nothing yet.
        QVERIFY(QFile::rename(w.file("editada.jpg"), w.file("fora.jpg")));
        w.show(id);
        QVERIFY(QFile::rename(w.file("fora.jpg"), w.file("editada.jpg")));
        QCOMPARE(pictures.asInt("RecId"), id);
        auto *navigator = w.child<DBNavigator>("DBNavigator3");
        navigator->BtnClick(DBNavigator::nbEdit);
        const auto editing = [&pictures] { return pictures.isEditing(); };
        QVERIFY(editing());
        w.preview()->ShowThumbnail();
        QCOMPARE(pictures.state(), RecordSet::State::Edit);
        QCOMPARE(pictures.value("Width").toInt(), 2000);
        QCOMPARE(pictures.value("Height").toInt(), 1500);
        QCOMPARE(pictures.value("ColorType").toInt(), 3);
        QVERIFY(pictures.asBool("Review"));
        QVERIFY(w.stored(id, "Width").isNull());
        QCOMPARE(w.stored(id, "Review").toInt(), 1);
        QVERIFY(!QFileInfo::exists(w.thumbnail(id)));
        QCOMPARE(w.shown(w.image1()), QSize(135, 101));
        QCOMPARE(w.thumbnailFolder(), QStringList());

        // The person's Cancel drops them (the picture shown again is away meanwhile, so
        // that the showing records nothing of its own).
        QVERIFY(QFile::rename(w.file("editada.jpg"), w.file("fora.jpg")));
        navigator->BtnClick(DBNavigator::nbCancel);
        QVERIFY(!editing());
        QVERIFY(pictures.value("Width").isNull());
        QVERIFY(w.stored(id, "Width").isNull());
        QVERIFY2(w.prompter.boxes().isEmpty(), qPrintable(w.prompter.boxTexts().join('|')));
    }

    void gifAndPngShowOnTheGifTab()
    {
        PreviewWindow w;
        const qint64 gif = w.picture(
            "anima.gif", "gif", samples::gif(400, 300, { qRgb(255, 0, 0), qRgb(0, 255, 0) }));
        const qint64 png = w.picture("grade.png", "png", encoded(gradient(800, 600), "png"));
        w.start();

        w.show(gif);
        QVERIFY(!w.tab(0));
        QVERIFY(w.tab(1));
        QCOMPARE(w.child<PageControl>("PageControl3")->activePageIndex(), 1);
        QMovie *movie = w.child<QLabel>("WebBrowser1")->movie();
        QVERIFY(movie);
        QCOMPARE(movie->frameCount(), 2);
        QCOMPARE(movie->currentImage().size(), QSize(135, 101));
        QCOMPARE(w.enlarge()->text(), QStringLiteral("Ampliar"));
        QCOMPARE(w.stored(gif, "Review").toInt(), 1);
        QVERIFY(w.stored(gif, "Width").isNull());
        QVERIFY(!QFileInfo::exists(w.thumbnail(gif)));
        QCOMPARE(w.status(), askForThumbnail(w.thumbnail(gif)));

        // The enlarge button: the web enlargement page only.
        w.enlarge()->click();
        QVERIFY(!w.detailPage("TabSheet9"));
        QVERIFY(w.detailPage("TabSheet10"));
        QCOMPARE(w.details()->activePage(), w.child<QWidget>("TabSheet10"));
        QVERIFY(w.child<QLabel>("WebBrowser2")->movie());

        w.show(png);
        QVERIFY(!w.detailPage("TabSheet10")); // a tree click hides it again
        QVERIFY(w.tab(1));
        QVERIFY(!w.child<QLabel>("WebBrowser1")->movie());
        QCOMPARE(w.shown(w.child<QLabel>("WebBrowser1")), QSize(135, 101));
        QVERIFY(w.stored(png, "Width").isNull());
        QVERIFY(!QFileInfo::exists(w.thumbnail(png)));
        w.enlarge()->click();
        QCOMPARE(w.details()->activePage(), w.child<QWidget>("TabSheet10"));
        QVERIFY(!w.shown(w.child<QLabel>("WebBrowser2")).isEmpty());
        QVERIFY(w.prompter.boxes().isEmpty());
        QVERIFY(w.opened.isEmpty());
    }

    void enlargeButtonShowsThePictureOrReportsItsLoss()
    {
        PreviewWindow w;
        const qint64 id = w.picture("grande.jpg", "jpg", jpeg(1600, 1200));
        w.start();
        w.show(id);
        w.enlarge()->click();
        QVERIFY(w.detailPage("TabSheet9"));
        QVERIFY(!w.detailPage("TabSheet10"));
        QCOMPARE(w.details()->activePage(), w.child<QWidget>("TabSheet9"));
        const QSize enlarged = w.shown(w.child<QLabel>("Image2"));
        QVERIFY(enlarged.width() > 135);
        QVERIFY(enlarged.width() <= 1600);
        QVERIFY(w.opened.isEmpty());

        // The file went away after its thumbnail was shown: the error box, no empty page.
        QVERIFY(QFile::remove(w.file("grande.jpg")));
        w.show(id);
        QVERIFY(w.tab(0));
        w.enlarge()->click();
        QCOMPARE(w.prompter.boxes().size(), 1);
        QCOMPARE(w.prompter.boxes().first().icon, Prompter::Icon::Error);
        QVERIFY(w.prompter.boxTexts().first().startsWith("Não foi possível abrir o arquivo"));
        QVERIFY(!w.detailPage("TabSheet9"));
    }

    void aThumbnailShownAfterAViewerPictureOffersAmpliar()
    {
        PreviewWindow w;
        const qint64 odd = w.picture("desenho.xyz", "xyz", QByteArray("drawing"));
        const qint64 photo = w.picture("foto.jpg", "jpg", jpeg(2000, 1500));
        w.start();
        w.show(photo); // records it and makes its thumbnail
        QVERIFY(QFileInfo::exists(w.thumbnail(photo)));
        w.show(odd);
        QCOMPARE(w.enlarge()->text(), QStringLiteral("Visualizar"));
        // Its thumbnail now: the button enlarges it, and says so.
        w.show(photo);
        QVERIFY(w.tab(0));
        QCOMPARE(w.enlarge()->text(), QStringLiteral("Ampliar"));
        w.enlarge()->click();
        QVERIFY(w.detailPage("TabSheet9"));
        QVERIFY(w.opened.isEmpty());
    }

    void unsupportedFormatsGoToAnotherProgram()
    {
        PreviewWindow w;
        const qint64 tif = w.picture("scan.tif", "tif", encoded(gradient(300, 200), "tiff"));
        const qint64 pcx = w.picture("antigo.pcx", "pcx", QByteArray("PCX"));
        const qint64 odd = w.picture("desenho.xyz", "xyz", QByteArray("drawing"));
        w.f.exec("UPDATE Formats SET Support = 0 WHERE Extension = 'tif'");
        w.start();

        w.show(odd);
        QVERIFY(!w.tab(0));
        QVERIFY(!w.tab(1));
        QCOMPARE(w.enlarge()->text(), QStringLiteral("Visualizar"));
        QVERIFY(w.enlarge()->isEnabled());
        QCOMPARE(w.status(), askForThumbnail(w.thumbnail(odd)));
        w.enlarge()->click();
        QCOMPARE(w.opened, QList<QUrl> { QUrl::fromLocalFile(w.file("desenho.xyz")) });
        QVERIFY(w.started.isEmpty());

        // tif and pcx go to the outside viewer, only when it lies in the program folder and
        // the picture view does not draw them (TIFF in a catalogue whose row says so).
        w.show(tif);
        QCOMPARE(w.enlarge()->text(), QStringLiteral("Visualizar"));
        w.enlarge()->click();
        QVERIFY(w.started.isEmpty());
        const QString viewer = w.app->paths.ProgramFolder + QStringLiteral("/kodakprv.exe");
        QVERIFY(writeFile(viewer, QByteArray("viewer")));
        w.enlarge()->click();
        QCOMPARE(w.started.size(), 1);
        QCOMPARE(w.started.first(), (QStringList { viewer, w.file("scan.tif") }));
        w.show(pcx);
        w.enlarge()->click();
        QCOMPARE(w.started.size(), 2);
        QCOMPARE(w.opened.size(), 1);
        QVERIFY(!w.detailPage("TabSheet9"));
        QVERIFY(!w.detailPage("TabSheet10"));
        QCOMPARE(w.stored(tif, "Review").toInt(), 1);
        QVERIFY(w.prompter.boxes().isEmpty());
    }

    void missingOrHostilePicturesAreNotDrawn()
    {
        PreviewWindow w;
        const qint64 good = w.picture("boa.jpg", "jpg", jpeg(500, 400));
        const qint64 gone = w.picture("sumiu.jpg", "jpg", QByteArray());
        const qint64 bomb = w.picture("bomba.bmp", "bmp", bombBmp());
        const qint64 text = w.picture("texto.jpg", "jpg", QByteArray("not a picture"));
        w.start();
        w.show(good);
        QVERIFY(!w.shown(w.image1()).isEmpty());

        w.show(gone);
        QVERIFY(w.shown(w.image1()).isEmpty());
        QCOMPARE(w.status(), askForThumbnail(w.thumbnail(gone)));
        QCOMPARE(w.stored(gone, "Review").toInt(), 1);

        for (qint64 id : { bomb, text }) {
            w.show(id);
            QVERIFY(w.shown(w.image1()).isEmpty());
            QCOMPARE(w.stored(id, "Review").toInt(), 1);
            QVERIFY(w.stored(id, "Width").isNull());
            QVERIFY(!QFileInfo::exists(w.thumbnail(id)));
        }
        // Selecting them tells nothing: the view stays empty.
        QCOMPARE(w.prompter.boxTexts(), QStringList());
    }

    // An empty file or one that is no picture, under a supported format: selecting it shows
    // no box, whatever the picture shown before; "Ampliar" tries and tells why.
    void undrawablePicturesAreToldOnlyByAmpliar()
    {
        PreviewWindow w;
        const qint64 odd = w.picture("desenho.xyz", "xyz", QByteArray("drawing"));
        const qint64 empty = w.picture("vazia.jpg", "jpg", QByteArray(""));
        const qint64 text = w.picture("texto.jpg", "jpg", QByteArray("not a picture"));
        QVERIFY(QFileInfo(w.file("vazia.jpg")).isFile());
        w.start();
        for (qint64 id : { empty, text }) {
            w.show(odd); // "Visualizar", no tab: not what the next picture offers
            QCOMPARE(w.enlarge()->text(), QStringLiteral("Visualizar"));
            w.show(id);
            QCOMPARE(w.prompter.boxTexts(), QStringList());
            QVERIFY(w.shown(w.image1()).isEmpty());
            QVERIFY(w.tab(0));
            QVERIFY(!w.tab(1));
            QCOMPARE(w.enlarge()->text(), QStringLiteral("Ampliar"));
            QVERIFY(w.enlarge()->isEnabled());
            QCOMPARE(w.stored(id, "Review").toInt(), 1);
            w.enlarge()->click();
            QCOMPARE(w.prompter.boxTexts(), QStringList { "Formato de imagem não suportado." });
            QCOMPARE(w.prompter.boxes().first().icon, Prompter::Icon::Error);
            QVERIFY(!w.detailPage("TabSheet9"));
            QVERIFY(w.opened.isEmpty());
            w.prompter.clear();
        }
    }

    void writerFailuresReachTheErrorBoxAndLeaveNoThumbnail()
    {
        PreviewWindow w;
        // 270 times wider than high: the size rule gives a 0 height, which the writer refuses.
        const qint64 strip = w.picture("faixa.jpg", "jpg", jpeg(27000, 100));
        BmpOptions mono;
        const qint64 line = w.picture("linha.bmp", "bmp", bmp(27000, 100, 1, mono));
        w.start();
        QVERIFY(writeFile(w.thumbnail(strip), jpeg(135, 10)));
        w.show(strip);
        QCOMPARE(w.prompter.boxTexts(), QStringList { "Invalid Height" });
        QCOMPARE(w.prompter.boxes().first().icon, Prompter::Icon::Error);
        QVERIFY(!QFileInfo::exists(w.thumbnail(strip)));
        // The details were recorded before the writer ran.
        QCOMPARE(w.stored(strip, "Width").toInt(), 27000);
        QCOMPARE(w.stored(strip, "Review").toInt(), 0);
        QCOMPARE(w.status(), askForThumbnail(w.thumbnail(strip)));
        QCOMPARE(w.thumbnailFolder(), QStringList());

        w.show(line);
        QCOMPARE(w.prompter.boxTexts(), (QStringList { "Invalid Height", "Invalid Height" }));
        QCOMPARE(w.stored(line, "ColorType").toInt(), 16);
        QVERIFY(!QFileInfo::exists(w.thumbnail(line)));
    }

    void aClickHandledDuringTheShowingKeepsEachRowItsOwnDetails()
    {
        PreviewWindow w;
        const qint64 first = w.picture("primeira.jpg", "jpg", jpeg(2000, 1500));
        const qint64 second = w.picture("segunda.jpg", "jpg", jpeg(300, 200));
        w.start();
        // The second click comes while the first showing lets the window process messages.
        EventPump::setInterval(0);
        // The click comes as the first showing has drawn its picture.
        bool clicked = false;
        QObject::connect(w.preview(), &PicturePreview::smallPreviewShown, [&] {
            if (!clicked) {
                clicked = true;
                QTimer::singleShot(0, [&] { w.show(second); });
            }
        });
        w.show(first, false);
        EventPump::setInterval(20);
        QVERIFY(clicked);
        QVERIFY(w.isCurrent(second));
        QCOMPARE(w.stored(second, "Width").toInt(), 300);
        QCOMPARE(w.stored(second, "Height").toInt(), 200);
        QCOMPARE(w.stored(first, "Review").toInt(), 1);
        QVERIFY(w.stored(first, "Width").isNull());
        QVERIFY(!QFileInfo::exists(w.thumbnail(first)));
        QCOMPARE(QImageReader(w.thumbnail(second)).size(), QSize(135, 90));
        QCOMPARE(w.shown(w.image1()), QSize(135, 90));
        QCOMPARE(w.thumbnailFolder(), QStringList { QFileInfo(w.thumbnail(second)).fileName() });
        QCOMPARE(w.status(), QString());
    }

    void overtakenShowingsGiveUpQuietly()
    {
        PreviewWindow w;
        const qint64 first = w.picture("primeira.jpg", "jpg", jpeg(2000, 1500));
        const qint64 second = w.picture("segunda.jpg", "jpg", jpeg(300, 200));
        w.start();
        // Fast arrow keys: while the first picture's showing lets the window process
        // messages, the second and then the first again are shown.
        EventPump::setInterval(0);
        bool clicked = false;
        QObject::connect(w.preview(), &PicturePreview::smallPreviewShown, [&] {
            if (!clicked) {
                clicked = true;
                QTimer::singleShot(0, [&] {
                    w.show(second);
                    w.show(first);
                });
            }
        });
        w.show(first, false);
        EventPump::setInterval(20);
        QVERIFY(clicked);
        QVERIFY(w.isCurrent(first));
        QCOMPARE(w.prompter.boxTexts(), QStringList());
        QCOMPARE(w.stored(first, "Width").toInt(), 2000);
        QCOMPARE(w.stored(first, "Review").toInt(), 0);
        QCOMPARE(QImageReader(w.thumbnail(first)).size(), QSize(135, 101));
        QCOMPARE(w.shown(w.image1()), QSize(135, 101));
        QCOMPARE(w.thumbnailFolder(),
            (QStringList { QFileInfo(w.thumbnail(first)).fileName(),
                QFileInfo(w.thumbnail(second)).fileName() }));
        QCOMPARE(w.status(), QString());
    }

    void theViewAndTheWriterAgreeOnWhatCanBeDrawn()
    {
        PreviewWindow w;
        // A download of a progressive picture cut early: drawn as far as it goes.
        const QByteArray progressive = writeJpeg(photoLike(1600, 1200), as(Model::YCbCr, true));
        const qint64 cut = w.picture("cortada.jpg", "jpg", cutInFirstScan(progressive, 2000));
        const qint64 fifo = w.picture("fila.jpg", "jpg", QByteArray());
        QCOMPARE(::mkfifo(QFile::encodeName(w.file("fila.jpg")).constData(), 0600), 0);
        w.start();

        w.show(cut);
        QCOMPARE(w.prompter.boxTexts(), QStringList());
        QCOMPARE(w.shown(w.image1()), QSize(135, 101));
        QCOMPARE(w.stored(cut, "Width").toInt(), 1600);
        QCOMPARE(w.stored(cut, "Review").toInt(), 0);
        QCOMPARE(QImageReader(w.thumbnail(cut)).size(), QSize(135, 101));

        // What neither can draw is not told on selection, however often it is shown;
        // nothing waits for a picture that is not a regular file.
        for (int round = 0; round < 2; ++round) {
            w.show(fifo);
            QVERIFY(w.shown(w.image1()).isEmpty());
            QCOMPARE(w.stored(fifo, "Review").toInt(), 1);
            QCOMPARE(w.status(), askForThumbnail(w.thumbnail(fifo)));
            w.show(cut);
        }
        QCOMPARE(w.prompter.boxTexts(), QStringList());
        // "Ampliar" says why.
        w.show(fifo);
        w.enlarge()->click();
        QCOMPARE(w.prompter.boxTexts(), QStringList { "O arquivo não é um arquivo comum." });
        QCOMPARE(w.prompter.boxes().first().icon, Prompter::Icon::Error);
    }

    void pictureFilterIsBuiltAtStartup()
    {
        PreviewWindow w;
        w.f.exec("UPDATE Formats SET Used = 0 WHERE Extension NOT IN ('jpg', 'bmp')");
        w.start();
        const QString filter = w.app->Abertura->browser().openPictureFilter();
        QCOMPARE(filter,
            QStringLiteral("Todos as opções de formatos|*.JPG;*.JPEG;*.BMP|Imagem JPEG "
                           "(*.jpg;*.jpeg)|*.JPG;*.JPEG|Bitmap do Windows (*.bmp)|*.BMP"));
        QCOMPARE(PictureFilter::toFileDialogFilter(filter),
            QStringLiteral("Todos as opções de formatos (*.JPG *.JPEG *.BMP);;Imagem JPEG "
                           "(*.JPG *.JPEG);;Bitmap do Windows (*.BMP)"));
    }
};

QTEST_MAIN(TestPreview)
#include "test_preview.moc"
