// Stamps and command-line times (see times.h).
#include "scrivlet/reading/times.h"

#include "scrivlet/format.h"

namespace scrivlet::reading {
namespace {

constexpr std::string_view kStampForm = SCRIVLET_STAMP_FORM;
constexpr char kDigit = '0';  // what stands for a digit in the form

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The range each field may hold: month 1-12, day 1-31, hour 0-23, minute and second 0-59.
bool Plausible(const Moment& m) {
    return m[1] >= 1 && m[1] <= 12 && m[2] >= 1 && m[2] <= 31 && m[3] <= 23 && m[4] <= 59 &&
           m[5] <= 59 && m[6] <= 999;
}

// The number of digits of each field in the stamp's form.
std::array<std::size_t, 7> FieldWidths() {
    std::array<std::size_t, 7> widths{};
    std::size_t field = 0;
    for (std::size_t i = 0; i + 1 < kStampForm.size() && field < widths.size(); ++i) {
        if (kStampForm[i] == kDigit) {
            ++widths[field];
        } else if (i > 0 && kStampForm[i - 1] == kDigit) {
            ++field;
        }
    }
    return widths;
}

}  // namespace

std::size_t StampPrefix(std::string_view text) {
    std::size_t i = 0;
    for (; i < text.size() && i < kStampForm.size(); ++i) {
        if (kStampForm[i] == kDigit ? !IsDigit(text[i]) : text[i] != kStampForm[i]) break;
    }
    return i;
}

bool StartsWithStamp(std::string_view text) {
    Moment moment;
    return text.size() >= kStampForm.size() && text[kStampForm.size() - 1] == kStampForm.back() &&
           StampMoment(text, moment);
}

bool StampMoment(std::string_view text, Moment& moment) {
    // The form without its trailing blank.
    const std::size_t length = kStampForm.size() - 1;
    if (text.size() < length) return false;
    moment = kEarliest;
    std::size_t field = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (kStampForm[i] == kDigit) {
            if (!IsDigit(text[i])) return false;
            moment[field] = moment[field] * 10 + static_cast<unsigned int>(text[i] - '0');
        } else if (text[i] != kStampForm[i]) {
            return false;
        } else if (i > 0 && kStampForm[i - 1] == kDigit) {
            ++field;
        }
    }
    return true;
}

bool ParseMoment(std::string_view given, std::time_t now, Moment& moment, std::string& why) {
    moment = kEarliest;
    if (!given.empty() && given[0] == '-') {
        // Relative: a whole number and a unit.
        unsigned long long amount = 0;
        std::size_t i = 1;
        for (; i < given.size() && IsDigit(given[i]) && amount < 100000000ull; ++i) {
            amount = amount * 10 + static_cast<unsigned long long>(given[i] - '0');
        }
        const std::string_view unit = given.substr(i);
        unsigned long long seconds = 0;
        if (i == 1 || unit.size() != 1) {
            why = "a relative time is a number and one of s, m, h, d (\"-10m\")";
            return false;
        }
        switch (unit[0]) {
            case 's':
                seconds = 1;
                break;
            case 'm':
                seconds = 60;
                break;
            case 'h':
                seconds = 3600;
                break;
            case 'd':
                seconds = 86400;
                break;
            default:
                why = "the unit of a relative time is s, m, h or d";
                return false;
        }
        const std::time_t at = now - static_cast<std::time_t>(amount * seconds);
        // The standard conversion, whose result is shared: readers parse their times on one
        // thread, before any other starts.
        const std::tm* converted = std::localtime(&at);
        if (converted == nullptr) {
            why = "the time cannot be converted to local time";
            return false;
        }
        const std::tm local = *converted;
        moment = {static_cast<unsigned int>(local.tm_year + 1900),
                  static_cast<unsigned int>(local.tm_mon + 1),
                  static_cast<unsigned int>(local.tm_mday),
                  static_cast<unsigned int>(local.tm_hour),
                  static_cast<unsigned int>(local.tm_min),
                  static_cast<unsigned int>(local.tm_sec),
                  0};
        return true;
    }
    // Absolute: digit fields of the stamp's widths and order with one separator between them;
    // the date whole, the time as far as it goes (minutes at least).
    const std::array<std::size_t, 7> widths = FieldWidths();
    std::size_t field = 0;
    std::size_t digits = 0;
    bool bad = false;
    for (std::size_t i = 0; i < given.size() && !bad; ++i) {
        const char c = given[i];
        if (IsDigit(c)) {
            bad = field >= moment.size() || ++digits > widths[field];
            if (!bad) moment[field] = moment[field] * 10 + static_cast<unsigned int>(c - '0');
            continue;
        }
        // A separator ends a field of its full width, and must suit the field that follows.
        bad = digits != widths[field] || ++field >= moment.size();
        digits = 0;
        if (!bad) {
            bad = !(field < 3    ? c == '-' || c == '.'
                    : field == 3 ? c == ' ' || c == 'T'
                    : field < 6  ? c == ':'
                                 : c == '.' || c == ',');
        }
    }
    if (!bad && digits > 0) {
        // The last field: the millisecond may be short ("48.5" is 500 ms), the others not.
        if (field == 6) {
            for (; digits < widths[6]; ++digits) moment[6] *= 10;
        }
        bad = digits != widths[field];
        ++field;
    }
    if (bad || !(field == 3 || field >= 5) || !Plausible(moment)) {
        why =
            "expected a time such as \"2026-12-05 19:47\", \"2026-12-05T19:47:48.123\" or "
            "\"-10m\"";
        return false;
    }
    return true;
}

std::string MomentText(const Moment& moment) {
    // The stamp's form with each field's digits in place, without its trailing blank.
    std::string text(kStampForm.substr(0, kStampForm.size() - 1));
    std::size_t field = moment.size();
    unsigned int value = 0;
    for (std::size_t i = text.size(); i-- > 0;) {
        if (text[i] != kDigit) continue;
        if (i + 1 == text.size() || kStampForm[i + 1] != kDigit) value = moment[--field];
        text[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return text;
}

}  // namespace scrivlet::reading
