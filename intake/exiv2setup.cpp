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

std::unique_ptr<Exiv2::Image> openImage(const unsigned char *data, qint64 size)
{
    prepare();
    // Exiv2 0.27 hands out std::auto_ptr, which C++17 deprecates.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return std::unique_ptr<Exiv2::Image>(Exiv2::ImageFactory::open(data, long(size)).release());
#pragma GCC diagnostic pop
}

} // namespace Exiv2Setup
