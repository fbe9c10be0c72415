#include "batch/tbatchprocess.h"

TBatchProcess::TBatchProcess(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TBatchProcess"));
    setWindowTitle(QStringLiteral("Processamento em Lote"));
}
