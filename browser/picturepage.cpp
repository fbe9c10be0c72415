#include "browser/picturepage.h"

#include "browser/lookuplists.h"
#include "store/tdados.h"
#include "widgets/named.h"
#include "widgets/pagecontrol.h"
#include "widgets/pictureview.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// Wide enough for `sample` in the field's font, and no wider.
void fitWidth(QWidget *field, const QString &sample)
{
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(sample) + 18);
}

QHBoxLayout *row(std::initializer_list<QWidget *> widgets, bool stretch = true)
{
    auto *h = new QHBoxLayout;
    h->setSpacing(6);
    for (QWidget *w : widgets)
        h->addWidget(w);
    if (stretch)
        h->addStretch(1);
    return h;
}
} // namespace

PicturePage::PicturePage(Prompter &prompter, QWidget *parent)
    : RecordPage(NodeKind::Picture, "TabSheet3", prompter, parent)
{
    m_collection = named(new DBLookupComboBox(this), "DBLookupComboBox2");
    m_category = named(new DBLookupComboBox(this), "DBLookupComboBox3");
    m_name = named(new DBEdit(this), "DBEdit3");
    m_fileName = named(new DBEdit(this), "DBEdit4");
    m_locate = named(new QPushButton(QStringLiteral("Localizar"), this), "BitBtn2");
    m_locate->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    m_fileSize = named(new DBEdit(this), "DBEdit5");
    m_review = named(new DBCheckBox(QStringLiteral("Revisado"), this), "DBCheckBox4");
    m_created = named(new DBEdit(this), "DBEdit6");
    m_modified = named(new DBEdit(this), "DBEdit7");
    m_path = named(new DBMemo(this), "DBMemo3");
    m_path->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_path->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_path->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_path->setFixedHeight(m_name->sizeHint().height());
    m_format = named(new DBLookupComboBox(this), "DBLookupComboBox4");
    m_colors = named(new DBLookupComboBox(this), "DBLookupComboBox5");
    m_colors->setDeleteClears(true);
    m_width = named(new DBEdit(this), "DBEdit8");
    m_height = named(new DBEdit(this), "DBEdit9");
    m_resolution = named(new DBLookupComboBox(this), "DBLookupComboBox6");
    m_resolution->setDeleteClears(true);
    m_location = named(new DBLookupComboBox(this), "DBLookupComboBox7");
    m_notes = named(new DBMemo(this), "DBMemo4");
    m_keyWords = named(new DBMemo(this), "DBMemo5");
    m_notes->setFixedHeight(46);
    m_keyWords->setFixedHeight(46);
    DBNavigator *navigator = makeNavigator("DBNavigator3");

    fitWidth(m_fileSize, QStringLiteral("0000000000000"));
    fitWidth(m_created, QStringLiteral("00/00/0000 00:00:00"));
    fitWidth(m_modified, QStringLiteral("00/00/0000 00:00:00"));
    fitWidth(m_width, QStringLiteral("0000000"));
    fitWidth(m_height, QStringLiteral("0000000"));
    m_resolution->setMinimumContentsLength(5);
    m_resolution->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // As wide as their longest entry ("16 milhões de cores (24 bits)"): a cut text would
    // hide what the picture is.
    for (DBLookupComboBox *box : { m_format, m_colors }) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

    QGridLayout *form = makeForm();
    form->setVerticalSpacing(2);
    int r = 0;
    auto add = [&](const QString &text, QWidget *field, QLayout *line = nullptr,
                   Qt::Alignment vertical = Qt::AlignVCenter) {
        form->addWidget(caption(text, field, vertical), r, 0);
        if (line)
            form->addLayout(line, r, 1);
        else
            form->addWidget(field, r, 1);
        ++r;
    };
    add(QStringLiteral("Coleção"), m_collection);
    add(QStringLiteral("Categoria"), m_category);
    add(QStringLiteral("Nome"), m_name);
    add(QStringLiteral("Arquivo"), m_fileName, row({ m_fileName, m_locate }, false));
    add(QStringLiteral("Tamanho"), m_fileSize,
        row({ m_fileSize, new QLabel(QStringLiteral("bytes"), this), m_review }));
    add(QStringLiteral("Criação"), m_created, row({ m_created }));
    add(QStringLiteral("Modificação"), m_modified, row({ m_modified }));
    add(QStringLiteral("Caminho"), m_path);
    add(QStringLiteral("Formato"), m_format, row({ m_format }));
    add(QStringLiteral("Cores"), m_colors, row({ m_colors }));
    QLabel *heightCaption = caption(QStringLiteral("Altura"), m_height);
    add(QStringLiteral("Largura"), m_width,
        row({ m_width, heightCaption, m_height, new QLabel(QStringLiteral("pixels"), this) }));
    add(QStringLiteral("Resolução"), m_resolution,
        row({ m_resolution, new QLabel(QStringLiteral("dpi"), this) }));
    add(QStringLiteral("Localização"), m_location);
    add(QStringLiteral("Notas"), m_notes, nullptr, Qt::AlignTop);
    add(QStringLiteral("Palavras Chaves"), m_keyWords, nullptr, Qt::AlignTop);
    form->addWidget(navigator, r++, 1);
    form->setColumnStretch(1, 1);
    form->setRowStretch(r, 1);

    m_previewTabs = named(new PageControl(this), "PageControl3");
    auto *smallImage = named(new QWidget, "TabSheet7");
    auto *smallWeb = named(new QWidget, "TabSheet8");
    m_image = named(new PictureView(smallImage), "Image1");
    m_webView = named(new PictureView(smallWeb), "WebBrowser1");
    for (auto [sheet, view] : { std::pair { smallImage, m_image }, { smallWeb, m_webView } }) {
        view->setFixedSize(135, 135);
        view->setAlignment(Qt::AlignCenter);
        auto *l = new QVBoxLayout(sheet);
        l->setContentsMargins(2, 2, 2, 2);
        l->addWidget(view, 0, Qt::AlignCenter);
    }
    m_previewTabs->addPage(smallImage, QStringLiteral("Miniatura"));
    m_previewTabs->addPage(smallWeb, QStringLiteral("GIF"));
    m_previewTabs->setFixedSize(145, 170);
    m_previewTabs->setPageVisible(0, false);
    m_previewTabs->setPageVisible(1, false);
    m_enlarge = named(new QPushButton(QStringLiteral("Ampliar"), this), "BitBtn1");
    m_enlarge->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    m_enlarge->setEnabled(false);
    auto *side = new QVBoxLayout;
    side->addWidget(m_previewTabs);
    side->addWidget(m_enlarge);
    side->addStretch(1);

    auto *page = new QHBoxLayout(this);
    page->addLayout(form, 1);
    page->addSpacing(4);
    page->addLayout(side);

    setEditableControls({ m_collection, m_category, m_name, m_locate, m_format, m_colors, m_width,
        m_height, m_resolution, m_location, m_notes, m_keyWords });
    setReadOnlyControls({ m_fileName, m_fileSize, m_created, m_review, m_modified, m_path });
    setKeyControls({ m_collection, m_category, m_name });
    setNameField(m_name);
    reportBindingErrors();

    connect(m_locate, &QPushButton::clicked, this, &PicturePage::locateFileRequested);
    connect(m_enlarge, &QPushButton::clicked, this, &PicturePage::enlargeClicked);
    connect(m_collection, &QComboBox::activated, this, &PicturePage::collectionPicked);
}

void PicturePage::bind(TDados &store)
{
    RecordSet *pictures = &store.TPictures;
    setRecordSet(pictures);
    m_collection->bind(pictures, QStringLiteral("Collection"));
    m_category->bind(pictures, QStringLiteral("Category"));
    m_name->bind(pictures, QStringLiteral("Name"));
    m_fileName->bind(pictures, QStringLiteral("FileName"));
    m_fileSize->bind(pictures, QStringLiteral("FileSize"));
    m_review->bind(pictures, QStringLiteral("Review"));
    m_created->bind(pictures, QStringLiteral("Created"));
    m_modified->bind(pictures, QStringLiteral("Modified"));
    m_path->bind(pictures, QStringLiteral("FullPath"));
    m_format->bind(pictures, QStringLiteral("FileType"));
    m_colors->bind(pictures, QStringLiteral("ColorType"));
    m_width->bind(pictures, QStringLiteral("Width"));
    m_height->bind(pictures, QStringLiteral("Height"));
    m_resolution->bind(pictures, QStringLiteral("Resolution"));
    m_location->bind(pictures, QStringLiteral("Location"));
    m_notes->bind(pictures, QStringLiteral("Notes"));
    m_keyWords->bind(pictures, QStringLiteral("KeyWords"));

    m_collection->setListProvider(lookupList(store, &LookupLists::collections));
    m_category->setListProvider(lookupList(store, [this, &store](Connection &connection) {
        if (!m_categoriesTied)
            return LookupLists::categories(connection);
        const qint64 collection
            = store.TCollections.isOpen() ? store.TCollections.asInt(QStringLiteral("RecId")) : 0;
        return LookupLists::categoriesOf(connection, collection);
    }));
    m_format->setListProvider(lookupList(store, &LookupLists::formats));
    m_colors->setListProvider(lookupList(store, &LookupLists::colorDepths));
    m_resolution->setListProvider(lookupList(store, &LookupLists::resolutions));
    m_location->setListProvider(lookupList(store, &LookupLists::storages));
}

void PicturePage::setCategoriesTied(bool tied)
{
    m_categoriesTied = tied;
    m_category->refreshList();
}

void PicturePage::hideThumbnail()
{
    m_previewTabs->setPageVisible(0, false);
    m_previewTabs->setPageVisible(1, false);
    m_image->clearPicture();
}

QSize PicturePage::previewSize() const
{
    return m_image->size();
}

void PicturePage::clearPreview()
{
    m_image->clearPicture();
    m_webView->clearPicture();
}

void PicturePage::showPreview(PreviewTab tab, const PreviewPicture &picture)
{
    PictureView *views[2] = { m_image, m_webView };
    for (int i = 0; i < 2; ++i) {
        m_previewTabs->setPageVisible(i, i == int(tab));
        if (i != int(tab))
            views[i]->clearPicture();
    }
    m_previewTabs->setActivePageIndex(int(tab));
    if (tab == PreviewTab::None)
        return;
    PictureView *view = views[int(tab)];
    if (!picture.movie.isEmpty())
        view->showMovie(picture.movie, picture.movieSize);
    else if (!picture.image.isNull())
        view->showImage(picture.image);
    else
        view->clearPicture();
}

void PicturePage::setEnlargeButton(const QString &caption)
{
    m_enlarge->setText(caption);
    m_enlarge->setEnabled(true);
}
