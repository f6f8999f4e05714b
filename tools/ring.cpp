// The ring options and their translation for the library and for the disk (see ring.h).
#include "ring.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>

#include "utf.h"

namespace scrivlet_tool {
namespace {

// Copies text into a fixed array. A text that does not fit is copied without a terminating zero,
// which the library refuses as too long; the true length comes back for the report.
template <std::size_t N>
std::size_t CopyText(const std::u16string& text, TQ_WCHAR (&target)[N]) {
    const std::size_t copied = text.size() < N ? text.size() : N;
    for (std::size_t i = 0; i < copied; ++i) target[i] = static_cast<TQ_WCHAR>(text[i]);
    if (copied < N) target[copied] = 0;
    return text.size();
}

std::u16string Wide(const std::string& text) {
    std::u16string out;
    Utf8ToUtf16(text.data(), text.size(), out);
    return out;
}

}  // namespace

void AddRingOptions(CLI::App& command, RingOptions& ring) {
    command
        .add_option("-d,--folder", ring.folder,
                    "Folder of the ring's files (created as needed); '/' separates directories. "
                    "Default: the current directory")
        ->group("Ring");
    command
        .add_option("-n,--name", ring.name,
                    "Base file name: files are <name>_0001.log and on; cut at its first '.'")
        ->capture_default_str()
        ->group("Ring");
    command.add_option("-c,--count", ring.count, "Number of files in the ring (1 to 9999)")
        ->capture_default_str()
        ->group("Ring");
    command
        .add_option("-s,--size", ring.size, "Largest size of one file in bytes (688 to 104857600)")
        ->capture_default_str()
        ->group("Ring");
    command
        .add_option("--header", ring.header,
                    "Header text at the top of each file (at most 63 characters)")
        ->group("Ring")
        ->each([&ring](const std::string&) { ring.headerGiven = true; });
    command
        .add_option("--footer", ring.footer,
                    "Footer text that closes each file (at most 63 characters)")
        ->group("Ring")
        ->each([&ring](const std::string&) { ring.footerGiven = true; });
    command.add_flag("--counter", ring.counter, "A counter line opens each file")->group("Ring");
}

std::u16string LibraryFolder(const RingOptions& ring) {
    std::u16string folder = Wide(ring.folder);
    for (char16_t& c : folder) {
        if (c == u'/') c = u'\\';
    }
    return folder;
}

bool InitRing(TQCLogFile_1& log, const RingOptions& ring, TQCLogFile_1::tagInfoData_1& info) {
    TQCLogFile_1::tagInitData_1 data;
    std::memset(&data, 0, sizeof data);
    data.bCounter = ring.counter;
    data.uiFileCount = ring.count;
    data.uiFileSize = ring.size;
    const std::size_t name = CopyText(Wide(ring.name), data.szFileName);
    const std::size_t folder = CopyText(LibraryFolder(ring), data.szFolder);
    const std::size_t footer = CopyText(Wide(ring.footer), data.szFooter);
    const std::size_t header = CopyText(Wide(ring.header), data.szHeader);
    info = TQCLogFile_1::tagInfoData_1();
    if (log.Init(&data, &info)) return true;
    if (info.uiModule == TQCLogFile_1::MODULE_LOGFILE &&
        info.uiError == TQCLogFile_1::REASON_TOO_LONG) {
        const std::size_t lengths[] = {name, folder, footer, header};  // locations 5 to 8
        if (info.uiLocation >= 5 && info.uiLocation <= 8) {
            info.uiValue = static_cast<unsigned int>(lengths[info.uiLocation - 5]);
        }
    }
    return false;
}

std::string StoredName(const RingOptions& ring) {
    if (ring.name.empty()) return "LogFile_1";  // an empty name keeps the library's own
    return ring.name.substr(0, ring.name.find('.'));
}

std::string RingDirectory(const RingOptions& ring) {
    std::string directory = ring.folder;
    for (char& c : directory) {
        if (c == '\\') c = '/';
    }
    return directory.empty() ? "." : directory;
}

std::string RingFilePath(const RingOptions& ring, unsigned int n) {
    char number[16];
    std::snprintf(number, sizeof number, "_%04u.log", n);
    return RingDirectory(ring) + "/" + StoredName(ring) + number;
}

std::string DiskPath(const TQ_WCHAR* path) {
    std::string bytes;
    for (std::size_t i = 0; path[i] != 0; ++i) {
        const char16_t unit = path[i] == u'\\' ? u'/' : static_cast<char16_t>(path[i]);
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return Utf16LeToUtf8(bytes.data(), bytes.size());
}

}  // namespace scrivlet_tool
