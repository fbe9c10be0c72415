#pragma once

#include <QList>
#include <QObject>
#include <QVector>

class CatalogBrowser;
class Prompter;
class TBatchProcess;

// The main window's batch: "Inserir no Lote" adds the selected picture once, "Processamento
// em Lote" opens the batch dialog on it, and the batch is emptied (and the trees reloaded)
// when that dialog ends with OK. The list itself is the main window's BatchList.
class BatchController : public QObject {
    Q_OBJECT
public:
    BatchController(QList<qint64> &batchList, CatalogBrowser &browser, TBatchProcess &dialog,
        Prompter &prompter, QObject *parent = nullptr);

    // Adds pictures to the batch, each key once (also when it was there already), after those
    // it holds; returns how many went in. The status bar is told how many it holds.
    int addPictures(const QList<qint64> &pictures);
    // What the status bar tells after an addition.
    static QString additionText(int added, qsizetype held);

signals:
    // The batch grew (or was asked to): the text for the status bar.
    void batchStatus(const QString &text);

private:
    void InserirLote1Click();
    void ToolButton4Click();

    QList<qint64> &m_batchList;
    CatalogBrowser &m_browser;
    TBatchProcess &m_dialog;
    Prompter &m_prompter;
};
