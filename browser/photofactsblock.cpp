#include "browser/photofactsblock.h"

#include "widgets/named.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

PhotoFactsBlock::PhotoFactsBlock(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PhotoFactsBlock"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 4, 0, 0);
    outer->setSpacing(3);
    // A thin rule tells what the file says from what the catalogue keeps above it.
    auto *rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    outer->addWidget(rule);
    m_grid = new QGridLayout;
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setHorizontalSpacing(6);
    m_grid->setVerticalSpacing(1);
    m_grid->setColumnStretch(1, 1);
    outer->addLayout(m_grid);

    m_taken = addRow(QStringLiteral("Data da foto"), "FactTaken");
    m_camera = addRow(QStringLiteral("Câmera"), "FactCamera");
    m_lens = addRow(QStringLiteral("Lente"), "FactLens");
    m_exposure = addRow(QStringLiteral("Exposição"), "FactExposure");
    m_place = addRow(QStringLiteral("Local"), "FactPlace");
    m_rating = addRow(QStringLiteral("Avaliação"), "FactRating");
    m_keywords = addRow(QStringLiteral("Palavras da foto"), "FactKeywords");

    m_place.text->setTextFormat(Qt::RichText);
    m_place.text->setTextInteractionFlags(
        Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_place.text->setToolTip(QStringLiteral("Abrir o local no OpenStreetMap"));
    connect(m_place.text, &QLabel::linkActivated, this,
        [this](const QString &link) { emit mapRequested(QUrl(link)); });
    QPalette stars = m_rating.text->palette();
    stars.setColor(QPalette::WindowText, QColor(190, 130, 0));
    m_rating.text->setPalette(stars);
    m_keywords.text->setWordWrap(true);
    hide();
}

PhotoFactsBlock::Row PhotoFactsBlock::addRow(const QString &caption, const char *name)
{
    const int row = m_grid->rowCount();
    Row r;
    r.caption = new QLabel(caption, this);
    r.caption->setObjectName(QString::fromLatin1(name) + QStringLiteral("Caption"));
    r.caption->setAlignment(Qt::AlignRight | Qt::AlignTop);
    // As the fields' captions stand: clear of what they name.
    r.caption->setContentsMargins(0, 0, 4, 0);
    r.text = named(new QLabel(this), name);
    r.text->setTextFormat(Qt::PlainText);
    r.text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    r.text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_grid->addWidget(r.caption, row, 0);
    m_grid->addWidget(r.text, row, 1);
    r.caption->hide();
    r.text->hide();
    return r;
}

void PhotoFactsBlock::setRow(const Row &row, const QString &text)
{
    row.text->setText(text);
    row.caption->setVisible(!text.isEmpty());
    row.text->setVisible(!text.isEmpty());
}

void PhotoFactsBlock::setCaptionWidth(int width)
{
    m_grid->setColumnMinimumWidth(0, width);
}

void PhotoFactsBlock::showFacts(const PhotoFactsText::Block &facts)
{
    const Row *rows[] = { &m_taken, &m_camera, &m_lens, &m_exposure, &m_place, &m_rating };
    for (const Row *row : rows) {
        QString text;
        for (const PhotoFactsText::Line &line : facts.lines)
            if (line.label == row->caption->text())
                text = line.text;
        if (row == &m_place) {
            m_map = text.isEmpty() || !facts.map.isValid()
                ? QString()
                : facts.map.toString(QUrl::FullyEncoded);
            if (!m_map.isEmpty())
                text = QStringLiteral("<a href=\"%1\">%2</a>")
                           .arg(m_map.toHtmlEscaped(), text.toHtmlEscaped());
            else
                text = text.toHtmlEscaped();
        }
        setRow(*row, text);
    }
    setRow(m_keywords, facts.keywords.join(QStringLiteral(", ")));
    setVisible(!facts.isEmpty());
}

QUrl PhotoFactsBlock::mapUrl() const
{
    return m_map.isEmpty() ? QUrl() : QUrl(m_map);
}
