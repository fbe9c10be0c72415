#include "test_scan_fixture.h"

#include "intake/drivelist.h"
#include "intake/drivepicker.h"
#include "core/eventpump.h"
#include "intake/folderscan.h"
#include "intake/storagefordrive.h"
#include "intake/trastreamento.h"

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
    TRastreamento dialog;
    QList<bool> treesCurrent;
    qint64 trips = 0;
    qint64 rome = 0;

    DialogFixture()
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
        f.openStore();
        dialog.setStore(f.store.get());
        dialog.setPrompter(&f.prompter);
        dialog.setTreesCurrent = [this](bool v) { treesCurrent << v; };
    }
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
        return { dialog.ShellComboBox1, dialog.Edit1, dialog.BitBtn1, dialog.CheckBox1,
            dialog.DBLookupComboBox1, dialog.DBLookupComboBox2, dialog.BitBtn2 };
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
        QCOMPARE(w.Label1->text(), QStringLiteral("Unidade"));
        QCOMPARE(w.Label2->text(), QStringLiteral("Pasta"));
        QCOMPARE(w.Label3->text(), QStringLiteral("Coleção"));
        QCOMPARE(w.Label4->text(), QStringLiteral("Categoria"));
        QCOMPARE(w.BitBtn1->text(), QStringLiteral("Procurar"));
        QCOMPARE(w.CheckBox1->text(), QStringLiteral("Incluir subpastas"));
        QCOMPARE(w.BitBtn2->text(), QStringLiteral("Executar"));
        QCOMPARE(w.BitBtn3->text(), QStringLiteral("Cancelar"));
        QVERIFY(w.CheckBox1->isChecked());
        QVERIFY(w.Edit1->text().isEmpty());

        w.show();
        QVERIFY(!w.Animate1->isVisible());
        QVERIFY(w.StatusBar1->currentMessage().isEmpty());
        QCOMPARE(w.collectionKey(), d.f.store->DefaultCollectionId);
        QCOMPARE(w.categoryKey(), d.f.store->DefaultCategoryId);
        QCOMPARE(d.items(w.DBLookupComboBox1), QStringList({ "(undefined)", "Viagens" }));
        QCOMPARE(d.items(w.DBLookupComboBox2), QStringList { "(undefined)" });
        for (QWidget *c : d.scanLocked())
            QVERIFY(c->isEnabled());
        QVERIFY(w.folderScan());
        QVERIFY(w.ShellComboBox1->count() >= 1);

        // A collection picked: its categories only, in catalogue order, the first chosen
        // (a blank category would only make "Executar" refuse).
        d.pick(w.DBLookupComboBox1, "Viagens");
        QCOMPARE(d.f.store->TCollections.asInt("RecId"), d.trips);
        QCOMPARE(d.items(w.DBLookupComboBox2), QStringList({ "Roma", "Atenas" }));
        QCOMPARE(w.categoryKey(), d.rome);
        QCOMPARE(w.DBLookupComboBox2->currentText(), QStringLiteral("Roma"));
        QCOMPARE(d.f.store->TCategories.recordCount(), 2);

        // A drive picked: its path goes into the folder edit.
        w.ShellComboBox1->setCurrentIndex(0);
        emit w.ShellComboBox1->activated(0);
        QCOMPARE(w.Edit1->text(), w.ShellComboBox1->path());
        QVERIFY(w.Edit1->text().endsWith('/'));

        // Closing gives Categories back its whole order; showing again starts afresh.
        w.Edit1->setText(d.f.tree());
        w.BitBtn3->click();
        QVERIFY(!w.isVisible());
        QVERIFY(!w.folderScan());
        QVERIFY(!d.f.store->TCategories.master());
        QCOMPARE(d.f.store->TCategories.sort(), QStringLiteral("Collection;Name"));
        QCOMPARE(d.f.store->TCategories.recordCount(), 3);
        w.show();
        QCOMPARE(w.Edit1->text(), d.f.tree());
        QCOMPARE(w.collectionKey(), d.f.store->DefaultCollectionId);
        QCOMPARE(w.categoryKey(), d.f.store->DefaultCategoryId);
        QVERIFY(d.f.prompter.records().isEmpty());
    }

    void validationRunsInOrderAndStops()
    {
        DialogFixture d;
        TRastreamento &w = d.dialog;
        QVERIFY(d.f.file("a.jpg"));
        d.f.exec("INSERT INTO Collections (Name, System) VALUES ('Vazia', 0)");
        d.f.store->TCollections.refresh();
        w.show();

        w.Edit1->setText(d.f.tree("não-existe"));
        w.BitBtn2->click();
        QCOMPARE(transcript(d.f.prompter), QStringList({ "beep", "Caminho inválido!" }));
        QCOMPARE(d.f.prompter.boxes().first().icon, Prompter::Icon::Error);
        QCOMPARE(w.focusWidget(), w.Edit1);

        d.f.prompter.clear();
        w.Edit1->setText(d.f.tree());
        w.DBLookupComboBox1->setCurrentIndex(-1);
        w.BitBtn2->click();
        QCOMPARE(transcript(d.f.prompter), QStringList({ "beep", "Coleção inválida!" }));
        QCOMPARE(w.focusWidget(), w.DBLookupComboBox1);

        // A collection without categories leaves none chosen.
        d.f.prompter.clear();
        d.pick(w.DBLookupComboBox1, "Vazia");
        QCOMPARE(w.DBLookupComboBox2->count(), 0);
        w.BitBtn2->click();
        QCOMPARE(transcript(d.f.prompter), QStringList({ "beep", "Categoria inválida!" }));
        QCOMPARE(w.focusWidget(), w.DBLookupComboBox2);

        // Picking a collection keeps one of its categories chosen: "Executar" goes on.
        d.f.prompter.clear();
        d.pick(w.DBLookupComboBox1, "Viagens");
        d.f.prompter.answerButton(Prompter::No);
        w.BitBtn2->click();
        QCOMPARE(transcript(d.f.prompter), QStringList({ "beep", "Confirmar a execução?" }));
        QCOMPARE(d.f.prompter.boxes().first().icon, Prompter::Icon::Question);
        QCOMPARE(d.f.count("Pictures"), 0);
        QVERIFY(d.treesCurrent.isEmpty());

        // Yes: the scan files the picture under the chosen collection and category.
        d.f.prompter.clear();
        w.BitBtn2->click();
        QCOMPARE(d.f.scalar("SELECT Collection FROM Pictures").toLongLong(), d.trips);
        QCOMPARE(d.f.scalar("SELECT Category FROM Pictures").toLongLong(), d.rome);
    }

    void procurarPicksTheFolderAndItsDrive()
    {
        DialogFixture d;
        TRastreamento &w = d.dialog;
        w.show();
        w.Edit1->setText(QStringLiteral("antes"));
        w.BitBtn1->click(); // cancelled picker: nothing changes
        QCOMPARE(w.Edit1->text(), QStringLiteral("antes"));
        QCOMPARE(d.f.prompter.records().size(), 1);
        QCOMPARE(d.f.prompter.records().first().kind, ScriptedPrompter::Kind::PickFolder);
        QCOMPARE(
            d.f.prompter.records().first().text, QStringLiteral("Selecione a pasta a examinar:"));

        d.f.prompter.answerPath(d.f.tree());
        w.BitBtn1->click();
        QCOMPARE(w.Edit1->text(), d.f.tree());
        QCOMPARE(w.ShellComboBox1->path(), DriveList::pathOf(driveOfPath(d.f.tree())));
        QCOMPARE(w.ShellComboBox1->currentText(), DriveList::displayName(driveOfPath(d.f.tree())));
    }

    void executarScansAndReports()
    {
        DialogFixture d;
        TRastreamento &w = d.dialog;
        QVERIFY(d.f.file("a.jpg"));
        QVERIFY(d.f.file("sub/b.png"));
        QVERIFY(d.f.file("sub/c.txt"));
        w.show();
        w.Edit1->setText(d.f.tree());
        bool lockedMeanwhile = false;
        QTimer::singleShot(0, &w, [&] {
            lockedMeanwhile = w.scanning() && w.Animate1->isVisible() && w.BitBtn3->isEnabled();
            for (QWidget *c : d.scanLocked())
                lockedMeanwhile = lockedMeanwhile && !c->isEnabled();
        });
        w.BitBtn2->click();
        QVERIFY(lockedMeanwhile);
        QCOMPARE(transcript(d.f.prompter),
            QStringList({ "beep", "Confirmar a execução?", "beep", "Execução encerrada!" }));
        QCOMPARE(d.f.prompter.boxes().last().icon, Prompter::Icon::None);
        QCOMPARE(w.StatusBar1->currentMessage(),
            QStringLiteral("Rastreados 2 arquivos 2 novos. Finalizando..."));
        QCOMPARE(d.f.count("Pictures"), 2);
        QVERIFY(!d.treesCurrent.isEmpty() && !d.treesCurrent.contains(true));
        QVERIFY(!w.Animate1->isVisible());
        for (QWidget *c : d.scanLocked())
            QVERIFY(c->isEnabled());
        QVERIFY(w.BitBtn3->isEnabled());
        QVERIFY(w.isVisible()); // the dialog stays open after a scan
    }

    void cancelarDuringAScanAsksAndRollsBack()
    {
        DialogFixture d;
        TRastreamento &w = d.dialog;
        for (int i = 0; i < 30; ++i)
            QVERIFY(d.f.file(QStringLiteral("f%1.jpg").arg(i)));
        w.show();
        w.Edit1->setText(d.f.tree());
        w.CheckBox1->setChecked(false); // the first pause for messages comes in the file pass
        d.f.prompter.answerButton(Prompter::Yes); // "Confirmar a execução?"
        d.f.prompter.answerButton(Prompter::Yes); // "Cancelar a operação?"
        QTimer::singleShot(0, w.BitBtn3, &QPushButton::click);
        w.BitBtn2->click();

        QCOMPARE(transcript(d.f.prompter),
            QStringList({ "beep", "Confirmar a execução?", "beep", "Cancelar a operação?" }));
        QCOMPARE(
            w.StatusBar1->currentMessage(), QStringLiteral("Cancelando a operação. Aguarde..."));
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
        w.Edit1->setText(d.f.tree());
        w.CheckBox1->setChecked(false);
        d.f.prompter.answerButton(Prompter::Yes); // "Confirmar a execução?"
        d.f.prompter.answerButton(Prompter::No); // "Cancelar a operação?"
        bool stillOpen = false;
        d.f.prompter.onBox = [&](const ScriptedPrompter::Record &r) {
            if (r.text == QStringLiteral("Cancelar a operação?")) {
                w.close(); // the window's close button while the scan runs
                stillOpen = w.isVisible() && w.scanning();
            }
        };
        QTimer::singleShot(0, w.BitBtn3, &QPushButton::click);
        w.BitBtn2->click();
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
