#include "batch/tremeterarquivosftp.h"

TRemeterArquivosFTP::TRemeterArquivosFTP(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TRemeterArquivosFTP"));
    setWindowTitle(QStringLiteral("Remeter arquivos via FTP"));
}
