// The two text forms of a packed date-time with arbitrary values. Each writes into a buffer with
// canaries behind its element count (24 and 25), and the text must be either the whole stamp,
// exactly as the value's fields give it, or empty when the year is above 9999 or the
// millisecond field above 999.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "check.h"
#include "scrivlet/datetime.h"

namespace {

const TQ_WCHAR kCanary = 0xA5A5;

void Check(bool space_form, unsigned long long v) {
    TQ_WCHAR buffer[40];
    for (TQ_WCHAR& c : buffer) c = kCanary;
    (space_form ? TQ_DateTime::DateTimeSpaceToString_1 : TQ_DateTime::DateTimeToString_1)(v,
                                                                                          buffer);
    const std::size_t count = space_form ? 25 : 24;
    for (std::size_t i = count; i < 40; ++i) FUZZ_CHECK(buffer[i] == kCanary);

    const unsigned long long day = (v >> 27) & 0x1F, month = (v >> 32) & 0xF,
                             year = (v >> 36) & 0x1FFFF, hour = (v >> 22) & 0x1F,
                             minute = (v >> 16) & 0x3F, second = (v >> 10) & 0x3F, ms = v & 0x3FF;
    char expected[64] = "";
    if (year <= 9999 && ms <= 999) {
        std::snprintf(expected, sizeof expected,
                      space_form ? "%04llu.%02llu.%02llu %02llu:%02llu:%02llu.%03llu "
                                 : "%02llu.%02llu.%04llu %02llu:%02llu:%02llu.%03llu",
                      space_form ? year : day, month, space_form ? day : year, hour, minute, second,
                      ms);
        FUZZ_CHECK(std::strlen(expected) == count - 1);
    }
    for (std::size_t i = 0; i <= std::strlen(expected); ++i) {
        FUZZ_CHECK(buffer[i] == static_cast<TQ_WCHAR>(static_cast<unsigned char>(expected[i])));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unsigned long long value = 0;
    std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
    Check(false, value);
    Check(true, value);
    return 0;
}
