#include "batch/tmudarcolecaocategoria.h"

TMudarColecaoCategoria::TMudarColecaoCategoria(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TMudarColecaoCategoria"));
    setWindowTitle(QStringLiteral("Mudar Coleção / Categoria  "));
}
