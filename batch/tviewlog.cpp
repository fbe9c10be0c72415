#include "batch/tviewlog.h"

TViewLog::TViewLog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TViewLog"));
    setWindowTitle(QStringLiteral("Registro de Eventos"));
}
