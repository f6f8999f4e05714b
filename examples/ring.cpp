// A complete single-threaded host: it configures a ring of three small log files with a counter,
// header and footer line, writes a few hundred text records so that the ring fills, moves on
// from file to file and wraps round, switches off, and lists the files it made.
//
// Usage: example_ring [folder]   (default: ring-demo\logs, relative to the current directory)
//
// The records are UTF-16LE text lines ending in CR LF, like the library's own lines, so every
// file is uniform text that an editor opens as UTF-16.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "scrivlet/scrivlet.h"

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;

// Copies ASCII text into one of the fixed text fields of a configuration record.
template <unsigned N>
void SetText(TQ_WCHAR (&field)[N], const std::string& text) {
    unsigned i = 0;
    for (; i + 1 < N && i < text.size(); ++i) field[i] = static_cast<TQ_WCHAR>(text[i]);
    field[i] = 0;
}

std::string Ascii(const TQ_WCHAR* text) {
    std::string out;
    for (; *text != 0; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

// Stops the program with the failure the library recorded.
int Fail(const char* what, const Info& info) {
    std::fprintf(stderr, "%s failed: module %u, location %u, type %u, error %u, value %u\n", what,
                 info.uiModule, info.uiLocation, info.uiErrorType, info.uiError, info.uiValue);
    return 1;
}

// One record: a time stamp and a line of text, as UTF-16LE bytes ending in CR LF. The library
// writes a record's bytes exactly as given, so the host chooses their encoding.
std::string Record(unsigned number, unsigned total) {
    TQ_WCHAR stamp[25];
    TQ_DateTime::DateTimeSpaceToString_1(TQ_DateTime::GetLocalDateTime_1(), stamp);
    char text[80];
    std::snprintf(text, sizeof text, "record %u of %u: pump pressure %u.%u bar\r\n", number, total,
                  3 + number % 4, number % 10);
    const std::string line = Ascii(stamp) + text;
    std::string bytes;
    for (char c : line) {
        bytes += c;  // low byte first
        bytes += '\0';
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "ring-demo\\logs";

    // 1. Configure. The ring holds 3 files of at most 4 KiB each, however much the host writes
    //    (a file can end 2 bytes over when its counter line has just gained a digit).
    TQCLogFile_1 log;
    TQCLogFile_1::tagInitData_1 config = {};
    config.bCounter = true;    // first line of each file: "<stamp> <counter> 1 1"
    config.uiFileCount = 3;    // demo_0001.log, demo_0002.log, demo_0003.log, then 0001 again
    config.uiFileSize = 4096;  // bytes per file, the library's own lines included
    SetText(config.szFileName, "demo");              // anything from the first '.' on is dropped
    SetText(config.szFolder, folder);                // directories are separated by backslashes
    SetText(config.szHeader, "Scrivlet ring demo");  // second line: "<stamp> <header> 1 2"
    SetText(config.szFooter, "End of file");         // last line: "<stamp> <footer> 1 3"

    // Every call that can fail fills this record. It keeps the first failure until cleared.
    Info info = {};
    if (!log.Init(&config, &info)) return Fail("Init", info);

    // 2. Switch on: creates the folder path and the first file with its counter and header lines.
    if (!log.Switch(true, &info)) return Fail("Switch on", info);

    // 3. Write. A record that would leave no room for the footer closes the current file (with
    //    its footer) and opens the next one of the ring first; the host sees none of it except
    //    the changing file name.
    const unsigned total = 300;
    unsigned long long bytes = 0;
    unsigned changes = 0;
    TQCLogFile_1::tagChangeData_1 state = {};
    log.GetFolderFileName(&state, &info);
    std::string current = Ascii(state.pszFolderFileName);
    std::printf("writing to %s\n", current.c_str());
    for (unsigned n = 1; n <= total; ++n) {
        const std::string record = Record(n, total);
        const unsigned size = static_cast<unsigned>(record.size());
        if (!log.Write(record.data(), size, &info)) return Fail("Write", info);
        bytes += size;
        // The pointer stays valid while the object lives; the text changes at each new file.
        log.GetFolderFileName(&state, &info);
        if (Ascii(state.pszFolderFileName) != current) {
            current = Ascii(state.pszFolderFileName);
            ++changes;
            std::printf("record %3u moved on to %s\n", n, current.c_str());
        }
    }

    // 4. Switch off: writes the footer and closes the file. Switch(true) would continue the
    //    ring with the next file.
    if (!log.Switch(false, &info)) return Fail("Switch off", info);
    log.GetData(&state, &info);
    std::printf("switched %s\n", state.bSwitchedOn ? "on" : "off");

    // 5. What is on disk now: at most three files, the oldest ones replaced.
    std::string native = folder;
    for (char& c : native) c = c == '\\' ? '/' : c;
    std::map<std::string, std::uintmax_t> files;  // sorted by name
    for (const auto& entry : std::filesystem::directory_iterator(native)) {
        files[entry.path().filename().string()] = entry.file_size();
    }
    std::printf("files in %s:\n", folder.c_str());
    for (const auto& file : files) {
        std::printf("  %s  %ju bytes\n", file.first.c_str(), file.second);
    }
    std::printf("%u records, %llu bytes of records, %u file changes, ring of %u files\n", total,
                bytes, changes, config.uiFileCount);
    return 0;
}
