#pragma once

#include <QString>

// A control made with its objectName, the name tests and the error boundary's tests find it
// by: `m_ok = named(new QPushButton(tr("OK"), this), "BitBtn1");`
template<typename Widget> Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}
