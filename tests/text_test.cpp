// The bounded 16-bit text functions of the platform layer: formatting with the conversions the
// library uses, copying and counting, and what they leave behind when the text does not fit.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/platform.h"
#include "support/files.h"

namespace os = scrivlet::os;
using scrivlet::test::Narrow;

namespace {

const TQ_WCHAR kCanary = 0x5A5A;

TEST(Format, Conversions) {
    TQ_WCHAR out[64];
    EXPECT_EQ(os::swprintf_s(out, 64, TQ_TEXT("%s %u %u\r\n"), TQ_TEXT("Pump"), 1u, 2u), 10);
    EXPECT_EQ(Narrow(out), "Pump 1 2\r\n");
    os::swprintf_s(out, 64, TQ_TEXT("[%04u|%02u|%0u|%u]"), 7u, 123u, 0u, 4294967295u);
    EXPECT_EQ(Narrow(out), "[0007|123|0|4294967295]");
    os::swprintf_s(out, 64, TQ_TEXT("%03I64u.%I64u 100%%"), 5ull, 18446744073709551615ull);
    EXPECT_EQ(Narrow(out), "005.18446744073709551615 100%");
}

TEST(Format, FitsExactlyAndOverflowLeavesEmptyString) {
    TQ_WCHAR out[16];
    std::fill(out, out + 16, kCanary);
    // "ab 12": five characters and the zero fit a count of 6...
    EXPECT_EQ(os::swprintf_s(out, 6, TQ_TEXT("%s %u"), TQ_TEXT("ab"), 12u), 5);
    EXPECT_EQ(Narrow(out), "ab 12");
    EXPECT_EQ(out[6], kCanary);
    // ...but not a count of 5: empty string, failure, nothing written past the count.
    std::fill(out, out + 16, kCanary);
    EXPECT_EQ(os::swprintf_s(out, 5, TQ_TEXT("%s %u"), TQ_TEXT("ab"), 12u), -1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(std::count(out + 5, out + 16, kCanary), 11);
    // A padded number counts with its padding.
    EXPECT_EQ(os::swprintf_s(out, 4, TQ_TEXT("%04I64u"), 1ull), -1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[4], kCanary);
}

TEST(Format, UnknownConversionFails) {
    for (const TQ_WCHAR* format : {TQ_TEXT("%d"), TQ_TEXT("x%x"), TQ_TEXT("%ls"), TQ_TEXT("%"),
                                   TQ_TEXT("%I32u"), TQ_TEXT("%05s")}) {
        TQ_WCHAR out[16] = {'z'};
        EXPECT_EQ(os::swprintf_s(out, 16, format, 1u), -1) << Narrow(format);
        EXPECT_EQ(out[0], 0) << Narrow(format);
    }
}

TEST(CopyAndCount, BoundedByTheCount) {
    TQ_WCHAR out[8];
    std::fill(out, out + 8, kCanary);
    EXPECT_EQ(os::wcscpy_s(out, 4, TQ_TEXT("abc")), 0);
    EXPECT_EQ(Narrow(out), "abc");
    std::fill(out, out + 8, kCanary);
    EXPECT_EQ(os::wcscpy_s(out, 4, TQ_TEXT("abcd")), 34);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(std::count(out + 4, out + 8, kCanary), 4);
    // A source without a zero is read no further than the count.
    const TQ_WCHAR unterminated[3] = {'x', 'y', 'z'};
    EXPECT_EQ(os::wcscpy_s(out, 3, unterminated), 34);
    EXPECT_EQ(out[0], 0);
    // Counting stops at the zero or at the bound.
    EXPECT_EQ(os::wcsnlen_s(TQ_TEXT("ab"), 10), 2u);
    EXPECT_EQ(os::wcsnlen_s(unterminated, 3), 3u);
    EXPECT_EQ(os::wcsnlen_s(unterminated, 2), 2u);
}

}  // namespace
