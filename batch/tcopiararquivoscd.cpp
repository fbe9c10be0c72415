#include "batch/tcopiararquivoscd.h"

TCopiarArquivosCD::TCopiarArquivosCD(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TCopiarArquivosCD"));
    setWindowTitle(QStringLiteral("Copiar arquivos para um CD"));
}
