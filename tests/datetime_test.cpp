// The packed local date-time: packing one clock reading, the two text forms, and the values too
// wide for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>

#include "support/faults.h"
#include "support/files.h"

using scrivlet::test::FaultScope;
using scrivlet::test::Narrow;

namespace {

const TQ_WCHAR kCanary = 0x5A5A;
const unsigned long long kWorkedExample = 0x00007EAC23D1782DULL;  // 2026-12-04 15:17:30.045

unsigned long long Pack(unsigned long long year, unsigned month, unsigned day, unsigned hour,
                        unsigned minute, unsigned second, unsigned ms) {
    return year << 36 | static_cast<unsigned long long>(month) << 32 |
           static_cast<unsigned long long>(day) << 27 | hour << 22 | minute << 16 | second << 10 |
           ms;
}

using ToText = decltype(&TQ_DateTime::DateTimeToString_1);
const ToText kDayFirst = TQ_DateTime::DateTimeToString_1;
const ToText kYearFirst = TQ_DateTime::DateTimeSpaceToString_1;

// The text of a value in one form (24 or 25 elements), which writes nothing past its elements.
std::string Text(ToText form, unsigned long long value) {
    TQ_WCHAR text[41];
    std::fill(text, text + 40, kCanary);
    text[40] = 0;
    form(value, text);
    const long size = form == kDayFirst ? 24 : 25;
    EXPECT_EQ(std::count(text + size, text + 40, kCanary), 40 - size) << value;
    return Narrow(text);
}

TEST(DateTime, TextForms) {
    const struct {
        unsigned long long value;
        const char* day_first;
        const char* year_first;
    } cases[] = {
        {kWorkedExample, "04.12.2026 15:17:30.045", "2026.12.04 15:17:30.045 "},
        {Pack(2025, 1, 1, 9, 5, 3, 7), "01.01.2025 09:05:03.007", "2025.01.01 09:05:03.007 "},
        {0, "00.00.0000 00:00:00.000", "0000.00.00 00:00:00.000 "},
        {Pack(9999, 12, 31, 23, 59, 59, 999), "31.12.9999 23:59:59.999",
         "9999.12.31 23:59:59.999 "},
        // Bits 53-63 are not part of any field.
        {kWorkedExample | 0xFFE0000000000000ULL, "04.12.2026 15:17:30.045",
         "2026.12.04 15:17:30.045 "},
        // Too wide for the text: an empty string.
        {Pack(10000, 1, 1, 0, 0, 0, 0), "", ""},
        {Pack(2026, 1, 1, 0, 0, 0, 1000), "", ""},
        {Pack(0x1FFFF, 1, 1, 0, 0, 0, 0), "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(kDayFirst, c.value), c.day_first);
        EXPECT_EQ(Text(kYearFirst, c.value), c.year_first);
    }
    EXPECT_EQ(Pack(2026, 12, 4, 15, 17, 30, 45), kWorkedExample);
}

// Local time in these tests is UTC. Each test runs in a process of its own.
void UseUtc() {
#ifdef _WIN32
    _putenv("TZ=UTC0");
    _tzset();
#else
    setenv("TZ", "UTC", 1);
    tzset();
#endif
}

TEST(DateTime, PacksLocalTime) {
    UseUtc();
    FaultScope faults;
    faults.FixClock(1796397450, 45);
    EXPECT_EQ(TQ_DateTime::GetLocalDateTime_1(), kWorkedExample);
    faults.FixClock(1709251199, 999);  // the last millisecond of a leap day
    EXPECT_EQ(TQ_DateTime::GetLocalDateTime_1(), Pack(2024, 2, 29, 23, 59, 59, 999));
    faults.FixClock(0, 0);
    EXPECT_EQ(Text(kYearFirst, TQ_DateTime::GetLocalDateTime_1()), "1970.01.01 00:00:00.000 ");
}

}  // namespace
