// Finding, reading and ordering the files of a ring (see ring_files.h).
#include "ring_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

namespace scrivlet_tool {
namespace {

bool OlderByStamp(const RingFile& a, const RingFile& b) {
    const std::string& sa = a.layout.FirstStamp();
    const std::string& sb = b.layout.FirstStamp();
    if (sa != sb) return sa < sb;
    if (a.state.mtime != b.state.mtime) return a.state.mtime < b.state.mtime;
    return a.number < b.number;
}

bool OlderByModified(const RingFile& a, const RingFile& b) {
    if (a.state.mtime != b.state.mtime) return a.state.mtime < b.state.mtime;
    return a.number < b.number;
}

// Counter order: runs of counters that follow each other, the runs ordered by first stamp.
void OrderByCounter(std::vector<RingFile>& files) {
    std::sort(files.begin(), files.end(), [](const RingFile& a, const RingFile& b) {
        if (a.layout.counterValue != b.layout.counterValue) {
            return a.layout.counterValue < b.layout.counterValue;
        }
        return OlderByStamp(a, b);
    });
    std::vector<std::vector<RingFile>> runs;
    for (RingFile& file : files) {
        if (runs.empty() ||
            NextCounter(runs.back().back().layout.counterValue) != file.layout.counterValue) {
            runs.emplace_back();
        }
        runs.back().push_back(file);
    }
    // The counter's wrap: a run ending at 4294967295 goes on with the run that starts at 1.
    if (runs.size() > 1 && runs.back().back().layout.counterValue == 0xFFFFFFFFu &&
        runs.front().front().layout.counterValue == 1) {
        runs.back().insert(runs.back().end(), runs.front().begin(), runs.front().end());
        runs.erase(runs.begin());
    }
    std::stable_sort(runs.begin(), runs.end(),
                     [](const std::vector<RingFile>& a, const std::vector<RingFile>& b) {
                         return OlderByStamp(a.front(), b.front());
                     });
    files.clear();
    for (const std::vector<RingFile>& run : runs) files.insert(files.end(), run.begin(), run.end());
}

}  // namespace

std::uint32_t NextCounter(std::uint32_t value) { return value == 0xFFFFFFFFu ? 1 : value + 1; }

const char* OrderKeyName(OrderKey key) {
    switch (key) {
        case OrderKey::kCounter:
            return "counter";
        case OrderKey::kStamp:
            return "first time stamp";
        default:
            return "modification time";
    }
}

FileState StatFile(const std::string& path) {
    FileState state;
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return state;
    state.exists = true;
    state.size = static_cast<std::uint64_t>(info.st_size);
    state.mtime = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                  static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    state.inode = static_cast<std::uint64_t>(info.st_ino);
    state.device = static_cast<std::uint64_t>(info.st_dev);
    return state;
}

LayoutHints HintsFor(const RingOptions& ring) {
    LayoutHints hints;
    hints.headerGiven = ring.headerGiven;
    hints.header = ring.header;
    hints.footerGiven = ring.footerGiven;
    hints.footer = ring.footer;
    return hints;
}

bool ReadLayout(const std::string& path, const LayoutHints& hints, FileState& state,
                FileLayout& layout) {
    std::ifstream in(path, std::ios::binary);
    state = StatFile(path);
    if (!in || !state.exists) return false;
    const std::uint64_t size = state.size;
    const std::size_t window =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kLayoutWindow));
    std::string head(window, '\0');
    std::string tail(window, '\0');
    in.read(&head[0], static_cast<std::streamsize>(window));
    head.resize(static_cast<std::size_t>(in.gcount()));
    in.clear();
    in.seekg(static_cast<std::streamoff>(size - window));
    in.read(&tail[0], static_cast<std::streamsize>(window));
    tail.resize(static_cast<std::size_t>(in.gcount()));
    layout = ParseLayout(head, tail, size, hints);
    return true;
}

std::vector<RingFile> FindRingFiles(const RingOptions& ring, const LayoutHints& hints) {
    std::vector<RingFile> files;
    const std::string directory = RingDirectory(ring);
    const std::string prefix = StoredName(ring) + "_";
    DIR* folder = opendir(directory.c_str());
    if (folder == nullptr) return files;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(prefix.size() + 4, 4, ".log") != 0) {
            continue;
        }
        unsigned int number = 0;
        bool digits = true;
        for (std::size_t i = prefix.size(); i < prefix.size() + 4; ++i) {
            if (name[i] < '0' || name[i] > '9') digits = false;
            number = number * 10 + static_cast<unsigned int>(name[i] - '0');
        }
        if (!digits || number == 0) continue;
        RingFile file;
        file.number = number;
        file.path = RingFilePath(ring, number);
        if (ReadLayout(file.path, hints, file.state, file.layout)) files.push_back(file);
    }
    closedir(folder);
    std::sort(files.begin(), files.end(),
              [](const RingFile& a, const RingFile& b) { return a.number < b.number; });
    return files;
}

OrderKey OrderRingFiles(std::vector<RingFile>& files) {
    std::vector<RingFile> empty;
    std::vector<RingFile> filled;
    for (RingFile& file : files) (file.state.size == 0 ? empty : filled).push_back(file);
    std::sort(empty.begin(), empty.end(), OlderByModified);

    bool allCounters = true;
    bool allStamps = true;
    for (const RingFile& file : filled) {
        allCounters = allCounters && file.layout.counter.present;
        allStamps = allStamps && !file.layout.FirstStamp().empty();
    }
    OrderKey key = OrderKey::kModified;
    if (allCounters) {
        key = OrderKey::kCounter;
        OrderByCounter(filled);
    } else if (allStamps) {
        key = OrderKey::kStamp;
        std::sort(filled.begin(), filled.end(), OlderByStamp);
    } else {
        std::sort(filled.begin(), filled.end(), OlderByModified);
    }
    files = filled;
    files.insert(files.end(), empty.begin(), empty.end());
    return key;
}

}  // namespace scrivlet_tool
