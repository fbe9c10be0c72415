#include "widgets/cataloguepassworddialog.h"

#include "widgets/asteriskecho.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CataloguePasswordDialog::CataloguePasswordDialog(
    const QString &user, const QString &server, const QString &problem, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CataloguePassword"));
    setWindowTitle(QStringLiteral("Senha do catálogo"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);
    // Asked during the start-up too: the splash window stays on top until then.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        QStringLiteral("O catálogo no servidor %1 pede a senha do usuário \"%2\".")
            .arg(server, user),
        this);
    intro->setObjectName(QStringLiteral("Intro"));
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto *note = new QLabel(problem, this);
    note->setObjectName(QStringLiteral("Problem"));
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    QPalette red = note->palette();
    red.setColor(QPalette::WindowText, QColor(176, 0, 0));
    note->setPalette(red);
    note->setVisible(!problem.isEmpty());
    layout->addWidget(note);

    auto *form = new QFormLayout;
    auto *userField = new QLineEdit(user, this);
    userField->setObjectName(QStringLiteral("User"));
    userField->setReadOnly(true);
    userField->setFocusPolicy(Qt::NoFocus);
    form->addRow(QStringLiteral("Usuário"), userField);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("Password"));
    m_password->setEchoMode(QLineEdit::Password);
    showAsterisks(m_password, this);
    auto *passwordLabel = new QLabel(QStringLiteral("&Senha"), this);
    passwordLabel->setBuddy(m_password);
    form->addRow(passwordLabel, m_password);
    layout->addLayout(form);

    m_keep = new QCheckBox(QStringLiteral("&Guardar no chaveiro"), this);
    m_keep->setObjectName(QStringLiteral("Keep"));
    layout->addWidget(m_keep);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OK"));
    ok->setDefault(true);
    QPushButton *cancel
        = buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // An empty password is not one: OK waits for something typed.
    ok->setEnabled(false);
    connect(m_password, &QLineEdit::textChanged, ok,
        [ok](const QString &text) { ok->setEnabled(!text.isEmpty()); });
    m_password->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 22);
    intro->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 26);
    m_password->setFocus();
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CataloguePasswordDialog::password() const
{
    return m_password->text();
}

bool CataloguePasswordDialog::keep() const
{
    return m_keep->isChecked();
}
