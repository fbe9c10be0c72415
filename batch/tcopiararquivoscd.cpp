#include "batch/tcopiararquivoscd.h"

#include "batch/copytofolder.h"
#include "core/errorboundary.h"
#include "core/prompter.h"
#include "intake/drivepicker.h"
#include "widgets/named.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TCopiarArquivosCD::TCopiarArquivosCD(
    TDados &store, Prompter &prompter, EventLog &log, QWidget *parent)
    : TransferDialog(QStringLiteral("TCopiarArquivosCD"),
        QStringLiteral("Copiar arquivos para um CD"),
        { QStringLiteral("Confirmar a execução?"), QStringLiteral("Cópia efetuada!") }, store,
        prompter, log, parent)
{
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
    driveLabel->setBuddy(m_drive);
    folderLabel->setBuddy(m_folder);
    for (QPushButton *b : { m_browse, m_ok, m_cancel })
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
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_animation);
    layout->addStretch(1);
    layout->addLayout(buttons);
    QSizePolicy keep = m_animation->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_animation->setSizePolicy(keep);
    setFixedSize(440, 170);

    connect(
        m_drive, &QComboBox::activated, this, guarded(prompter, [this] { ShellComboBox1Click(); }));
    connect(m_browse, &QPushButton::clicked, this, guarded(prompter, [this] { BitBtn1Click(); }));
    setOperationButtons(m_ok, m_cancel);

    // FormCreate: the folder starts empty and then persists between showings.
    m_folder->clear();
    m_animation->hide();
}

void TCopiarArquivosCD::FormActivate()
{
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
    const QString typed = m_folder->text();
    const QString start = !typed.isEmpty() && QFileInfo(typed).isDir() ? typed : m_drive->path();
    const QString folder
        = prompter().pickFolder(QStringLiteral("Selecione a pasta a examinar:"), start);
    if (folder.isEmpty())
        return;
    m_drive->setPath(folder);
    m_folder->setText(folder);
}

bool TCopiarArquivosCD::checkInput()
{
    prompter().beep();
    const QString folder = m_folder->text();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        prompter().error(QStringLiteral("Caminho inválido!"));
        return false;
    }
    return true;
}

void TCopiarArquivosCD::setRunning(bool on)
{
    setInputEnabled(!on);
    m_animation->setVisible(on);
}

bool TCopiarArquivosCD::transfer(EventLog &log, ProgressSink &progress)
{
    return CopyToFolder(store(), selectedKeys(), m_folder->text(), log, prompter(), progress);
}
