#pragma once

#include "browser/previewpicture.h"
#include "browser/recordpage.h"

class PageControl;
class PictureView;
class QPushButton;

// The picture page (TabSheet3): the Pictures row's fields, DBNavigator3, and the small
// preview (PageControl3 with "Miniatura" and "GIF") with the enlarge button "Ampliar".
class PicturePage : public RecordPage {
    Q_OBJECT
public:
    PicturePage(Prompter &prompter, QWidget *parent = nullptr);
    void bind(TDados &store) override;

    // While a picture is edited the category picker offers only the current collection's
    // categories; otherwise every category.
    void setCategoriesTied(bool tied);
    // A new row has no picture yet: both preview tabs hidden, the image emptied.
    void hideThumbnail();
    // The small preview: its view size, both views emptied, or one tab offered alone with
    // its picture; and the enlarge button's caption (it is enabled from then on).
    QSize previewSize() const;
    void clearPreview();
    void showPreview(PreviewTab tab, const PreviewPicture &picture);
    void setEnlargeButton(const QString &caption);

signals:
    // "Ampliar" (or "Visualizar") was pressed.
    void enlargeClicked();
    // "Localizar": the person wants to choose the picture's file.
    void locateFileRequested();
    // A collection was chosen in the picker (already written into the row).
    void collectionPicked();

private:
    DBLookupComboBox *m_collection;
    DBLookupComboBox *m_category;
    DBEdit *m_name;
    DBEdit *m_fileName;
    QPushButton *m_locate;
    DBEdit *m_fileSize;
    DBCheckBox *m_review;
    DBEdit *m_created;
    DBEdit *m_modified;
    DBMemo *m_path;
    DBLookupComboBox *m_format;
    DBLookupComboBox *m_colors;
    DBEdit *m_width;
    DBEdit *m_height;
    DBLookupComboBox *m_resolution;
    DBLookupComboBox *m_location;
    DBMemo *m_notes;
    DBMemo *m_keyWords;
    PageControl *m_previewTabs;
    PictureView *m_image;
    PictureView *m_webView;
    QPushButton *m_enlarge;
    bool m_categoriesTied = false;
};
