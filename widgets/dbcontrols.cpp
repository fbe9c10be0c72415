#include "widgets/dbcontrols.h"

#include "core/prompter.h"
#include "store/dberror.h"
#include "store/recordset.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

QString displayText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
    if (value.metaType().id() == QMetaType::Double) {
        const double d = value.toDouble();
        if (d == double(qint64(d)))
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    return value.toString();
}

void acceptDigitsOnly(QLineEdit *edit, int maxDigits)
{
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(maxDigits)), edit));
}

FieldBinding::FieldBinding(
    QWidget *control, std::function<void(const QVariant &)> show, QObject *parent)
    : QObject(parent), m_control(control), m_show(std::move(show))
{
}

void FieldBinding::bind(RecordSet *dataSet, const QString &field)
{
    if (m_set)
        disconnect(m_set, nullptr, this, nullptr);
    m_set = dataSet;
    m_field = field;
    if (m_set) {
        connect(m_set, &RecordSet::currentChanged, this, &FieldBinding::reload);
        connect(m_set, &RecordSet::stateChanged, this, &FieldBinding::reload);
        connect(m_set, &RecordSet::dataChanged, this, [this](const QString &f) {
            if (!m_updating && f.compare(m_field, Qt::CaseInsensitive) == 0)
                reload();
        });
    }
    reload();
}

void FieldBinding::reload()
{
    // The control being typed in keeps its text and cursor while its change starts the
    // edit; the edit buffer takes that text right after.
    if (m_writing)
        return;
    m_updating = true;
    QVariant v;
    if (m_set && m_set->isOpen()) {
        try {
            v = m_set->value(m_field);
        } catch (const DbError &) {
            v = QVariant();
        }
    }
    m_show(v);
    m_updating = false;
}

void FieldBinding::write(const QVariant &value)
{
    if (m_updating || !m_set || !m_set->isOpen())
        return;
    m_updating = true;
    m_writing = true;
    try {
        if (m_set->state() == RecordSet::State::Browse) {
            if (m_insertWhenEmpty && m_set->isEmpty())
                m_set->insert();
            else
                m_set->edit();
        }
        m_set->setValue(m_field, value);
    } catch (const DbError &e) {
        m_updating = false;
        m_writing = false;
        if (onError)
            onError(e.message());
        reload();
        return;
    }
    m_updating = false;
    m_writing = false;
}

namespace {
// A typed value for the field from the text the person typed; empty text is null.
QVariant fromText(RecordSet *set, const QString &field, const QString &text)
{
    if (text.isEmpty())
        return QVariant();
    if (!set)
        return text;
    switch (set->valueType(field)) {
    case RecordSet::ValueType::Integer: {
        bool ok = false;
        const qint64 n = text.trimmed().toLongLong(&ok);
        return ok ? QVariant(n) : QVariant(text);
    }
    case RecordSet::ValueType::Real: {
        bool ok = false;
        const double d = QLocale().toDouble(text.trimmed(), &ok);
        if (ok)
            return d;
        const double c = text.trimmed().toDouble(&ok);
        return ok ? QVariant(c) : QVariant(text);
    }
    case RecordSet::ValueType::DateTime: {
        const QDateTime dt
            = QDateTime::fromString(text.trimmed(), QStringLiteral("dd/MM/yyyy hh:mm:ss"));
        return dt.isValid() ? QVariant(dt) : QVariant(text);
    }
    default: return text;
    }
}
} // namespace

DBEdit::DBEdit(QWidget *parent)
    : QLineEdit(parent), m_binding(this, [this](const QVariant &v) {
          setText(::displayText(v));
          setCursorPosition(0);
      })
{
    connect(this, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_binding.write(fromText(m_binding.dataSet(), m_binding.field(), text));
    });
}

namespace {
// The whole text as a tip when the field cuts it.
bool showWholeText(QWidget *field, QEvent *event, const QString &text, int shownWidth)
{
    if (event->type() != QEvent::ToolTip)
        return false;
    auto *help = static_cast<QHelpEvent *>(event);
    const QStringList lines = text.split(QLatin1Char('\n'));
    int widest = 0;
    for (const QString &line : lines)
        widest = std::max(widest, field->fontMetrics().horizontalAdvance(line));
    if (text.isEmpty() || widest <= shownWidth)
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, field);
    return true;
}
} // namespace

bool DBEdit::event(QEvent *event)
{
    if (toolTip().isEmpty() && showWholeText(this, event, text(), contentsRect().width() - 6))
        return true;
    return QLineEdit::event(event);
}

bool DBMemo::event(QEvent *event)
{
    if (toolTip().isEmpty() && showWholeText(this, event, toPlainText(), viewport()->width() - 8))
        return true;
    return QPlainTextEdit::event(event);
}

DBMemo::DBMemo(QWidget *parent)
    : QPlainTextEdit(parent),
      m_binding(this, [this](const QVariant &v) { setPlainText(::displayText(v)); })
{
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (m_binding.updating())
            return;
        const QString text = toPlainText();
        m_binding.write(text.isEmpty() ? QVariant() : QVariant(text));
    });
}

DBCheckBox::DBCheckBox(const QString &caption, QWidget *parent)
    : QCheckBox(caption, parent),
      m_binding(this, [this](const QVariant &v) { setChecked(v.isValid() && v.toBool()); })
{
    connect(this, &QCheckBox::clicked, this, [this](bool on) { m_binding.write(on); });
}

DBLookupComboBox::DBLookupComboBox(QWidget *parent)
    : QComboBox(parent), m_binding(this, [this](const QVariant &v) { showValue(v); })
{
    setEditable(false);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(8);
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (m_filling || index < 0)
            return;
        m_binding.write(itemData(index));
    });
}

void DBLookupComboBox::setListProvider(std::function<QList<Item>()> provider)
{
    m_provider = std::move(provider);
    refreshList();
}

void DBLookupComboBox::fillList()
{
    const bool was = m_filling;
    m_filling = true;
    m_stale = false;
    clear();
    if (m_provider) {
        try {
            for (const Item &item : m_provider())
                addItem(item.text, item.key);
        } catch (const DbError &) {
            // A list that cannot be read stays empty; the field still shows its key.
        }
    }
    m_filling = was;
}

void DBLookupComboBox::refreshList()
{
    fillList();
    showValue(m_shownKey);
}

void DBLookupComboBox::invalidateList()
{
    if (isVisible())
        refreshList();
    else
        m_stale = true;
}

int DBLookupComboBox::findKey(const QVariant &value) const
{
    if (!value.isValid() || value.isNull())
        return -1;
    for (int i = 0; i < count(); ++i) {
        const QVariant k = itemData(i);
        if (k == value || k.toString() == value.toString())
            return i;
    }
    return -1;
}

void DBLookupComboBox::showValue(const QVariant &value)
{
    m_shownKey = value;
    m_filling = true;
    if (m_stale)
        fillList();
    int found = findKey(value);
    // A key the list does not know yet (a new row, a list read before the catalogue
    // opened): read the list again once.
    if (found < 0 && value.isValid() && !value.isNull()) {
        fillList();
        found = findKey(value);
    }
    setCurrentIndex(found);
    m_filling = false;
}

QVariant DBLookupComboBox::currentKey() const
{
    return m_shownKey;
}

void DBLookupComboBox::showPopup()
{
    refreshList();
    QComboBox::showPopup();
}

void DBLookupComboBox::keyPressEvent(QKeyEvent *event)
{
    if (m_deleteClears && event->key() == Qt::Key_Delete) {
        m_binding.write(QVariant());
        showValue(QVariant());
        return;
    }
    QComboBox::keyPressEvent(event);
}

DBNavigator::DBNavigator(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    const struct {
        const char *name;
        const char *hint;
        QStyle::StandardPixmap icon;
    } info[4] = {
        { "nbDelete", "Exclui registro", QStyle::SP_TrashIcon },
        { "nbEdit", "Edita registro", QStyle::SP_FileDialogDetailedView },
        { "nbPost", "Grava edição", QStyle::SP_DialogApplyButton },
        { "nbCancel", "Cancela edição", QStyle::SP_DialogCancelButton },
    };
    for (int i = 0; i < 4; ++i) {
        auto *b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(info[i].name));
        b->setProperty("navigatorButton", i);
        b->setToolTip(QString::fromUtf8(info[i].hint));
        b->setIcon(style()->standardIcon(info[i].icon));
        b->setAutoRaise(false);
        b->setFixedSize(28, 25);
        layout->addWidget(b);
        m_buttons[i] = b;
        connect(b, &QToolButton::clicked, this, [this, i] { BtnClick(Button(i)); });
    }
    layout->addStretch(1);
    updateButtons();
}

void DBNavigator::bind(RecordSet *dataSet)
{
    if (m_set)
        disconnect(m_set, nullptr, this, nullptr);
    m_set = dataSet;
    if (m_set) {
        connect(m_set, &RecordSet::stateChanged, this, &DBNavigator::updateButtons);
        connect(m_set, &RecordSet::currentChanged, this, &DBNavigator::updateButtons);
    }
    updateButtons();
}

void DBNavigator::updateButtons()
{
    const bool open = m_set && m_set->isOpen();
    const bool editing = open && m_set->isEditing();
    bool empty = true;
    if (open) {
        try {
            empty = m_set->isEmpty();
        } catch (const DbError &) {
        }
    }
    m_buttons[nbDelete]->setEnabled(open && !editing && !empty);
    m_buttons[nbEdit]->setEnabled(open && !editing && !empty);
    m_buttons[nbPost]->setEnabled(editing);
    m_buttons[nbCancel]->setEnabled(editing);
}

void DBNavigator::BtnClick(Button button)
{
    if (!m_set)
        return;
    bool abort = false;
    try {
        if (BeforeAction)
            BeforeAction(button, abort);
        if (abort)
            return;
        switch (button) {
        case nbDelete: m_set->deleteRecord(); break;
        case nbEdit: m_set->edit(); break;
        case nbPost: m_set->post(); break;
        case nbCancel: m_set->cancel(); break;
        case nbInsert: m_set->insert(); break;
        }
    } catch (const DbError &e) {
        if (m_prompter)
            m_prompter->error(e.message());
        updateButtons();
        return;
    }
    updateButtons();
    if (Click)
        Click(button);
}
