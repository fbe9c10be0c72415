#include "app/startup.h"
#include "app/tabertura.h"
#include "browser/catalogbrowser.h"
#include "core/scriptedprompter.h"
#include "store/cataloguelocks.h"
#include "store/query.h"
#include "store/tdados.h"
#include "support/catalogfixture.h"
#include "support/picturesamples.h"
#include "support/unwritable.h"
#include "support/windowdriver.h"
#include "widgets/dbcontrols.h"
#include "widgets/pagecontrol.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <vector>

using testsupport::child;
using testsupport::clickNavigator;

namespace {
const QString kSystemRow = QStringLiteral("Registro do sistema. Exclusão não permitida.");
const QString kConfirm = QStringLiteral("Confirmar a exclusão do registro selecionado?");
const QString kFileQuestion
    = QStringLiteral("Exclusão do registro confirmada.\rApagar o arquivo físico também?");

// The main window over a small catalogue whose pictures have real files.
struct Window {
    CatalogFixture f;
    QTemporaryDir files;
    ScriptedPrompter prompter;
    std::unique_ptr<Startup> app;
    qint64 system = 0, trips = 0, rome = 0, paris = 0, disk = 0, coliseum = 0, forum = 0,
           louvre = 0;

    // With `realBoxes` the program's own message boxes are shown instead of the script.
    explicit Window(bool realBoxes = false)
    {
        system = f.exec("INSERT INTO Collections (Name, System) VALUES ('(undefined)', TRUE)");
        f.exec("INSERT INTO Categories (Collection, Name, System) VALUES (:C, '(undefined)', TRUE)",
            { { "C", system } });
        trips = f.collection("Viagens");
        rome = f.category(trips, "Roma");
        paris = f.category(trips, "Paris");
        disk = f.storage("Disco externo");
        coliseum = f.picture(trips, rome, disk, "coliseu");
        forum = f.picture(trips, rome, disk, "forum");
        louvre = f.picture(trips, paris, disk, "louvre");
        f.exec("UPDATE Pictures SET FullPath = :P", { { "P", files.path() + "/" } });
        for (const char *name : { "coliseu.jpg", "forum.jpg", "louvre.jpg" })
            testsupport::writeFile(files.filePath(name), samples::jpeg(40, 30));
        app = std::make_unique<Startup>(f.folder.paths, realBoxes ? nullptr : &prompter);
        app->createWindows();
        QSignalSpy done(app->Abertura.get(), &TAbertura::startupLoadingDone);
        app->Abertura->show();
        QTRY_COMPARE(done.count(), 1);
    }
    TAbertura &main() { return *app->Abertura; }
    CatalogBrowser &b() { return main().browser(); }
    TDados &store() { return *app->Dados; }
    template<typename T = QWidget> T *find(const char *name)
    {
        return child<T>(&main(), QString::fromLatin1(name));
    }
    QAction *action(const char *name) { return find<QAction>(name); }
    QTreeView *tree(int n) { return find<QTreeView>(n == 1 ? "TreeView1" : "TreeView2"); }
    int node(int n, const char *level, qint64 key)
    {
        return static_cast<const CatalogTree *>(tree(n)->model())
            ->indexOfCode(QString("%1=%2").arg(level).arg(key));
    }
    void click(int n, const char *level, qint64 key)
    {
        if (n == 2)
            testsupport::clickTab(find<PageControl>("PageControl1"), 1);
        testsupport::clickNode(tree(n), node(n, level, key));
    }
    qint64 count(const QString &sql)
    {
        Query q(store().Conexao);
        q.setSql("SELECT COUNT(*) AS N FROM " + sql);
        q.open();
        const qint64 n = q.asInt("N");
        q.close();
        return n;
    }
    QString integrity() { return f.integrity(); }
    // Replaces a text box's text as a person does: select all, then type.
    void type(const char *field, const QString &text)
    {
        auto *edit = find<QLineEdit>(field);
        QVERIFY(edit->isEnabled());
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        for (const QChar c : text) {
            if (c.unicode() < 128)
                QTest::keyClick(edit, c.toLatin1());
            else // no key of its own: the text arrives as a keyboard layout gives it
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), {});
        }
    }
    // Chooses an entry of a picker with the keyboard, as a person does.
    void pick(const char *picker, const QString &text)
    {
        auto *box = find<QComboBox>(picker);
        QTest::mouseClick(box, Qt::LeftButton); // the list is read again as it opens
        box->hidePopup();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Home);
        for (int i = 0; i < box->count() && box->currentText() != text; ++i)
            QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->currentText(), text);
    }
    void post(const char *navigator) { clickNavigator(&main(), navigator, "nbPost"); }
    QStringList nodeNames(int n)
    {
        const auto *m = static_cast<const CatalogTree *>(tree(n)->model());
        QStringList names;
        for (int i = 0; i < m->count(); ++i)
            names << m->name(i);
        return names;
    }
    QString file(const char *name) const { return files.filePath(name); }
    // The store's thumbnail of a picture; its folder is made, so the test can write one.
    QString thumbnail(qint64 id)
    {
        const QString name = store().GetThumbnailName(id);
        QDir().mkpath(QFileInfo(name).path());
        return name;
    }
};
} // namespace

class TestRecordWindow : public QObject {
    Q_OBJECT
private slots:
    void newRecordsAreValidatedBeforeTheyAreSaved()
    {
        Window w;
        w.action("NovaColecao1")->trigger();
        QCOMPARE(w.b().activePage(), CatalogBrowser::Page::Collection);
        QVERIFY(w.b().selection().insertInProgress());
        QVERIFY(!w.find("ToolButton1")->isEnabled());
        QVERIFY(!w.find("ToolButton2")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), w.find("DBEdit1"));
        // Blank, then taken: refused with the focus on the name; the insert goes on.
        w.type("DBEdit1", "   ");
        w.post("DBNavigator1");
        QCOMPARE(w.prompter.boxTexts(), QStringList { "Nome inválido!" });
        QCOMPARE(w.prompter.boxes().last().icon, Prompter::Icon::Error);
        QCOMPARE(QApplication::focusWidget(), w.find("DBEdit1"));
        w.type("DBEdit1", "Viagens");
        w.post("DBNavigator1");
        QCOMPARE(w.prompter.boxTexts().last(), QStringLiteral("Coleção já cadastrada!"));
        QCOMPARE(w.store().TCollections.state(), RecordSet::State::Insert);
        // Quotes, percent, a trailing blank and 5,000 characters are names like any other
        // (a server holds names within their declared width).
        const QString odd = "Fé'rias \"100%\" " + QString(w.f.onServer() ? 80 : 5000, 'x') + " ";
        w.type("DBEdit1", odd);
        w.post("DBNavigator1");
        QCOMPARE(w.prompter.boxTexts().size(), 2);
        QCOMPARE(w.count("Collections WHERE Name = '" + QString(odd).replace("'", "''") + "'"), 1);
        QVERIFY(!w.b().selection().insertInProgress());
        QVERIFY(w.find("ToolButton1")->isEnabled());
        QVERIFY(w.nodeNames(1).contains(odd));
        QVERIFY(w.b().selection().isEmpty());
        QCOMPARE(w.b().activePage(), CatalogBrowser::Page::Collection);
        const qint64 holidays = w.store().TCollections.asInt("RecId");

        // A category: the same name in another collection is fine, in the same one not.
        w.action("NovaCategoria1")->trigger();
        w.pick("DBLookupComboBox1", "Viagens");
        w.type("DBEdit2", "Roma");
        w.post("DBNavigator2");
        QCOMPARE(
            w.prompter.boxTexts().last(), QStringLiteral("Categoria já cadastrada nesta coleção!"));
        QCOMPARE(QApplication::focusWidget(), w.find("DBEdit2"));
        w.pick("DBLookupComboBox1", odd);
        w.post("DBNavigator2");
        QCOMPARE(w.count("Categories WHERE Name = 'Roma'"), 2);
        QCOMPARE(w.count("Categories WHERE Collection = " + QString::number(holidays)), 1);

        // A storage takes the drive shown as its unit; a cancelled insert leaves nothing.
        w.action("NovoLocal1")->trigger();
        w.type("DBEdit10", "Disco externo");
        w.post("DBNavigator4");
        QCOMPARE(w.prompter.boxTexts().last(), QStringLiteral("Local já cadastrado!"));
        w.type("DBEdit10", "Pendrive");
        w.post("DBNavigator4");
        QCOMPARE(w.count("Storages WHERE Name = 'Pendrive' AND Unit = '/'"), 1);
        w.action("NovoLocal1")->trigger();
        w.type("DBEdit10", "Nada");
        clickNavigator(&w.main(), "DBNavigator4", "nbCancel");
        QCOMPARE(w.count("Storages"), 2);
        QVERIFY(!w.b().selection().editing());
        QCOMPARE(w.integrity(), QStringLiteral("ok"));
    }

    void editsRenameNodesReloadTreesOrRollBack()
    {
        Window w;
        // A collection renamed: only its node's text changes.
        w.click(1, "N1", w.trips);
        w.action("Editar1")->trigger();
        QVERIFY(w.b().selection().editInProgress());
        QCOMPARE(w.store().TCollections.state(), RecordSet::State::Edit);
        w.type("DBEdit1", "Passeios");
        w.post("DBNavigator1");
        QVERIFY(!w.b().selection().editing());
        QCOMPARE(w.count("Collections WHERE Name = 'Passeios'"), 1);
        QCOMPARE(w.tree(1)->model()->data(w.tree(1)->currentIndex()).toString(), "Passeios");
        QVERIFY(!w.store().Conexao.inTransaction());

        // Cancelling an edit leaves the stored row as it was.
        w.click(1, "N2", w.rome);
        testsupport::clickNode(w.tree(1), w.node(1, "N2", w.rome));
        QTest::mouseDClick(w.tree(1)->viewport(), Qt::LeftButton, {},
            w.tree(1)->visualRect(w.tree(1)->currentIndex()).center());
        QVERIFY(w.b().selection().editInProgress());
        w.type("DBEdit2", "Paris");
        w.post("DBNavigator2");
        QCOMPARE(
            w.prompter.boxTexts().last(), QStringLiteral("Categoria já cadastrada nesta coleção!"));
        w.type("DBEdit2", "Nápoles");
        clickNavigator(&w.main(), "DBNavigator2", "nbCancel");
        QCOMPARE(w.count("Categories WHERE Name = 'Roma'"), 1);
        QCOMPARE(w.find<QLineEdit>("DBEdit2")->text(), QStringLiteral("Roma"));
        QVERIFY(!w.b().selection().editing());

        // A picture renamed: both trees reloaded, its node selected again.
        w.click(1, "N3", w.forum);
        w.action("Editar1")->trigger();
        QVERIFY(w.find("DBEdit3")->isEnabled());
        QVERIFY(!w.find("DBEdit4")->isEnabled());
        w.type("DBEdit3", "coliseu");
        w.post("DBNavigator3");
        QCOMPARE(
            w.prompter.boxTexts().last(), QStringLiteral("Imagem já cadastrada nesta categoria!"));
        w.type("DBEdit3", "fórum \"romano\"");
        w.post("DBNavigator3");
        QVERIFY(!w.b().selection().editing());
        const int renamed = w.node(1, "N3", w.forum);
        QCOMPARE(w.nodeNames(1).at(renamed), QStringLiteral("fórum \"romano\""));
        QCOMPARE(static_cast<const CatalogTree *>(w.tree(1)->model())
                     ->absoluteIndex(w.tree(1)->currentIndex()),
            renamed);

        // A storage renamed in place in the location tree.
        w.click(2, "N4", w.disk);
        w.action("Editar1")->trigger();
        w.type("DBEdit10", "HD");
        w.post("DBNavigator4");
        QVERIFY(w.nodeNames(2).contains("HD"));
        QCOMPARE(w.count("Storages WHERE Name = 'HD' AND Unit = '/'"), 1);
        QCOMPARE(w.integrity(), QStringLiteral("ok"));
    }

    void newPictureFollowsItsCollectionAndIsCompletedByLocate()
    {
        Window w;
        const qint64 empty = w.f.collection("Vazia");
        w.store().TCollections.refresh();
        w.click(1, "N3", w.louvre); // the category list stands on Paris
        w.action("NovaImagem1")->trigger();
        QCOMPARE(w.b().activePage(), CatalogBrowser::Page::Picture);
        QVERIFY(w.b().selection().isEmpty());
        QVERIFY(w.tree(1)->selectionModel()->selectedRows().isEmpty());
        auto *categories = w.find<QComboBox>("DBLookupComboBox3");
        // The new row's category is shown at once, among its collection's categories only.
        QCOMPARE(categories->currentText(), QStringLiteral("(undefined)"));
        QCOMPARE(categories->count(), 1);
        QVERIFY(!w.find<PageControl>("PageControl3")->isPageVisible(0));
        w.type("DBEdit3", "nova");
        w.post("DBNavigator3");
        QCOMPARE(w.prompter.boxTexts().last(), QStringLiteral("Arquivo inválido!"));
        // A collection without categories leaves the category empty; saving stops there.
        w.pick("DBLookupComboBox2", "Vazia");
        QCOMPARE(categories->currentIndex(), -1);
        w.post("DBNavigator3");
        QCOMPARE(w.prompter.boxTexts().last(), QStringLiteral("Categoria inválida!"));
        QCOMPARE(QApplication::focusWidget(), categories);
        // Another collection brings its first category.
        w.pick("DBLookupComboBox2", "Viagens");
        QCOMPARE(categories->currentText(), QStringLiteral("Roma"));
        QCOMPARE(categories->count(), 2);
        Q_UNUSED(empty);

        // "Localizar": the file's name, folder, size, date, type and drive; the name typed stays.
        const QString chosen = w.file("Praia.JPEG");
        testsupport::writeFile(chosen, samples::jpeg(300, 200));
        w.prompter.answerPath(chosen);
        QTest::mouseClick(w.find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QCOMPARE(w.prompter.records().last().text.section('\n', 0, 0),
            QStringLiteral("Localizando o arquivo de imagem"));
        QCOMPARE(w.find<QLineEdit>("DBEdit4")->text(), QStringLiteral("Praia.JPEG"));
        QCOMPARE(w.find<QLineEdit>("DBEdit3")->text(), QStringLiteral("nova"));
        QCOMPARE(w.find<QLineEdit>("DBEdit5")->text(), QString::number(QFileInfo(chosen).size()));
        QCOMPARE(w.store().TPictures.asString("FileType"), QStringLiteral("jpeg"));
        QCOMPARE(w.store().TPictures.asString("FullPath"), w.files.path() + "/");
        const qint64 drive = w.store().TPictures.asInt("Location");
        QCOMPARE(w.count("Storages WHERE System = TRUE AND RecId = " + QString::number(drive)), 1);
        w.post("DBNavigator3");
        QVERIFY(!w.b().selection().editing());
        QCOMPARE(w.count("Pictures WHERE Name = 'nova' AND Category = " + QString::number(w.rome)
                     + " AND FileType = 'jpeg' AND Review = TRUE"),
            1);
        QVERIFY(w.nodeNames(1).contains("nova"));
        QCOMPARE(w.integrity(), QStringLiteral("ok"));
    }

    void anEditLocksNothingUntilItWrites()
    {
        Window w;
        w.click(1, "N3", w.forum);
        w.action("Editar1")->trigger();
        w.type("DBEdit3", "em edição");
        // Another process commits while the person types.
        QTemporaryDir folder;
        testsupport::writeFile(folder.filePath("nova.jpg"), samples::jpeg(20, 20));
        const QString cli = w.f.folder.file("quillomar-cli");
        QFile::copy(testsupport::binDir() + "/quillomar-cli", cli);
        QProcess scan;
        scan.start(cli, { "--catalogue", w.f.path, "scan", folder.path() });
        QVERIFY(scan.waitForFinished(120000));
        QVERIFY2(scan.exitCode() == 0, scan.readAllStandardError().constData());
        QCOMPARE(w.count("Pictures WHERE FileName = 'nova.jpg'"), 1);
        const qint64 storages = w.count("Storages");
        w.post("DBNavigator3");
        QCOMPARE(w.count("Pictures WHERE Name = 'em edição'"), 1);

        // "Localizar" adds the storage of another drive in the edit's transaction; Cancel
        // takes it back with the edit.
        w.f.exec("DELETE FROM Storages WHERE System = TRUE");
        w.click(1, "N3", w.louvre);
        w.action("Editar1")->trigger();
        w.prompter.answerPath(w.file("louvre.jpg"));
        QTest::mouseClick(w.find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QVERIFY(w.store().Conexao.inTransaction());
        QCOMPARE(w.count("Storages"), storages);
        clickNavigator(&w.main(), "DBNavigator3", "nbCancel");
        QVERIFY(!w.store().Conexao.inTransaction());
        QCOMPARE(w.count("Storages"), storages - 1);
        QCOMPARE(w.integrity(), QStringLiteral("ok"));
    }

    void namesAreCheckedUnderTheSavesWriteLock()
    {
        Window w;
        const QString taken = QStringLiteral("Coleção já cadastrada!");
        // The check of a save waits for the write lock the save writes under: while another
        // process holds it, the name is not even looked at (the wait ends in the engine's
        // message, the record still being inserted).
        w.store().Conexao.setBusyTimeout(200);
        w.action("NovaColecao1")->trigger();
        w.type("DBEdit1", "VIAGENS");
        {
            Connection other;
            other.openFile(w.f.path);
            other.beginTransaction();
            // A server's writer holds only what it guards: here the name being saved.
            CatalogueLocks::name(other, QStringLiteral("Collections"), 0, QStringLiteral("viagens"));
            w.post("DBNavigator1");
            other.rollback();
        }
        QCOMPARE(w.prompter.boxTexts().size(), 1);
        QVERIFY2(w.prompter.boxTexts().last() != taken, qPrintable(w.prompter.boxTexts().last()));
        QCOMPARE(w.store().TCollections.state(), RecordSet::State::Insert);
        // A refusal lets the lock go before its box shows: nothing stays locked while the
        // person reads it and corrects the name.
        int lockedAtRefusal = 0;
        w.prompter.onBox = [&](const ScriptedPrompter::Record &r) {
            if (r.text == taken)
                lockedAtRefusal += w.store().Conexao.inTransaction() ? 1 : 0;
        };
        w.post("DBNavigator1");
        QCOMPARE(w.prompter.boxTexts().last(), taken);
        QCOMPARE(lockedAtRefusal, 0);
        QVERIFY(!w.store().Conexao.inTransaction());
        // Letter case ignored over all of Unicode, accents not.
        w.type("DBEdit1", "Férias");
        w.post("DBNavigator1");
        QVERIFY(!w.b().selection().editing());
        w.click(1, "N1", w.trips);
        w.action("Editar1")->trigger();
        w.type("DBEdit1", "FÉRIAS");
        w.post("DBNavigator1");
        QCOMPARE(w.prompter.boxTexts().last(), taken);
        QCOMPARE(lockedAtRefusal, 0);
        QVERIFY(!w.store().Conexao.inTransaction());
        w.type("DBEdit1", "FERIAS");
        w.post("DBNavigator1");
        QVERIFY(!w.b().selection().editing());
        QCOMPARE(w.count("Collections WHERE Name = 'FERIAS'"), 1);

        // The window and commands saving one name at once: one row.
        w.store().Conexao.setBusyTimeout(5000);
        const QString cli = w.f.folder.file("quillomar-cli");
        QFile::copy(testsupport::binDir() + "/quillomar-cli", cli);
        for (int t = 0; t < 16; ++t) {
            const QString name = QStringLiteral("Janela%1").arg(t);
            w.action("NovaColecao1")->trigger();
            w.type("DBEdit1", name);
            std::vector<std::unique_ptr<QProcess>> running;
            for (int i = 0; i < 3; ++i) {
                running.push_back(std::make_unique<QProcess>());
                running.back()->start(cli, { "--catalogue", w.f.path, "new", "collection", name });
            }
            for (const auto &p : running)
                QVERIFY(p->waitForStarted());
            w.post("DBNavigator1");
            // The window's post lets events through: a command may have ended there already.
            for (const auto &p : running)
                QVERIFY(p->state() == QProcess::NotRunning || p->waitForFinished(120000));
            if (w.b().selection().insertInProgress())
                clickNavigator(&w.main(), "DBNavigator1", "nbCancel");
            QVERIFY(!w.store().Conexao.inTransaction());
            QCOMPARE(w.count("Collections WHERE Name = '" + name + "'"), 1);
        }
        QCOMPARE(w.integrity(), QStringLiteral("ok"));
    }

    void locateTakesOnlyARegularFile()
    {
        Window w;
        w.click(1, "N3", w.forum);
        w.action("Editar1")->trigger();
        const QString fifo = w.file("fila.jpg");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        for (const QString &path : { fifo, w.files.path() }) {
            w.prompter.answerPath(path);
            QTest::mouseClick(w.find<QPushButton>("BitBtn2"), Qt::LeftButton);
            QCOMPARE(w.prompter.boxTexts().last(),
                QStringLiteral("Não foi possível abrir o arquivo \"%1\". O arquivo não é um "
                               "arquivo comum.")
                    .arg(path));
            QCOMPARE(w.find<QLineEdit>("DBEdit4")->text(), QStringLiteral("forum.jpg"));
            QCOMPARE(w.store().TPictures.asString("FullPath"), w.files.path() + "/");
        }
        clickNavigator(&w.main(), "DBNavigator3", "nbCancel");
        QVERIFY(!w.store().Conexao.inTransaction());
    }

    void deletingRefusesSystemRowsAsksAndCascades()
    {
        Window w;
        // The default collection cannot go.
        w.click(1, "N1", w.system);
        clickNavigator(&w.main(), "DBNavigator1", "nbDelete");
        QCOMPARE(w.prompter.boxTexts(), QStringList { kSystemRow });
        QCOMPARE(w.prompter.boxes().first().icon, Prompter::Icon::Warning);
        QCOMPARE(w.prompter.beeps(), 2);
        // The person says No: everything stays.
        w.prompter.clear();
        w.click(1, "N1", w.trips);
        w.prompter.answerButton(Prompter::No);
        w.action("Excluir1")->trigger();
        const QString prefix = "Excluindo uma coleção todas as suas categorias e imagens também "
                               "serão automaticamente excluídas do banco de dados. ";
        QCOMPARE(w.prompter.boxTexts(), QStringList { prefix + kConfirm });
        QCOMPARE(w.count("Pictures"), 3);
        // Yes: the collection, its categories and pictures go; the files and thumbnails stay.
        testsupport::writeFile(w.thumbnail(w.louvre), samples::jpeg(8, 8));
        w.prompter.answerButton(Prompter::Yes);
        w.action("Excluir1")->trigger();
        QCOMPARE(w.count("Collections"), 1);
        QCOMPARE(w.count("Categories"), 1);
        QCOMPARE(w.count("Pictures"), 0);
        QVERIFY(QFile::exists(w.file("louvre.jpg")));
        QVERIFY(QFile::exists(w.thumbnail(w.louvre)));
        QCOMPARE(w.node(1, "N1", w.trips), -1);
        QCOMPARE(w.node(2, "N3", w.louvre), -1);
        QCOMPARE(w.main().panelText(0), QStringLiteral("0 imagens"));
        QCOMPARE(w.integrity(), QStringLiteral("ok"));

        // A storage from the location tree: its own prefix.
        Window v;
        v.click(2, "N4", v.disk);
        v.action("Excluir1")->trigger();
        QCOMPARE(v.prompter.boxTexts().last(),
            "Excluindo um local todas as suas imagens também serão automaticamente excluídas do "
            "banco de dados. "
                + kConfirm);
        QCOMPARE(v.count("Pictures"), 0);
        QCOMPARE(v.count("Storages"), 0);
    }

    void deletingAPictureAsksAboutItsFile()
    {
        Window w;
        // Yes to both: record, file and thumbnail go; the page of the record gone shows
        // nothing (no neighbour in its place) and nothing stays selected.
        testsupport::writeFile(w.thumbnail(w.forum), samples::jpeg(8, 8));
        w.click(1, "N3", w.forum);
        w.prompter.clear();
        clickNavigator(&w.main(), "DBNavigator3", "nbDelete");
        QCOMPARE(w.prompter.boxTexts(), QStringList({ kConfirm, kFileQuestion }));
        QVERIFY(!QFile::exists(w.file("forum.jpg")));
        QVERIFY(!QFile::exists(w.thumbnail(w.forum)));
        QCOMPARE(w.count("Pictures WHERE RecId = " + QString::number(w.forum)), 0);
        QCOMPARE(w.node(1, "N3", w.forum), -1);
        QCOMPARE(w.node(2, "N3", w.forum), -1);
        QVERIFY(!w.b().isPageVisible(CatalogBrowser::Page::Picture));
        QVERIFY(w.b().selection().isEmpty());

        // No to the file: the record goes, the file stays.
        w.prompter.clear();
        w.click(2, "N3", w.louvre);
        w.prompter.answerButton(Prompter::Yes);
        w.prompter.answerButton(Prompter::No);
        clickNavigator(&w.main(), "DBNavigator3", "nbDelete");
        QCOMPARE(w.count("Pictures WHERE RecId = " + QString::number(w.louvre)), 0);
        QVERIFY(QFile::exists(w.file("louvre.jpg")));

        // A read-only file is asked about after the record went; No keeps it.
        Window r;
        QFile::setPermissions(r.file("coliseu.jpg"), QFile::ReadOwner | QFile::ReadGroup);
        r.click(1, "N3", r.coliseum);
        r.prompter.clear();
        r.prompter.answerButton(Prompter::Yes);
        r.prompter.answerButton(Prompter::Yes);
        r.prompter.answerButton(Prompter::No);
        r.action("Excluir1")->trigger();
        const QString readOnly
            = "Arquivo " + r.file("coliseu.jpg") + " somente para leitura!\rApagar assim mesmo?";
        QCOMPARE(r.prompter.boxTexts(), QStringList({ kConfirm, kFileQuestion, readOnly }));
        QCOMPARE(r.prompter.boxes().last().icon, Prompter::Icon::Error);
        QCOMPARE(r.count("Pictures WHERE RecId = " + QString::number(r.coliseum)), 0);
        QVERIFY(QFile::exists(r.file("coliseu.jpg")));
        // Yes clears the mark and deletes it.
        r.click(1, "N3", r.forum);
        QFile::setPermissions(r.file("forum.jpg"), QFile::ReadOwner);
        r.prompter.clear();
        r.action("Excluir1")->trigger();
        QCOMPARE(r.prompter.boxTexts().size(), 3);
        QVERIFY(!QFile::exists(r.file("forum.jpg")));

        // A missing file asks nothing more; a symbolic link is never followed.
        QVERIFY(QFile::remove(r.file("louvre.jpg")));
        r.click(1, "N3", r.louvre);
        r.prompter.clear();
        r.action("Excluir1")->trigger();
        QCOMPARE(r.prompter.boxTexts(), QStringList { kConfirm });
        QCOMPARE(r.count("Pictures"), 0);
        QCOMPARE(r.integrity(), QStringLiteral("ok"));
    }

    void deletingAPictureNeverFollowsALinkAndReportsAFailure()
    {
        Window w;
        QTemporaryDir elsewhere;
        const QString target = elsewhere.filePath("precious.jpg");
        testsupport::writeFile(target, samples::jpeg(20, 20));
        QFile::remove(w.file("forum.jpg"));
        QVERIFY(QFile::link(target, w.file("forum.jpg")));
        w.click(1, "N3", w.forum);
        w.prompter.clear();
        w.action("Excluir1")->trigger();
        QCOMPARE(w.prompter.boxTexts(), QStringList { kConfirm });
        QVERIFY(QFile::exists(target));
        QVERIFY(QFileInfo(w.file("forum.jpg")).isSymLink());

        // A folder where nothing may be deleted: the record goes, the failure is reported.
        testsupport::Unwritable locked(w.files.path());
        if (!locked.effective())
            QSKIP("the folder cannot be made undeletable here");
        w.click(1, "N3", w.louvre);
        w.prompter.clear();
        w.action("Excluir1")->trigger();
        locked.release();
        QCOMPARE(w.count("Pictures WHERE RecId = " + QString::number(w.louvre)), 0);
        QVERIFY(QFile::exists(w.file("louvre.jpg")));
        QCOMPARE(w.prompter.boxes().last().icon, Prompter::Icon::Warning);
        QVERIFY(w.prompter.boxTexts().last().startsWith("O arquivo " + w.file("louvre.jpg")));
    }

    // The repro of a deleted dependant: its page must not come back with an insert that is
    // cancelled, nor be deleted again with its file.
    void aPageNeverShowsARecordThatIsNotTheSelectedNodes()
    {
        Window w;
        testsupport::writeFile(w.thumbnail(w.coliseum), samples::jpeg(8, 8));
        w.click(1, "N3", w.coliseum);
        QCOMPARE(w.find<QLineEdit>("DBEdit3")->text(), QStringLiteral("coliseu"));
        w.click(1, "N2", w.rome);
        w.prompter.clear();
        clickNavigator(&w.main(), "DBNavigator2", "nbDelete");
        QCOMPARE(w.count("Pictures"), 1);
        // The selected record is gone: its page shows nothing, the trees were read again.
        QVERIFY(w.b().selection().isEmpty());
        QVERIFY(testsupport::visiblePages(w.find<PageControl>("PageControl2")).isEmpty());
        QCOMPARE(w.node(1, "N2", w.rome), -1);
        QCOMPARE(w.main().panelText(0), QStringLiteral("1 imagens"));

        // "Nova Imagem", then cancel: the picture page does not show the cascaded picture.
        w.action("NovaImagem1")->trigger();
        QVERIFY(w.b().isPageVisible(CatalogBrowser::Page::Picture));
        clickNavigator(&w.main(), "DBNavigator3", "nbCancel");
        QVERIFY(!w.b().isPageVisible(CatalogBrowser::Page::Picture));
        QVERIFY(w.find<QLineEdit>("DBEdit3")->text() != QStringLiteral("coliseu")
            || !w.find("DBEdit3")->isVisible());
        // Nothing is deleted through it: no question, the file and the thumbnail stay.
        w.prompter.clear();
        w.b().performNavigatorAction(NodeKind::Picture, DBNavigator::nbDelete);
        w.b().performNavigatorAction(NodeKind::Picture, DBNavigator::nbEdit);
        QCOMPARE(w.prompter.boxTexts(), QStringList());
        QVERIFY(!w.b().selection().editing());
        QCOMPARE(w.store().TPictures.state(), RecordSet::State::Browse);
        QVERIFY(QFile::exists(w.file("coliseu.jpg")));
        QVERIFY(QFile::exists(w.thumbnail(w.coliseum)));
        QCOMPARE(w.count("Pictures"), 1);

        // The same after deleting a storage whose picture was shown before.
        Window v;
        v.click(2, "N3", v.louvre);
        v.click(2, "N4", v.disk);
        clickNavigator(&v.main(), "DBNavigator4", "nbDelete");
        QCOMPARE(v.count("Pictures"), 0);
        v.action("NovaImagem1")->trigger();
        clickNavigator(&v.main(), "DBNavigator3", "nbCancel");
        QVERIFY(!v.b().isPageVisible(CatalogBrowser::Page::Picture));
        v.prompter.clear();
        v.b().performNavigatorAction(NodeKind::Picture, DBNavigator::nbDelete);
        QCOMPARE(v.prompter.boxTexts(), QStringList());
        QVERIFY(QFile::exists(v.file("louvre.jpg")));
    }

    // Records another program deleted: no other record's page, no edit, no deletion of a
    // file for them; the page shows nothing and the trees are read again.
    void recordsDeletedByAnotherProgramAreNeitherShownNorTouched()
    {
        Window w;
        w.click(1, "N3", w.forum);
        w.f.exec("DELETE FROM Pictures WHERE RecId = :K", { { "K", w.louvre } });
        QVERIFY(w.node(1, "N3", w.louvre) >= 0);
        w.click(1, "N3", w.louvre);
        QVERIFY(!w.b().isPageVisible(CatalogBrowser::Page::Picture));
        QVERIFY(w.b().selection().isEmpty());
        QCOMPARE(w.node(1, "N3", w.louvre), -1);
        QCOMPARE(w.main().panelText(0), QStringLiteral("2 imagens"));
        QVERIFY(w.prompter.boxTexts().isEmpty());

        // Gone while its page is shown: "Editar" and "Excluir" find nothing to act on.
        w.click(1, "N3", w.forum);
        w.f.exec("DELETE FROM Pictures WHERE RecId = :K", { { "K", w.forum } });
        w.action("Editar1")->trigger();
        QVERIFY(!w.b().selection().editing());
        QCOMPARE(w.store().TPictures.state(), RecordSet::State::Browse);
        QVERIFY(!w.b().isPageVisible(CatalogBrowser::Page::Picture));
        QCOMPARE(w.node(1, "N3", w.forum), -1);
        w.click(1, "N3", w.coliseum);
        w.f.exec("DELETE FROM Pictures WHERE RecId = :K", { { "K", w.coliseum } });
        w.action("Excluir1")->trigger();
        QVERIFY(w.prompter.boxTexts().isEmpty());
        QVERIFY(QFile::exists(w.file("coliseu.jpg")));
        QCOMPARE(w.node(1, "N3", w.coliseum), -1);

        // Gone during an edit: saving says so in Portuguese and ends the edit.
        Window e;
        e.click(1, "N2", e.paris);
        e.action("Editar1")->trigger();
        e.type("DBEdit2", "Lyon");
        e.f.exec("DELETE FROM Categories WHERE RecId = :K", { { "K", e.paris } });
        e.post("DBNavigator2");
        QCOMPARE(e.prompter.boxTexts(),
            QStringList { "O registro não existe mais no catálogo.\rA edição foi descartada." });
        QVERIFY(!e.b().selection().editing());
        QVERIFY(!e.store().Conexao.inTransaction());
        QCOMPARE(e.store().TCategories.state(), RecordSet::State::Browse);
        QVERIFY(!e.b().isPageVisible(CatalogBrowser::Page::Category));
        QCOMPARE(e.node(1, "N2", e.paris), -1);
        QCOMPARE(e.count("Categories WHERE Name = 'Lyon'"), 0);
        QCOMPARE(e.integrity(), QStringLiteral("ok"));
    }

    // The picture page's pickers show a name saved meanwhile, without opening their list.
    void picturePickersShowNamesSavedSince()
    {
        Window w;
        w.click(1, "N3", w.louvre);
        QCOMPARE(w.find<QComboBox>("DBLookupComboBox2")->currentText(), QStringLiteral("Viagens"));
        QCOMPARE(w.find<QComboBox>("DBLookupComboBox3")->currentText(), QStringLiteral("Paris"));
        w.click(1, "N1", w.trips);
        w.action("Editar1")->trigger();
        w.type("DBEdit1", "Passeios");
        w.post("DBNavigator1");
        w.click(1, "N2", w.paris);
        w.action("Editar1")->trigger();
        w.type("DBEdit2", "Lyon");
        w.post("DBNavigator2");
        w.click(2, "N4", w.disk);
        w.action("Editar1")->trigger();
        w.type("DBEdit10", "HD");
        w.post("DBNavigator4");
        w.click(1, "N3", w.louvre);
        QCOMPARE(w.find<QComboBox>("DBLookupComboBox2")->currentText(), QStringLiteral("Passeios"));
        QCOMPARE(w.find<QComboBox>("DBLookupComboBox3")->currentText(), QStringLiteral("Lyon"));
        QCOMPARE(w.find<QComboBox>("DBLookupComboBox7")->currentText(), QStringLiteral("HD"));
        // The category page's collection picker too.
        w.click(1, "N2", w.rome);
        QCOMPARE(w.find<QComboBox>("DBLookupComboBox1")->currentText(), QStringLiteral("Passeios"));
    }

    // Texts are not cut: the colour model whole; a new record shows no grid of another
    // record's counts.
    void pagesShowTheirTextsWholeAndNoStaleGrid()
    {
        Window w;
        w.f.exec("UPDATE Pictures SET ColorType = 3");
        w.store().TPictures.refresh();
        w.click(1, "N3", w.louvre);
        auto *colours = w.find<QComboBox>("DBLookupComboBox5");
        QCOMPARE(colours->currentText(), QStringLiteral("16 milhões de cores (24 bits)"));
        QStyleOptionComboBox option;
        option.initFrom(colours);
        const QRect text = colours->style()->subControlRect(
            QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, colours);
        QVERIFY2(colours->fontMetrics().horizontalAdvance(colours->currentText()) <= text.width(),
            qPrintable(QString::number(text.width())));

        // A category with pictures counted, then a collection (another count), then a new
        // category: its page shows no grid.
        w.click(1, "N2", w.rome);
        auto *grid = w.find<QTableView>("DBGrid2");
        QVERIFY(grid->isVisible());
        w.click(1, "N1", w.trips);
        QVERIFY(w.find<QTableView>("DBGrid1")->isVisible());
        w.action("NovaCategoria1")->trigger();
        QCOMPARE(w.b().activePage(), CatalogBrowser::Page::Category);
        QVERIFY(!grid->isVisible());
        w.type("DBEdit2", "Nova");
        w.post("DBNavigator2");
        QVERIFY(!grid->isVisible());
    }

    // Enter on the question about a picture's file keeps the file: "Não" is its default,
    // and so it is on the read-only question. The boxes here are the program's own.
    void enterOnAFileQuestionKeepsTheFile()
    {
        Window w(true);
        QFile::setPermissions(w.file("forum.jpg"), QFile::ReadOwner | QFile::ReadGroup);
        QStringList shown;
        QList<QByteArray> answers;
        QTimer answer;
        answer.setInterval(10);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || answers.isEmpty())
                return;
            shown << box->text();
            const QByteArray how = answers.takeFirst();
            if (how == "Enter")
                QTest::keyClick(box, Qt::Key_Return);
            else
                box->button(QMessageBox::Yes)->click();
        });
        answer.start();
        // Enter on both questions: the record goes, the file stays.
        w.click(1, "N3", w.coliseum);
        answers = { "Enter", "Enter" };
        w.action("Excluir1")->trigger();
        QCOMPARE(shown,
            QStringList({ kConfirm,
                "Exclusão do registro confirmada.\nApagar o arquivo físico "
                "também?" }));
        QCOMPARE(w.count("Pictures WHERE RecId = " + QString::number(w.coliseum)), 0);
        QVERIFY(QFile::exists(w.file("coliseu.jpg")));
        // Yes to the file, then Enter on its read-only question: the file stays.
        shown.clear();
        w.click(1, "N3", w.forum);
        answers = { "Enter", "Yes", "Enter" };
        w.action("Excluir1")->trigger();
        QCOMPARE(shown.size(), 3);
        QVERIFY(shown.last().endsWith("somente para leitura!\nApagar assim mesmo?"));
        QCOMPARE(w.count("Pictures WHERE RecId = " + QString::number(w.forum)), 0);
        QVERIFY(QFile::exists(w.file("forum.jpg")));
    }
};

QTEST_MAIN(TestRecordWindow)
#include "test_record_window.moc"
