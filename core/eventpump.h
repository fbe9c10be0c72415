#pragma once

#include <QElapsedTimer>

// Lets the window process pending events from inside a long handler, at most every
// ~20 ms, so a loop over 200,000 files does not pay for 200,000 event-loop passes.
class EventPump {
public:
    static void pump();
    // Processes events now, whatever the interval (before a long blocking step).
    static void pumpNow();
    static void setInterval(int ms);

private:
    static QElapsedTimer s_timer;
    static int s_intervalMs;
};
