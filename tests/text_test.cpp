// The packed local date-time and its two text forms, formed by the bounded 16-bit formatting of
// the platform layer: nothing written past the text's elements, an empty text where a value is
// too wide for it. (The formatting of the library's lines and names shows in logfile_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "support/support.h"

using scrivlet::test::Narrow;

namespace {

const unsigned long long kWorkedExample = 0x00007EAC23D1782DULL;  // 2026-12-04 15:17:30.045

unsigned long long Pack(unsigned long long year, unsigned long long month, unsigned day,
                        unsigned hour, unsigned minute, unsigned second, unsigned ms) {
    return year << 36 | month << 32 | static_cast<unsigned long long>(day) << 27 | hour << 22 |
           minute << 16 | second << 10 | ms;
}

// Both text forms of a value, each written into canaries: nothing may go past its 24 or 25
// elements.
std::string Texts(unsigned long long value) {
    std::string texts;
    for (const auto& form : {std::make_pair(TQ_DateTime::DateTimeToString_1, 24),
                             std::make_pair(TQ_DateTime::DateTimeSpaceToString_1, 25)}) {
        TQ_WCHAR out[32];
        std::fill(out, out + 31, TQ_WCHAR{0x5A5A});
        out[31] = 0;
        form.first(value, out);
        EXPECT_EQ(std::count(out + form.second, out + 31, 0x5A5A), 31 - form.second);
        texts += (form.second == 25 ? "|" : "") + Narrow(out);
    }
    return texts;
}

TEST(DateTime, TextFormsAndLocalTime) {
    const std::pair<unsigned long long, const char*> cases[] = {
        {kWorkedExample, "04.12.2026 15:17:30.045|2026.12.04 15:17:30.045 "},
        {Pack(2025, 1, 1, 9, 5, 3, 7), "01.01.2025 09:05:03.007|2025.01.01 09:05:03.007 "},
        {Pack(9999, 12, 31, 23, 59, 59, 999), "31.12.9999 23:59:59.999|9999.12.31 23:59:59.999 "},
        // Every field at its widest (the text does not judge the values), and year 0.
        {Pack(0, 15, 31, 31, 63, 63, 999), "31.15.0000 31:63:63.999|0000.15.31 31:63:63.999 "},
        // Bits 53-63 are not part of any field.
        {kWorkedExample | 0xFFE0000000000000ULL,
         "04.12.2026 15:17:30.045|2026.12.04 15:17:30.045 "},
        // Too wide for the text: an empty string.
        {Pack(10000, 1, 1, 0, 0, 0, 0), "|"},
        {Pack(65536 + 2026, 1, 1, 0, 0, 0, 0), "|"},  // 17 bits of year
        {Pack(2026, 1, 1, 0, 0, 0, 1000), "|"},
    };
    for (const auto& c : cases) EXPECT_EQ(Texts(c.first), c.second);
    EXPECT_EQ(Pack(2026, 12, 4, 15, 17, 30, 45), kWorkedExample);
    // The clock read as local time, here UTC (each test runs in a process of its own).
#ifdef _WIN32
    _putenv("TZ=UTC0");
    _tzset();
#else
    setenv("TZ", "UTC", 1);
    tzset();
#endif
    scrivlet::test::FaultScope faults;
    faults.FixClock(1796397450, 45);
    EXPECT_EQ(TQ_DateTime::GetLocalDateTime_1(), kWorkedExample);
    faults.FixClock(1709251199, 999);  // the last millisecond of a leap day
    EXPECT_EQ(TQ_DateTime::GetLocalDateTime_1(), Pack(2024, 2, 29, 23, 59, 59, 999));
    faults.FixClock(0, 0);
    EXPECT_EQ(Texts(TQ_DateTime::GetLocalDateTime_1()),
              "01.01.1970 00:00:00.000|1970.01.01 00:00:00.000 ");
}

}  // namespace
