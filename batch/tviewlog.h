#pragma once

#include <QDialog>

// Dialog "Registro de Eventos"; its controls and handlers arrive with its own feature.
class TViewLog : public QDialog {
    Q_OBJECT
public:
    explicit TViewLog(QWidget *parent = nullptr);
};
