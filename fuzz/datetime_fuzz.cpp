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
const std::size_t kBuffer = 40;

// The expected text of a form, as narrow characters.
void Expected(bool space_form, unsigned long long v, char (&text)[64]) {
    const unsigned long long day = (v >> 27) & 0x1F, month = (v >> 32) & 0xF,
                             year = (v >> 36) & 0x1FFFF, hour = (v >> 22) & 0x1F,
                             minute = (v >> 16) & 0x3F, second = (v >> 10) & 0x3F, ms = v & 0x3FF;
    if (year > 9999 || ms > 999) {
        text[0] = 0;
    } else if (space_form) {
        std::snprintf(text, sizeof text, "%04llu.%02llu.%02llu %02llu:%02llu:%02llu.%03llu ", year,
                      month, day, hour, minute, second, ms);
    } else {
        std::snprintf(text, sizeof text, "%02llu.%02llu.%04llu %02llu:%02llu:%02llu.%03llu", day,
                      month, year, hour, minute, second, ms);
    }
}

void Check(bool space_form, unsigned long long value) {
    TQ_WCHAR buffer[kBuffer];
    for (TQ_WCHAR& c : buffer) c = kCanary;
    if (space_form) {
        TQ_DateTime::DateTimeSpaceToString_1(value, buffer);
    } else {
        TQ_DateTime::DateTimeToString_1(value, buffer);
    }
    const std::size_t count = space_form ? 25 : 24;
    for (std::size_t i = count; i < kBuffer; ++i) FUZZ_CHECK(buffer[i] == kCanary);
    char expected[64];
    Expected(space_form, value, expected);
    const std::size_t length = std::strlen(expected);
    FUZZ_CHECK(length == 0 || length == count - 1);
    for (std::size_t i = 0; i <= length; ++i) {
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
