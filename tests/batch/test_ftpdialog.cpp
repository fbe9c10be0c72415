#include "batch/tremeterarquivosftp.h"
#include "batch/tviewlog.h"
#include "batchfixture.h"
#include "ftpserverfixture.h"
#include "support/windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// The dialog on a fresh catalogue, with the program's log window.
struct Dialog {
    BatchFixture f;
    EventLog log;
    TViewLog logWindow { log };
    TRemeterArquivosFTP dialog { f.store, f.prompter, log };
    int result = -1;

    Dialog()
    {
        QObject::connect(
            &dialog, &TransferDialog::showLogRequested, &logWindow, &TViewLog::ShowLog);
    }
    template<class T = QWidget> T *child(const char *name)
    {
        return testsupport::child<T>(&dialog, QString::fromLatin1(name));
    }
    QLineEdit *edit(const char *name) { return child<QLineEdit>(name); }
    QPushButton *button(const char *name) { return child<QPushButton>(name); }
    void click(const char *name) { testsupport::click(&dialog, QString::fromLatin1(name)); }
    void type(const char *name, const QString &text)
    {
        QLineEdit *e = edit(name);
        e->setFocus();
        testsupport::typeInto(e, text);
    }
    // Shows the dialog modally and runs the steps inside its loop.
    void run(const std::function<void()> &steps) { result = testsupport::runModal(dialog, steps); }
    QString lastBox() const
    {
        return f.prompter.boxTexts().value(f.prompter.boxTexts().size() - 1);
    }
    // [Novo, Gravar, Cancelar, Excluir] enabled.
    QList<bool> accountButtons()
    {
        return { button("BitBtn1")->isEnabled(), button("BitBtn2")->isEnabled(),
            button("BitBtn3")->isEnabled(), button("BitBtn4")->isEnabled() };
    }
    void fillAccount(const FtpServer &ftp, const QString &profile)
    {
        type("DBEdit1", profile);
        type("DBEdit2", "127.0.0.1");
        type("DBEdit3", QString::number(ftp.server->port()));
        type("DBEdit4", "ana");
        type("DBEdit5", Password);
    }
};

} // namespace

class TestFtpDialog : public QObject {
    Q_OBJECT
private slots:
    void accountEditorChecksFieldsInOrderAndSaves()
    {
        FtpServer ftp;
        Dialog d;
        d.run([&] {
            // No account yet: a new one is started at once.
            QCOMPARE(d.edit("DBEdit3")->text(), QStringLiteral("21"));
            QVERIFY(!d.child<QCheckBox>("DBCheckBox1")->isChecked());
            QCOMPARE(d.accountButtons(), QList<bool>({ false, true, true, false }));
            QCOMPARE(d.dialog.focusWidget(), d.edit("DBEdit1"));
            QVERIFY(d.edit("DBEdit5")->echoMode() == QLineEdit::Password);
            d.click("BitBtn5");
            QCOMPARE(d.lastBox(),
                QStringLiteral("Grave ou cancele a edição antes de confirmar a operação."));

            const auto gravar = [&](const char *focus, const QString &text) {
                d.click("BitBtn2");
                QCOMPARE(d.lastBox(), text);
                QVERIFY2(d.dialog.focusWidget() == d.edit(focus), focus);
            };
            gravar("DBEdit1", "Nome inválido!");
            d.type("DBEdit1", "Servidor de casa");
            gravar("DBEdit2", "Servidor inválido!");
            d.type("DBEdit2", "127.0.0.1");
            // A letter is never taken by a port, typed or pasted, and no box tells of it.
            const qsizetype boxes = d.f.prompter.boxTexts().size();
            d.type("DBEdit3", "21a");
            QCOMPARE(d.edit("DBEdit3")->text(), QStringLiteral("21"));
            QApplication::clipboard()->setText(QStringLiteral("47025a"));
            d.edit("DBEdit7")->setFocus();
            QTest::keyClick(d.edit("DBEdit7"), Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(d.edit("DBEdit7")->text(), QString());
            QCOMPARE(d.f.prompter.boxTexts().size(), boxes);
            d.type("DBEdit3", "0");
            gravar("DBEdit3", "Porta inválida!");
            d.type("DBEdit3", "65536");
            gravar("DBEdit3", "Porta inválida!");
            d.type("DBEdit3", QString::number(ftp.server->port()));
            gravar("DBEdit4", "Usuário inválido!");
            // A line break pasted into the user name would add a command of its own.
            QApplication::clipboard()->setText(QStringLiteral("ana\r\nDELE a.jpg"));
            d.edit("DBEdit4")->setFocus();
            QTest::keyClick(d.edit("DBEdit4"), Qt::Key_V, Qt::ControlModifier);
            gravar("DBEdit4", "Usuário inválido!");
            d.type("DBEdit4", "ana");
            QTest::mouseClick(d.child<QCheckBox>("DBCheckBox1"), Qt::LeftButton, {},
                QPoint(5, d.child<QCheckBox>("DBCheckBox1")->height() / 2));
            QVERIFY(d.child<QCheckBox>("DBCheckBox1")->isChecked());
            gravar("DBEdit6", "Servidor Proxy inválido!");
            d.type("DBEdit6", "proxy.local");
            gravar("DBEdit7", "Porta Proxy inválida!");
            d.type("DBEdit7", "65536");
            gravar("DBEdit7", "Porta Proxy inválida!");
            // With "Proxy" clear, empty proxy fields are accepted.
            QTest::mouseClick(d.child<QCheckBox>("DBCheckBox1"), Qt::LeftButton, {},
                QPoint(5, d.child<QCheckBox>("DBCheckBox1")->height() / 2));
            d.type("DBEdit6", "");
            d.type("DBEdit7", "");
            d.click("BitBtn2");
            QCOMPARE(d.dialog.focusWidget(), d.button("BitBtn5"));
            QCOMPARE(d.accountButtons(), QList<bool>({ true, false, false, true }));
            QCOMPARE(d.child<QComboBox>("DBLookupComboBox1")->currentText(),
                QStringLiteral("Servidor de casa"));
        });
        QCOMPARE(d.result, int(QDialog::Rejected));
        storetest_rows(
            d, "Servidor de casa|127.0.0.1|" + QString::number(ftp.server->port()) + "|ana||0||");
    }

    void pickerOpensTheAccountAndASendEndsWithOkOrTheLog()
    {
        FtpServer ftp;
        Dialog d;
        const QByteArray bytes = sampleBytes(40000, 'k');
        const qint64 key = d.f.picture(d.f.catalog.folder.file("fotos"), "mar.jpg", &bytes);
        d.run([&] {
            d.fillAccount(ftp, "Bom");
            d.click("BitBtn2");
            d.click("BitBtn1");
            d.fillAccount(ftp, "Avariado");
            d.type("DBEdit3", "1");
            d.click("BitBtn2");
            auto *picker = d.child<QComboBox>("DBLookupComboBox1");
            QCOMPARE(picker->count(), 2);
            QCOMPARE(picker->itemText(0), QStringLiteral("Avariado"));
            // Choosing an account opens it for editing.
            picker->setFocus();
            QTest::keyClick(picker, Qt::Key_Down);
            QCOMPARE(picker->currentText(), QStringLiteral("Bom"));
            QCOMPARE(d.edit("DBEdit1")->text(), QStringLiteral("Bom"));
            QCOMPARE(d.accountButtons(), QList<bool>({ false, true, true, false }));
            d.click("BitBtn5");
            QCOMPARE(d.lastBox(),
                QStringLiteral("Grave ou cancele a edição antes de confirmar a operação."));
            d.click("BitBtn3");
            QCOMPARE(d.accountButtons(), QList<bool>({ true, false, false, true }));
            // No picture marked: refused before the confirmation.
            d.click("BitBtn5");
            QCOMPARE(d.lastBox(), QStringLiteral("Nenhuma imagem marcada!"));
        });
        QCOMPARE(d.result, int(QDialog::Rejected));

        // The send: controls disabled and the status line shown while it runs.
        d.dialog.setSelectedKeys({ key });
        d.f.prompter.clear();
        bool disabledDuringSend = false;
        d.f.prompter.onBox = [&](const ScriptedPrompter::Record &r) {
            if (r.text == QStringLiteral("Remessa via FTP efetuada!")) {
                disabledDuringSend = d.dialog.findChild<QLabel *>("Label10")->isVisible();
            }
        };
        d.run([&] {
            QCOMPARE(d.child<QComboBox>("DBLookupComboBox1")->currentText(), QStringLiteral("Bom"));
            d.click("BitBtn5");
        });
        QCOMPARE(d.result, int(QDialog::Accepted));
        QVERIFY(d.dialog.runSucceeded());
        QCOMPARE(d.f.prompter.boxTexts(),
            QStringList({ "Confirmar a operação?", "Remessa via FTP efetuada!" }));
        QVERIFY(disabledDuringSend);
        QCOMPARE(testsupport::readFile(ftp.home("ana/mar.jpg")), bytes);
        QVERIFY(!d.logWindow.isVisible());

        // A send that cannot connect shows the log window, then ends with Cancel.
        d.f.prompter.clear();
        QStringList shownLog;
        bool controlsOffDuringSend = false;
        d.f.prompter.onBox = [&](const ScriptedPrompter::Record &r) {
            if (r.icon == Prompter::Icon::Error) {
                controlsOffDuringSend = !d.button("BitBtn5")->isEnabled()
                    && !d.button("BitBtn6")->isEnabled() && !d.edit("DBEdit1")->isEnabled()
                    && d.dialog.findChild<QLabel *>("Label10")->text()
                        == QStringLiteral("Falha na conexão!");
            }
        };
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (d.logWindow.isVisible()) {
                shownLog = d.logWindow.log().lines();
                QTest::keyClick(&d.logWindow, Qt::Key_Return);
            }
        });
        closer.start(10);
        d.run([&] {
            auto *picker = d.child<QComboBox>("DBLookupComboBox1");
            picker->setFocus();
            QTest::keyClick(picker, Qt::Key_Up);
            QCOMPARE(picker->currentText(), QStringLiteral("Avariado"));
            d.click("BitBtn3");
            d.click("BitBtn5");
        });
        QCOMPARE(d.result, int(QDialog::Rejected));
        QVERIFY(!d.dialog.runSucceeded());
        QVERIFY(controlsOffDuringSend);
        QCOMPARE(shownLog.size(), 1);
        QCOMPARE(shownLog, QStringList { d.f.prompter.boxTexts().value(1) });
    }

    void passwordShowsAnAsteriskForEachCharacter()
    {
        Dialog d;
        d.run([&] {
            d.type("DBEdit5", "s3gr3do");
            QCOMPARE(d.edit("DBEdit5")->text(), QStringLiteral("s3gr3do"));
            QCOMPARE(d.edit("DBEdit5")->displayText(), QStringLiteral("*******"));
            // Only the password field: the others show what is typed.
            d.type("DBEdit4", "ana");
            QCOMPARE(d.edit("DBEdit4")->displayText(), QStringLiteral("ana"));
        });
    }

    void typingIntoTheEditorOfACatalogueWithoutAccountsStartsOne()
    {
        Dialog d;
        d.run([&] {
            // The new account started at the showing is dropped: nothing is pending.
            d.click("BitBtn3");
            QCOMPARE(d.accountButtons(), QList<bool>({ true, false, false, false }));
            QCOMPARE(d.edit("DBEdit3")->text(), QString());
            // The first key typed starts a new account, as "Novo" would, and is kept.
            d.edit("DBEdit1")->setFocus();
            QTest::keyClicks(d.edit("DBEdit1"), "Casa");
            QCOMPARE(d.f.prompter.boxTexts(), QStringList());
            QCOMPARE(d.edit("DBEdit1")->text(), QStringLiteral("Casa"));
            QCOMPARE(d.edit("DBEdit3")->text(), QStringLiteral("21"));
            QCOMPARE(d.accountButtons(), QList<bool>({ false, true, true, false }));
            d.type("DBEdit2", "127.0.0.1");
            d.type("DBEdit4", "ana");
            d.click("BitBtn2");
            QCOMPARE(d.f.prompter.boxTexts(), QStringList());
            // The same after a cancel with the "Proxy" box.
            d.click("BitBtn4");
            QCOMPARE(d.accountButtons(), QList<bool>({ true, false, false, false }));
            auto *proxy = d.child<QCheckBox>("DBCheckBox1");
            QTest::mouseClick(proxy, Qt::LeftButton, {}, QPoint(5, proxy->height() / 2));
            QVERIFY(proxy->isChecked());
            QCOMPARE(d.accountButtons(), QList<bool>({ false, true, true, false }));
        });
        QCOMPARE(d.f.prompter.boxTexts(), QStringList({ "Excluir a conta?" }));
        storetest_rows(d, QString());
    }

    void aRefusedSendShowsTheServersReplyWrittenOutInTheBoxAndTheLogWindow()
    {
        FtpServer ftp({ "--banner", "\\x1b]0;dono\\x07\\x1b[2J Pronto\\x00", "--reply", "STOR",
            "550 \\x1b[2JNot enough privileges.\\x07" });
        Dialog d;
        const QByteArray bytes = sampleBytes(1000, 'w');
        const qint64 key = d.f.picture(d.f.catalog.folder.file("fotos"), "mar.jpg", &bytes);
        d.f.catalog.exec(
            "INSERT INTO FTPAccounts (Profile, Host, Port, UserID, Password, UseProxyServer) "
            "VALUES ('casa', '127.0.0.1', :P, 'ana', :S, 0)",
            { { "P", ftp.server->port() }, { "S", Password } });
        d.f.store.TFTPAccounts.refresh();
        d.dialog.setSelectedKeys({ key });
        QString shownLog;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (d.logWindow.isVisible()) {
                shownLog = d.logWindow.findChild<QPlainTextEdit *>("Memo1")->toPlainText();
                QTest::keyClick(&d.logWindow, Qt::Key_Return);
            }
        });
        closer.start(10);
        d.run([&] { d.click("BitBtn5"); });
        QCOMPARE(d.result, int(QDialog::Rejected));
        QCOMPARE(d.f.prompter.boxTexts(),
            QStringList({ "Confirmar a operação?", "550 \\x1b[2JNot enough privileges.\\x07" }));
        QVERIFY(shownLog.startsWith("220 \\x1b]0;dono\\x07\\x1b[2J Pronto\\x00\n"));
        QVERIFY(shownLog.endsWith("\n550 \\x1b[2JNot enough privileges.\\x07"));
        for (const QChar c : shownLog)
            QVERIFY2(c == QLatin1Char('\n') || c.unicode() >= 0x20, qPrintable(shownLog));
    }

    void deletingAnAccountAsksFirst()
    {
        FtpServer ftp;
        Dialog d;
        d.run([&] {
            d.fillAccount(ftp, "Descartavel");
            d.click("BitBtn2");
            d.f.prompter.answerButton(Prompter::No);
            d.click("BitBtn4");
            QCOMPARE(d.lastBox(), QStringLiteral("Excluir a conta?"));
            QCOMPARE(d.accountButtons(), QList<bool>({ true, false, false, true }));
            d.f.prompter.answerButton(Prompter::Yes);
            d.click("BitBtn4");
            QCOMPARE(d.accountButtons(), QList<bool>({ true, false, false, false }));
        });
        storetest_rows(d, QString());
    }

    void profilesAreListedInNameOrderLikeEveryPicker()
    {
        Dialog d;
        for (const char *profile : { "~Arquivo", "abelha", "_teste", "Ábaco", "[Backup]" })
            d.f.catalog.exec(QStringLiteral("INSERT INTO FTPAccounts (Profile, Host, Port, UserID) "
                                            "VALUES (:P, 'h', 21, 'u')"),
                { { "P", QString::fromUtf8(profile) } });
        d.f.store.TFTPAccounts.refresh();
        QStringList shown;
        d.run([&] {
            auto *picker = d.child<QComboBox>("DBLookupComboBox1");
            for (int i = 0; i < picker->count(); ++i)
                shown << picker->itemText(i);
        });
        QCOMPARE(shown, QStringList({ "[Backup]", "_teste", "Ábaco", "abelha", "~Arquivo" }));
    }

private:
    // The FTPAccounts rows, fields joined by "|", read through a connection of its own.
    static void storetest_rows(Dialog &d, const QString &expected)
    {
        Connection c;
        c.openFile(d.f.catalog.path);
        Query q(c);
        q.setSql("SELECT Profile, Host, Port, UserID, Password, UseProxyServer, ProxyServer, "
                 "Directory FROM FTPAccounts");
        q.open();
        QStringList rows;
        while (!q.eof()) {
            QStringList v;
            for (const QString &f : q.fieldNames())
                v << q.asString(f);
            rows << v.join('|');
            q.next();
        }
        q.close();
        QCOMPARE(rows.join('\n'), expected);
    }
};

QTEST_MAIN(TestFtpDialog)
#include "test_ftpdialog.moc"
