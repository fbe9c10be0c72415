#include "batch/tremeterarquivosftp.h"

#include "batch/ftpaccount.h"
#include "batch/ftpsend.h"
#include "batch/transferpasswords.h"
#include "batch/transfersettings.h"
#include "browser/lookuplists.h"
#include "core/errorboundary.h"
#include "core/prompter.h"
#include "store/dberror.h"
#include "store/tdados.h"
#include "widgets/dbcontrols.h"
#include "widgets/passwordedit.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

DBEdit *field(QWidget *parent, const char *name)
{
    auto *e = new DBEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

} // namespace

TRemeterArquivosFTP::TRemeterArquivosFTP(
    TDados &store, Prompter &prompter, EventLog &log, QWidget *parent)
    : TransferDialog(QStringLiteral("TRemeterArquivosFTP"),
        QStringLiteral("Remeter arquivos via FTP"),
        { QStringLiteral("Confirmar a operação?"), QStringLiteral("Remessa via FTP efetuada!") },
        store, prompter, log, parent)
{

    auto *account = new QGroupBox(QStringLiteral("Conta"), this);
    auto *grid = new QGridLayout(account);
    m_picker = new QComboBox(account);
    m_picker->setObjectName(QStringLiteral("DBLookupComboBox1"));
    m_profile = field(account, "DBEdit1");
    m_host = field(account, "DBEdit2");
    m_port = field(account, "DBEdit3");
    m_user = field(account, "DBEdit4");
    m_security = new QComboBox(account);
    m_security->setObjectName(QStringLiteral("ComboBox1"));
    for (FtpSecurity s : { FtpSecurity::None, FtpSecurity::Explicit, FtpSecurity::Implicit })
        m_security->addItem(securityLabel(s), int(s));
    // Not bound to the Password column: the password is kept in the keyring.
    m_password = new PasswordEdit(account);
    m_password->setObjectName(QStringLiteral("DBEdit5"));
    m_directory = field(account, "DBEdit8");
    m_proxy = new DBCheckBox(QStringLiteral("Proxy"), account);
    m_proxy->setObjectName(QStringLiteral("DBCheckBox1"));
    m_proxyServer = field(account, "DBEdit6");
    m_proxyPort = field(account, "DBEdit7");
    // The new fields take their place in the typing order.
    const QList<QWidget *> typingOrder { m_profile, m_host, m_port, m_security, m_user,
        m_password };
    for (qsizetype i = 1; i < typingOrder.size(); ++i)
        QWidget::setTabOrder(typingOrder[i - 1], typingOrder[i]);
    m_port->setMaximumWidth(80);
    m_proxyPort->setMaximumWidth(80);
    // A letter is never taken by a port, as in any port field.
    acceptDigitsOnly(m_port, 5);
    acceptDigitsOnly(m_proxyPort, 5);

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
    grid->addWidget(label("Segurança", m_security), 3, 0);
    grid->addWidget(m_security, 3, 1, 1, 3, Qt::AlignLeft);
    grid->addWidget(label("Usuário", m_user), 4, 0);
    grid->addWidget(m_user, 4, 1, 1, 3);
    grid->addWidget(label("Senha", m_password), 5, 0);
    grid->addWidget(m_password, 5, 1, 1, 3);
    grid->addWidget(label("Diretório", m_directory), 6, 0);
    grid->addWidget(m_directory, 6, 1, 1, 3);
    grid->addWidget(m_proxy, 7, 0, 1, 4);
    grid->addWidget(label("Servidor", m_proxyServer), 8, 0);
    grid->addWidget(m_proxyServer, 8, 1);
    grid->addWidget(label("Porta", m_proxyPort), 8, 2);
    grid->addWidget(m_proxyPort, 8, 3);
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
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_ok);
    bottom->addWidget(m_cancel);

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
    setStatusLine(m_status);

    const auto handler = [this, &prompter](void (TRemeterArquivosFTP::*method)()) {
        return guarded(prompter, [this, method] { (this->*method)(); });
    };
    for (DBEdit *e : { m_profile, m_host, m_port, m_user, m_directory, m_proxyServer, m_proxyPort })
        connect(e, &QLineEdit::textChanged, this, handler(&TRemeterArquivosFTP::AnyChange));
    connect(m_password, &PasswordEdit::passwordEdited, this,
        handler(&TRemeterArquivosFTP::SecurityChange));
    connect(m_security, &QComboBox::activated, this, handler(&TRemeterArquivosFTP::SecurityChange));
    connect(m_proxy, &QCheckBox::clicked, this, handler(&TRemeterArquivosFTP::AnyChange));
    connect(m_new, &QPushButton::clicked, this, handler(&TRemeterArquivosFTP::BitBtn1Click));
    connect(m_save, &QPushButton::clicked, this, handler(&TRemeterArquivosFTP::BitBtn2Click));
    connect(m_cancelEdit, &QPushButton::clicked, this, handler(&TRemeterArquivosFTP::BitBtn3Click));
    connect(m_delete, &QPushButton::clicked, this, handler(&TRemeterArquivosFTP::BitBtn4Click));
    setOperationButtons(m_ok, m_cancel);
    connect(m_picker, &QComboBox::activated, this,
        guarded(prompter, [this](int index) { DBLookupComboBox1Click(index); }));

    RecordSet *accounts = &store.TFTPAccounts;
    m_profile->bind(accounts, QStringLiteral("Profile"));
    m_host->bind(accounts, QStringLiteral("Host"));
    m_port->bind(accounts, QStringLiteral("Port"));
    m_user->bind(accounts, QStringLiteral("UserID"));
    m_directory->bind(accounts, QStringLiteral("Directory"));
    m_proxy->bind(accounts, QStringLiteral("UseProxyServer"));
    m_proxyServer->bind(accounts, QStringLiteral("ProxyServer"));
    m_proxyPort->bind(accounts, QStringLiteral("ProxyPort"));
    // A value the store refuses is told as it is typed.
    for (DBEdit *e :
        { m_profile, m_host, m_port, m_user, m_directory, m_proxyServer, m_proxyPort }) {
        e->binding().onError = [&prompter](const QString &text) { prompter.error(text); };
        // Typing into the fields of a catalogue without accounts starts a new account.
        e->binding().setInsertWhenEmpty(true);
    }
    m_proxy->binding().onError = m_profile->binding().onError;
    m_proxy->binding().setInsertWhenEmpty(true);
    connect(accounts, &RecordSet::stateChanged, this, handler(&TRemeterArquivosFTP::AnyChange));
    // Another row shown, a new one started, an edit saved or dropped: its own settings show.
    // The edit that typing in "Senha" starts keeps what is being typed.
    connect(accounts, &RecordSet::currentChanged, this,
        handler(&TRemeterArquivosFTP::showAccountSecurity));
    connect(
        accounts, &RecordSet::stateChanged, this, guarded(prompter, [this](RecordSet::State state) {
            if (state != RecordSet::State::Edit && !m_startingEdit)
                showAccountSecurity();
        }));
}

void TRemeterArquivosFTP::showAccountSecurity()
{
    if (m_startingEdit)
        return;
    RecordSet &accounts = store().TFTPAccounts;
    FtpAccount account;
    if (accounts.isOpen() && (accounts.state() == RecordSet::State::Insert || !accounts.isEmpty()))
        account = FtpAccount::fromRecord(accounts);
    m_security->setCurrentIndex(qMax(0, m_security->findData(int(account.security))));
    // A password still kept in clear in the row shows as kept too: "Gravar" moves it.
    m_password->showKept(account.hasPassword || !account.password.isEmpty());
}

void TRemeterArquivosFTP::SecurityChange()
{
    RecordSet &accounts = store().TFTPAccounts;
    if (accounts.isOpen() && !accounts.isEditing()) {
        m_startingEdit = true;
        try {
            if (accounts.isEmpty())
                accounts.insert();
            else
                accounts.edit();
        } catch (...) {
            m_startingEdit = false;
            throw;
        }
        m_startingEdit = false;
    }
    AnyChange();
}

bool TRemeterArquivosFTP::editPending() const
{
    return store().TFTPAccounts.isEditing();
}

void TRemeterArquivosFTP::setPickerKey(qint64 key)
{
    m_pickerKey = key;
    QList<LookupItem> accounts;
    if (store().connected()) {
        try {
            accounts = LookupLists::ftpAccounts(store().Conexao);
        } catch (const DbError &) {
            // A list that cannot be read stays empty, as every picker's.
        }
    }
    m_picker->clear();
    for (const LookupItem &account : std::as_const(accounts))
        m_picker->addItem(account.text, account.key.toLongLong());
    m_picker->setCurrentIndex(key ? m_picker->findData(key) : -1);
}

void TRemeterArquivosFTP::FormActivate()
{
    m_status->setText(QStringLiteral("Aguarde..."));
    RecordSet &accounts = store().TFTPAccounts;
    if (accounts.isEmpty()) {
        setPickerKey(0);
        accounts.insert();
    } else {
        setPickerKey(accounts.rowId());
    }
    showAccountSecurity();
    RefreshAccountControls();
}

void TRemeterArquivosFTP::setAccountControlsEnabled(bool on)
{
    m_picker->setEnabled(on);
    for (QWidget *w : std::initializer_list<QWidget *> { m_profile, m_host, m_port, m_security,
             m_user, m_password, m_directory, m_proxy, m_proxyServer, m_proxyPort })
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
    if (running())
        return;
    const bool pending = editPending();
    bool hasRows = false;
    if (store().TFTPAccounts.isOpen()) {
        try {
            hasRows = !store().TFTPAccounts.isEmpty();
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
    // The saved password is not checked again: only what was typed in place of it.
    typed.password = m_password->typed() ? m_password->text() : QString();
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
    prompter().beep();
    prompter().error(fault.text);
    return false;
}

void TRemeterArquivosFTP::BitBtn1Click()
{
    setPickerKey(0);
    store().TFTPAccounts.insert();
    RefreshAccountControls();
}

void TRemeterArquivosFTP::BitBtn2Click()
{
    if (!checkAccount())
        return;
    RecordSet &accounts = store().TFTPAccounts;
    FtpAccountChange change;
    change.security = FtpSecurity(m_security->currentData().toInt());
    if (m_password->typed())
        change.password = m_password->text();
    if (!saveFtpAccount(
            store(), change, sessionPasswords(), PasswordKeeping::KeyringOrSession, prompter()))
        return;
    showAccountSecurity();
    setPickerKey(accounts.rowId());
    RefreshAccountControls();
    m_ok->setFocus();
}

void TRemeterArquivosFTP::BitBtn3Click()
{
    RecordSet &accounts = store().TFTPAccounts;
    accounts.cancel();
    setPickerKey(accounts.isEmpty() ? 0 : accounts.rowId());
    RefreshAccountControls();
    m_picker->setFocus();
}

void TRemeterArquivosFTP::BitBtn4Click()
{
    if (!prompter().confirm(QStringLiteral("Excluir a conta?")))
        return;
    store().TFTPAccounts.deleteRecord();
    // The picker keeps its key; the deleted account is no longer in its list.
    setPickerKey(m_pickerKey);
    RefreshAccountControls();
    m_picker->setFocus();
}

void TRemeterArquivosFTP::DBLookupComboBox1Click(int index)
{
    if (index < 0)
        return;
    RecordSet &accounts = store().TFTPAccounts;
    const qint64 key = m_picker->itemData(index).toLongLong();
    // Unsaved changes are dropped before moving, so they never reach the catalogue
    // without the "Gravar" checks.
    if (editPending())
        accounts.cancel();
    accounts.gotoRowId(key);
    m_pickerKey = key;
    accounts.edit();
    AnyChange();
}

bool TRemeterArquivosFTP::checkInput()
{
    prompter().beep();
    if (editPending()) {
        prompter().error(
            QStringLiteral("Grave ou cancele a edição antes de confirmar a operação."));
        return false;
    }
    if (m_pickerKey == 0) {
        prompter().error(QStringLiteral("Selecione uma conta antes de confirmar a operação."));
        return false;
    }
    // The password is asked now, so that giving none leaves the dialog open.
    const QString why = requireFtpPassword(
        FtpAccount::fromRecord(store().TFTPAccounts), sessionPasswords(), prompter());
    if (!why.isEmpty()) {
        prompter().error(why);
        return false;
    }
    return true;
}

void TRemeterArquivosFTP::setRunning(bool on)
{
    if (on) {
        m_status->show();
        for (QPushButton *b : { m_new, m_save, m_cancelEdit, m_delete })
            b->setEnabled(false);
    }
    // The account's buttons stay off after the run: the dialog closes.
    setAccountControlsEnabled(!on);
    m_ok->setEnabled(!on);
    m_cancel->setEnabled(!on);
}

bool TRemeterArquivosFTP::transfer(EventLog &log, ProgressSink &progress)
{
    return SendByFtp(store(), FtpAccount::fromRecord(store().TFTPAccounts), selectedKeys(), log,
        prompter(), progress);
}

void TRemeterArquivosFTP::FormClose()
{
    if (editPending()) {
        try {
            store().TFTPAccounts.cancel();
        } catch (const DbError &) {
            // The dialog closes all the same; the next showing starts a new edit.
        }
    }
    m_status->hide();
}
