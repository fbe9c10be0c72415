#include "options/topcoes.h"

TOpcoes::TOpcoes(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TOpcoes"));
    setWindowTitle(QStringLiteral("Opções"));
}
