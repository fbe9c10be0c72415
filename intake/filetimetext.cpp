#include "intake/filetimetext.h"

#include <cstdio>

namespace {

constexpr time_t hourSeconds = 3600;
constexpr time_t daySeconds = 86400;

time_t floorDiv(time_t a, time_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The civil date of a count of days since 1970-01-01 (Howard Hinnant's algorithm).
void civilFromDays(time_t days, long *year, int *month, int *day)
{
    days += 719468;
    const time_t era = floorDiv(days, 146097);
    const long dayOfEra = long(days - era * 146097);
    const long yearOfEra
        = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long mp = (5 * dayOfYear + 2) / 153;
    *day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = int(mp < 10 ? mp + 3 : mp - 9);
    *year = long(yearOfEra + era * 400 + (*month <= 2));
}

void digits(char *out, long value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
}

// The stored text of local seconds since the epoch; empty outside the years 0 to 9999.
QByteArray textOfLocal(time_t local)
{
    const time_t days = floorDiv(local, daySeconds);
    const long secondOfDay = long(local - days * daySeconds);
    long year;
    int month, day;
    civilFromDays(days, &year, &month, &day);
    if (year < 0 || year > 9999)
        return QByteArray();
    QByteArray text(19, Qt::Uninitialized);
    char *p = text.data();
    digits(p, year, 4);
    p[4] = '-';
    digits(p + 5, month, 2);
    p[7] = '-';
    digits(p + 8, day, 2);
    p[10] = 'T';
    digits(p + 11, secondOfDay / 3600, 2);
    p[13] = ':';
    digits(p + 14, secondOfDay / 60 % 60, 2);
    p[16] = ':';
    digits(p + 17, (secondOfDay % 60) & ~1L, 2);
    return text;
}

// What the C library makes of it: the reference, and the way for hours the cache refuses.
QByteArray textByLibrary(time_t seconds, struct tm *out = nullptr)
{
    struct tm local;
    if (!localtime_r(&seconds, &local))
        return QByteArray();
    if (out)
        *out = local;
    local.tm_sec &= ~1;
    char buffer[40];
    const int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d",
        local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
        local.tm_sec);
    return QByteArray(buffer, n);
}

} // namespace

QByteArray FileTimeText::text(time_t seconds)
{
    const time_t start = floorDiv(seconds, hourSeconds) * hourSeconds;
    Hour &hour = m_hours[size_t(floorDiv(start, hourSeconds)) % hourSlots];
    if (hour.start != start) {
        // The hour is cached only when one offset holds from its first to its last second
        // and plain arithmetic gives what the library gives (no leap seconds in the zone).
        struct tm first;
        struct tm last;
        const QByteArray reference = textByLibrary(start, &first);
        const time_t end = start + hourSeconds - 1;
        if (reference.isEmpty() || !localtime_r(&end, &last) || first.tm_gmtoff != last.tm_gmtoff
            || textOfLocal(start + first.tm_gmtoff) != reference)
            return textByLibrary(seconds);
        hour.start = start;
        hour.offset = first.tm_gmtoff;
    }
    const QByteArray text = textOfLocal(seconds + hour.offset);
    return text.isEmpty() ? textByLibrary(seconds) : text;
}
