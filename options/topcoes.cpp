#include "options/topcoes.h"

#include "batch/transfersecurity.h"
#include "core/errorboundary.h"
#include "core/programpaths.h"
#include "core/prompter.h"
#include "options/databaselocation.h"
#include "options/optionrows.h"
#include "store/connection.h"
#include "store/dberror.h"
#include "store/tdados.h"
#include "widgets/dbcontrols.h"
#include "widgets/passwordedit.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QLabel *label(QWidget *parent, const char *name, const char *text)
{
    auto *l = new QLabel(QString::fromUtf8(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

TOpcoes::TOpcoes(TDados &store, Prompter &prompter, QWidget *parent)
    : QDialog(parent), m_store(store), m_prompter(prompter)
{
    setObjectName(QStringLiteral("TOpcoes"));
    setWindowTitle(QStringLiteral("Opções"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControl1"));

    auto *formatsPage = new QWidget;
    formatsPage->setObjectName(QStringLiteral("TabSheet1"));
    auto *formatsLayout = new QVBoxLayout(formatsPage);
    formatsLayout->addWidget(
        label(formatsPage, "Label1", "Marque os tipos de arquivos válidos no catálogo:"));
    m_formats = new QListWidget(formatsPage);
    m_formats->setObjectName(QStringLiteral("CheckListBox1"));
    formatsLayout->addWidget(m_formats, 1);
    m_pages->addTab(formatsPage, QStringLiteral("Formatos"));

    auto *mailPage = new QWidget;
    mailPage->setObjectName(QStringLiteral("TabSheet2"));
    auto *grid = new QGridLayout(mailPage);
    grid->addWidget(label(mailPage, "Label8", "Servidor de envio de mensagens "), 0, 0, 1, 2);
    const struct {
        const char *label;
        const char *labelName;
        const char *editName;
        bool cream;
    } fields[5] = {
        { "Servidor SMTP", "Label2", "DBEdit1", true },
        { "Porta", "Label3", "DBEdit2", true },
        { "Usuário", "Label4", "DBEdit3", true },
        { "Nome", "Label5", "DBEdit4", false },
        { "E-mail", "Label6", "DBEdit5", true },
    };
    m_security = new QComboBox(mailPage);
    m_security->setObjectName(QStringLiteral("ComboBox1"));
    for (MailSecurity s : { MailSecurity::None, MailSecurity::StartTls, MailSecurity::Tls })
        m_security->addItem(securityLabel(s), int(s));
    m_password = new PasswordEdit(mailPage);
    m_password->setObjectName(QStringLiteral("Edit2"));
    int row = 1;
    for (int i = 0; i < 5; ++i) {
        if (i == 2) {
            QLabel *l = label(mailPage, "Label11", "Segurança");
            l->setBuddy(m_security);
            grid->addWidget(l, row, 0);
            grid->addWidget(m_security, row++, 1, Qt::AlignLeft);
        }
        if (i == 3) {
            QLabel *l = label(mailPage, "Label12", "Senha");
            l->setBuddy(m_password);
            grid->addWidget(l, row, 0);
            grid->addWidget(m_password, row++, 1);
            grid->addWidget(label(mailPage, "Label7", "Informações Locais "), row++, 0, 1, 2);
        }
        m_mail[i] = new DBEdit(mailPage);
        m_mail[i]->setObjectName(QString::fromLatin1(fields[i].editName));
        if (fields[i].cream) {
            QPalette p = m_mail[i]->palette();
            p.setColor(QPalette::Base, QColor(255, 251, 240));
            m_mail[i]->setPalette(p);
        }
        QLabel *l = label(mailPage, fields[i].labelName, fields[i].label);
        l->setBuddy(m_mail[i]);
        grid->addWidget(l, row, 0);
        grid->addWidget(m_mail[i], row++, 1);
    }
    // The new fields take their place in the typing order.
    const QList<QWidget *> typingOrder { m_mail[0], m_mail[1], m_security, m_mail[2], m_password,
        m_mail[3], m_mail[4] };
    for (qsizetype i = 1; i < typingOrder.size(); ++i)
        QWidget::setTabOrder(typingOrder[i - 1], typingOrder[i]);
    m_mail[1]->setMaximumWidth(80);
    // A letter is never taken by a port, as in any port field.
    acceptDigitsOnly(m_mail[1], 5);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
    m_pages->addTab(mailPage, QStringLiteral("Servidor de e-mail"));

    auto *databasePage = new QWidget;
    databasePage->setObjectName(QStringLiteral("TabSheet3"));
    auto *dbLayout = new QVBoxLayout(databasePage);
    QLabel *hint = label(databasePage, "Label10",
        "Para acesso local (default) ao banco de dados deixe o campo abaixo \"em branco\".");
    hint->setWordWrap(true);
    dbLayout->addWidget(hint);
    dbLayout->addWidget(
        label(databasePage, "Label9", "Bando de dados do sistema (caminho completo)"));
    m_databasePath = new QLineEdit(databasePage);
    m_databasePath->setObjectName(QStringLiteral("Edit1"));
    dbLayout->addWidget(m_databasePath);
    m_locate = new QPushButton(QStringLiteral("Localizar"), databasePage);
    m_locate->setObjectName(QStringLiteral("BitBtn4"));
    m_locate->setAutoDefault(false);
    dbLayout->addWidget(m_locate, 0, Qt::AlignRight);
    dbLayout->addStretch(1);
    m_pages->addTab(databasePage, QStringLiteral("Base de dados"));

    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    m_ok = button("BitBtn1", "OK");
    m_ok->setDefault(true);
    m_cancel = button("BitBtn2", "Cancelar");
    m_apply = button("BitBtn3", "Aplicar");
    m_hiddenOk = button("Button1", "OK");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *b : { m_ok, m_cancel, m_apply, m_hiddenOk })
        buttons->addWidget(b);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages, 1);
    layout->addLayout(buttons);
    resize(440, 340);

    // FormCreate
    m_pages->setCurrentIndex(0);
    m_hiddenOk->hide();

    connect(m_formats, &QListWidget::itemChanged, this, [this] { AnyChange(Group::Formats); });
    for (DBEdit *e : m_mail)
        connect(e, &QLineEdit::textEdited, this, [this] { AnyChange(Group::Mail); });
    connect(m_security, &QComboBox::activated, this, [this] { AnyChange(Group::Mail); });
    connect(m_password, &PasswordEdit::passwordEdited, this, [this] { AnyChange(Group::Mail); });
    connect(m_databasePath, &QLineEdit::textEdited, this, [this] { AnyChange(Group::Database); });
    connect(m_ok, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn1Click(); }));
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_apply, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn3Click(); }));
    connect(m_locate, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn4Click(); }));
    connect(m_hiddenOk, &QPushButton::clicked, this, &QDialog::accept);

    const char *columns[5] = { "Host", "Port", "UserID", "Name", "Email" };
    for (int i = 0; i < 5; ++i) {
        m_mail[i]->bind(&store.TSMTPAccount, QString::fromLatin1(columns[i]));
        m_mail[i]->binding().onError = [&prompter](const QString &text) { prompter.error(text); };
    }
}

void TOpcoes::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorBoundary::run(m_prompter, [this] { FormActivate(); });
}

void TOpcoes::startMailEdit()
{
    // The row is edited in memory only: the catalogue stays unlocked until "Aplicar". A row
    // that cannot be read is told, and the other pages still open.
    try {
        RecordSet &mail = m_store.TSMTPAccount;
        mail.first();
        mail.edit();
    } catch (const DbError &e) {
        m_prompter.error(e.message());
    }
}

bool TOpcoes::catalogueOpen() const
{
    return m_store.TFormats.isOpen() && m_store.TSMTPAccount.isOpen();
}

void TOpcoes::FormActivate()
{
    // After a failed reopening only the location can be set, to a catalogue that opens.
    const bool open = catalogueOpen();
    for (int page : { 0, 1 }) {
        m_pages->setTabEnabled(page, open);
        m_pages->setTabToolTip(
            page, open ? QString() : QStringLiteral("Banco de dados não conectado."));
    }
    if (!open)
        m_pages->setCurrentIndex(2);
    else if (m_pages->currentIndex() == 2)
        m_pages->setCurrentIndex(0);
    m_formatsChanged = m_mailChanged = m_databaseChanged = false;
    m_filling = true;
    m_formatKeys.clear();
    m_formats->clear();
    if (open) {
        // A list that cannot be read is told, and the rest of the dialog still opens.
        try {
            RecordSet &formats = m_store.TFormats;
            formats.first();
            while (formats.isOpen() && !formats.isEmpty() && !formats.eof()) {
                auto *item
                    = new QListWidgetItem(formatItemText(formats.asString(QStringLiteral("Name")),
                                              formats.asString(QStringLiteral("Extension")),
                                              formats.asString(QStringLiteral("Variation"))),
                        m_formats);
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(
                    formats.asBool(QStringLiteral("Used")) ? Qt::Checked : Qt::Unchecked);
                m_formatKeys << formats.asString(QStringLiteral("Extension"));
                formats.next();
            }
        } catch (const DbError &e) {
            m_prompter.error(e.message());
        }
        RecordSet &mail = m_store.TSMTPAccount;
        if (mail.isEditing())
            mail.cancel();
        startMailEdit();
        showMailSecurity();
    }
    const ProgramPaths &paths = m_store.paths();
    m_databasePath->setText(joinPath(paths.DatabaseFolder, paths.DatabaseFileName));
    m_filling = false;
    m_apply->setEnabled(false);
}

void TOpcoes::showMailSecurity()
{
    MailServerSecurity settings;
    try {
        settings = MailServerSecurity::read(m_store.Conexao);
    } catch (const DbError &e) {
        m_prompter.error(e.message());
    }
    const bool filling = m_filling;
    m_filling = true;
    m_security->setCurrentIndex(qMax(0, m_security->findData(int(settings.security))));
    m_password->showKept(settings.hasPassword);
    m_filling = filling;
}

MailServerChange TOpcoes::mailChange() const
{
    MailServerChange change;
    change.security = MailSecurity(m_security->currentData().toInt());
    // A password typed is the new one (refused with its reason when there is no user); a
    // field emptied removes the log-in, and so does emptying "Usuário" with the mask left.
    const bool noUser = m_mail[2]->text().trimmed().isEmpty();
    if (m_password->typed() && !m_password->text().isEmpty())
        change.password = m_password->text();
    else if (m_password->typed() || (noUser && m_password->kept()))
        change.password = QString();
    return change;
}

void TOpcoes::AnyChange(Group group)
{
    if (m_filling)
        return;
    m_formatsChanged = m_formatsChanged || group == Group::Formats;
    m_mailChanged = m_mailChanged || group == Group::Mail;
    m_databaseChanged = m_databaseChanged || group == Group::Database;
    m_apply->setEnabled(true);
}

void TOpcoes::BitBtn3Click()
{
    if (!isVisible())
        return;
    QList<FormatUse> formats;
    for (int i = 0; m_formatsChanged && i < m_formats->count() && i < m_formatKeys.size(); ++i)
        formats.append({ m_formatKeys[i], m_formats->item(i)->checkState() == Qt::Checked });
    const MailServerChange server = m_mailChanged ? mailChange() : MailServerChange();
    const bool written = saveOptionRows(m_store, m_prompter, m_formatsChanged ? &formats : nullptr,
        m_mailChanged ? &server : nullptr);
    if (m_databaseChanged) {
        const QString error = saveDatabaseLocation(m_store.paths(), m_databasePath->text());
        if (!error.isEmpty())
            m_prompter.error(error);
    }
    // What was written is no longer a change; a group whose write failed stays marked.
    if (written) {
        m_formatsChanged = false;
        m_mailChanged = false;
    }
    m_databaseChanged = false;
    m_apply->setEnabled(m_formatsChanged || m_mailChanged);
    RecordSet &mail = m_store.TSMTPAccount;
    if (catalogueOpen() && mail.state() != RecordSet::State::Edit)
        startMailEdit();
    if (written && catalogueOpen())
        showMailSecurity();
}

void TOpcoes::BitBtn1Click()
{
    if (m_apply->isEnabled())
        BitBtn3Click();
    m_hiddenOk->click();
}

void TOpcoes::BitBtn4Click()
{
    const QString defaultName = m_store.paths().defaultDatabaseName();
    // "Localizar" offers files: while the catalogue is on a server it starts in the
    // program's folder.
    const QString start = Connection::isServerLocation(m_store.paths().DatabaseFolder)
        ? m_store.paths().ProgramFolder
        : m_store.paths().DatabaseFolder;
    const QString filter = QStringLiteral("ZIRAK database (ZIRAK.mdb);;Catálogo (") + defaultName
        + QStringLiteral(");;Bancos de dados (*.mdb)");
    const QString picked = m_prompter.pickFile(QStringLiteral("Localizar"), filter, start);
    if (picked.isEmpty())
        return;
    m_databasePath->setText(picked);
    if (m_databasePath->text().trimmed().isEmpty() || !QFileInfo(m_databasePath->text()).isFile())
        m_databasePath->clear();
    AnyChange(Group::Database);
}

void TOpcoes::FormClose()
{
    m_formatKeys.clear();
    RecordSet &mail = m_store.TSMTPAccount;
    if (mail.isEditing())
        mail.cancel();
}

void TOpcoes::done(int result)
{
    ErrorBoundary::run(m_prompter, [this] { FormClose(); });
    QDialog::done(result);
}
