#include "app/startup.h"
#include "app/tabertura.h"
#include "browser/catalogbrowser.h"
#include "browser/catalogfixture.h"
#include "core/scriptedprompter.h"
#include "store/query.h"
#include "store/tdados.h"
#include "support/picturesamples.h"
#include "support/windowdriver.h"
#include "widgets/dbcontrols.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>

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

    Window()
    {
        system = f.exec("INSERT INTO Collections (Name, System) VALUES ('(undefined)', 1)");
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
        app = std::make_unique<Startup>(f.folder.paths, &prompter);
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
    QString integrity()
    {
        Query q(store().Conexao);
        q.setSql("PRAGMA integrity_check");
        q.open();
        const QString r = q.value("integrity_check").toString();
        q.close();
        return r;
    }
    QString file(const char *name) const { return files.filePath(name); }
    QString thumbnail(qint64 id) { return store().GetThumbnailName(id); }
};
// Makes a folder's entries undeletable: by permissions, or for the superuser, whom
// permissions do not stop, by the file system's immutable mark.
bool lockFolder(const QString &folder, bool locked)
{
    if (::geteuid() != 0)
        return QFile::setPermissions(folder,
            QFile::ReadOwner | QFile::ExeOwner
                | (locked ? QFile::Permissions() : QFile::WriteOwner));
    return QProcess::execute("chattr", { locked ? "+i" : "-i", folder }) == 0;
}
} // namespace

class TestRecordWindow : public QObject {
    Q_OBJECT
private slots:
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
        QCOMPARE(w.count("Categories"), 0);
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
        // Yes to both: record, file and thumbnail go; the neighbour is shown.
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
        QVERIFY(w.b().isPageVisible(CatalogBrowser::Page::Picture));

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
        if (!lockFolder(w.files.path(), true))
            QSKIP("the folder cannot be made undeletable here");
        w.click(1, "N3", w.louvre);
        w.prompter.clear();
        w.action("Excluir1")->trigger();
        QVERIFY(lockFolder(w.files.path(), false));
        QCOMPARE(w.count("Pictures WHERE RecId = " + QString::number(w.louvre)), 0);
        QVERIFY(QFile::exists(w.file("louvre.jpg")));
        QCOMPARE(w.prompter.boxes().last().icon, Prompter::Icon::Warning);
        QVERIFY(w.prompter.boxTexts().last().startsWith("O arquivo " + w.file("louvre.jpg")));
    }
};

QTEST_MAIN(TestRecordWindow)
#include "test_record_window.moc"
