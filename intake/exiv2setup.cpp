#include "intake/exiv2setup.h"

#include <exiv2/exiv2.hpp>

#include <mutex>

namespace {

std::mutex &xmpToolkitLock()
{
    static std::mutex lock;
    return lock;
}

void lockXmpToolkit(void *, bool lock)
{
    if (lock)
        xmpToolkitLock().lock();
    else
        xmpToolkitLock().unlock();
}

void silent(int, const char *) { }

} // namespace

namespace Exiv2Setup {

void prepare()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::LogMsg::setHandler(silent);
        Exiv2::XmpParser::initialize(lockXmpToolkit, nullptr);
        Exiv2::enableBMFF(true);
    });
}

} // namespace Exiv2Setup
