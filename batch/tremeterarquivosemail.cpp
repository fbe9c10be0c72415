#include "batch/tremeterarquivosemail.h"

TRemeterArquivosEmail::TRemeterArquivosEmail(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TRemeterArquivosEmail"));
    setWindowTitle(QStringLiteral("Remeter arquivos por E-mail"));
}
