// Continuing a ring after a restart (see resume.h).
#include "ring/resume.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "scrivlet/format.h"
#include "scrivlet/reading/layout.h"
#include "scrivlet/reading/order.h"

namespace scrivlet {
namespace detail {
namespace {

// Windows counts file times in 100 ns units since 1601-01-01.
constexpr std::int64_t kFileTimeTo1970 = 116444736000000000;

// The line end of a text ring's records and lines, as UTF-16LE bytes.
constexpr char kUtf16LineEnd[] = {'\r', 0, '\n', 0};

// Reads count bytes from offset; false with the last error, or when the file ends before.
bool ReadAt(os::HANDLE file, std::uint64_t offset, std::string& bytes, std::size_t count) {
    bytes.assign(count, '\0');
    if (!os::SetFilePointerEx(file, static_cast<std::int64_t>(offset), nullptr, os::FILE_BEGIN)) {
        return false;
    }
    std::size_t got = 0;
    while (got < count) {
        os::DWORD n = 0;
        if (!os::ReadFile(file, &bytes[got], static_cast<os::DWORD>(count - got), &n, nullptr)) {
            return false;
        }
        if (n == 0) return false;
        got += n;
    }
    return true;
}

bool Append(os::HANDLE file, const char* bytes, os::DWORD count) {
    os::DWORD written = 0;
    if (!os::WriteFile(file, bytes, count, &written, nullptr)) return false;
    if (written != count) os::SetLastError(os::ERROR_DISK_FULL);  // a short write: no room
    return written == count;
}

// What ordering and continuing need of the file at path; false when it is not a readable
// regular file.
bool LookAt(const TQ_WCHAR* path, unsigned int number, reading::FileFacts& facts,
            reading::FileLayout& layout) {
    const os::HANDLE file =
        os::CreateFileW(path, os::GENERIC_READ, os::FILE_SHARE_READ | os::FILE_SHARE_WRITE, nullptr,
                        os::OPEN_EXISTING, os::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == os::InvalidHandleValue()) return false;
    std::int64_t size = 0;
    std::uint64_t written = 0;
    bool ok = os::GetFileSizeEx(file, &size) && os::GetFileTime(file, nullptr, nullptr, &written);
    std::string head;
    std::string tail;
    const std::uint64_t window = std::min<std::uint64_t>(size, reading::kLayoutWindow);
    ok = ok && ReadAt(file, 0, head, window) && ReadAt(file, size - window, tail, window);
    os::CloseHandle(file);
    if (!ok) return false;
    layout = reading::ParseLayout(head, tail, static_cast<std::uint64_t>(size), {});
    facts.number = number;
    facts.size = static_cast<std::uint64_t>(size);
    facts.mtime = (static_cast<std::int64_t>(written) - kFileTimeTo1970) * 100;
    facts.counter = layout.counter.present;
    facts.counter_value = layout.counter_value;
    facts.first_stamp = layout.FirstStamp();
    return true;
}

}  // namespace

NewestFile FindNewest(unsigned int count,
                      const std::function<const TQ_WCHAR*(unsigned int)>& path_of) {
    std::vector<reading::FileFacts> files;
    std::vector<reading::FileLayout> layouts;
    NewestFile newest;
    for (unsigned int n = 1; n <= count; ++n) {
        reading::FileFacts facts;
        reading::FileLayout layout;
        if (!LookAt(path_of(n), n, facts, layout)) continue;
        // A file cut short inside its opening lines holds nothing yet: it counts as empty, so
        // that the others keep their order by counter. The ring replaces it when it comes round.
        if (layout.torn_line) facts.size = 0;
        if (facts.counter)
            newest.largest_counter = std::max(newest.largest_counter, facts.counter_value);
        files.push_back(facts);
        layouts.push_back(layout);
    }
    std::vector<std::size_t> order;
    reading::OrderOldestFirst(files, order);
    // Empty files come last in the order; the newest is the last one with something in it.
    for (auto i = order.rbegin(); i != order.rend(); ++i) {
        if (files[*i].size == 0) continue;
        const reading::FileLayout& layout = layouts[*i];
        newest.number = files[*i].number;
        newest.counter = layout.counter.present;
        newest.counter_value = layout.counter_value;
        newest.size = files[*i].size;
        // A file that ends inside its opening lines keeps only its whole counter line.
        newest.records_begin = layout.torn_line ? layout.counter.end : layout.records_begin;
        newest.footer = layout.footer.present;
        newest.torn_line = layout.torn_line;
        break;
    }
    return newest;
}

bool EndCleanly(os::HANDLE file, const NewestFile& newest, Encoding encoding, std::uint64_t limit,
                std::uint64_t& size) {
    size = newest.size;
    std::uint64_t keep = size;
    std::string ending;
    if (newest.torn_line) {
        keep = newest.records_begin;
    } else if (size > newest.records_begin && !newest.footer) {
        std::string tail;
        if (encoding == Encoding::kUtf16Line) {
            const std::uint64_t window = std::min(size - newest.records_begin, kTornTailLimit);
            if (!ReadAt(file, size - window, tail, static_cast<std::size_t>(window))) return false;
            // The last line end at an even offset of the file.
            const std::string_view end(kUtf16LineEnd, sizeof kUtf16LineEnd);
            std::size_t at = tail.rfind(end);
            while (at != std::string::npos && (size - window + at) % 2 != 0) {
                at = at == 0 ? std::string::npos : tail.rfind(end, at - 1);
            }
            if (at != std::string::npos) {
                keep = size - window + at + end.size();
            } else if (window == size - newest.records_begin) {
                keep = newest.records_begin;  // the first record was cut short
            } else {
                // Longer than any torn record: ended, not dropped.
                if (size % 2 != 0) ending.push_back('\0');
                ending.append(end);
            }
        } else {
            if (!ReadAt(file, size - 1, tail, 1)) return false;
            if (tail[0] != '\n') ending = "\n";
        }
    }
    // A file that holds no record yet (a kill between its opening lines, or right behind them)
    // starts again from its top, so that its opening lines come once and whole.
    if (!newest.footer && keep <= newest.records_begin) keep = 0;
    if (keep < size) {
        if (!os::SetFilePointerEx(file, static_cast<std::int64_t>(keep), nullptr, os::FILE_BEGIN) ||
            !os::SetEndOfFile(file)) {
            return false;
        }
        size = keep;
    }
    std::int64_t end = 0;
    if (!os::SetFilePointerEx(file, 0, &end, os::FILE_END)) return false;
    if (!ending.empty() && static_cast<std::uint64_t>(end) + ending.size() <= limit) {
        if (!Append(file, ending.data(), static_cast<os::DWORD>(ending.size()))) return false;
        end += static_cast<std::int64_t>(ending.size());
    }
    size = static_cast<std::uint64_t>(end);
    return true;
}

}  // namespace detail
}  // namespace scrivlet
