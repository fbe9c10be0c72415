#include "batch/tcopiararquivoscd.h"

#include "batch/copytofolder.h"
#include "batch/tviewlog.h"
#include "core/eventpump.h"
#include "core/progresssink.h"
#include "core/prompter.h"
#include "intake/drivepicker.h"
#include "store/dberror.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

namespace {

class Pump : public ProgressSink {
public:
    void setStatus(const QString &) override { }
    void pump() override { EventPump::pump(); }
};

template<typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

TCopiarArquivosCD::TCopiarArquivosCD(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TCopiarArquivosCD"));
    setWindowTitle(QStringLiteral("Copiar arquivos para um CD"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);

    auto *driveLabel = named(new QLabel(QStringLiteral("Unidade"), this), "Label1");
    m_drive = named(new DrivePicker(this), "ShellComboBox1");
    auto *folderLabel = named(new QLabel(QStringLiteral("Pasta"), this), "Label2");
    m_folder = named(new QLineEdit(this), "Edit1");
    m_browse = named(new QPushButton(style()->standardIcon(QStyle::SP_DirOpenIcon),
                         QStringLiteral("Procurar"), this),
        "BitBtn1");
    m_animation = named(new QProgressBar(this), "Animate1");
    m_animation->setRange(0, 0);
    m_animation->setTextVisible(false);
    m_ok = named(new QPushButton(
                     style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this),
        "BitBtn2");
    m_cancel = named(new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                         QStringLiteral("Cancelar"), this),
        "BitBtn3");
    m_hiddenOk = named(new QPushButton(QStringLiteral("OK"), this), "Button1");
    driveLabel->setBuddy(m_drive);
    folderLabel->setBuddy(m_folder);
    for (QPushButton *b : { m_browse, m_ok, m_cancel, m_hiddenOk })
        b->setAutoDefault(false);

    auto *grid = new QGridLayout;
    grid->addWidget(driveLabel, 0, 0);
    grid->addWidget(m_drive, 0, 1, 1, 2);
    grid->addWidget(folderLabel, 1, 0);
    grid->addWidget(m_folder, 1, 1);
    grid->addWidget(m_browse, 1, 2);
    grid->setColumnStretch(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_hiddenOk);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_animation);
    layout->addStretch(1);
    layout->addLayout(buttons);
    QSizePolicy keep = m_animation->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_animation->setSizePolicy(keep);
    setFixedSize(440, 170);

    connect(m_drive, &QComboBox::activated, this, [this] { ShellComboBox1Click(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_hiddenOk, &QPushButton::clicked, this, &QDialog::accept);

    // FormCreate: the folder starts empty and then persists between showings.
    m_folder->clear();
    m_animation->hide();
    m_hiddenOk->hide();
}

void TCopiarArquivosCD::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormActivate();
}

void TCopiarArquivosCD::FormActivate()
{
    m_runSucceeded = false;
    setInputEnabled(true);
    m_animation->hide();
}

void TCopiarArquivosCD::setInputEnabled(bool on)
{
    for (QWidget *w :
        std::initializer_list<QWidget *> { m_drive, m_folder, m_browse, m_ok, m_cancel })
        w->setEnabled(on);
}

void TCopiarArquivosCD::ShellComboBox1Click()
{
    m_folder->setText(m_drive->path());
}

void TCopiarArquivosCD::BitBtn1Click()
{
    if (!m_prompter)
        return;
    const QString typed = m_folder->text();
    const QString start = !typed.isEmpty() && QFileInfo(typed).isDir() ? typed : m_drive->path();
    const QString folder
        = m_prompter->pickFolder(QStringLiteral("Selecione a pasta a examinar:"), start);
    if (folder.isEmpty())
        return;
    m_drive->setPath(folder);
    m_folder->setText(folder);
}

void TCopiarArquivosCD::BitBtn2Click()
{
    if (!m_store || !m_prompter)
        return;
    m_prompter->beep();
    const QString folder = m_folder->text();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        m_prompter->error(QStringLiteral("Caminho inválido!"));
        return;
    }
    if (m_selectedKeys.isEmpty()) {
        m_prompter->error(NoPictureMarkedText);
        return;
    }
    m_runSucceeded = false;
    if (!m_prompter->confirm(QStringLiteral("Confirmar a execução?")))
        return;

    setInputEnabled(false);
    m_animation->show();
    m_copying = true;
    EventLog fallbackLog;
    EventLog &log = m_logWindow ? m_logWindow->log() : fallbackLog;
    Pump pump;
    try {
        m_runSucceeded = CopyToFolder(*m_store, m_selectedKeys, folder, log, *m_prompter, pump);
    } catch (const DbError &e) {
        log.AddLogLine(e.message());
        m_prompter->error(e.message());
        m_runSucceeded = false;
    }
    m_copying = false;
    m_animation->hide();
    setInputEnabled(true);

    if (m_runSucceeded) {
        m_prompter->beep();
        m_prompter->message(QStringLiteral("Cópia efetuada!"));
        m_hiddenOk->click();
    } else {
        if (m_logWindow)
            m_logWindow->ShowLog();
        done(QDialog::Rejected);
    }
}

void TCopiarArquivosCD::done(int result)
{
    // No way out while files are copied: Escape and the close box wait for the end.
    if (m_copying)
        return;
    QDialog::done(result);
}
