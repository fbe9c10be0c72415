#pragma once

#include "browser/recordpage.h"

class QComboBox;

// The storage page (TabSheet4): "Local", "Notas", the drive and folder picker "Unidade",
// "Sistema", DBNavigator4, DBGrid3.
class StoragePage : public RecordPage {
    Q_OBJECT
public:
    StoragePage(Prompter &prompter, QWidget *parent = nullptr);
    void bind(TDados &store) override;

    // The drive picker shows the storage's Unit followed by a path delimiter.
    void showUnit(const QString &unit);
    // The path the picker shows (what a saved storage takes as its Unit).
    QString unitPath() const;

private:
    DBEdit *m_name;
    DBMemo *m_notes;
    QComboBox *m_unit;
    DBCheckBox *m_system;
};
