#pragma once

#include "browser/recordpage.h"

// The collection page (TabSheet1): "Coleção", "Notas", "Sistema", DBNavigator1, DBGrid1.
class CollectionPage : public RecordPage {
    Q_OBJECT
public:
    CollectionPage(Prompter &prompter, QWidget *parent = nullptr);
    void bind(TDados &store) override;

private:
    DBEdit *m_name;
    DBMemo *m_notes;
    DBCheckBox *m_system;
};
