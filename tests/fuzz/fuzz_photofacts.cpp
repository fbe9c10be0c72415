#include "intake/photofactsreader.h"
#include "intake/xmpfilter.h"

#include <QByteArray>

#include <cmath>
#include <cstddef>
#include <cstdint>

// Exiv2, libheif and Qt's XML reader are uninstrumented system libraries; these counters
// (libFuzzer's extra-counters section) turn the facts an input yields into features, so
// inputs that reach further into the metadata are kept.
__attribute__((section("__libfuzzer_extra_counters"))) static uint8_t facts[64];

// Any input gives facts within their ranges; a crash, hang, sanitizer report or runaway
// allocation is a finding.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const PhotoFacts f = PhotoFactsReader::read(bytes);
    int bit = 0;
    const auto seen = [&bit](bool present) {
        if (present)
            ++facts[bit];
        ++bit;
    };
    seen(f.taken.has_value());
    seen(f.taken && f.taken->offsetMinutes);
    seen(!f.make.isEmpty());
    seen(!f.model.isEmpty());
    seen(!f.lens.isEmpty());
    seen(f.exposureSeconds.has_value());
    seen(f.fNumber.has_value());
    seen(f.iso.has_value());
    seen(f.focalLengthMm.has_value());
    seen(f.orientation.has_value());
    seen(f.latitude.has_value());
    seen(f.altitudeMetres.has_value());
    seen(!f.title.isEmpty());
    seen(!f.keywords.isEmpty());
    seen(f.rating.has_value());
    if ((f.orientation && (*f.orientation < 1 || *f.orientation > 8))
        || (f.rating && (*f.rating < 0 || *f.rating > 5))
        || (f.latitude && !(std::abs(*f.latitude) <= 90))
        || (f.longitude && !(std::abs(*f.longitude) <= 180))
        || (f.taken && !f.taken->isValid())
        || f.keywords.size() > PhotoFactsReader::kMaxKeywords
        || f.title.size() > PhotoFactsReader::kMaxTextChars)
        __builtin_trap();
    // The packet filter on its own, for inputs that are XMP themselves.
    for (const QByteArray &property : XmpFilter::filter(bytes))
        if (property.size() > 2 * XmpFilter::kMaxPacketBytes + 4096)
            __builtin_trap();
    return 0;
}
