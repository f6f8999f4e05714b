// Cursors and the cursor file (see cursor.h). A cursor is "v=1;r=<ring>;f=<file>;c=<counter>;
// t=<stamp>;h=<length>:<hash>;o=<offset>", the stamp's blank written as '_'; opaque to its users.
#include "cursor.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "scrivlet/format.h"
#include "scrivlet/host.h"
#include "scrivlet/logfile.h"

namespace scrivlet::tool {
namespace {

// The longest cursor file read: a cursor is far shorter.
constexpr std::size_t kLongestCursorFile = 4096;

std::uint64_t Fnv1a(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

// A whole number of at most digits digits in the base, at most most.
bool Number(std::string_view text, int base, std::size_t digits, std::uint64_t most,
            std::uint64_t& value) {
    if (text.empty() || text.size() > digits) return false;
    value = 0;
    for (char c : text) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : 99;
        if (digit >= base) return false;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return value <= most;
}

std::string Hex(std::uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

// The folder as the file system resolves it, as far as it exists (a follower may start before
// the writer has created it), the rest as given.
std::string Resolved(const std::string& folder) {
    std::string resolved;
    if (host::ResolvePath(folder, resolved)) return resolved;
    const std::size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos) return Resolved(".") + "/" + folder;
    if (slash == 0) return folder;
    return Resolved(folder.substr(0, slash)) + folder.substr(slash);
}

}  // namespace

std::uint32_t RingIdentity(const RingPlace& place) {
    return static_cast<std::uint32_t>(Fnv1a(Resolved(place.directory) + "/" + place.name) >> 32);
}

std::uint64_t HeadHash(std::string_view head) { return Fnv1a(head); }

std::string CursorText(const Position& p) {
    std::string stamp = p.stamp;
    for (char& c : stamp) c = c == ' ' ? '_' : c;
    return "v=1;r=" + Hex(p.ring, 8) + ";f=" + std::to_string(p.file) +
           ";c=" + std::to_string(p.counter) + ";t=" + stamp +
           ";h=" + std::to_string(p.head_length) + ":" + Hex(p.head_hash, 16) +
           ";o=" + std::to_string(p.offset);
}

bool ParseCursor(std::string_view text, Position& p, std::string& why) {
    static const char* const kKeys[] = {"v", "r", "f", "c", "t", "h", "o"};
    std::vector<std::string_view> values;
    for (std::size_t at = 0; at <= text.size() && values.size() < 8;) {
        const std::size_t end = std::min(text.find(';', at), text.size());
        const std::string_view field = text.substr(at, end - at);
        const std::size_t equals = field.find('=');
        if (values.size() >= 7 || equals == std::string_view::npos ||
            field.substr(0, equals) != kKeys[values.size()]) {
            why = "not a cursor of scrivlet cat";
            return false;
        }
        values.push_back(field.substr(equals + 1));
        at = end + 1;
    }
    std::uint64_t version = 0, ring = 0, file = 0, counter = 0, length = 0, hash = 0;
    std::string_view head = values.size() == 7 ? values[5] : "";
    const std::size_t colon = head.find(':');
    bool ok = values.size() == 7 && Number(values[0], 10, 3, 999, version) &&
              Number(values[1], 16, 8, UINT32_MAX, ring) &&
              Number(values[2], 10, 4, TQCLogFile_1::FILECOUNT_MAX, file) && file > 0 &&
              Number(values[3], 10, 10, format::kCounterMax, counter) &&
              colon != std::string_view::npos &&
              Number(head.substr(0, colon), 10, 3, kHeadBytes, length) &&
              Number(head.substr(colon + 1), 16, 16, UINT64_MAX, hash) &&
              Number(values[6], 10, 12, std::uint64_t{1} << 40, p.offset);
    if (ok && version != 1) {
        why = "a cursor of another version (" + std::to_string(version) + ")";
        return false;
    }
    std::string stamp(values.size() == 7 ? values[4] : "");
    for (char& c : stamp) c = c == '_' ? ' ' : c;
    Moment moment;
    ok = ok && (stamp.empty() || (stamp.size() == format::kStampLength - 1 &&
                                  StampMoment(stamp, moment) && MomentText(moment) == stamp));
    if (!ok) {
        why = "not a cursor of scrivlet cat";
        return false;
    }
    p.ring = static_cast<std::uint32_t>(ring);
    p.file = static_cast<unsigned int>(file);
    p.counter = static_cast<std::uint32_t>(counter);
    p.stamp = stamp;
    p.head_length = static_cast<std::uint32_t>(length);
    p.head_hash = hash;
    return true;
}

bool LoadCursorFile(const std::string& path, bool& found, Position& position, std::string& why) {
    found = false;
    const FileState state = StatFile(path);
    if (!state.exists) return true;
    FileReader reader;
    if (!reader.Open(path, state, why)) return false;
    if (state.size > kLongestCursorFile) {
        why = "not a cursor file (" + std::to_string(state.size) + " bytes)";
        return false;
    }
    std::string text = reader.Read(0, state.size);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty()) return true;
    found = true;
    return ParseCursor(text, position, why);
}

bool SaveCursorFile(const std::string& path, const std::string& text, std::string& why) {
    return host::ReplaceFileDurably(path, text + "\n", why);
}

}  // namespace scrivlet::tool
