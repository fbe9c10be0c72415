#pragma once

#include <QDialog>

// Dialog "Processamento em Lote"; its controls and handlers arrive with its own feature.
class TBatchProcess : public QDialog {
    Q_OBJECT
public:
    explicit TBatchProcess(QWidget *parent = nullptr);
};
