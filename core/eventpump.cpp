#include "core/eventpump.h"

#include <QCoreApplication>

QElapsedTimer EventPump::s_timer;
int EventPump::s_intervalMs = 20;

void EventPump::pump()
{
    if (s_timer.isValid() && s_timer.elapsed() < s_intervalMs)
        return;
    pumpNow();
}

void EventPump::pumpNow()
{
    s_timer.start();
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void EventPump::setInterval(int ms)
{
    s_intervalMs = ms;
}
