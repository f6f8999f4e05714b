// Text that the library forms: the bounded 16-bit formatting, copying and counting of the
// platform layer (the conversions the library uses, and what is left when a text does not fit),
// and the packed local date-time with its two text forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "support/support.h"

namespace os = scrivlet::os;
using scrivlet::test::Narrow;

namespace {

const TQ_WCHAR kCanary = 0x5A5A;

// The text that write leaves in a buffer of count elements ("<untouched>": none) and its result,
// checking that nothing was written past the count.
template <typename Write>
std::string Bounded(std::size_t count, Write write) {
    TQ_WCHAR out[48];
    std::fill(out, out + 48, kCanary);
    out[47] = 0;
    const int result = write(out, count);
    EXPECT_EQ(std::count(out + count, out + 47, kCanary), 47 - static_cast<long>(count));
    return (out[0] == kCanary ? "<untouched>" : Narrow(out)) + "|" + std::to_string(result);
}

TEST(Text, FormatCopyAndCount) {
    auto format = [](std::size_t count, const TQ_WCHAR* f, auto... args) {
        return Bounded(count, [&](TQ_WCHAR* out, std::size_t n) {
            return os::swprintf_s(out, n, f, args...);
        });
    };
    EXPECT_EQ(format(40, TQ_TEXT("%s %u %u\r\n"), TQ_TEXT("Pump"), 1u, 2u), "Pump 1 2\r\n|10");
    EXPECT_EQ(format(40, TQ_TEXT("[%04u|%02u|%0u|%u]"), 7u, 123u, 0u, 4294967295u),
              "[0007|123|0|4294967295]|23");
    EXPECT_EQ(format(40, TQ_TEXT("%03I64u.%I64u 100%%"), 5ull, 18446744073709551615ull),
              "005.18446744073709551615 100%|29");
    // "ab 12": five characters and the zero fit a count of 6, not of 5: then an empty string.
    EXPECT_EQ(format(6, TQ_TEXT("%s %u"), TQ_TEXT("ab"), 12u), "ab 12|5");
    EXPECT_EQ(format(5, TQ_TEXT("%s %u"), TQ_TEXT("ab"), 12u), "|-1");
    EXPECT_EQ(format(4, TQ_TEXT("%04I64u"), 1ull), "|-1");  // the padding counts
    for (const TQ_WCHAR* unknown : {TQ_TEXT("%d"), TQ_TEXT("x%x"), TQ_TEXT("%ls"), TQ_TEXT("%"),
                                    TQ_TEXT("%I32u"), TQ_TEXT("%05s")}) {
        EXPECT_EQ(format(16, unknown, 1u), "|-1") << Narrow(unknown);
    }
    // A copy that does not fit leaves an empty string; a source without a zero is read no further
    // than the count. Counting stops at the zero or at the bound.
    auto copy = [](std::size_t count, const TQ_WCHAR* source) {
        return Bounded(count,
                       [&](TQ_WCHAR* out, std::size_t n) { return os::wcscpy_s(out, n, source); });
    };
    const TQ_WCHAR unterminated[3] = {'x', 'y', 'z'};
    EXPECT_EQ(copy(4, TQ_TEXT("abc")), "abc|0");
    EXPECT_EQ(copy(4, TQ_TEXT("abcd")), "|34");
    EXPECT_EQ(copy(3, unterminated), "|34");
    EXPECT_EQ(os::wcsnlen_s(TQ_TEXT("ab"), 10), 2u);
    EXPECT_EQ(os::wcsnlen_s(unterminated, 3), 3u);
    EXPECT_EQ(os::wcsnlen_s(unterminated, 2), 2u);
}

const unsigned long long kWorkedExample = 0x00007EAC23D1782DULL;  // 2026-12-04 15:17:30.045

unsigned long long Pack(unsigned long long year, unsigned long long month, unsigned day,
                        unsigned hour, unsigned minute, unsigned second, unsigned ms) {
    return year << 36 | month << 32 | static_cast<unsigned long long>(day) << 27 | hour << 22 |
           minute << 16 | second << 10 | ms;
}

// Both text forms of a value, each of which writes nothing past its 24 or 25 elements.
std::string Texts(unsigned long long value) {
    auto form = [value](auto to_text) {
        return [=](TQ_WCHAR* out, std::size_t) { return to_text(value, out), 0; };
    };
    return Bounded(24, form(TQ_DateTime::DateTimeToString_1)) + " " +
           Bounded(25, form(TQ_DateTime::DateTimeSpaceToString_1));
}

TEST(DateTime, TextForms) {
    const std::pair<unsigned long long, const char*> cases[] = {
        {kWorkedExample, "04.12.2026 15:17:30.045|0 2026.12.04 15:17:30.045 |0"},
        {Pack(2025, 1, 1, 9, 5, 3, 7), "01.01.2025 09:05:03.007|0 2025.01.01 09:05:03.007 |0"},
        {Pack(9999, 12, 31, 23, 59, 59, 999),
         "31.12.9999 23:59:59.999|0 9999.12.31 23:59:59.999 |0"},
        // Bits 53-63 are not part of any field.
        {kWorkedExample | 0xFFE0000000000000ULL,
         "04.12.2026 15:17:30.045|0 2026.12.04 15:17:30.045 |0"},
        // Too wide for the text: an empty string.
        {Pack(10000, 1, 1, 0, 0, 0, 0), "|0 |0"},
        {Pack(2026, 1, 1, 0, 0, 0, 1000), "|0 |0"},
    };
    for (const auto& c : cases) EXPECT_EQ(Texts(c.first), c.second);
    EXPECT_EQ(Pack(2026, 12, 4, 15, 17, 30, 45), kWorkedExample);
}

// Local time here is UTC (each test runs in a process of its own).
TEST(DateTime, PacksLocalTime) {
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
              "01.01.1970 00:00:00.000|0 1970.01.01 00:00:00.000 |0");
}

}  // namespace
