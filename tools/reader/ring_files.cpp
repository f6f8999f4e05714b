// Finding, reading and ordering the files of a ring (see ring_files.h).
#include "ring_files.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "scrivlet/format.h"
#include "scrivlet/host.h"
#include "scrivlet/logfile.h"

namespace scrivlet::tool {
namespace {

// The largest file a ring can hold: the largest file size, and a counter line of the greatest
// length by which a file may pass it.
const std::uint64_t kLargestRingFile = std::uint64_t{TQCLogFile_1::FILESIZE_MAX} +
                                       format::kBytesPerChar * format::kCounterLineMaxLength;

// What follows the base name of file number n.
std::string NumberSuffix(unsigned int n) {
    char suffix[32];
    const int length = std::snprintf(suffix, sizeof suffix, SCRIVLET_FILE_NUMBER_FORMAT, n);
    return length > 0 ? std::string(suffix, static_cast<std::size_t>(length)) : "";
}

// The file number in a file name that ends in a number suffix, and the length of that suffix.
bool SplitNumber(const std::string& file_name, unsigned int& number, std::size_t& suffix_length) {
    const std::size_t last = file_name.find_last_of("0123456789");
    if (last == std::string::npos) return false;
    std::size_t first = last;
    while (first > 0 && file_name[first - 1] >= '0' && file_name[first - 1] <= '9') --first;
    if (last + 1 - first > 9) return false;
    number = static_cast<unsigned int>(std::stoul(file_name.substr(first, last + 1 - first)));
    if (number < TQCLogFile_1::FILECOUNT_MIN || number > TQCLogFile_1::FILECOUNT_MAX) return false;
    const std::string suffix = NumberSuffix(number);
    if (file_name.size() < suffix.size() ||
        file_name.compare(file_name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    suffix_length = suffix.size();
    return true;
}

// Why something that is not a regular file cannot be read as a ring file.
std::string KindProblem(const host::Status& status) {
    switch (status.kind) {
        case host::Kind::kDirectory:
            return "a directory";
        case host::Kind::kFifo:
            return "a FIFO";
        case host::Kind::kCharacterDevice:
            return "a character device";
        case host::Kind::kBlockDevice:
            return "a block device";
        case host::Kind::kSocket:
            return "a socket";
        case host::Kind::kLinkLoop:
            return "a loop of symbolic links";
        case host::Kind::kBrokenLink:
            return "a symbolic link to nothing";
        case host::Kind::kUnknown:
            return "cannot be examined: " + status.error;
        default:
            return "not a regular file";
    }
}

}  // namespace

RingPlace PlaceOf(const std::string& folder, const std::string& name) {
    RingPlace place;
    place.directory = folder.empty() ? "." : folder;
    std::replace(place.directory.begin(), place.directory.end(), SCRIVLET_FOLDER_SEPARATOR[0], '/');
    // An empty name keeps the library's own; any other is cut at its end mark.
    place.name = name.empty() ? SCRIVLET_DEFAULT_NAME : name.substr(0, name.find(format::kNameEnd));
    return place;
}

std::string FileName(const RingPlace& place, unsigned int n) {
    return place.name + NumberSuffix(n);
}

unsigned int FileNumber(const RingPlace& place, const std::string& file_name) {
    unsigned int number = 0;
    std::size_t suffix = 0;
    if (!SplitNumber(file_name, number, suffix)) return 0;
    return file_name.size() == place.name.size() + suffix &&
                   file_name.compare(0, place.name.size(), place.name) == 0
               ? number
               : 0;
}

std::string FilePath(const RingPlace& place, unsigned int n) {
    return place.directory + "/" + FileName(place, n);
}

std::string NumberText(unsigned int n) {
    const std::string suffix = NumberSuffix(n);
    const std::size_t first = suffix.find_first_of("0123456789");
    const std::size_t last = suffix.find_last_of("0123456789");
    return first == std::string::npos ? std::to_string(n) : suffix.substr(first, last + 1 - first);
}

std::string NamePattern(const RingPlace& place) {
    std::string pattern = FilePath(place, TQCLogFile_1::FILECOUNT_MAX);
    const std::size_t digits = pattern.size() - NumberSuffix(TQCLogFile_1::FILECOUNT_MAX).size();
    for (std::size_t i = digits; i < pattern.size(); ++i) {
        if (pattern[i] >= '0' && pattern[i] <= '9') pattern[i] = 'N';
    }
    return pattern;
}

FileState StatFile(const std::string& path) {
    FileState state;
    const host::Status status = host::Examine(path);
    if (status.kind == host::Kind::kMissing) return state;
    state.exists = true;
    state.size = status.size;
    state.mtime = status.mtime;
    state.inode = status.inode;
    state.device = status.device;
    if (status.kind != host::Kind::kRegular) {
        state.problem = KindProblem(status);
    } else if (state.size > kLargestRingFile) {
        state.problem = "larger than any file of a ring (" + std::to_string(state.size) + " bytes)";
    }
    return state;
}

bool FileReader::Open(const std::string& path, const FileState& state, std::string& problem) {
    if (!state.readable()) {
        problem = state.exists ? state.problem : "missing";
        return false;
    }
    // Without blocking: a FIFO put in the file's place since it was examined opens at once.
    bool regular = false;
    std::string error;
    if (!file_.Open(path, regular, error)) {
        problem = "cannot be read: " + error;
        return false;
    }
    if (!regular) {
        problem = "replaced by something other than a regular file";
        return false;
    }
    return true;
}

std::string FileReader::Read(std::uint64_t begin, std::uint64_t end) const {
    std::string bytes;
    if (!file_.is_open() || end <= begin) return bytes;
    bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(end - begin, kLargestRingFile)));
    bytes.resize(file_.ReadAt(begin, bytes.data(), bytes.size()));
    return bytes;
}

bool ReadLayout(const std::string& path, const LayoutHints& hints, FileState& state,
                FileLayout& layout) {
    state = StatFile(path);
    FileReader reader;
    if (!reader.Open(path, state, state.problem)) return false;
    // A file that changes size while it is read is examined again; one that keeps changing is
    // taken as empty for now.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::uint64_t window = std::min<std::uint64_t>(state.size, kLayoutWindow);
        const std::string head = reader.Read(0, window);
        const std::string tail = reader.Read(state.size - window, state.size);
        if (head.size() == window && tail.size() == window) {
            layout = ParseLayout(head, tail, state.size, hints);
            return true;
        }
        const FileState now = StatFile(path);
        if (!now.readable()) break;
        state = now;
    }
    layout = FileLayout();
    return true;
}

std::vector<RingFile> FindRingFiles(const RingPlace& place, const LayoutHints& hints) {
    std::vector<RingFile> files;
    std::vector<std::string> names;
    std::string error;
    if (!host::ListFolder(place.directory, names, error)) return files;
    for (const std::string& name : names) {
        const unsigned int number = FileNumber(place, name);
        if (number == 0) continue;
        RingFile file;
        file.number = number;
        file.path = FilePath(place, number);
        ReadLayout(file.path, hints, file.state, file.layout);
        if (file.state.exists) files.push_back(file);
    }
    std::sort(files.begin(), files.end(),
              [](const RingFile& a, const RingFile& b) { return a.number < b.number; });
    return files;
}

OrderKey OrderRingFiles(std::vector<RingFile>& files) {
    std::vector<RingFile> readable;
    for (RingFile& file : files) {
        if (file.state.readable()) readable.push_back(file);
    }
    std::vector<FileFacts> facts;
    for (const RingFile& file : readable) {
        FileFacts fact;
        fact.number = file.number;
        fact.size = file.state.size;
        fact.mtime = file.state.mtime;
        fact.counter = file.layout.counter.present;
        fact.counter_value = file.layout.counter_value;
        fact.first_stamp = file.layout.FirstStamp();
        facts.push_back(fact);
    }
    std::vector<std::size_t> order;
    const OrderKey key = OrderOldestFirst(facts, order);
    files.clear();
    for (std::size_t i : order) files.push_back(readable[i]);
    return key;
}

std::string DescribeAbsence(const RingPlace& place) {
    const std::string looked_for = "no file " + NamePattern(place);
    const host::Kind kind = host::Examine(place.directory).kind;
    if (kind == host::Kind::kMissing || kind == host::Kind::kLinkLoop ||
        kind == host::Kind::kBrokenLink || kind == host::Kind::kUnknown) {
        return looked_for + ": the folder " + place.directory + " does not exist";
    }
    if (kind != host::Kind::kDirectory) {
        return looked_for + ": " + place.directory + " is not a folder";
    }
    std::vector<std::string> names;
    std::string error;
    if (!host::ListFolder(place.directory, names, error)) {
        return looked_for + ": the folder cannot be read: " + error;
    }
    // Rings of other names (base name: numbers), and the other entries.
    std::map<std::string, std::vector<unsigned int>> rings;
    std::vector<std::string> others;
    for (const std::string& name : names) {
        unsigned int number = 0;
        std::size_t suffix = 0;
        if (SplitNumber(name, number, suffix)) {
            rings[name.substr(0, name.size() - suffix)].push_back(number);
        } else {
            others.push_back(name);
        }
    }
    std::string text = looked_for;
    if (rings.empty() && others.empty()) return text + ": the folder is empty";
    for (auto& [name, numbers] : rings) {
        std::sort(numbers.begin(), numbers.end());
        const RingPlace other{place.directory, name};
        text += "\n  found instead: " + FileName(other, numbers.front());
        if (numbers.size() > 1) text += " to " + FileName(other, numbers.back());
        text += " (" + std::to_string(numbers.size()) + " file(s): --name " +
                (name.empty() ? std::string(1, format::kNameEnd) : name) + ")";
    }
    if (!others.empty()) {
        std::sort(others.begin(), others.end());
        text += "\n  and " + std::to_string(others.size()) + " other entr" +
                (others.size() == 1 ? "y" : "ies") + ":";
        for (std::size_t i = 0; i < others.size() && i < 5; ++i) text += " " + others[i];
        if (others.size() > 5) text += " ...";
    }
    return text;
}

}  // namespace scrivlet::tool
