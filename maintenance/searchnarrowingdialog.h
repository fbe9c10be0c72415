#pragma once

#include "maintenance/catalogsearch.h"

#include <QDialog>
#include <memory>

class Connection;
class Prompter;
class QComboBox;
class QLineEdit;
class SearchResults;

// "Procurar por data e câmera": the catalogue search with its text, narrowed to the photos
// taken in a period (from, to, or both, each a year, a month or a day) and to a camera picked
// from those the catalogue's pictures were taken with. "Procurar" runs the search: with hits
// the dialog closes and hands them over; without any it says so and stays open to be changed.
class SearchNarrowingDialog : public QDialog {
    Q_OBJECT
public:
    SearchNarrowingDialog(Connection &connection, Prompter &prompter, QWidget *parent = nullptr);
    ~SearchNarrowingDialog() override;

    // The dialog filled with a search to change (the last one), its cameras read again.
    // Throws DbError.
    void prepare(const QString &typed, const CatalogSearch::Narrowing &narrowing);
    // The hits of the search that closed the dialog; null after a cancel.
    std::unique_ptr<SearchResults> takeResults();

    // How the narrowing reads in a sentence: "tirada em 2019, com a câmera "Canon"".
    static QString describe(const CatalogSearch::Narrowing &narrowing);

private:
    // The fields' narrowing; false (a box shown, the field focused) when a date is not one.
    bool readNarrowing(CatalogSearch::Narrowing &narrowing);
    void BitBtnProcurarClick();

    Connection &m_connection;
    Prompter &m_prompter;
    QLineEdit *m_text;
    QLineEdit *m_from;
    QLineEdit *m_to;
    QComboBox *m_camera;
    std::unique_ptr<SearchResults> m_results;
};
