#include "widgets/messageboxprompter.h"

#include "widgets/asteriskecho.h"
#include "widgets/cataloguepassworddialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {
struct ButtonInfo {
    Prompter::Button button;
    QMessageBox::StandardButton standard;
    const char *text;
};

const ButtonInfo kButtons[] = {
    { Prompter::Yes, QMessageBox::Yes, "&Sim" },
    { Prompter::No, QMessageBox::No, "&Não" },
    { Prompter::Ok, QMessageBox::Ok, "OK" },
    { Prompter::Abort, QMessageBox::Abort, "&Anular" },
    { Prompter::Retry, QMessageBox::Retry, "&Repetir" },
    { Prompter::Ignore, QMessageBox::Ignore, "&Ignorar" },
    { Prompter::Cancel, QMessageBox::Cancel, "Cancelar" },
};
// The width a title bar takes besides its caption: window icon, minimise, maximise and
// close buttons and their margins, as the common window managers draw them.
constexpr int kTitleBarDecorations = 190;
} // namespace

Prompter::Button MessageBoxPrompter::box(Icon icon, const QString &text, Buttons buttons)
{
    return boxWithDefault(icon, text, buttons, NoButton);
}

Prompter::Button MessageBoxPrompter::boxWithDefault(
    Icon icon, const QString &text, Buttons buttons, Button defaultButton)
{
    return show(icon, text, QString(), buttons, defaultButton);
}

void MessageBoxPrompter::boxWithDetail(Icon icon, const QString &text, const QString &detail)
{
    show(icon, text, detail, Ok, NoButton);
}

std::optional<Prompter::CataloguePassword> MessageBoxPrompter::cataloguePassword(
    const QString &user, const QString &server, const QString &problem)
{
    CataloguePasswordDialog dialog(user, server, problem, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return CataloguePassword { dialog.password(), dialog.keep() };
}

Prompter::Button MessageBoxPrompter::show(
    Icon icon, const QString &text, const QString &detail, Buttons buttons, Button defaultButton)
{
    QMessageBox box(m_parent);
    switch (icon) {
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    }
    box.setWindowTitle(QApplication::applicationName());
    // The splash window stays on top until the catalogue is loaded; a box shown during the
    // start-up must not hide behind it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
    box.setTextFormat(Qt::PlainText);
    if (!detail.isEmpty())
        box.setDetailedText(detail);
    if (!buttons)
        buttons = Ok;
    QPushButton *first = nullptr;
    QPushButton *chosen = nullptr;
    for (const ButtonInfo &info : kButtons) {
        if (!buttons.testFlag(info.button))
            continue;
        box.addButton(info.standard);
        QAbstractButton *b = box.button(info.standard);
        b->setText(QString::fromUtf8(info.text));
        if (!first)
            first = qobject_cast<QPushButton *>(b);
        if (info.button == defaultButton)
            chosen = qobject_cast<QPushButton *>(b);
    }
    if (chosen || first)
        box.setDefaultButton(chosen ? chosen : first);
    // A box sized to a short text is narrower than its title bar needs: the window manager
    // then cuts the caption ("Qu…mar"). Room for the caption, the window icon and the
    // title bar's buttons.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        QFont title = box.font();
        title.setBold(true);
        const int needed
            = QFontMetrics(title).horizontalAdvance(box.windowTitle()) + kTitleBarDecorations;
        grid->addItem(new QSpacerItem(needed, 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
            grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    for (const ButtonInfo &info : kButtons)
        if (clicked && box.button(info.standard) == clicked)
            return info.button;
    // Closed with Escape or the window button: the most cautious answer of the set.
    for (Button b : { Cancel, No, Abort, Ok, Ignore, Yes })
        if (buttons.testFlag(b))
            return b;
    return Ok;
}

std::optional<QString> MessageBoxPrompter::inputText(
    const QString &caption, const QString &prompt, const QString &initial)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    // Wide enough for its caption: a box sized to a short prompt cut "Procurar imagem".
    if (auto *edit = dialog.findChild<QLineEdit *>())
        edit->setMinimumWidth(dialog.fontMetrics().horizontalAdvance(caption) + 140);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> MessageBoxPrompter::inputSecret(
    const QString &caption, const QString &prompt)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextEchoMode(QLineEdit::Password);
    if (auto *edit = dialog.findChild<QLineEdit *>()) {
        edit->setMinimumWidth(dialog.fontMetrics().horizontalAdvance(prompt) + 60);
        showAsterisks(edit, &dialog);
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString MessageBoxPrompter::pickFolder(const QString &caption, const QString &start)
{
    return QFileDialog::getExistingDirectory(m_parent, caption, start);
}

QString MessageBoxPrompter::pickFile(
    const QString &caption, const QString &filter, const QString &start)
{
    return QFileDialog::getOpenFileName(m_parent, caption, start, filter);
}

void MessageBoxPrompter::beep()
{
    QApplication::beep();
}
