#include "core/inifile.h"
#include "core/scriptedprompter.h"
#include "options/topcoes.h"
#include "store/tdados.h"
#include "support/catalogfixture.h"
#include "support/windowdriver.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

namespace {

struct Options {
    CatalogFixture catalog;
    ScriptedPrompter prompter;
    TDados store { catalog.folder.paths, prompter };
    TOpcoes dialog { store, prompter };
    int result = -1;

    Options()
    {
        testsupport::writeFile(catalog.folder.paths.ConfigFile,
            "; feito à mão\n[JANELA]\nLargura=801\n[DATABASE]\nCOMENTARIO=fica\n");
        if (!store.OpenDatabaseAll())
            qFatal("catalogue did not open");
    }
    template<class T> T *child(const char *name)
    {
        return testsupport::child<T>(&dialog, QString::fromLatin1(name));
    }
    void click(const char *name) { testsupport::click(&dialog, QString::fromLatin1(name)); }
    void type(const char *name, const QString &text)
    {
        testsupport::typeInto(child<QLineEdit>(name), text);
    }
    void tick(int row)
    {
        QListWidget *list = child<QListWidget>("CheckListBox1");
        QListWidgetItem *item = list->item(row);
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
    void run(const std::function<void()> &steps) { result = testsupport::runModal(dialog, steps); }
    // A value read through a connection of its own.
    QString scalar(const QString &sql)
    {
        Connection c;
        c.openFile(catalog.path);
        Query q(c);
        q.setSql(sql);
        q.open();
        const QString v = q.eof() ? QString() : q.asString(q.fieldNames().first());
        q.close();
        return v;
    }
    QString used()
    {
        return scalar("SELECT group_concat(Extension || '=' || Used, ' ') FROM Formats");
    }
    QString ini(const QString &key)
    {
        return IniFile(catalog.folder.paths.ConfigFile).readString("DATABASE", key, "(none)");
    }
};

} // namespace

class TestOptions : public QObject {
    Q_OBJECT
private slots:
    void everyChangedGroupIsSavedAndOnlyThen()
    {
        Options o;
        const QString before = o.used();
        QStringList items;
        o.run([&] {
            QCOMPARE(o.child<QTabWidget>("PageControl1")->currentIndex(), 0);
            QListWidget *list = o.child<QListWidget>("CheckListBox1");
            for (int i = 0; i < list->count(); ++i)
                items << list->item(i)->text();
            QVERIFY(!o.child<QPushButton>("BitBtn3")->isEnabled());
            // A format ticked, then a mail field typed: both are written.
            o.tick(0);
            o.type("DBEdit1", "smtp.exemplo.com.br");
            o.type("DBEdit5", "eu@exemplo.com.br");
            QVERIFY(o.child<QPushButton>("BitBtn3")->isEnabled());
            // Nothing is written, and nothing locked, before "Aplicar".
            QCOMPARE(o.used(), before);
            o.catalog.exec("UPDATE Collections SET Name = Name");
            o.click("BitBtn3");
            QVERIFY(!o.child<QPushButton>("BitBtn3")->isEnabled());
            QCOMPARE(o.scalar("SELECT Host || ' ' || Email FROM SMTPAccount"),
                QStringLiteral("smtp.exemplo.com.br eu@exemplo.com.br"));
            QVERIFY(o.used() != before);
            // A second change after "Aplicar" is lost with "Cancelar".
            o.type("DBEdit4", "Ninguem");
        });
        QCOMPARE(o.result, int(QDialog::Rejected));
        QCOMPARE(items.first(), QStringLiteral("Imagem JPEG (*.jpg;*.jpeg)"));
        QVERIFY(items.contains(QStringLiteral("Bitmap do Windows (*.bmp)")));
        QCOMPARE(o.scalar("SELECT coalesce(Name, '-') FROM SMTPAccount"), QStringLiteral("-"));
        QCOMPARE(o.ini("PATH"), QStringLiteral("(none)"));

        // Two ticks and "OK": both written in one pass.
        const QString afterFirst = o.used();
        o.run([&] {
            o.tick(1);
            o.tick(2);
            o.click("BitBtn1");
        });
        QCOMPARE(o.result, int(QDialog::Accepted));
        QStringList a = afterFirst.split(' '), b = o.used().split(' ');
        int differ = 0;
        for (int i = 0; i < a.size(); ++i)
            differ += a[i] != b[i];
        QCOMPARE(differ, 2);
    }

    void databaseLocationIsWrittenToTheConfiguration()
    {
        Options o;
        const QString other = o.catalog.folder.file("outro.mdb");
        testsupport::writeFile(other, "x");
        o.run([&] {
            // "Localizar" offers this program's catalogue and every *.mdb too.
            o.prompter.answerPath(other);
            o.click("BitBtn4");
            QVERIFY(o.prompter.records().last().text.contains("ZIRAK database (ZIRAK.mdb)"));
            QVERIFY(o.prompter.records().last().text.contains("(quillomar.mdb)"));
            QVERIFY(o.prompter.records().last().text.contains("(*.mdb)"));
            QCOMPARE(o.child<QLineEdit>("Edit1")->text(), other);
            o.click("BitBtn1");
        });
        QCOMPARE(o.result, int(QDialog::Accepted));
        QCOMPARE(o.ini("PATH"), o.catalog.folder.dir.path() + "/");
        QCOMPARE(o.ini("FILENAME"), QStringLiteral("outro.mdb"));
        QCOMPARE(o.store.paths().DatabaseFileName, QStringLiteral("outro.mdb"));
        const QString text
            = QString::fromUtf8(testsupport::readFile(o.catalog.folder.paths.ConfigFile));
        QVERIFY(text.contains("; feito à mão") && text.contains("Largura=801")
            && text.contains("COMENTARIO=fica"));

        // A missing file never stays in the edit; an empty path means the default catalogue.
        o.run([&] {
            o.prompter.answerPath(o.catalog.folder.file("sumiu.mdb"));
            o.click("BitBtn4");
            QCOMPARE(o.child<QLineEdit>("Edit1")->text(), QString());
            o.click("BitBtn3");
        });
        QCOMPARE(o.ini("PATH"), o.catalog.folder.paths.ProgramFolder);
        QCOMPARE(o.ini("FILENAME"), QStringLiteral("quillomar.mdb"));
    }

    void aClosedCatalogueLeavesOnlyItsLocationToSet()
    {
        Options o;
        const ProgramPaths opened = o.store.paths();
        const QString other = o.catalog.folder.file("outro.mdb");
        testsupport::writeFile(other, "x");
        // As after a reopening that failed.
        o.store.CloseDatabaseAll();
        o.run([&] {
            auto *pages = o.child<QTabWidget>("PageControl1");
            QCOMPARE(pages->currentIndex(), 2);
            QVERIFY(!pages->isTabEnabled(0) && !pages->isTabEnabled(1));
            o.type("Edit1", other);
            o.click("BitBtn1");
        });
        QCOMPARE(o.result, int(QDialog::Accepted));
        QCOMPARE(o.prompter.boxTexts(), QStringList());
        QCOMPARE(o.ini("FILENAME"), QStringLiteral("outro.mdb"));

        // Open again: every page is back, and a port takes digits only.
        IniFile ini(o.catalog.folder.paths.ConfigFile);
        ini.writeString("DATABASE", "PATH", opened.DatabaseFolder);
        ini.writeString("DATABASE", "FILENAME", opened.DatabaseFileName);
        QVERIFY(o.store.OpenDatabaseAll());
        o.run([&] {
            auto *pages = o.child<QTabWidget>("PageControl1");
            QCOMPARE(pages->currentIndex(), 0);
            QVERIFY(pages->isTabEnabled(0) && pages->isTabEnabled(1));
            QVERIFY(o.child<QListWidget>("CheckListBox1")->count() > 0);
            o.type("DBEdit2", "47025a");
            QCOMPARE(o.child<QLineEdit>("DBEdit2")->text(), QStringLiteral("47025"));
        });
        QCOMPARE(o.prompter.boxTexts(), QStringList());
    }
};

QTEST_MAIN(TestOptions)
#include "test_options.moc"
