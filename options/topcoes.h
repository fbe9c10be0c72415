#pragma once

#include <QDialog>

// Dialog "Opções"; its controls and handlers arrive with its own feature.
class TOpcoes : public QDialog {
    Q_OBJECT
public:
    explicit TOpcoes(QWidget *parent = nullptr);
};
