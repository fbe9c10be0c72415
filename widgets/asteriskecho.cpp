#include "widgets/asteriskecho.h"

#include <QLineEdit>
#include <QProxyStyle>
#include <QStyleFactory>

namespace {

class AsteriskEchoStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
        QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void showAsterisks(QLineEdit *edit, QObject *owner)
{
    edit->setEchoMode(QLineEdit::Password);
    // Over the program's own style, whatever it is.
    auto *style = new AsteriskEchoStyle(QStyleFactory::create(edit->style()->name()));
    style->setParent(owner);
    edit->setStyle(style);
}
