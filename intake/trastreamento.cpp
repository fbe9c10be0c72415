#include "trastreamento.h"

TRastreamento::TRastreamento(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TRastreamento"));
    setWindowTitle(QStringLiteral("Rastreamento"));
}
