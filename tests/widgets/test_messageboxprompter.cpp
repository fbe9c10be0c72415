#include "core/qttranslation.h"
#include "support/windowdriver.h"
#include "widgets/messageboxprompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {
// Runs `act` on the modal window once the prompter's call has opened it.
void whenShown(std::function<void(QWidget *)> act)
{
    QTimer::singleShot(0, [act] {
        QWidget *modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        act(modal);
    });
}

QStringList buttonTexts(QMessageBox *box)
{
    QStringList texts;
    for (QAbstractButton *b : box->buttons())
        texts << b->text();
    texts.sort();
    return texts;
}
} // namespace

class TestMessageBoxPrompter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(installQtTranslation()); }

    void boxesShowTheirTextIconAndButtonsAndGiveTheChosenOne()
    {
        MessageBoxPrompter prompter;
        QString text;
        QStringList buttons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenShown([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            text = box->text();
            icon = box->icon();
            buttons = buttonTexts(box);
            QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
        });
        QCOMPARE(prompter.box(Prompter::Icon::Question, "Exclusão do registro confirmada.\rApagar?",
                     Prompter::Buttons(Prompter::Yes) | Prompter::No),
            Prompter::No);
        QCOMPARE(text, QStringLiteral("Exclusão do registro confirmada.\nApagar?"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(buttons, QStringList({ "&Não", "&Sim" }));

        // Escape gives the most cautious answer of the set.
        whenShown([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
        QCOMPARE(prompter.box(Prompter::Icon::Warning, "Ignorar?",
                     Prompter::Buttons(Prompter::Ignore) | Prompter::Cancel),
            Prompter::Cancel);
    }

    // Enter answers the box's default: its first button, or the one asked for (No, for a
    // question that deletes a file).
    void enterAnswersTheDefaultButton()
    {
        MessageBoxPrompter prompter;
        whenShown([](QWidget *w) { QTest::keyClick(w, Qt::Key_Return); });
        QVERIFY(prompter.confirm("Confirmar a exclusão do registro selecionado?"));
        whenShown([](QWidget *w) { QTest::keyClick(w, Qt::Key_Return); });
        QVERIFY(!prompter.confirmDefaultNo("Apagar o arquivo físico também?"));
        whenShown([](QWidget *w) { QTest::keyClick(w, Qt::Key_Return); });
        QVERIFY(!prompter.confirmDefaultNo("Apagar assim mesmo?", Prompter::Icon::Error));
    }

    // A short text does not make the box narrower than its caption needs in a title bar
    // beside the window manager's icon and buttons (it read "Qu…mar").
    void shortBoxesLeaveRoomForTheirCaption()
    {
        QApplication::setApplicationName(QStringLiteral("Quillomar"));
        MessageBoxPrompter prompter;
        for (const char *text : { "Mudança efetuada!", "Cópia efetuada!", "OK" }) {
            int width = 0, caption = 0;
            whenShown([&](QWidget *w) {
                width = w->width();
                QFont bold = w->font();
                bold.setBold(true);
                caption = QFontMetrics(bold).horizontalAdvance(w->windowTitle());
                QTest::keyClick(w, Qt::Key_Return);
            });
            prompter.message(QString::fromUtf8(text));
            QVERIFY2(width >= caption + 150,
                qPrintable(QString("%1 < %2 + 150").arg(width).arg(caption)));
        }
    }

    void qtsOwnPickersAndInputBoxSpeakPortuguese()
    {
        MessageBoxPrompter prompter;
        QString lookIn;
        whenShown([&](QWidget *w) {
            auto *picker = qobject_cast<QFileDialog *>(w);
            QVERIFY(picker);
            lookIn = testsupport::child<QLabel>(picker, "lookInLabel")->text();
            picker->reject();
        });
        QCOMPARE(prompter.pickFolder("Pasta", QDir::tempPath()), QString());
        QCOMPARE(lookIn, QStringLiteral("Procurar em:"));

        QStringList buttons;
        whenShown([&](QWidget *w) {
            for (QPushButton *b : w->findChildren<QPushButton *>())
                buttons << b->text();
            qobject_cast<QDialog *>(w)->reject();
        });
        QCOMPARE(prompter.inputText("Procurar imagem", "Procurar por...", QString()), std::nullopt);
        QVERIFY2(buttons.contains("Cancelar"), qPrintable(buttons.join(", ")));
    }

    void aPasswordIsTypedWithoutBeingShown()
    {
        MessageBoxPrompter prompter;
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        int mask = 0;
        whenShown([&](QWidget *w) {
            auto *edit = w->findChild<QLineEdit *>();
            QVERIFY(edit);
            echo = edit->echoMode();
            mask = edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit);
            QTest::keyClicks(edit, QStringLiteral("s3nha!"));
            qobject_cast<QDialog *>(w)->accept();
        });
        QCOMPARE(prompter.inputSecret("Senha", "Senha de ana@ftp.exemplo.com:"),
            std::optional<QString>(QStringLiteral("s3nha!")));
        QCOMPARE(echo, QLineEdit::Password);
        QCOMPARE(mask, int('*'));
        whenShown([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
        QCOMPARE(prompter.inputSecret("Senha", "Senha:"), std::nullopt);
    }
};

QTEST_MAIN(TestMessageBoxPrompter)
#include "test_messageboxprompter.moc"
