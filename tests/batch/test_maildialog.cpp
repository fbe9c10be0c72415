#include "batch/tremeterarquivosemail.h"
#include "batch/tviewlog.h"
#include "batchfixture.h"
#include "smtpserverfixture.h"
#include "support/windowdriver.h"

#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

struct Dialog {
    BatchFixture f;
    EventLog log;
    TViewLog logWindow { log };
    TRemeterArquivosEmail dialog { f.store, f.prompter, log };
    int result = -1;

    Dialog()
    {
        QObject::connect(
            &dialog, &TransferDialog::showLogRequested, &logWindow, &TViewLog::ShowLog);
    }
    void server(const QString &host, const QString &port, const QString &email)
    {
        f.catalog.exec(QStringLiteral("UPDATE SMTPAccount SET Host = :H, Port = :P, UserID = "
                                      "'estacao', Name = NULL, Email = :E"),
            { { "H", host }, { "P", port }, { "E", email } });
    }
    QLineEdit *edit(const char *name)
    {
        return testsupport::child<QLineEdit>(&dialog, QString::fromLatin1(name));
    }
    void type(const char *name, const QString &text) { testsupport::typeInto(edit(name), text); }
    void ok() { testsupport::click(&dialog, QStringLiteral("BitBtn1")); }
    void run(const std::function<void()> &steps) { result = testsupport::runModal(dialog, steps); }
    QString lastBox() const
    {
        return f.prompter.boxTexts().value(f.prompter.boxTexts().size() - 1);
    }
};

} // namespace

class TestMailDialog : public QObject {
    Q_OBJECT
private slots:
    void checksComeBeforeTheConfirmationWithTheFocusOnTheField()
    {
        SmtpServer smtp;
        Dialog d;
        d.dialog.setSelectedKeys({ 1 });
        d.run([&] {
            // The row the store made (port 25, nothing else) is not a usable server.
            d.ok();
            QCOMPARE(d.lastBox(),
                QStringLiteral("Configuração do servidor de envio de mensagens inválida!\r"
                               "Configure corretamente no item Opções."));
            d.server("127.0.0.1", "0", "eu@x.com");
            d.ok();
            QCOMPARE(d.lastBox(),
                QStringLiteral("Configuração do servidor de envio de mensagens inválida!\r"
                               "Configure corretamente no item Opções."));
            d.server("127.0.0.1", QString::number(smtp.server->port()), "eu@x.com");
            d.type("Edit1", "   ");
            d.ok();
            QCOMPARE(d.lastBox(), QStringLiteral("Destinatário inválido!"));
            QCOMPARE(d.dialog.focusWidget(), d.edit("Edit1"));
            d.type("Edit1", "ana@x.com;");
            d.type("Edit2", "bia silva@y.org;");
            d.ok();
            QCOMPARE(d.lastBox(), QStringLiteral("Destinatário inválido!"));
            QCOMPARE(d.dialog.focusWidget(), d.edit("Edit2"));
            d.type("Edit2", "");
            d.f.prompter.answerButton(Prompter::No);
            d.ok();
            QCOMPARE(d.lastBox(), QStringLiteral("Confirmar a operação?"));
            QVERIFY(d.dialog.isVisible());
        });
        QCOMPARE(d.result, int(QDialog::Rejected));
        QVERIFY(smtp.server->entries().isEmpty());
    }

    void sendEndsWithOkAndTheTextsStayForTheNextShowing()
    {
        SmtpServer smtp;
        Dialog d;
        d.server("127.0.0.1", QString::number(smtp.server->port()), "eu@x.com");
        const QByteArray bytes = sampleBytes(2048, 'p');
        const qint64 k = d.f.picture(d.f.catalog.folder.file("fotos"), "praia.jpg", &bytes);
        d.dialog.setSelectedKeys({ k });
        bool runningState = false;
        d.f.prompter.onBox = [&](const ScriptedPrompter::Record &r) {
            if (r.text == QStringLiteral("Remessa via E-mail efetuada!"))
                runningState = d.dialog.findChild<QLabel *>("Label6")->isVisible();
        };
        d.run([&] {
            d.type("Edit1", "ana@x.com");
            d.type("Edit4", "Praia");
            QTest::keyClicks(d.dialog.findChild<QPlainTextEdit *>("Memo1"), "Oi!");
            d.ok();
        });
        QCOMPARE(d.result, int(QDialog::Accepted));
        QVERIFY(d.dialog.runSucceeded());
        QVERIFY(runningState);
        QCOMPARE(d.f.prompter.boxTexts(),
            QStringList({ "Confirmar a operação?", "Remessa via E-mail efetuada!" }));
        const QJsonObject m = smtp.shown();
        QCOMPARE(m.value("subject").toString(), QStringLiteral("Praia"));
        QCOMPARE(m.value("attachments").toArray().size(), 1);
        QVERIFY(m.value("text").toString().startsWith(QStringLiteral("Oi!")));

        // A failed send: the log window, then Cancel; the texts are still there.
        smtp.server->stop();
        QStringList shownLog;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (d.logWindow.isVisible()) {
                shownLog = d.logWindow.log().lines();
                QTest::keyClick(&d.logWindow, Qt::Key_Return);
            }
        });
        closer.start(10);
        d.f.prompter.clear();
        d.run([&] {
            QCOMPARE(d.edit("Edit1")->text(), QStringLiteral("ana@x.com"));
            QCOMPARE(d.edit("Edit4")->text(), QStringLiteral("Praia"));
            d.ok();
        });
        QCOMPARE(d.result, int(QDialog::Rejected));
        QCOMPARE(shownLog.size(), 1);
        QCOMPARE(shownLog, QStringList { d.f.prompter.boxTexts().value(1) });
    }
};

QTEST_MAIN(TestMailDialog)
#include "test_maildialog.moc"
