// Time stamps and the times that `cat --since` and `--until` take.
//
// A Moment holds the fields of a local date and time in the order of the library's stamp form
// (year, month, day, hour, minute, second, millisecond), so that moments compare as the times
// they hold. Stamps are recognised by that form alone (format.h); nothing here formats one.
#ifndef SCRIVLET_READING_TIMES_H
#define SCRIVLET_READING_TIMES_H

#include <array>
#include <ctime>
#include <string>
#include <string_view>

#include "scrivlet/export.h"

namespace scrivlet::reading {

using Moment = std::array<unsigned int, 7>;

// The earliest and latest moments: bounds that exclude nothing.
constexpr Moment kEarliest = {0, 0, 0, 0, 0, 0, 0};
constexpr Moment kLatest = {~0u, 0, 0, 0, 0, 0, 0};

// How many of the first characters of text follow the stamp's form (at most the whole form).
SCRIVLET_RING_API std::size_t StampPrefix(std::string_view text);

// Whether text starts with a whole time stamp, its trailing blank included.
SCRIVLET_RING_API bool StartsWithStamp(std::string_view text);

// The moment of a stamp at the start of text (its trailing blank not needed); false when text
// does not start with the form of one.
SCRIVLET_RING_API bool StampMoment(std::string_view text, Moment& moment);

// The local moment of a time given on the command line: "2026-12-05 19:47",
// "2026-12-05T19:47:48.123", the stamp's own "2026.12.05 19:47:48.123", a date alone, or
// relative to now: "-10m", "-2h", "-30s", "-1d". Fields not given are 0. False, with the
// reason in why, for anything else.
SCRIVLET_RING_API bool ParseMoment(std::string_view given, std::time_t now, Moment& moment,
                                   std::string& why);

// A moment as the stamp shows it, for messages ("2026.12.05 19:47:48.123").
SCRIVLET_RING_API std::string MomentText(const Moment& moment);

}  // namespace scrivlet::reading

#endif  // SCRIVLET_READING_TIMES_H
