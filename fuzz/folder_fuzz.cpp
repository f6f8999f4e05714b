// CheckCreateFolder_1 with arbitrary UTF-16 paths, confined to a scratch directory.
//
// The target makes a fresh scratch directory its current directory for each input (and goes
// back afterwards), holding one directory "dir" and one file "file", and rejects inputs that could
// reach outside it: a path that starts with a separator (absolute, or a root-relative or UNC path
// on Windows), any ".." component, and a drive prefix at the start ("C:"; on POSIX that is an
// ordinary directory name, but the same corpus must stay harmless on Windows). Both '\' and '/'
// count as separators for this test, because the file system here splits at '/' although the
// function does not.
//
// After each call: the result is one of the seven codes; results 1, 2 and 3 created nothing and
// 3 reports the length; result 0 means that the whole path (without trailing backslashes)
// exists, as the platform layer's query finds it; results 4, 5 and 6 carry a value only where
// they report a platform code.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "check.h"
#include "platform/platform.h"
#include "scrivlet/folder.h"

namespace fs = std::filesystem;

namespace {

bool IsSeparator(TQ_WCHAR c) { return c == '\\' || c == '/'; }

// Whether the path stays inside the current directory whatever the file system makes of it.
bool Confined(const TQ_WCHAR* path, std::size_t length) {
    if ((length > 0 && IsSeparator(path[0])) || (length > 1 && path[1] == ':')) return false;
    for (std::size_t i = 0, start = 0; i <= length; ++i) {
        if (i == length || IsSeparator(path[i])) {
            if (i - start == 2 && path[start] == '.' && path[start + 1] == '.') return false;
            start = i + 1;
        }
    }
    return true;
}

// The scratch directory: in memory (/dev/shm) where there is one, since every input creates
// and removes a few directories; removed when the fuzzer ends.
const fs::path& Scratch() {
    static const fs::path path = [] {
        std::string pattern = (fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") +
                              std::string("/scrivlet-fuzz-folder-XXXXXX");
        FUZZ_CHECK(mkdtemp(&pattern[0]) != nullptr);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(Scratch(), ignored);
        });
        return fs::path(pattern);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The path: the input's 16-bit units up to the first zero (at most 260), in a heap block of
    // exactly that many units and the terminating zero.
    const std::size_t units = size / 2 < 260 ? size / 2 : 260;
    std::unique_ptr<TQ_WCHAR[]> path(new TQ_WCHAR[units + 1]);
    std::size_t length = 0;
    for (; length < units; ++length) {
        path[length] = static_cast<TQ_WCHAR>(data[2 * length] | (data[2 * length + 1] << 8));
        if (path[length] == 0) break;
    }
    path[length] = 0;
    if (!Confined(path.get(), length)) return -1;

    // The fuzzer reads and writes its corpus relative to the directory it started in: go back
    // there after each input.
    static const fs::path home = fs::current_path();
    std::error_code ignored;
    fs::remove_all(Scratch(), ignored);
    FUZZ_CHECK(fs::create_directory(Scratch()) && chdir(Scratch().c_str()) == 0);
    FUZZ_CHECK(fs::create_directory("dir") && std::ofstream("file").good());
    const auto entries = [] { return std::distance(fs::recursive_directory_iterator("."), {}); };
    const auto before = entries();

    unsigned value = 0xDEADBEEF;
    const int result = TQ_Folder::CheckCreateFolder_1(path.get(), value);
    std::size_t trimmed = length;
    while (trimmed > 0 && path[trimmed - 1] == '\\') --trimmed;
    path[trimmed] = 0;
    const bool unchanged = entries() == before, fits = length > 0 && length <= 195;
    // What each result promises, by result code.
    const bool kept[] = {
        fits && value == 0 &&
            scrivlet::os::GetFileAttributesW(path.get()) != scrivlet::os::INVALID_FILE_ATTRIBUTES,
        length == 0 && value == 0 && unchanged,
        length > 0 && trimmed == 0 && value == 0 && unchanged,
        length > 195 && value == length && unchanged,
        fits && value == 0,
        fits && value != 0,
        fits && value != 0,
    };
    FUZZ_CHECK(result >= 0 && result <= 6 && kept[result]);
    FUZZ_CHECK(chdir(home.c_str()) == 0);
    return 0;
}
