// The packed local date-time: one clock reading packed into 64 bits, and its two text forms.
#include "scrivlet/datetime.h"

#include "platform/platform.h"
#include "scrivlet/format.h"

namespace os = scrivlet::os;

namespace {

struct Fields {
    unsigned long long year, month, day, hour, minute, second, millisecond;
};

Fields Unpack(unsigned long long value) {
    Fields f;
    f.day = (value >> 27) & 0x1F;
    f.month = (value >> 32) & 0xF;
    f.year = (value >> 36) & 0x1FFFF;
    f.hour = (value >> 22) & 0x1F;
    f.minute = (value >> 16) & 0x3F;
    f.second = (value >> 10) & 0x3F;
    f.millisecond = value & 0x3FF;
    return f;
}

}  // namespace

namespace TQ_DateTime {

unsigned long long GetLocalDateTime_1() {
    // The milliseconds and the second they belong to come from the same reading.
    os::TIMEB64 now = {};
    if (os::_ftime64_s(&now) != 0) return 0;
    os::TM local = {};
    if (os::_localtime64_s(&local, &now.time) != 0) return 0;
    unsigned long long value = static_cast<unsigned long long>(local.tm_year + 1900);
    value = (value << 4) | static_cast<unsigned long long>(local.tm_mon + 1);
    value = (value << 5) | static_cast<unsigned long long>(local.tm_mday);
    value = (value << 5) | static_cast<unsigned long long>(local.tm_hour);
    value = (value << 6) | static_cast<unsigned long long>(local.tm_min);
    value = (value << 6) | static_cast<unsigned long long>(local.tm_sec);
    value = (value << 10) | static_cast<unsigned long long>(now.millitm);
    return value;
}

void DateTimeToString_1(unsigned long long ullDateTime, TQ_WCHAR* pszText) {
    // The day-first form is one character shorter than the stamp (no blank behind it).
    Fields f = Unpack(ullDateTime);
    os::swprintf_s(pszText, scrivlet::format::kStampLength,
                   TQ_TEXT("%02I64u.%02I64u.%04I64u %02I64u:%02I64u:%02I64u.%03I64u"), f.day,
                   f.month, f.year, f.hour, f.minute, f.second, f.millisecond);
}

void DateTimeSpaceToString_1(unsigned long long ullDateTime, TQ_WCHAR* pszText) {
    Fields f = Unpack(ullDateTime);
    // The stamp in front of every library line, and its terminating zero.
    os::swprintf_s(pszText, scrivlet::format::kStampLength + 1,
                   TQ_TEXT("%04I64u.%02I64u.%02I64u %02I64u:%02I64u:%02I64u.%03I64u "), f.year,
                   f.month, f.day, f.hour, f.minute, f.second, f.millisecond);
}

}  // namespace TQ_DateTime
