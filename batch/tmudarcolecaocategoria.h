#pragma once

#include <QDialog>

// Dialog "Mudar Coleção / Categoria  "; its controls and handlers arrive with its own feature.
class TMudarColecaoCategoria : public QDialog {
    Q_OBJECT
public:
    explicit TMudarColecaoCategoria(QWidget *parent = nullptr);
};
