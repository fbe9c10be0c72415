#pragma once

#include <QByteArray>

#include <ctime>

// Last-write times as the catalogue stores them: local time truncated to the two seconds of
// the DOS date-time form, written "yyyy-MM-ddTHH:mm:ss". A scan converts one time per file;
// the offset from UTC is kept per hour, so that the C library's time-zone conversion runs
// once an hour of file times rather than once a file.
class FileTimeText {
public:
    // Empty when the time cannot be converted.
    QByteArray text(time_t seconds);

private:
    // An hour of UTC during which local time is UTC plus one offset.
    struct Hour {
        time_t start = 1; // never the start of an hour: an empty slot
        long offset = 0;
    };
    static constexpr int hourSlots = 64;
    Hour m_hours[hourSlots];
};
