#pragma once

#include <QDialog>
#include <memory>

class DrivePicker;
class FolderScan;
class Prompter;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class TDados;

// Dialog "Rastreamento": picks the folder, collection and category of a scan, runs it with
// FolderScan and shows its progress; "Cancelar" asks to cancel a running scan.
class TRastreamento : public QDialog {
    Q_OBJECT
public:
    TRastreamento(TDados &store, Prompter &prompter, QWidget *parent = nullptr);
    ~TRastreamento() override;

    // The pickers' keys; 0 when nothing is chosen.
    qint64 collectionKey() const;
    qint64 categoryKey() const;
    void setCollectionKey(qint64 key);
    void setCategoryKey(qint64 key);
    bool scanning() const { return m_scanning; }
    // The scan of the dialog while it is shown (holds FolderList); null when closed.
    FolderScan *folderScan() const { return m_scan.get(); }

signals:
    // The scan changed the catalogue (false) or rolled back (true): the main window's
    // TreesCurrent.
    void treesCurrentChanged(bool current);

public slots:
    void done(int result) override;
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    class Progress;

    void FormCreate();
    void FormActivate();
    void FormClose();
    void ShellComboBox1Click();
    void DBLookupComboBox1Click();
    void DBLookupComboBox2Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void ScanFolder(const QString &path);
    void setIdle(bool idle);
    void fillCollections();
    void fillCategories();

    TDados &m_store;
    Prompter &m_prompter;
    std::unique_ptr<FolderScan> m_scan;
    std::unique_ptr<Progress> m_progress;
    bool m_scanning = false;
    bool m_closePending = false;
    bool m_linked = false;
    bool CancelRequested = false;

    QLabel *Label1 = nullptr;
    DrivePicker *ShellComboBox1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QLabel *Label3 = nullptr;
    QComboBox *DBLookupComboBox1 = nullptr;
    QLabel *Label4 = nullptr;
    QComboBox *DBLookupComboBox2 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn3 = nullptr;
    QProgressBar *Animate1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
};
