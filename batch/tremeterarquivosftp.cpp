#include "batch/tremeterarquivosftp.h"

#include "batch/ftpaccount.h"
#include "batch/ftpsend.h"
#include "batch/tviewlog.h"
#include "browser/lookuplists.h"
#include "core/eventpump.h"
#include "core/progresssink.h"
#include "core/prompter.h"
#include "store/dberror.h"
#include "store/tdados.h"
#include "widgets/dbcontrols.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QShowEvent>
#include <QStyleFactory>
#include <QVBoxLayout>

namespace {

// The status line of the dialog as the send's progress sink.
class StatusLine : public ProgressSink {
public:
    explicit StatusLine(QLabel *label) : m_label(label) { }
    void setStatus(const QString &text) override { m_label->setText(text); }
    void pump() override { EventPump::pump(); }

private:
    QLabel *m_label;
};

// Qt's password echo draws the platform style's bullet; the password field shows "*".
class AsteriskEchoStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
        QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

DBEdit *field(QWidget *parent, const char *name)
{
    auto *e = new DBEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

} // namespace

TRemeterArquivosFTP::TRemeterArquivosFTP(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TRemeterArquivosFTP"));
    setWindowTitle(QStringLiteral("Remeter arquivos via FTP"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);

    auto *account = new QGroupBox(QStringLiteral("Conta"), this);
    auto *grid = new QGridLayout(account);
    m_picker = new QComboBox(account);
    m_picker->setObjectName(QStringLiteral("DBLookupComboBox1"));
    m_profile = field(account, "DBEdit1");
    m_host = field(account, "DBEdit2");
    m_port = field(account, "DBEdit3");
    m_user = field(account, "DBEdit4");
    m_password = field(account, "DBEdit5");
    m_password->setEchoMode(QLineEdit::Password);
    m_directory = field(account, "DBEdit8");
    m_proxy = new DBCheckBox(QStringLiteral("Proxy"), account);
    m_proxy->setObjectName(QStringLiteral("DBCheckBox1"));
    m_proxyServer = field(account, "DBEdit6");
    m_proxyPort = field(account, "DBEdit7");
    m_port->setMaximumWidth(80);
    m_proxyPort->setMaximumWidth(80);
    // A letter is never taken by a port, as in any port field.
    acceptDigitsOnly(m_port, 5);
    acceptDigitsOnly(m_proxyPort, 5);
    // Over the program's own style, whatever it is; the dialog outlives the field.
    auto *echoStyle = new AsteriskEchoStyle(QStyleFactory::create(style()->name()));
    echoStyle->setParent(this);
    m_password->setStyle(echoStyle);

    const auto label = [account](const char *text, QWidget *buddy) {
        auto *l = new QLabel(QString::fromUtf8(text), account);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label("Perfil", m_picker), 0, 0);
    grid->addWidget(m_picker, 0, 1, 1, 3);
    grid->addWidget(label("Nome", m_profile), 1, 0);
    grid->addWidget(m_profile, 1, 1, 1, 3);
    grid->addWidget(label("Servidor", m_host), 2, 0);
    grid->addWidget(m_host, 2, 1);
    grid->addWidget(label("Porta", m_port), 2, 2);
    grid->addWidget(m_port, 2, 3);
    grid->addWidget(label("Usuário", m_user), 3, 0);
    grid->addWidget(m_user, 3, 1, 1, 3);
    grid->addWidget(label("Senha", m_password), 4, 0);
    grid->addWidget(m_password, 4, 1, 1, 3);
    grid->addWidget(label("Diretório", m_directory), 5, 0);
    grid->addWidget(m_directory, 5, 1, 1, 3);
    grid->addWidget(m_proxy, 6, 0, 1, 4);
    grid->addWidget(label("Servidor", m_proxyServer), 7, 0);
    grid->addWidget(m_proxyServer, 7, 1);
    grid->addWidget(label("Porta", m_proxyPort), 7, 2);
    grid->addWidget(m_proxyPort, 7, 3);
    grid->setColumnStretch(1, 1);

    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    m_new = button("BitBtn1", "Novo");
    m_save = button("BitBtn2", "Gravar");
    m_cancelEdit = button("BitBtn3", "Cancelar");
    m_delete = button("BitBtn4", "Excluir");
    auto *accountButtons = new QHBoxLayout;
    for (QPushButton *b : { m_new, m_save, m_cancelEdit, m_delete })
        accountButtons->addWidget(b);

    m_status = new QLabel(QStringLiteral("Aguarde..."), this);
    m_status->setObjectName(QStringLiteral("Label10"));
    m_ok = button("BitBtn5", "OK");
    m_cancel = button("BitBtn6", "Cancelar");
    m_hiddenOk = button("Button1", "OK");
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_ok);
    bottom->addWidget(m_cancel);
    bottom->addWidget(m_hiddenOk);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(account);
    layout->addLayout(accountButtons);
    layout->addStretch(1);
    layout->addLayout(bottom);

    // FormCreate; the hidden status line keeps its room, so the buttons keep their place.
    QSizePolicy keep = m_status->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_status->setSizePolicy(keep);
    m_status->hide();
    m_hiddenOk->hide();

    for (DBEdit *e :
        { m_profile, m_host, m_port, m_user, m_password, m_directory, m_proxyServer, m_proxyPort })
        connect(e, &QLineEdit::textChanged, this, &TRemeterArquivosFTP::AnyChange);
    connect(m_proxy, &QCheckBox::clicked, this, &TRemeterArquivosFTP::AnyChange);
    connect(m_new, &QPushButton::clicked, this, &TRemeterArquivosFTP::BitBtn1Click);
    connect(m_save, &QPushButton::clicked, this, &TRemeterArquivosFTP::BitBtn2Click);
    connect(m_cancelEdit, &QPushButton::clicked, this, &TRemeterArquivosFTP::BitBtn3Click);
    connect(m_delete, &QPushButton::clicked, this, &TRemeterArquivosFTP::BitBtn4Click);
    connect(m_ok, &QPushButton::clicked, this, &TRemeterArquivosFTP::BitBtn5Click);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_hiddenOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_picker, &QComboBox::activated, this, &TRemeterArquivosFTP::DBLookupComboBox1Click);
}

void TRemeterArquivosFTP::setStore(TDados *store)
{
    m_store = store;
    RecordSet *accounts = store ? &store->TFTPAccounts : nullptr;
    m_profile->bind(accounts, QStringLiteral("Profile"));
    m_host->bind(accounts, QStringLiteral("Host"));
    m_port->bind(accounts, QStringLiteral("Port"));
    m_user->bind(accounts, QStringLiteral("UserID"));
    m_password->bind(accounts, QStringLiteral("Password"));
    m_directory->bind(accounts, QStringLiteral("Directory"));
    m_proxy->bind(accounts, QStringLiteral("UseProxyServer"));
    m_proxyServer->bind(accounts, QStringLiteral("ProxyServer"));
    m_proxyPort->bind(accounts, QStringLiteral("ProxyPort"));
    // A value the store refuses is told as it is typed.
    for (DBEdit *e : { m_profile, m_host, m_port, m_user, m_password, m_directory, m_proxyServer,
             m_proxyPort }) {
        e->binding().onError = [this](const QString &text) {
            if (m_prompter)
                m_prompter->error(text);
        };
        // Typing into the fields of a catalogue without accounts starts a new account.
        e->binding().setInsertWhenEmpty(true);
    }
    m_proxy->binding().onError = m_profile->binding().onError;
    m_proxy->binding().setInsertWhenEmpty(true);
    if (accounts) {
        connect(accounts, &RecordSet::stateChanged, this, &TRemeterArquivosFTP::AnyChange,
            Qt::UniqueConnection);
    }
}

bool TRemeterArquivosFTP::editPending() const
{
    if (!m_store)
        return false;
    return m_store->TFTPAccounts.isEditing();
}

void TRemeterArquivosFTP::setPickerKey(qint64 key)
{
    m_pickerKey = key;
    QList<LookupItem> accounts;
    if (m_store && m_store->connected()) {
        try {
            accounts = LookupLists::ftpAccounts(m_store->Conexao);
        } catch (const DbError &) {
            // A list that cannot be read stays empty, as every picker's.
        }
    }
    m_picker->clear();
    for (const LookupItem &account : std::as_const(accounts))
        m_picker->addItem(account.text, account.key.toLongLong());
    m_picker->setCurrentIndex(key ? m_picker->findData(key) : -1);
}

void TRemeterArquivosFTP::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormActivate();
}

void TRemeterArquivosFTP::FormActivate()
{
    m_status->setText(QStringLiteral("Aguarde..."));
    m_runSucceeded = false;
    if (!m_store)
        return;
    RecordSet &accounts = m_store->TFTPAccounts;
    try {
        if (accounts.isEmpty()) {
            setPickerKey(0);
            accounts.insert();
        } else {
            setPickerKey(accounts.rowId());
        }
    } catch (const DbError &e) {
        if (m_prompter)
            m_prompter->error(e.message());
    }
    RefreshAccountControls();
}

void TRemeterArquivosFTP::setAccountControlsEnabled(bool on)
{
    m_picker->setEnabled(on);
    for (QWidget *w : std::initializer_list<QWidget *> { m_profile, m_host, m_port, m_user,
             m_password, m_directory, m_proxy, m_proxyServer, m_proxyPort })
        w->setEnabled(on);
}

void TRemeterArquivosFTP::RefreshAccountControls()
{
    setAccountControlsEnabled(true);
    AnyChange();
    m_profile->setFocus();
}

void TRemeterArquivosFTP::AnyChange()
{
    if (m_sending)
        return;
    const bool pending = editPending();
    bool hasRows = false;
    if (m_store && m_store->TFTPAccounts.isOpen()) {
        try {
            hasRows = !m_store->TFTPAccounts.isEmpty();
        } catch (const DbError &) {
        }
    }
    m_new->setEnabled(!pending);
    m_save->setEnabled(pending);
    m_cancelEdit->setEnabled(pending);
    m_delete->setEnabled(!pending && hasRows);
}

bool TRemeterArquivosFTP::checkAccount()
{
    FtpAccount typed;
    typed.host = m_host->text();
    typed.port = m_port->text();
    typed.userId = m_user->text();
    typed.password = m_password->text();
    typed.useProxyServer = m_proxy->isChecked();
    typed.proxyServer = m_proxyServer->text();
    typed.proxyPort = m_proxyPort->text();
    typed.directory = m_directory->text();
    const FtpFault fault = typed.saveFault(m_profile->text());
    if (fault.field == FtpField::None)
        return true;
    const std::pair<FtpField, QWidget *> controls[] = { { FtpField::Profile, m_profile },
        { FtpField::Host, m_host }, { FtpField::Port, m_port }, { FtpField::UserId, m_user },
        { FtpField::Password, m_password }, { FtpField::ProxyServer, m_proxyServer },
        { FtpField::ProxyPort, m_proxyPort }, { FtpField::Directory, m_directory } };
    for (const auto &[field, control] : controls)
        if (field == fault.field)
            control->setFocus();
    if (m_prompter) {
        m_prompter->beep();
        m_prompter->error(fault.text);
    }
    return false;
}

void TRemeterArquivosFTP::BitBtn1Click()
{
    if (!m_store)
        return;
    setPickerKey(0);
    try {
        m_store->TFTPAccounts.insert();
    } catch (const DbError &e) {
        if (m_prompter)
            m_prompter->error(e.message());
    }
    RefreshAccountControls();
}

void TRemeterArquivosFTP::BitBtn2Click()
{
    if (!m_store || !checkAccount())
        return;
    RecordSet &accounts = m_store->TFTPAccounts;
    try {
        accounts.post();
    } catch (const DbError &e) {
        if (m_prompter)
            m_prompter->error(e.message());
        return;
    }
    setPickerKey(accounts.rowId());
    RefreshAccountControls();
    m_ok->setFocus();
}

void TRemeterArquivosFTP::BitBtn3Click()
{
    if (!m_store)
        return;
    RecordSet &accounts = m_store->TFTPAccounts;
    try {
        accounts.cancel();
    } catch (const DbError &e) {
        if (m_prompter)
            m_prompter->error(e.message());
    }
    setPickerKey(accounts.isEmpty() ? 0 : accounts.rowId());
    RefreshAccountControls();
    m_picker->setFocus();
}

void TRemeterArquivosFTP::BitBtn4Click()
{
    if (!m_store || !m_prompter)
        return;
    if (!m_prompter->confirm(QStringLiteral("Excluir a conta?")))
        return;
    try {
        m_store->TFTPAccounts.deleteRecord();
    } catch (const DbError &e) {
        m_prompter->error(e.message());
    }
    // The picker keeps its key; the deleted account is no longer in its list.
    setPickerKey(m_pickerKey);
    RefreshAccountControls();
    m_picker->setFocus();
}

void TRemeterArquivosFTP::DBLookupComboBox1Click(int index)
{
    if (!m_store || index < 0)
        return;
    RecordSet &accounts = m_store->TFTPAccounts;
    const qint64 key = m_picker->itemData(index).toLongLong();
    try {
        // Unsaved changes are dropped before moving, so they never reach the catalogue
        // without the "Gravar" checks.
        if (editPending())
            accounts.cancel();
        accounts.gotoRowId(key);
        m_pickerKey = key;
        accounts.edit();
    } catch (const DbError &e) {
        if (m_prompter)
            m_prompter->error(e.message());
    }
    AnyChange();
}

void TRemeterArquivosFTP::BitBtn5Click()
{
    if (!m_store || !m_prompter)
        return;
    m_prompter->beep();
    if (editPending()) {
        m_prompter->error(
            QStringLiteral("Grave ou cancele a edição antes de confirmar a operação."));
        return;
    }
    if (m_pickerKey == 0) {
        m_prompter->error(QStringLiteral("Selecione uma conta antes de confirmar a operação."));
        return;
    }
    if (m_selectedKeys.isEmpty()) {
        m_prompter->error(NoPictureMarkedText);
        return;
    }
    m_runSucceeded = false;
    if (!m_prompter->confirm(QStringLiteral("Confirmar a operação?")))
        return;

    m_status->show();
    setAccountControlsEnabled(false);
    for (QPushButton *b : { m_new, m_save, m_cancelEdit, m_delete, m_ok, m_cancel })
        b->setEnabled(false);
    m_sending = true;
    StatusLine status(m_status);
    EventLog fallbackLog;
    EventLog &log = m_logWindow ? m_logWindow->log() : fallbackLog;
    try {
        m_runSucceeded = SendByFtp(*m_store, FtpAccount::fromRecord(m_store->TFTPAccounts),
            m_selectedKeys, log, *m_prompter, status);
    } catch (const DbError &e) {
        log.AddLogLine(e.message());
        m_prompter->error(e.message());
        m_runSucceeded = false;
    }
    m_sending = false;
    setAccountControlsEnabled(true);
    m_ok->setEnabled(true);
    m_cancel->setEnabled(true);

    if (m_runSucceeded) {
        m_prompter->beep();
        m_prompter->message(QStringLiteral("Remessa via FTP efetuada!"));
        m_hiddenOk->click();
    } else {
        if (m_logWindow)
            m_logWindow->ShowLog();
        done(QDialog::Rejected);
    }
}

void TRemeterArquivosFTP::FormClose()
{
    if (m_store && editPending()) {
        try {
            m_store->TFTPAccounts.cancel();
        } catch (const DbError &) {
        }
    }
    m_status->hide();
}

void TRemeterArquivosFTP::done(int result)
{
    // No way out while a send runs: Escape and the close box wait for its end.
    if (m_sending)
        return;
    FormClose();
    QDialog::done(result);
}
