#include "batch/tbatchprocess.h"
#include "batch/tcopiararquivoscd.h"
#include "batch/tmudarcolecaocategoria.h"
#include "batch/tviewlog.h"
#include "batchfixture.h"
#include "support/windowdriver.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QtTest>

namespace {

using testsupport::child;
using testsupport::click;
using testsupport::inNextModal;
using testsupport::runModal;

void typeInto(QLineEdit *e, const QString &text)
{
    e->setFocus();
    testsupport::typeInto(e, text);
}

// The batch dialog with the copy and change dialogs behind its buttons.
struct Batch {
    BatchFixture f;
    EventLog log;
    TViewLog logWindow { log };
    TBatchProcess batch { f.store, f.prompter };
    TMudarColecaoCategoria change { f.store, f.prompter };
    TCopiarArquivosCD copy { f.store, f.prompter, log };

    Batch()
    {
        batch.setOperation(TBatchProcess::OperationButton::ChangeCollection, change);
        batch.setOperation(TBatchProcess::OperationButton::Copy, copy);
        QObject::connect(&copy, &TransferDialog::showLogRequested, &logWindow, &TViewLog::ShowLog);
    }
    QListWidget *list() { return child<QListWidget>(&batch, "CheckListBox1"); }
    QStringList items()
    {
        QStringList out;
        for (int i = 0; i < list()->count(); ++i)
            out << list()->item(i)->text()
                    + (list()->item(i)->checkState() == Qt::Checked ? "+" : "-");
        return out;
    }
    void toggle(int row)
    {
        list()->setFocus();
        list()->setCurrentRow(row);
        QTest::keyClick(list(), Qt::Key_Space);
    }
    QStringList pictureRows()
    {
        Query q(f.store.Conexao);
        q.setSql("SELECT Name, Collection, Category FROM Pictures ORDER BY RecId");
        q.open();
        QStringList rows;
        for (; !q.eof(); q.next())
            rows << QStringLiteral("%1 %2 %3")
                        .arg(q.asString("Name"))
                        .arg(q.asInt("Collection"))
                        .arg(q.asInt("Category"));
        q.close();
        return rows;
    }
};

} // namespace

class TestBatchDialogs : public QObject {
    Q_OBJECT
private slots:
    void batchHandsOverTheTickedKeysAndEndsWithTheOperation()
    {
        Batch b;
        const QString src = b.f.catalog.folder.file("fotos");
        QByteArray bytes[3]
            = { sampleBytes(1000, '1'), sampleBytes(2000, '2'), sampleBytes(3000, '3') };
        const qint64 k1 = b.f.picture(src, "um.jpg", &bytes[0]);
        const qint64 gone = b.f.picture(src, "apagada.jpg");
        const qint64 k2 = b.f.picture(src, "dois.jpg", &bytes[1]);
        const qint64 k3 = b.f.picture(src, "tres.jpg", &bytes[2]);
        b.f.catalog.exec(QStringLiteral("DELETE FROM Pictures WHERE RecId = %1").arg(gone));
        const QString dest = b.f.catalog.folder.file("cd");
        QDir().mkpath(dest);
        b.batch.setBatchKeys({ k3, gone, k1, k2 });

        // Nothing ticked: refused before any dialog; a cancelled operation keeps the batch
        // dialog open; the copy's OK ends it with OK.
        bool changeShown = false;
        connect(&b.change, &QDialog::finished, [&] { changeShown = true; });
        const int result = runModal(b.batch, [&] {
            QCOMPARE(b.items(), QStringList({ "um.jpg+", "dois.jpg+", "tres.jpg+" }));
            for (int row : { 0, 1, 2 })
                b.toggle(row);
            click(&b.batch, "BitBtn1");
            QCOMPARE(b.f.prompter.boxTexts(), QStringList { "Nenhuma imagem marcada!" });
            QVERIFY(!changeShown);
            b.toggle(0);
            b.toggle(2);
            inNextModal(b.change, [&] { click(&b.change, "BitBtn2"); });
            click(&b.batch, "BitBtn1");
            QVERIFY(changeShown);
            QVERIFY(b.batch.isVisible());
            inNextModal(b.copy, [&] {
                typeInto(child<QLineEdit>(&b.copy, "Edit1"), dest);
                click(&b.copy, "BitBtn2");
            });
            click(&b.batch, "BitBtn4");
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(b.f.prompter.boxTexts(),
            QStringList({ "Nenhuma imagem marcada!", "Confirmar a execução?", "Cópia efetuada!" }));
        QCOMPARE(QDir(dest).entryList(QDir::Files | QDir::Hidden),
            QStringList({ "tres.jpg", "um.jpg" }));

        // Every item starts ticked again; "Esvaziar arquivos do Lote" ends with OK.
        QCOMPARE(runModal(b.batch,
                     [&] {
                         QCOMPARE(b.items(), QStringList({ "um.jpg+", "dois.jpg+", "tres.jpg+" }));
                         click(&b.batch, "BitBtn6");
                     }),
            int(QDialog::Accepted));
        // A batch of one, cancelled.
        b.batch.setBatchKeys({ k2 });
        QCOMPARE(runModal(b.batch,
                     [&] {
                         QCOMPARE(b.items(), QStringList { "dois.jpg+" });
                         click(&b.batch, "BitBtn5");
                     }),
            int(QDialog::Rejected));
    }

    // Enter presses the focused button; the batch dialog's "Cancelar" takes Enter only
    // when no other button has the focus (here: the list).
    void enterPressesTheFocusedButton()
    {
        Batch b;
        const qint64 k1 = b.f.picture("/x", "a.jpg");
        b.batch.setBatchKeys({ k1 });
        bool changeShown = false;
        connect(&b.change, &QDialog::finished, [&] { changeShown = true; });
        QTimer::singleShot(0, &b.batch, [&] {
            // Whatever happens here, the dialog does not stay open.
            const auto done = qScopeGuard([&] { b.batch.reject(); });
            b.batch.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&b.batch));
            auto *operation = child<QPushButton>(&b.batch, "BitBtn1");
            operation->setFocus();
            QVERIFY(operation->hasFocus());
            inNextModal(b.change, [&] {
                // On the change dialog, Enter on the focused OK runs the change: it asks.
                b.f.prompter.answerButton(Prompter::No);
                b.change.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&b.change));
                auto *ok = child<QPushButton>(&b.change, "BitBtn1");
                ok->setFocus();
                QTest::keyClick(ok, Qt::Key_Return);
                QCOMPARE(b.f.prompter.boxTexts(), QStringList { "Confirmar a operação?" });
                QVERIFY(b.change.isVisible());
                b.change.reject();
            });
            QTest::keyClick(operation, Qt::Key_Return);
            QVERIFY(changeShown);
            QVERIFY(b.batch.isVisible());
            b.list()->setFocus();
            QTest::keyClick(b.list(), Qt::Key_Return);
            QVERIFY(!b.batch.isVisible());
        });
        QCOMPARE(b.batch.exec(), int(QDialog::Rejected));
        QVERIFY(changeShown);
        QCOMPARE(b.f.prompter.boxTexts(), QStringList { "Confirmar a operação?" });
    }

    void changeMovesTheKeysToTheChosenCategory()
    {
        Batch b;
        const qint64 defCol = b.f.store.DefaultCollectionId, defCat = b.f.store.DefaultCategoryId;
        const qint64 trips = b.f.catalog.collection("Viagens");
        const qint64 beach = b.f.catalog.category(trips, "Praias");
        b.f.catalog.category(trips, "Montanhas");
        b.f.catalog.collection("Vazia");
        const qint64 k1 = b.f.picture("/x", "a.jpg"), k2 = b.f.picture("/x", "b.jpg");
        b.f.picture("/x", "c.jpg");
        const auto collection = [&] { return child<QComboBox>(&b.change, "DBLookupComboBox1"); };
        const auto category = [&] { return child<QComboBox>(&b.change, "DBLookupComboBox2"); };
        const auto pick = [&](const QString &name) {
            QComboBox *c = collection();
            c->setFocus();
            QTest::keyClick(c, Qt::Key_Home);
            while (c->currentText() != name && c->currentIndex() < c->count() - 1)
                QTest::keyClick(c, Qt::Key_Down);
        };

        b.change.setSelectedKeys({ k1, k2 });
        int result = runModal(b.change, [&] {
            QCOMPARE(collection()->currentData().toLongLong(), defCol);
            QCOMPARE(category()->currentData().toLongLong(), defCat);
            pick("Vazia");
            QCOMPARE(category()->count(), 0);
            click(&b.change, "BitBtn1");
            QCOMPARE(b.f.prompter.boxTexts(), QStringList { "Categoria inválida!" });
            pick("Viagens");
            QCOMPARE(category()->currentData().toLongLong(), beach);
            QCOMPARE(category()->count(), 2);
            click(&b.change, "BitBtn1");
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(b.f.prompter.boxTexts(),
            QStringList({ "Categoria inválida!", "Confirmar a operação?", "Mudança efetuada!" }));
        QCOMPARE(b.pictureRows(),
            QStringList({ QStringLiteral("a.jpg %1 %2").arg(trips).arg(beach),
                QStringLiteral("b.jpg %1 %2").arg(trips).arg(beach),
                QStringLiteral("c.jpg %1 %2").arg(defCol).arg(defCat) }));
        QVERIFY(!b.f.store.TCategories.master());
        QCOMPARE(b.f.store.TCategories.sort(), QStringLiteral("Collection;Name"));

        // The defaults again at the next showing; an engine refusal leaves the dialog
        // waiting with its controls off until its close box ends it.
        b.f.catalog.exec("CREATE TRIGGER recusa BEFORE UPDATE ON Pictures "
                         "BEGIN SELECT RAISE(ABORT, 'mudança recusada'); END");
        b.f.prompter.clear();
        b.change.setSelectedKeys({ k1 });
        result = runModal(b.change, [&] {
            QCOMPARE(collection()->currentData().toLongLong(), defCol);
            QCOMPARE(category()->currentData().toLongLong(), defCat);
            click(&b.change, "BitBtn1");
            QCOMPARE(b.f.prompter.boxTexts().size(), 2);
            QVERIFY(b.f.prompter.boxTexts().at(1).contains("mudança recusada"));
            QVERIFY(child<QLabel>(&b.change, "Label3")->isVisible());
            QVERIFY(!child<QPushButton>(&b.change, "BitBtn1")->isEnabled());
            QVERIFY(!child<QPushButton>(&b.change, "BitBtn2")->isEnabled());
            QVERIFY(b.change.isVisible());
            b.change.close();
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(b.pictureRows().value(0), QStringLiteral("a.jpg %1 %2").arg(trips).arg(beach));
        QVERIFY(!b.f.store.TCategories.master());
    }

    void copyDialogChecksTheFolderAndShowsTheLogAfterAFailure()
    {
        Batch b;
        const QString src = b.f.catalog.folder.file("fotos");
        const QByteArray bytes = sampleBytes(1000, 'x');
        const qint64 k1 = b.f.picture(src, "ok.jpg", &bytes);
        const qint64 k2 = b.f.picture(src, "sumiu.jpg");
        const QString dest = b.f.catalog.folder.file("cd");
        QDir().mkpath(dest);
        b.logWindow.log().AddLogLine("linha antiga");
        b.copy.setSelectedKeys({ k1, k2 });

        QStringList shownLog;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (b.logWindow.isVisible()) {
                shownLog = child<QPlainTextEdit>(&b.logWindow, "Memo1")->toPlainText().split('\n');
                QTest::keyClick(&b.logWindow, Qt::Key_Return);
            }
        });
        closer.start(10);
        const int result = runModal(b.copy, [&] {
            // "Procurar": a cancelled picker changes nothing, a chosen folder fills the edit.
            click(&b.copy, "BitBtn1");
            QCOMPARE(child<QLineEdit>(&b.copy, "Edit1")->text(), QString());
            b.f.prompter.answerPath(src);
            click(&b.copy, "BitBtn1");
            QCOMPARE(child<QLineEdit>(&b.copy, "Edit1")->text(), src);
            typeInto(child<QLineEdit>(&b.copy, "Edit1"), QString());
            click(&b.copy, "BitBtn2");
            typeInto(child<QLineEdit>(&b.copy, "Edit1"), dest + "/ok.jpg");
            click(&b.copy, "BitBtn2");
            typeInto(child<QLineEdit>(&b.copy, "Edit1"), dest);
            b.f.prompter.answerButton(Prompter::No);
            click(&b.copy, "BitBtn2"); // answered No: nothing runs
            QCOMPARE(b.logWindow.log().lines(), QStringList { "linha antiga" });
            click(&b.copy, "BitBtn2");
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(b.f.prompter.boxTexts(),
            QStringList({ "Caminho inválido!", "Caminho inválido!", "Confirmar a execução?",
                "Confirmar a execução?" }));
        QCOMPARE(shownLog, QStringList { src + "/sumiu.jpg não encontrado!" });
        QCOMPARE(testsupport::readFile(dest + "/ok.jpg"), bytes);
        // The folder is still there at the next showing.
        runModal(b.copy, [&] {
            QCOMPARE(child<QLineEdit>(&b.copy, "Edit1")->text(), dest);
            QVERIFY(child<QPushButton>(&b.copy, "BitBtn2")->isEnabled());
        });
    }
};

QTEST_MAIN(TestBatchDialogs)
#include "test_batchdialogs.moc"
