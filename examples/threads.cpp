// A multi-threaded host: four worker threads share one TQCLogFileM_1 and write their records
// into a ring of small files, while the main thread reads the current path now and then with
// CopyFolderFileName. At the end the host shuts down in the safe order: the workers are joined
// first, and only then does one thread call Exit, which writes the last footer and disposes of
// the mutex. It lists the files it made.
//
// Usage: example_threads [folder]   (default: threads-demo\logs, relative to the current
// directory)
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "scrivlet/scrivlet.h"

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;

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

void Report(const char* what, const Info& info) {
    std::fprintf(stderr, "%s failed: module %u, location %u, type %u, error %u, value %u\n", what,
                 info.uiModule, info.uiLocation, info.uiErrorType, info.uiError, info.uiValue);
}

// One record as UTF-16LE text ending in CR LF, like the library's own lines.
std::string Record(unsigned worker, unsigned number) {
    char text[64];
    std::snprintf(text, sizeof text, "worker %u, record %u\r\n", worker, number);
    std::string bytes;
    for (const char* c = text; *c != '\0'; ++c) {
        bytes += *c;
        bytes += '\0';
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "threads-demo\\logs";

    TQCLogFileM_1 log;
    TQCLogFile_1::tagInitData_1 config = {};
    config.bCounter = true;
    config.uiFileCount = 4;
    config.uiFileSize = 2048;
    SetText(config.szFileName, "threads");
    SetText(config.szFolder, folder);
    SetText(config.szHeader, "Threads demo");
    SetText(config.szFooter, "End of file");

    // Init and the first Switch run before any other thread uses the object.
    Info info = {};
    if (!log.Init(&config, &info) || !log.Switch(true, &info)) {
        Report("start", info);
        return 1;
    }

    const unsigned kWorkers = 4, kRecords = 60;
    std::atomic<unsigned> failures{0};
    std::vector<std::thread> workers;
    for (unsigned w = 1; w <= kWorkers; ++w) {
        workers.emplace_back([&log, &failures, w] {
            for (unsigned n = 1; n <= kRecords; ++n) {
                const std::string record = Record(w, n);
                Info writeInfo = {};  // each thread its own error record
                if (!log.Write(record.data(), static_cast<unsigned>(record.size()), &writeInfo)) {
                    Report("Write", writeInfo);
                    ++failures;
                }
            }
        });
    }

    // While the workers rotate from file to file, a stable copy of the path is read under the
    // lock; the pointer that GetFolderFileName hands out could change while it is being read.
    for (int i = 0; i < 3; ++i) {
        TQ_WCHAR path[260];
        Info pathInfo = {};
        if (log.CopyFolderFileName(path, &pathInfo)) {
            std::printf("writing to %s\n", Ascii(path).c_str());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }

    // Safe shutdown: no thread may be inside the object when Exit disposes of its mutex.
    for (std::thread& worker : workers) worker.join();
    TQ_WCHAR last[260];
    if (!log.CopyFolderFileName(last, &info)) Report("CopyFolderFileName", info);
    if (!log.Exit(&info)) {
        Report("Exit", info);
        return 1;
    }
    std::printf("%u records from %u threads, %u failed; last file %s\n", kWorkers * kRecords,
                kWorkers, failures.load(), Ascii(last).c_str());

    std::string native = folder;
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(native, error)) {
        std::printf("  %s  %ju bytes\n", entry.path().filename().string().c_str(),
                    static_cast<std::uintmax_t>(entry.file_size()));
    }
    return failures == 0 ? 0 : 1;
}
