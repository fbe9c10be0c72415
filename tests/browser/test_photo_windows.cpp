#include "app/startup.h"
#include "app/tabertura.h"
#include "browser/catalogbrowser.h"
#include "browser/datestree.h"
#include "browser/photofactsblock.h"
#include "core/desktopshell.h"
#include "core/scriptedprompter.h"
#include "store/tdados.h"
#include "support/catalogfixture.h"
#include "support/photosamples.h"
#include "support/picturesamples.h"
#include "support/testsupport.h"
#include "support/unwritable.h"
#include "support/windowdriver.h"
#include "widgets/dbcontrols.h"
#include "widgets/pagecontrol.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <QUrlQuery>
#include <QtTest>

using namespace samples;

namespace {
// Steps inside the next showing of the dialog; one still open after them is cancelled, so
// that a failed step never leaves the test waiting.
void inNextModal(QDialog &dialog, const std::function<void()> &steps)
{
    testsupport::inNextModal(dialog, [&dialog, steps] {
        steps();
        if (dialog.isVisible())
            dialog.reject();
    });
}
} // namespace
using testsupport::child;
using testsupport::writeFile;

namespace {

// Keeps the addresses the program would have opened; opens nothing.
struct RecordingDesktop : DesktopShell {
    QList<QUrl> opened;
    bool succeeds = true;
    bool openUrl(const QUrl &url) override
    {
        opened << url;
        return succeeds;
    }
    bool startProgram(const QString &, const QStringList &) override { return true; }
};

// A camera's JPEG: stored lying down with the orientation that stands it up, taken on `taken`
// ("2019:06:24 18:30:05") with a Canon, at a place, with keywords and a rating.
bool cameraJpeg(const QString &path, const QString &taken, const QString &model, QString *output)
{
    if (!writeFile(path, qtJpeg(corners(400, 300), 95)))
        return false;
    return exiftool(path,
        { "-DateTimeOriginal=" + taken, "-OffsetTimeOriginal=-03:00", "-Make=Canon",
            "-Model=" + model, "-LensModel=EF-S18-55mm", "-ExposureTime=0.004", "-FNumber=8",
            "-ISO=200", "-FocalLength=35", "-Orientation#=6", "-GPSLatitude=23.5505",
            "-GPSLatitudeRef=S", "-GPSLongitude=46.6333", "-GPSLongitudeRef=W",
            "-GPSAltitude=760", "-XMP-dc:Subject=forró", "-IPTC:Keywords=quadrilha",
            "-IPTC:CodedCharacterSet=UTF8", "-XMP-xmp:Rating=4" },
        output);
}

QByteArray digest(const QString &path)
{
    return QCryptographicHash::hash(testsupport::readFile(path), QCryptographicHash::Sha256);
}

// The real main window over a catalogue whose pictures are real files in a folder.
struct PhotoWindow {
    CatalogFixture f;
    QTemporaryDir folder;
    ScriptedPrompter prompter;
    RecordingDesktop desktop;
    std::unique_ptr<Startup> app;
    qint64 collection = 0;
    qint64 category = 0;
    qint64 storage = 0;

    PhotoWindow()
    {
        collection = f.collection("Fotos");
        category = f.category(collection, "Todas");
        storage = f.storage("Disco");
    }

    QString file(const QString &name) const { return folder.filePath(name); }

    qint64 picture(const QString &name, const QString &fileType = QStringLiteral("jpg"))
    {
        return f.exec(QStringLiteral("INSERT INTO Pictures (Collection, Category, Location, Name, "
                                     "FileName, FullPath, FileType, Modified, Review) VALUES (:C, "
                                     ":K, :L, :N, :F, :P, :T, '2020-01-02T03:04:06', 1)"),
            { { "C", collection }, { "K", category }, { "L", storage },
                { "N", QFileInfo(name).completeBaseName() }, { "F", name }, { "P", folder.path() },
                { "T", fileType } });
    }

    // `quillomar-cli thumbs` over the catalogue: every picture reviewed, its facts recorded.
    void thumbs()
    {
        QProcess p;
        p.start(testsupport::binDir() + "/quillomar-cli", { "--catalogue", f.path, "thumbs" });
        QVERIFY(p.waitForFinished(120000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    }

    void start(const ProgramPaths *paths = nullptr)
    {
        app = std::make_unique<Startup>(paths ? *paths : f.folder.paths, &prompter, &desktop);
        app->createWindows();
        QSignalSpy done(app->Abertura.get(), &TAbertura::startupLoadingDone);
        app->Abertura->show();
        QTRY_COMPARE(done.count(), 1);
        QVERIFY(done.first().first().toBool());
    }

    template<class T> T *child(const char *name) const
    {
        return testsupport::child<T>(app->Abertura.get(), QString::fromLatin1(name));
    }
    CatalogBrowser &browser() const { return app->Abertura->browser(); }
    PhotoFactsBlock *facts() const { return child<PhotoFactsBlock>("PhotoFactsBlock"); }
    // The text of a fact's line, or a null text when the line is not shown.
    QString fact(const char *name) const
    {
        auto *label = child<QLabel>(name);
        return label->isVisibleTo(facts()) && facts()->isVisible() ? label->text() : QString();
    }
    PageControl *details() const { return child<PageControl>("PageControl2"); }
    bool picturePageShown() const
    {
        return details()->isPageVisible(int(CatalogBrowser::Page::Picture))
            && details()->activePageIndex() == int(CatalogBrowser::Page::Picture);
    }

    void show(qint64 id)
    {
        const int node = browser().TreeView1Nodes().indexOfCode(QStringLiteral("N3=%1").arg(id));
        QVERIFY(node >= 0);
        testsupport::clickNode(child<QTreeView>("TreeView1"), node);
        QCOMPARE(browser().selection().node(), (NodeCode { NodeKind::Picture, id }));
    }

    QTreeView *dates() const { return child<QTreeView>("TreeViewDatas"); }
    DatesTree *datesModel() const { return static_cast<DatesTree *>(dates()->model()); }
    // The node of "Datas" shown under that label path ("2019 (2)", "Junho (2)", ...).
    QModelIndex datesNode(const QStringList &labels) const
    {
        QModelIndex at;
        for (const QString &label : labels) {
            dates()->expand(at);
            if (datesModel()->canFetchMore(at))
                datesModel()->fetchMore(at);
            QModelIndex found;
            for (int r = 0; r < datesModel()->rowCount(at); ++r)
                if (datesModel()->index(r, 0, at).data().toString() == label)
                    found = datesModel()->index(r, 0, at);
            if (!found.isValid())
                return {};
            at = found;
        }
        return at;
    }
    QStringList datesLabels(const QModelIndex &parent) const
    {
        dates()->expand(parent);
        if (datesModel()->canFetchMore(parent))
            datesModel()->fetchMore(parent);
        QStringList out;
        for (int r = 0; r < datesModel()->rowCount(parent); ++r)
            out << datesModel()->index(r, 0, parent).data().toString();
        return out;
    }
    void clickDates(const QModelIndex &index, Qt::MouseButton button = Qt::LeftButton)
    {
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
            dates()->expand(p);
        dates()->scrollTo(index);
        QTest::mouseClick(
            dates()->viewport(), button, {}, dates()->visualRect(index).center());
    }

    QVariant scalar(const QString &sql, const QVariantMap &params = {}) const
    {
        Connection c;
        c.openFile(f.path);
        Query q(c);
        q.setSql(sql);
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            q.setParam(it.key(), it.value());
        q.open();
        const QVariant v = q.isEmpty() ? QVariant() : q.value(q.fieldNames().first());
        q.close();
        c.close();
        return v;
    }
};

} // namespace

class TestPhotoWindows : public QObject {
    Q_OBJECT
private slots:
    // The first showing records what the file says; the block under the fields shows it, the
    // known facts only, and goes away for a picture that says nothing.
    void theFirstShowingRecordsTheFactsAndThePageShowsThem()
    {
        PhotoWindow w;
        QString output;
        QVERIFY2(cameraJpeg(w.file("retrato.jpg"), "2019:06:24 18:30:05", "Canon EOS 80D",
                     &output),
            qPrintable(output));
        QVERIFY(writeFile(w.file("simples.jpg"), jpeg(300, 200)));
        QVERIFY(writeFile(w.file("so_camera.jpg"), jpeg(300, 200)));
        QVERIFY2(exiftool(w.file("so_camera.jpg"), { "-Make=NIKON CORPORATION",
                                                       "-Model=NIKON D750" },
                     &output),
            qPrintable(output));
        const qint64 portrait = w.picture("retrato.jpg");
        const qint64 plain = w.picture("simples.jpg");
        const qint64 cameraOnly = w.picture("so_camera.jpg");
        w.start();
        QVERIFY(!w.facts()->isVisible());

        w.show(portrait);
        // Recorded as the window shows it: upright, its facts and fingerprints.
        QCOMPARE(w.scalar("SELECT Width FROM Pictures WHERE RecId = :P", { { "P", portrait } })
                     .toInt(),
            300);
        QCOMPARE(w.scalar("SELECT Model FROM PictureFacts WHERE Picture = :P",
                      { { "P", portrait } })
                     .toString(),
            QStringLiteral("Canon EOS 80D"));
        QCOMPARE(w.scalar("SELECT COUNT(*) FROM PictureFingerprints WHERE Picture = :P",
                      { { "P", portrait } })
                     .toInt(),
            1);
        QVERIFY(w.facts()->isVisible());
        QCOMPARE(w.fact("FactTaken"), QStringLiteral("24/06/2019 18:30:05 (UTC−03:00)"));
        QCOMPARE(w.fact("FactCamera"), QStringLiteral("Canon EOS 80D"));
        QCOMPARE(w.fact("FactLens"), QStringLiteral("EF-S18-55mm"));
        QCOMPARE(w.fact("FactExposure"), QStringLiteral("1/250 s · f/8 · ISO 200 · 35 mm"));
        QVERIFY(w.fact("FactPlace").contains(QStringLiteral("23,5505° S, 46,6333° O, 760 m")));
        QCOMPARE(w.fact("FactRating"), QStringLiteral("★★★★☆"));
        QCOMPARE(w.fact("FactKeywords"), QStringLiteral("forró, quadrilha"));

        // A file that says nothing: the block takes no room at all.
        w.show(plain);
        QVERIFY(!w.facts()->isVisible());
        QCOMPARE(w.scalar("SELECT COUNT(*) FROM PictureFacts WHERE Picture = :P",
                      { { "P", plain } })
                     .toInt(),
            1);
        // Only what is known has a line.
        w.show(cameraOnly);
        QCOMPARE(w.fact("FactCamera"), QStringLiteral("NIKON D750"));
        for (const char *line :
            { "FactTaken", "FactLens", "FactExposure", "FactPlace", "FactRating", "FactKeywords" })
            QVERIFY2(w.fact(line).isNull(), line);

        // Shown again from its thumbnail, the facts come from the catalogue: the file is gone.
        QVERIFY(QFile::remove(w.file("retrato.jpg")));
        w.show(portrait);
        QCOMPARE(w.fact("FactCamera"), QStringLiteral("Canon EOS 80D"));
        QCOMPARE(w.fact("FactRating"), QStringLiteral("★★★★☆"));
        QVERIFY2(w.prompter.boxes().isEmpty(), qPrintable(w.prompter.boxTexts().join('|')));
    }

    // A picture reviewed before facts were read is read again once, its facts recorded.
    void aPictureReviewedBeforeFactsGetsThemAtItsNextShowing()
    {
        PhotoWindow w;
        QString output;
        QVERIFY2(cameraJpeg(w.file("antiga.jpg"), "2018:01:02 10:00:00", "Canon EOS 80D",
                     &output),
            qPrintable(output));
        const qint64 id = w.picture("antiga.jpg");
        // As an older program left it: reviewed, measured lying down, no facts.
        w.f.exec("UPDATE Pictures SET Review = 0, Width = 400, Height = 300, ColorType = 3");
        w.start();
        w.show(id);
        QCOMPARE(w.scalar("SELECT Height FROM Pictures WHERE RecId = :P", { { "P", id } }).toInt(),
            400);
        QVERIFY(!w.scalar("SELECT Taken FROM PictureFacts WHERE Picture = :P", { { "P", id } })
                     .isNull());
        QCOMPARE(w.fact("FactTaken"), QStringLiteral("02/01/2018 10:00:00 (UTC−03:00)"));
    }

    // While the person edits the row, the showing fills the edited row and records no facts.
    void anEditedPictureRecordsNoFacts()
    {
        PhotoWindow w;
        QString output;
        QVERIFY2(cameraJpeg(w.file("editada.jpg"), "2019:06:24 18:30:05", "Canon EOS 80D",
                     &output),
            qPrintable(output));
        const qint64 id = w.picture("editada.jpg");
        w.start();
        // Selected while its file is away, so that the selection records nothing yet.
        QVERIFY(QFile::rename(w.file("editada.jpg"), w.file("fora.jpg")));
        w.show(id);
        QVERIFY(QFile::rename(w.file("fora.jpg"), w.file("editada.jpg")));
        testsupport::clickNavigator(w.app->Abertura.get(), "DBNavigator3", "nbEdit");
        QVERIFY(w.app->Dados->TPictures.isEditing());
        emit w.browser().thumbnailRequested();
        QCOMPARE(w.app->Dados->TPictures.value("Width").toInt(), 300);
        // No facts written: not even their table, made by the first row.
        QCOMPARE(
            w.scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = 'PictureFacts'").toInt(), 0);
        // What the file says is shown all the same.
        QCOMPARE(w.fact("FactCamera"), QStringLiteral("Canon EOS 80D"));
        // The Cancel drops the details (the picture shown again is away meanwhile, so that
        // this showing records nothing of its own).
        QVERIFY(QFile::rename(w.file("editada.jpg"), w.file("fora.jpg")));
        testsupport::clickNavigator(w.app->Abertura.get(), "DBNavigator3", "nbCancel");
        QVERIFY(w.scalar("SELECT Width FROM Pictures WHERE RecId = :P", { { "P", id } }).isNull());
    }

    // On read-only media the page shows what the file says and nothing is written, silently.
    void aReadOnlyCatalogueShowsTheFactsAndRecordsNothing()
    {
        PhotoWindow w;
        QString output;
        QVERIFY2(cameraJpeg(w.file("foto.jpg"), "2019:06:24 18:30:05", "Canon EOS 80D", &output),
            qPrintable(output));
        const qint64 id = w.picture("foto.jpg");
        QTemporaryDir disc;
        QVERIFY(QFile::copy(w.f.path, disc.filePath("catalogo.mdb")));
        const QByteArray before = digest(disc.filePath("catalogo.mdb"));
        testsupport::Unwritable readOnly(disc.path());
        if (!readOnly.effective())
            QSKIP("this file system cannot refuse writing to a folder");
        // The window finds its catalogue through the configuration, as the options leave it.
        QVERIFY(writeFile(w.f.folder.paths.ConfigFile,
            "[DATABASE]\nPATH=" + disc.path().toUtf8() + "/\nFILENAME=catalogo.mdb\n"));
        w.start();
        QVERIFY(w.app->Dados->Conexao.isReadOnly());
        w.show(id);
        QCOMPARE(w.fact("FactCamera"), QStringLiteral("Canon EOS 80D"));
        QVERIFY2(w.prompter.boxes().isEmpty(), qPrintable(w.prompter.boxTexts().join('|')));
        w.app.reset();
        QCOMPARE(digest(disc.filePath("catalogo.mdb")), before);
    }

    // "Local" is a link: followed, the desktop opens the position on OpenStreetMap.
    void theLocalLinkOpensTheMapThroughTheDesktop()
    {
        PhotoWindow w;
        QString output;
        QVERIFY2(cameraJpeg(w.file("foto.jpg"), "2019:06:24 18:30:05", "Canon EOS 80D", &output),
            qPrintable(output));
        const qint64 id = w.picture("foto.jpg");
        w.start();
        w.app->Abertura->resize(1000, 900);
        w.show(id);
        auto *place = w.child<QLabel>("FactPlace");
        QTRY_VERIFY(place->isVisible() && place->width() > 20);
        const QPoint onText(place->contentsRect().left() + 6,
            place->contentsRect().top() + place->fontMetrics().height() / 2);
        QTest::mouseClick(place, Qt::LeftButton, {}, onText);
        QCOMPARE(w.desktop.opened.size(), 1);
        const QUrl map = w.desktop.opened.first();
        QCOMPARE(map.host(), QStringLiteral("www.openstreetmap.org"));
        QCOMPARE(QUrlQuery(map).queryItemValue("mlat"), QStringLiteral("-23.5505"));
        QCOMPARE(QUrlQuery(map).queryItemValue("mlon"), QStringLiteral("-46.6333"));
        QVERIFY(w.prompter.boxes().isEmpty());

        // A desktop without a browser is told, not silent.
        w.desktop.succeeds = false;
        QTest::mouseClick(place, Qt::LeftButton, {}, onText);
        QCOMPARE(w.prompter.boxes().size(), 1);
        QVERIFY(w.prompter.boxTexts().first().startsWith(
            QStringLiteral("Não foi possível abrir o mapa no navegador:")));
    }

    // "Datas": years, months, days and pictures with their counts, the undated at the end; a
    // picture node shows its page and offers the pop-up menu as the other trees do.
    void theDatasTabListsByDateTakenAndShowsThePicture()
    {
        PhotoWindow w;
        QString output;
        QVERIFY2(cameraJpeg(w.file("a.jpg"), "2019:06:24 18:30:05", "Canon EOS 80D", &output),
            qPrintable(output));
        QVERIFY2(cameraJpeg(w.file("b.jpg"), "2019:06:25 09:00:00", "Canon EOS 80D", &output),
            qPrintable(output));
        QVERIFY2(cameraJpeg(w.file("c.jpg"), "2021:12:31 23:59:00", "Canon EOS 80D", &output),
            qPrintable(output));
        QVERIFY(writeFile(w.file("sem.jpg"), jpeg(300, 200)));
        const qint64 a = w.picture("a.jpg");
        w.picture("b.jpg");
        w.picture("c.jpg");
        const qint64 undated = w.picture("sem.jpg");
        w.thumbs();
        w.start();

        auto *tabs = w.child<PageControl>("PageControl1");
        // Organização, Localização, Datas, and the fourth, Pastas.
        QCOMPARE(tabs->count(), 4);
        const int datas = tabs->indexOf(w.child<QWidget>("TabSheetDatas"));
        QCOMPARE(datas, 2);
        QCOMPARE(tabs->tabBar()->tabText(datas), QStringLiteral("Datas"));
        testsupport::clickTab(tabs, datas);
        QCOMPARE(w.browser().activeTree(), TreePane::Tree::Dates);
        QCOMPARE(w.datesLabels({}),
            (QStringList { "2019 (2)", "2021 (1)", "Sem data (1)" }));
        QCOMPARE(w.datesLabels(w.datesNode({ "2019 (2)" })), QStringList { "Junho (2)" });
        QCOMPARE(w.datesLabels(w.datesNode({ "2019 (2)", "Junho (2)" })),
            (QStringList { "24/06/2019 (1)", "25/06/2019 (1)" }));
        QCOMPARE(w.datesLabels(w.datesNode({ "Sem data (1)" })), QStringList { "sem" });

        // A picture node: its page, as in the other trees.
        const QModelIndex pictureA = w.datesNode({ "2019 (2)", "Junho (2)", "24/06/2019 (1)", "a" });
        QVERIFY(pictureA.isValid());
        w.clickDates(pictureA);
        QCOMPARE(w.browser().selection().node(), (NodeCode { NodeKind::Picture, a }));
        QVERIFY(w.picturePageShown());
        QCOMPARE(w.child<QLineEdit>("DBEdit3")->text(), QStringLiteral("a"));
        QCOMPARE(w.fact("FactCamera"), QStringLiteral("Canon EOS 80D"));
        // A date is no record: nothing selected, no detail page.
        w.clickDates(w.datesNode({ "2021 (1)" }));
        QVERIFY(w.browser().selection().isEmpty());
        QVERIFY(!w.details()->isPageVisible(int(CatalogBrowser::Page::Picture)));

        // The pop-up menu: a right click selects the picture, "Inserir no Lote" adds it.
        const QModelIndex pictureUndated = w.datesNode({ "Sem data (1)", "sem" });
        auto *menu = w.child<QMenu>("PopupMenu2");
        const QPoint pos = w.dates()->visualRect(pictureUndated).center();
        QContextMenuEvent request(
            QContextMenuEvent::Mouse, pos, w.dates()->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(w.dates()->viewport(), &request);
        QTRY_VERIFY(menu->isVisible());
        QAction *add = testsupport::child<QAction>(menu, "InserirnoLote1");
        QVERIFY(add->isEnabled());
        menu->close();
        add->trigger();
        QTRY_COMPARE(w.app->Abertura->batchList(), QList<qint64> { undated });
        QCOMPARE(w.browser().selection().node(), (NodeCode { NodeKind::Picture, undated }));

        // Read again with the other trees, keeping the selected picture selected.
        QString more;
        QVERIFY2(cameraJpeg(w.file("d.jpg"), "2005:03:01 12:00:00", "Canon EOS 80D", &more),
            qPrintable(more));
        w.picture("d.jpg");
        w.thumbs();
        w.clickDates(w.datesNode({ "2019 (2)", "Junho (2)", "24/06/2019 (1)", "a" }));
        emit w.app->Abertura->LoadTrees();
        QCOMPARE(w.datesLabels({}),
            (QStringList { "2005 (1)", "2019 (2)", "2021 (1)", "Sem data (1)" }));
        const QModelIndexList selected = w.dates()->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(w.datesModel()->nodeCode(selected.first()),
            (NodeCode { NodeKind::Picture, a }));
        QVERIFY2(w.prompter.boxes().isEmpty(), qPrintable(w.prompter.boxTexts().join('|')));
    }

    // "Procurar por data e câmera...": the search narrowed by the date taken and the camera,
    // in a dialog of its own that stays open while it finds nothing.
    void theNarrowedSearchFindsByDateAndCamera()
    {
        PhotoWindow w;
        QString output;
        QVERIFY2(cameraJpeg(w.file("São João.jpg"), "2019:06:24 18:30:05", "Canon EOS 80D",
                     &output),
            qPrintable(output));
        QVERIFY2(cameraJpeg(w.file("São João 2.jpg"), "2019:06:25 18:30:05", "Canon EOS 5D",
                     &output),
            qPrintable(output));
        QVERIFY2(cameraJpeg(w.file("São João 3.jpg"), "2021:06:24 18:30:05", "Canon EOS 80D",
                     &output),
            qPrintable(output));
        const qint64 first = w.picture("São João.jpg");
        w.picture("São João 2.jpg");
        w.picture("São João 3.jpg");
        w.thumbs();
        w.start();

        auto *dialog = w.child<QDialog>("SearchNarrowingDialog");
        QStringList cameras;
        const auto fill = [&](const QString &text, const QString &from, const QString &to,
                              const QString &camera) {
            testsupport::typeInto(testsupport::child<QLineEdit>(dialog, "EditProcurar"), text);
            testsupport::typeInto(testsupport::child<QLineEdit>(dialog, "EditDe"), from);
            testsupport::typeInto(testsupport::child<QLineEdit>(dialog, "EditAte"), to);
            testsupport::child<QComboBox>(dialog, "ComboCamera")->setEditText(camera);
        };
        QAction *narrowed
            = w.child<QToolButton>("ToolButton3")->menu()->findChild<QAction *>("ProcurarDataCamera1");
        QVERIFY(narrowed);
        inNextModal(*dialog, [&] {
            auto *camera = testsupport::child<QComboBox>(dialog, "ComboCamera");
            for (int i = 0; i < camera->count(); ++i)
                cameras << camera->itemText(i);
            // A date that is none: told, the dialog stays.
            fill("sao joao", "2019-13", "", "");
            testsupport::click(dialog, "BitBtnProcurar");
            QVERIFY(dialog->isVisible());
            QCOMPARE(w.prompter.boxTexts().last(),
                QStringLiteral("Data inválida: \"2019-13\".\rDigite um ano, um mês ou um dia: "
                               "2019, 2019-06 ou 2019-06-24."));
            QCOMPARE(dialog->focusWidget(), testsupport::child<QLineEdit>(dialog, "EditDe"));
            // Nothing found: told, the dialog stays to be changed.
            fill("sao joao", "2020", "2020", "80D");
            testsupport::click(dialog, "BitBtnProcurar");
            QVERIFY(dialog->isVisible());
            QCOMPARE(w.prompter.boxTexts().last(),
                QStringLiteral("Nenhuma imagem encontrada na base de dados contendo a "
                               "referência \"sao joao\", tirada em 2020, com a câmera \"80D\"."));
            fill("sao joao", "2019", "2019-06", "80D");
            testsupport::click(dialog, "BitBtnProcurar");
        });
        narrowed->trigger();
        QVERIFY(!dialog->isVisible());
        // The cameras the pictures were taken with, the most used first.
        QCOMPARE(cameras, (QStringList { "Canon EOS 80D", "Canon EOS 5D" }));
        auto *grid = w.child<QTableView>("DBGridSearch");
        QCOMPARE(w.details()->activePageIndex(), int(CatalogBrowser::Page::Search));
        QCOMPARE(grid->model()->rowCount(), 1);
        QCOMPARE(grid->model()->index(0, 3).data().toString(), QStringLiteral("São João"));

        // Opened again, it starts from that search; a wider period finds more.
        QString startedWith;
        inNextModal(*dialog, [&] {
            startedWith = testsupport::child<QLineEdit>(dialog, "EditProcurar")->text() + "|"
                + testsupport::child<QLineEdit>(dialog, "EditDe")->text() + "|"
                + testsupport::child<QLineEdit>(dialog, "EditAte")->text() + "|"
                + testsupport::child<QComboBox>(dialog, "ComboCamera")->currentText();
            fill("sao joao", "2019", "2021", "");
            testsupport::click(dialog, "BitBtnProcurar");
        });
        narrowed->trigger();
        QCOMPARE(startedWith, QStringLiteral("sao joao|2019|2019-06|80D"));
        QCOMPARE(grid->model()->rowCount(), 3);

        // A hit leads to its picture as the search's own do.
        const QPoint hit = grid->visualRect(grid->model()->index(0, 1)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, hit);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, hit);
        QCOMPARE(w.browser().selection().node(), (NodeCode { NodeKind::Picture, first }));
        QVERIFY(w.picturePageShown());
    }
};

QTEST_MAIN(TestPhotoWindows)
#include "test_photo_windows.moc"
