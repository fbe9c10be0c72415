#pragma once

#include <QDialog>

// Dialog "Copiar arquivos para um CD"; its controls and handlers arrive with its own feature.
class TCopiarArquivosCD : public QDialog {
    Q_OBJECT
public:
    explicit TCopiarArquivosCD(QWidget *parent = nullptr);
};
