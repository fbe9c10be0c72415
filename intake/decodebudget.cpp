#include "intake/decodebudget.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace {

struct Budget {
    std::mutex mutex;
    std::condition_variable freed;
    qint64 used = 0;
    qint64 peak = 0;
};

Budget &budget()
{
    static Budget b;
    return b;
}

} // namespace

DecodeBudget::Reservation::Reservation(qint64 bytes)
{
    if (bytes > kTotal)
        return;
    bytes = std::max<qint64>(bytes, 1);
    Budget &b = budget();
    std::unique_lock lock(b.mutex);
    b.freed.wait(lock, [&] { return b.used + bytes <= kTotal; });
    b.used += bytes;
    b.peak = std::max(b.peak, b.used);
    m_bytes = bytes;
}

DecodeBudget::Reservation::Reservation(Reservation &&other) noexcept
    : m_bytes(std::exchange(other.m_bytes, 0))
{
}

DecodeBudget::Reservation &DecodeBudget::Reservation::operator=(Reservation &&other) noexcept
{
    if (this != &other) {
        release();
        m_bytes = std::exchange(other.m_bytes, 0);
    }
    return *this;
}

void DecodeBudget::Reservation::release()
{
    if (m_bytes == 0)
        return;
    Budget &b = budget();
    {
        std::lock_guard lock(b.mutex);
        b.used -= m_bytes;
    }
    m_bytes = 0;
    b.freed.notify_all();
}

qint64 DecodeBudget::inUse()
{
    std::lock_guard lock(budget().mutex);
    return budget().used;
}

qint64 DecodeBudget::peak()
{
    std::lock_guard lock(budget().mutex);
    return budget().peak;
}
