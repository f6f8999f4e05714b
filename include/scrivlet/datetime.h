// Packed local date-time and its two text forms.
//
// A packed value holds, from the most significant field down: year (bits 36-52, the full year),
// month (32-35, 1-12), day (27-31), hour (22-26), minute (16-21), second (10-15) and millisecond
// (0-9). Packed values therefore compare in the order of the date-times they hold.
#ifndef SCRIVLET_DATETIME_H
#define SCRIVLET_DATETIME_H

#include "scrivlet/export.h"

namespace TQ_DateTime {

// Reads the clock once and returns the current local date and time, milliseconds included.
// Cannot fail; if the platform cannot give or convert the time it returns 0.
SCRIVLET_API unsigned long long GetLocalDateTime_1();

// Writes "DD.MM.YYYY HH:MM:SS.mmm" (23 characters and the terminating zero: at most 24 elements)
// into pszText, which must have room for 24 characters. A year above 9999 or a millisecond field
// above 999 leaves an empty string.
SCRIVLET_API void DateTimeToString_1(unsigned long long ullDateTime, TQ_WCHAR* pszText);

// Writes "YYYY.MM.DD HH:MM:SS.mmm " (24 characters, ending in one blank, and the terminating zero
// at element 24: at most 25 elements) into pszText, which must have room for 25 characters. A year
// above 9999 or a millisecond field above 999 leaves an empty string.
SCRIVLET_API void DateTimeSpaceToString_1(unsigned long long ullDateTime, TQ_WCHAR* pszText);

}  // namespace TQ_DateTime

#endif  // SCRIVLET_DATETIME_H
