#include "batch/tviewlog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TViewLog::TViewLog(EventLog &log, QWidget *parent) : QDialog(parent), m_log(log)
{
    setObjectName(QStringLiteral("TViewLog"));
    setWindowTitle(QStringLiteral("Registro de Eventos"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowCloseButtonHint);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo1"));
    m_memo->setReadOnly(true);
    m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = m_memo->palette();
    pal.setColor(QPalette::Base, palette().color(QPalette::Window));
    m_memo->setPalette(pal);
    m_memo->clear();

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("BitBtn1"));
    m_ok->setDefault(true);
    m_ok->setAutoDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_memo, 1);
    layout->addWidget(m_ok, 0, Qt::AlignHCenter);
    setFixedSize(560, 360);
}

void TViewLog::ShowLog()
{
    m_memo->setPlainText(m_log.lines().join(QLatin1Char('\n')));
    m_ok->setFocus();
    exec();
}
