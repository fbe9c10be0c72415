#pragma once

#include "browser/recordpage.h"

// The category page (TabSheet2): "Coleção" picker, "Categoria", "Notas", "Sistema",
// DBNavigator2, DBGrid2.
class CategoryPage : public RecordPage {
    Q_OBJECT
public:
    CategoryPage(Prompter &prompter, QWidget *parent = nullptr);
    void bind(TDados &store) override;

private:
    DBLookupComboBox *m_collection;
    DBEdit *m_name;
    DBMemo *m_notes;
    DBCheckBox *m_system;
};
