#pragma once

#include <QDialog>

// Dialog "Remeter arquivos por E-mail"; its controls and handlers arrive with its own feature.
class TRemeterArquivosEmail : public QDialog {
    Q_OBJECT
public:
    explicit TRemeterArquivosEmail(QWidget *parent = nullptr);
};
