#pragma once

#include <QDialog>

// Dialog "Rastreamento"; its controls and handlers arrive with its own feature.
class TRastreamento : public QDialog
{
    Q_OBJECT
public:
    explicit TRastreamento(QWidget *parent = nullptr);
};
