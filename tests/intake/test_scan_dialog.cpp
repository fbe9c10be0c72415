#include "test_scan_fixture.h"

#include "core/eventpump.h"
#include "intake/drivelist.h"
#include "intake/drivepicker.h"
#include "intake/folderscan.h"
#include "intake/storagefordrive.h"
#include "intake/trastreamento.h"
#include "support/windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

namespace {

// The dialog as the main window uses it, over a fixture's store and prompter.
struct DialogFixture {
    ScanFixture f;
    qint64 trips = 0;
    qint64 rome = 0;
    bool opened = prepare();
    TRastreamento dialog { *f.store, f.prompter };
    QList<bool> treesCurrent;

    DialogFixture()
    {
        QObject::connect(
            &dialog, &TRastreamento::treesCurrentChanged, [this](bool v) { treesCurrent << v; });
    }
    // Two collections' rows, then the store opened on them.
    bool prepare()
    {
        f.exec("INSERT INTO Collections (Name, System) VALUES ('Viagens', 0)");
        trips = f.scalar("SELECT RecId FROM Collections WHERE Name = 'Viagens'").toLongLong();
        f.exec(QStringLiteral(
            "INSERT INTO Categories (Collection, Name, System) VALUES (%1, 'Roma', 0)")
                   .arg(trips));
        f.exec(QStringLiteral(
            "INSERT INTO Categories (Collection, Name, System) VALUES (%1, 'Atenas', 0)")
                   .arg(trips));
        rome = f.scalar("SELECT RecId FROM Categories WHERE Name = 'Roma'").toLongLong();
        return f.openStore();
    }
    template<class T> T *control(const char *name) const
    {
        return testsupport::child<T>(&dialog, QString::fromLatin1(name));
    }
    QLabel *Label1() const { return control<QLabel>("Label1"); }
    QLabel *Label2() const { return control<QLabel>("Label2"); }
    QLabel *Label3() const { return control<QLabel>("Label3"); }
    QLabel *Label4() const { return control<QLabel>("Label4"); }
    DrivePicker *ShellComboBox1() const { return control<DrivePicker>("ShellComboBox1"); }
    QLineEdit *Edit1() const { return control<QLineEdit>("Edit1"); }
    QPushButton *BitBtn1() const { return control<QPushButton>("BitBtn1"); }
    QCheckBox *CheckBox1() const { return control<QCheckBox>("CheckBox1"); }
    QComboBox *DBLookupComboBox1() const { return control<QComboBox>("DBLookupComboBox1"); }
    QComboBox *DBLookupComboBox2() const { return control<QComboBox>("DBLookupComboBox2"); }
    QPushButton *BitBtn2() const { return control<QPushButton>("BitBtn2"); }
    QPushButton *BitBtn3() const { return control<QPushButton>("BitBtn3"); }
    QProgressBar *Animate1() const { return control<QProgressBar>("Animate1"); }
    QStatusBar *StatusBar1() const { return control<QStatusBar>("StatusBar1"); }
    QStringList items(QComboBox *box) const
    {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    }
    void pick(QComboBox *box, const QString &text)
    {
        const int index = box->findText(text);
        QVERIFY(index >= 0);
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    QList<QWidget *> scanLocked() const
    {
        return { ShellComboBox1(), Edit1(), BitBtn1(), CheckBox1(), DBLookupComboBox1(),
            DBLookupComboBox2(), BitBtn2() };
    }
};

QString kindText(const ScriptedPrompter::Record &r)
{
    return r.kind == ScriptedPrompter::Kind::Beep ? QStringLiteral("beep") : r.text;
}

QStringList transcript(const ScriptedPrompter &p)
{
    QStringList out;
    for (const ScriptedPrompter::Record &r : p.records())
        out << kindText(r);
    return out;
}

} // namespace

class TestScanDialog : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        // Every pump processes events, so a click queued before a scan lands in it.
        EventPump::setInterval(0);
    }

    void controlsAndActivation()
    {
        DialogFixture d;
        TRastreamento &w = d.dialog;
        QCOMPARE(w.windowTitle(), QStringLiteral("Rastreamento"));
        for (const char *name : { "Label1", "ShellComboBox1", "Label2", "Edit1", "BitBtn1",
                 "CheckBox1", "Label3", "DBLookupComboBox1", "Label4", "DBLookupComboBox2",
                 "BitBtn2", "BitBtn3", "Animate1", "StatusBar1" })
            QVERIFY2(w.findChild<QWidget *>(QLatin1String(name)), name);
        QCOMPARE(d.Label1()->text(), QStringLiteral("Unidade"));
        QCOMPARE(d.Label2()->text(), QStringLiteral("Pasta"));
        QCOMPARE(d.Label3()->text(), QStringLiteral("Coleção"));
        QCOMPARE(d.Label4()->text(), QStringLiteral("Categoria"));
        QCOMPARE(d.BitBtn1()->text(), QStringLiteral("Procurar"));
        QCOMPARE(d.CheckBox1()->text(), QStringLiteral("Incluir subpastas"));
        QCOMPARE(d.BitBtn2()->text(), QStringLiteral("Executar"));
        QCOMPARE(d.BitBtn3()->text(), QStringLiteral("Cancelar"));
        QVERIFY(d.CheckBox1()->isChecked());
        QVERIFY(d.Edit1()->text().isEmpty());

        w.show();
        QVERIFY(!d.Animate1()->isVisible());
        QVERIFY(d.StatusBar1()->currentMessage().isEmpty());
        QCOMPARE(w.collectionKey(), d.f.store->DefaultCollectionId);
        QCOMPARE(w.categoryKey(), d.f.store->DefaultCategoryId);
        QCOMPARE(d.items(d.DBLookupComboBox1()), QStringList({ "(undefined)", "Viagens" }));
        QCOMPARE(d.items(d.DBLookupComboBox2()), QStringList { "(undefined)" });
        for (QWidget *c : d.scanLocked())
            QVERIFY(c->isEnabled());
        QVERIFY(w.folderScan());
        QVERIFY(d.ShellComboBox1()->count() >= 1);

        // A collection picked: its categories only, in catalogue order, the first chosen
        // (a blank category would only make "Executar" refuse).
        d.pick(d.DBLookupComboBox1(), "Viagens");
        QCOMPARE(d.f.store->TCollections.asInt("RecId"), d.trips);
        QCOMPARE(d.items(d.DBLookupComboBox2()), QStringList({ "Roma", "Atenas" }));
        QCOMPARE(w.categoryKey(), d.rome);
        QCOMPARE(d.DBLookupComboBox2()->currentText(), QStringLiteral("Roma"));
        QCOMPARE(d.f.store->TCategories.recordCount(), 2);

        // A drive picked: its path goes into the folder edit.
        d.ShellComboBox1()->setCurrentIndex(0);
        emit d.ShellComboBox1()->activated(0);
        QCOMPARE(d.Edit1()->text(), d.ShellComboBox1()->path());
        QVERIFY(d.Edit1()->text().endsWith('/'));

        // Closing gives Categories back its whole order; showing again starts afresh.
        d.Edit1()->setText(d.f.tree());
        d.BitBtn3()->click();
        QVERIFY(!w.isVisible());
        QVERIFY(!w.folderScan());
        QVERIFY(!d.f.store->TCategories.master());
        QCOMPARE(d.f.store->TCategories.sort(), QStringLiteral("Collection;Name"));
        QCOMPARE(d.f.store->TCategories.recordCount(), 3);
        w.show();
        QCOMPARE(d.Edit1()->text(), d.f.tree());
        QCOMPARE(w.collectionKey(), d.f.store->DefaultCollectionId);
        QCOMPARE(w.categoryKey(), d.f.store->DefaultCategoryId);
        QVERIFY(d.f.prompter.records().isEmpty());
    }

    void collectionsAreListedInPortugueseNameOrder()
    {
        DialogFixture d;
        for (const char *name : { "Zebra", "Água", "abelha" })
            d.f.exec(QStringLiteral("INSERT INTO Collections (Name, System) VALUES ('%1', 0)")
                         .arg(QString::fromUtf8(name)));
        d.dialog.show();
        QCOMPARE(d.items(d.DBLookupComboBox1()),
            QStringList({ "(undefined)", "abelha", "Água", "Viagens", "Zebra" }));
    }

    void validationRunsInOrderAndStops()
    {
        DialogFixture d;
        TRastreamento &w = d.dialog;
        QVERIFY(d.f.file("a.jpg"));
        d.f.exec("INSERT INTO Collections (Name, System) VALUES ('Vazia', 0)");
        d.f.store->TCollections.refresh();
        w.show();

        d.Edit1()->setText(d.f.tree("não-existe"));
        d.BitBtn2()->click();
        QCOMPARE(transcript(d.f.prompter), QStringList({ "beep", "Caminho inválido!" }));
        QCOMPARE(d.f.prompter.boxes().first().icon, Prompter::Icon::Error);
        QCOMPARE(w.focusWidget(), d.Edit1());

        d.f.prompter.clear();
        d.Edit1()->setText(d.f.tree());
        d.DBLookupComboBox1()->setCurrentIndex(-1);
        d.BitBtn2()->click();
        QCOMPARE(transcript(d.f.prompter), QStringList({ "beep", "Coleção inválida!" }));
        QCOMPARE(w.focusWidget(), d.DBLookupComboBox1());

        // A collection without categories leaves none chosen.
        d.f.prompter.clear();
        d.pick(d.DBLookupComboBox1(), "Vazia");
        QCOMPARE(d.DBLookupComboBox2()->count(), 0);
        d.BitBtn2()->click();
        QCOMPARE(transcript(d.f.prompter), QStringList({ "beep", "Categoria inválida!" }));
        QCOMPARE(w.focusWidget(), d.DBLookupComboBox2());

        // Picking a collection keeps one of its categories chosen: "Executar" goes on.
        d.f.prompter.clear();
        d.pick(d.DBLookupComboBox1(), "Viagens");
        d.f.prompter.answerButton(Prompter::No);
        d.BitBtn2()->click();
        QCOMPARE(transcript(d.f.prompter), QStringList({ "beep", "Confirmar a execução?" }));
        QCOMPARE(d.f.prompter.boxes().first().icon, Prompter::Icon::Question);
        QCOMPARE(d.f.count("Pictures"), 0);
        QVERIFY(d.treesCurrent.isEmpty());

        // Yes: the scan files the picture under the chosen collection and category.
        d.f.prompter.clear();
        d.BitBtn2()->click();
        QCOMPARE(d.f.scalar("SELECT Collection FROM Pictures").toLongLong(), d.trips);
        QCOMPARE(d.f.scalar("SELECT Category FROM Pictures").toLongLong(), d.rome);
    }

    void procurarPicksTheFolderAndItsDrive()
    {
        DialogFixture d;
        TRastreamento &w = d.dialog;
        w.show();
        d.Edit1()->setText(QStringLiteral("antes"));
        d.BitBtn1()->click(); // cancelled picker: nothing changes
        QCOMPARE(d.Edit1()->text(), QStringLiteral("antes"));
        QCOMPARE(d.f.prompter.records().size(), 1);
        QCOMPARE(d.f.prompter.records().first().kind, ScriptedPrompter::Kind::PickFolder);
        QCOMPARE(
            d.f.prompter.records().first().text, QStringLiteral("Selecione a pasta a examinar:"));

        d.f.prompter.answerPath(d.f.tree());
        d.BitBtn1()->click();
        QCOMPARE(d.Edit1()->text(), d.f.tree());
        QCOMPARE(d.ShellComboBox1()->path(), DriveList::pathOf(driveOfPath(d.f.tree())));
        QCOMPARE(
            d.ShellComboBox1()->currentText(), DriveList::displayName(driveOfPath(d.f.tree())));
    }

    void executarScansAndReports()
    {
        DialogFixture d;
        TRastreamento &w = d.dialog;
        QVERIFY(d.f.file("a.jpg"));
        QVERIFY(d.f.file("sub/b.png"));
        QVERIFY(d.f.file("sub/c.txt"));
        w.show();
        d.Edit1()->setText(d.f.tree());
        bool lockedMeanwhile = false;
        QTimer::singleShot(0, &w, [&] {
            lockedMeanwhile = w.scanning() && d.Animate1()->isVisible() && d.BitBtn3()->isEnabled();
            for (QWidget *c : d.scanLocked())
                lockedMeanwhile = lockedMeanwhile && !c->isEnabled();
        });
        d.BitBtn2()->click();
        QVERIFY(lockedMeanwhile);
        QCOMPARE(transcript(d.f.prompter),
            QStringList({ "beep", "Confirmar a execução?", "beep", "Execução encerrada!" }));
        QCOMPARE(d.f.prompter.boxes().last().icon, Prompter::Icon::None);
        QCOMPARE(d.StatusBar1()->currentMessage(),
            QStringLiteral("Rastreados 2 arquivos 2 novos. Finalizando..."));
        QCOMPARE(d.f.count("Pictures"), 2);
        QVERIFY(!d.treesCurrent.isEmpty() && !d.treesCurrent.contains(true));
        QVERIFY(!d.Animate1()->isVisible());
        for (QWidget *c : d.scanLocked())
            QVERIFY(c->isEnabled());
        QVERIFY(d.BitBtn3()->isEnabled());
        QVERIFY(w.isVisible()); // the dialog stays open after a scan
    }

    void cancelarDuringAScanAsksAndRollsBack()
    {
        DialogFixture d;
        TRastreamento &w = d.dialog;
        for (int i = 0; i < 30; ++i)
            QVERIFY(d.f.file(QStringLiteral("f%1.jpg").arg(i)));
        w.show();
        d.Edit1()->setText(d.f.tree());
        d.CheckBox1()->setChecked(false); // the first pause for messages comes in the file pass
        d.f.prompter.answerButton(Prompter::Yes); // "Confirmar a execução?"
        d.f.prompter.answerButton(Prompter::Yes); // "Cancelar a operação?"
        QTimer::singleShot(0, d.BitBtn3(), &QPushButton::click);
        d.BitBtn2()->click();

        QCOMPARE(transcript(d.f.prompter),
            QStringList({ "beep", "Confirmar a execução?", "beep", "Cancelar a operação?" }));
        QCOMPARE(
            d.StatusBar1()->currentMessage(), QStringLiteral("Cancelando a operação. Aguarde..."));
        QCOMPARE(d.f.count("Pictures"), 0);
        QVERIFY(!d.treesCurrent.isEmpty());
        QCOMPARE(d.treesCurrent.last(), true);
        QVERIFY(w.isVisible());
        for (QWidget *c : d.scanLocked())
            QVERIFY(c->isEnabled());
        QCOMPARE(d.f.integrity(), QStringLiteral("ok"));
    }

    void cancelarAnsweredNoAndCloseWaitForTheScan()
    {
        DialogFixture d;
        TRastreamento &w = d.dialog;
        for (int i = 0; i < 5; ++i)
            QVERIFY(d.f.file(QStringLiteral("f%1.jpg").arg(i)));
        w.show();
        d.Edit1()->setText(d.f.tree());
        d.CheckBox1()->setChecked(false);
        d.f.prompter.answerButton(Prompter::Yes); // "Confirmar a execução?"
        d.f.prompter.answerButton(Prompter::No); // "Cancelar a operação?"
        bool stillOpen = false;
        d.f.prompter.onBox = [&](const ScriptedPrompter::Record &r) {
            if (r.text == QStringLiteral("Cancelar a operação?")) {
                w.close(); // the window's close button while the scan runs
                stillOpen = w.isVisible() && w.scanning();
            }
        };
        QTimer::singleShot(0, d.BitBtn3(), &QPushButton::click);
        d.BitBtn2()->click();
        QVERIFY(stillOpen);
        QCOMPARE(transcript(d.f.prompter),
            QStringList({ "beep", "Confirmar a execução?", "beep", "Cancelar a operação?", "beep",
                "Execução encerrada!" }));
        QCOMPARE(d.f.count("Pictures"), 5);
        QVERIFY(!w.isVisible()); // closed once the scan had ended
        QVERIFY(!d.f.store->TCategories.master());
    }
};

QTEST_MAIN(TestScanDialog)
#include "test_scan_dialog.moc"
