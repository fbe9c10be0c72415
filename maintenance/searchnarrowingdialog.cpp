#include "maintenance/searchnarrowingdialog.h"

#include "core/errorboundary.h"
#include "core/prompter.h"
#include "maintenance/searchresults.h"
#include "widgets/named.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A period as people here write it: "2019", "06/2019", "24/06/2019".
QString periodText(const QString &period)
{
    const QStringList parts = period.split(QLatin1Char('-'));
    QStringList reversed(parts.crbegin(), parts.crend());
    return reversed.join(QLatin1Char('/'));
}

} // namespace

SearchNarrowingDialog::SearchNarrowingDialog(
    Connection &connection, Prompter &prompter, QWidget *parent)
    : QDialog(parent), m_connection(connection), m_prompter(prompter)
{
    setObjectName(QStringLiteral("SearchNarrowingDialog"));
    setWindowTitle(QStringLiteral("Procurar por data e câmera"));

    m_text = named(new QLineEdit(this), "EditProcurar");
    m_from = named(new QLineEdit(this), "EditDe");
    m_to = named(new QLineEdit(this), "EditAte");
    for (QLineEdit *date : { m_from, m_to }) {
        date->setPlaceholderText(QStringLiteral("AAAA-MM-DD"));
        date->setMaxLength(10);
        date->setFixedWidth(date->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) + 24);
    }
    m_camera = named(new QComboBox(this), "ComboCamera");
    m_camera->setEditable(true);
    m_camera->setInsertPolicy(QComboBox::NoInsert);
    m_camera->lineEdit()->setPlaceholderText(QStringLiteral("Qualquer câmera"));
    m_camera->setMinimumContentsLength(24);
    m_camera->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    auto caption = [this](const QString &text, QWidget *buddy) {
        auto *label = new QLabel(text, this);
        label->setBuddy(buddy);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return label;
    };
    auto *form = new QGridLayout;
    form->setHorizontalSpacing(6);
    form->setVerticalSpacing(6);
    form->addWidget(caption(QStringLiteral("Procurar por..."), m_text), 0, 0);
    form->addWidget(m_text, 0, 1);
    auto *dates = new QHBoxLayout;
    dates->setSpacing(6);
    dates->addWidget(m_from);
    dates->addWidget(new QLabel(QStringLiteral("até"), this));
    dates->addWidget(m_to);
    dates->addStretch(1);
    form->addWidget(caption(QStringLiteral("Data da foto, de"), m_from), 1, 0);
    form->addLayout(dates, 1, 1);
    auto *hint = new QLabel(QStringLiteral("Um ano (2019), um mês (2019-06) ou um dia (2019-06-24); "
                                           "as duas pontas entram. Vazio: sem limite."),
        this);
    hint->setWordWrap(true);
    QFont small = hint->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    hint->setFont(small);
    hint->setForegroundRole(QPalette::PlaceholderText);
    form->addWidget(hint, 2, 1);
    form->addWidget(caption(QStringLiteral("Câmera"), m_camera), 3, 0);
    form->addWidget(m_camera, 3, 1);
    form->setColumnStretch(1, 1);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *search = named(
        buttons->addButton(QStringLiteral("Procurar"), QDialogButtonBox::AcceptRole),
        "BitBtnProcurar");
    QPushButton *cancel = named(
        buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole),
        "BitBtnCancelar");
    search->setDefault(true);
    // "Procurar" closes the dialog only when the search finds something.
    connect(search, &QPushButton::clicked, this,
        guarded(prompter, [this] { BitBtnProcurarClick(); }));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(4);
    layout->addWidget(buttons);
    setSizeGripEnabled(false);
    // Room for the hint in two lines rather than a narrow column.
    setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 64);
}

SearchNarrowingDialog::~SearchNarrowingDialog() = default;

void SearchNarrowingDialog::prepare(const QString &typed, const CatalogSearch::Narrowing &narrowing)
{
    m_results.reset();
    m_text->setText(typed);
    m_from->setText(narrowing.takenFrom);
    m_to->setText(narrowing.takenTo);
    m_camera->clear();
    m_camera->addItems(CatalogSearch::cameras(m_connection));
    m_camera->setCurrentIndex(-1);
    m_camera->setEditText(narrowing.camera);
    m_text->setFocus();
    m_text->selectAll();
}

std::unique_ptr<SearchResults> SearchNarrowingDialog::takeResults()
{
    return std::move(m_results);
}

QString SearchNarrowingDialog::describe(const CatalogSearch::Narrowing &narrowing)
{
    QStringList parts;
    const QString &from = narrowing.takenFrom;
    const QString &to = narrowing.takenTo;
    if (!from.isEmpty() && from == to)
        parts << QStringLiteral("tirada em %1").arg(periodText(from));
    else if (!from.isEmpty() && !to.isEmpty())
        parts << QStringLiteral("tirada de %1 a %2").arg(periodText(from), periodText(to));
    else if (!from.isEmpty())
        parts << QStringLiteral("tirada a partir de %1").arg(periodText(from));
    else if (!to.isEmpty())
        parts << QStringLiteral("tirada até %1").arg(periodText(to));
    if (!narrowing.camera.isEmpty())
        parts << QStringLiteral("com a câmera \"%1\"").arg(narrowing.camera);
    return parts.join(QStringLiteral(", "));
}

bool SearchNarrowingDialog::readNarrowing(CatalogSearch::Narrowing &narrowing)
{
    const QString from = m_from->text().trimmed();
    const QString to = m_to->text().trimmed();
    for (QLineEdit *field : { m_from, m_to }) {
        const QString date = field->text().trimmed();
        if (!date.isEmpty() && !CatalogSearch::isPeriod(date)) {
            m_prompter.beep();
            m_prompter.error(QStringLiteral("Data inválida: \"%1\".\rDigite um ano, um mês ou um "
                                            "dia: 2019, 2019-06 ou 2019-06-24.")
                                 .arg(date));
            field->setFocus();
            field->selectAll();
            return false;
        }
    }
    if (!from.isEmpty() && !to.isEmpty()) {
        CatalogSearch::Narrowing probe;
        if (!CatalogSearch::parseTaken(from + QStringLiteral("..") + to, probe, nullptr)) {
            m_prompter.beep();
            m_prompter.error(QStringLiteral("A data final é anterior à inicial."));
            m_to->setFocus();
            m_to->selectAll();
            return false;
        }
    }
    narrowing.takenFrom = from;
    narrowing.takenTo = to;
    narrowing.camera = m_camera->currentText().trimmed();
    return true;
}

void SearchNarrowingDialog::BitBtnProcurarClick()
{
    CatalogSearch::Narrowing narrowing;
    if (!readNarrowing(narrowing))
        return;
    const QString typed = m_text->text();
    auto results = std::make_unique<SearchResults>(m_connection, typed, narrowing);
    results->open();
    if (results->isEmpty()) {
        // The person changes the dates or the camera and tries again.
        m_prompter.beep();
        const QString said = describe(narrowing);
        QString message = CatalogSearch::noHitMessage(typed);
        if (!said.isEmpty())
            message = message.chopped(1) + QStringLiteral(", ") + said + QLatin1Char('.');
        m_prompter.message(message);
        return;
    }
    m_results = std::move(results);
    accept();
}
