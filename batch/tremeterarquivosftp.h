#pragma once

#include <QDialog>

// Dialog "Remeter arquivos via FTP"; its controls and handlers arrive with its own feature.
class TRemeterArquivosFTP : public QDialog {
    Q_OBJECT
public:
    explicit TRemeterArquivosFTP(QWidget *parent = nullptr);
};
