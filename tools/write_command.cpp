// `scrivlet write`: standard input into a ring, one record per line.
//
// Text records are the line as UTF-16LE ending in CR LF (ill-formed UTF-8 becomes U+FFFD); raw
// records are the line's bytes as read, newline kept. A line longer than the largest record a
// file can hold is written as several records that each fit. SIGINT and SIGTERM, and the end of
// the input, close the ring with its footer.
#include <poll.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <utility>

#include "commands.h"
#include "describe.h"
#include "signals.h"
#include "utf.h"

namespace scrivlet_tool {
namespace {

using Info = TQCLogFile_1::tagInfoData_1;
using Clock = std::chrono::steady_clock;

void Report(const char* doing, const Info& info) {
    std::cerr << "scrivlet write: " << doing << " failed\n" << DescribeFailure(info) << "\n";
}

// Counts what went into the ring and shows it on a terminal.
class Progress {
  public:
    explicit Progress(std::string root)
        : m_root(std::move(root)),
          m_shown(isatty(STDERR_FILENO) == 1),
          m_start(Clock::now()),
          m_last(m_start) {}

    void Add(std::size_t bytes) {
        ++m_records;
        m_bytes += bytes;
    }

    void Show(TQCLogFile_1& log, bool final) {
        if (!m_shown) return;
        const Clock::time_point now = Clock::now();
        if (!final && (now - m_start < std::chrono::milliseconds(500) ||
                       now - m_last < std::chrono::milliseconds(200))) {
            return;
        }
        if (final && !m_drawn) return;
        m_last = now;
        m_drawn = true;
        TQCLogFile_1::tagChangeData_1 change = {false, nullptr};
        Info info = Info();
        std::string file = "-";
        if (log.GetFolderFileName(&change, &info) && change.pszFolderFileName != nullptr) {
            file = m_root + DiskPath(change.pszFolderFileName);
        }
        std::fprintf(stderr, "\r\033[K%llu records, %llu bytes, file %s%s", m_records, m_bytes,
                     file.c_str(), final ? "\n" : "");
        std::fflush(stderr);
    }

  private:
    std::string m_root;
    bool m_shown;
    bool m_drawn = false;
    Clock::time_point m_start, m_last;
    unsigned long long m_records = 0, m_bytes = 0;
};

class RingWriter {
  public:
    RingWriter(TQCLogFile_1& log, const WriteOptions& options, const std::string& root)
        : m_log(log), m_raw(options.raw), m_counter(options.ring.counter), m_progress(root) {}

    // Writes one line (without its newline in text mode) as one record, or as several when it is
    // longer than a file holds.
    bool WriteLine(const std::string& line) {
        const std::string* record = &line;
        if (!m_raw) {
            m_wide.clear();
            std::size_t size = line.size();
            if (size > 0 && line[size - 1] == '\n') --size;
            if (size > 0 && line[size - 1] == '\r') --size;
            Utf8ToUtf16(line.data(), size, m_wide);
            m_wide += u"\r\n";
            m_bytes.clear();
            AppendUtf16Le(m_wide, m_bytes);
            record = &m_bytes;
        }
        return WriteRecord(*record);
    }

    Progress& progress() { return m_progress; }

  private:
    bool WriteRecord(const std::string& record) {
        std::size_t offset = 0;
        std::size_t chunk = record.size();
        while (offset < record.size()) {
            std::size_t n = std::min(chunk, record.size() - offset);
            if (!m_raw && n < record.size() - offset) {
                n &= ~static_cast<std::size_t>(1);  // whole UTF-16 code units
                const unsigned char high = static_cast<unsigned char>(record[offset + n - 1]);
                if (high >= 0xD8 && high <= 0xDB) n -= 2;  // keep a surrogate pair together
            }
            Info info = Info();
            if (m_log.Write(record.data() + offset, static_cast<unsigned int>(n), &info)) {
                offset += n;
                m_progress.Add(n);
                continue;
            }
            if (info.uiModule == TQCLogFile_1::MODULE_LOGFILE && info.uiLocation == 17 &&
                info.uiError == TQCLogFile_1::REASON_NO_ROOM && info.uiValue >= 8) {
                // A counter line may grow by one character (two bytes) at the next file.
                chunk = info.uiValue - (m_counter ? 2 : 0);
                if (!m_splitSaid) {
                    std::cerr << "scrivlet write: a line of " << record.size()
                              << " bytes is longer than the largest record a file holds ("
                              << info.uiValue
                              << " bytes); such lines are written as several records\n";
                    m_splitSaid = true;
                }
                continue;
            }
            Report("writing a record", info);
            return false;
        }
        return true;
    }

    TQCLogFile_1& m_log;
    bool m_raw;
    bool m_counter;
    bool m_splitSaid = false;
    std::u16string m_wide;
    std::string m_bytes;
    Progress m_progress;
};

// Reads standard input into lines; false at the end of the input, on a read error or on a stop
// signal (with whatever was read so far still in pending).
enum class ReadResult { kData, kEnd, kStopped, kError };

ReadResult ReadSome(std::string& pending) {
    char buffer[65536];
    for (;;) {
        if (StopSignal() != 0) return ReadResult::kStopped;
        // Wait with a time-out, so that a signal that comes just before the read is seen soon.
        struct pollfd input = {STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, 1, 200);
        if (ready < 0 && errno != EINTR) return ReadResult::kError;
        if (ready <= 0) continue;
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got > 0) {
            pending.append(buffer, static_cast<std::size_t>(got));
            return ReadResult::kData;
        }
        if (got == 0) return ReadResult::kEnd;
        if (errno != EINTR && errno != EAGAIN) return ReadResult::kError;
    }
}

bool CloseRing(TQCLogFile_1& log) {
    Info info = Info();
    if (log.Switch(false, &info)) return true;
    Report("closing the ring", info);
    return false;
}

}  // namespace

CLI::App* AddWriteCommand(CLI::App& program, WriteOptions& options) {
    CLI::App* command = program.add_subcommand(
        "write",
        "Write each line of standard input as one record into a ring. Records are UTF-16LE text "
        "ending in CR LF (invalid UTF-8 becomes U+FFFD) unless --raw. A line longer than a file "
        "holds becomes several records. The ring is closed with its footer at the end of the "
        "input and on SIGINT or SIGTERM.");
    AddRingOptions(*command, options.ring);
    command->add_flag("--raw", options.raw,
                      "Write each line's bytes exactly as read, newline kept");
    return command;
}

int RunWrite(const WriteOptions& given) {
    InstallStopHandlers();
    // The library's folder walk takes a path that starts with a separator for one whose first
    // directory has an empty name, which it cannot find; an absolute folder is therefore handed
    // to it relative to the root directory.
    WriteOptions options = given;
    std::string root;
    if (!options.ring.folder.empty() && options.ring.folder[0] == '/') {
        if (chdir("/") != 0) {
            std::perror("scrivlet write: changing to the root directory");
            return kExitFailure;
        }
        options.ring.folder.erase(0, options.ring.folder.find_first_not_of('/'));
        root = "/";
    }
    TQCLogFile_1 log;
    Info info = Info();
    if (!InitRing(log, options.ring, info)) {
        Report("configuring the ring", info);
        return kExitFailure;
    }
    info = Info();
    if (!log.Switch(true, &info)) {
        Report("opening the first file", info);
        return kExitFailure;
    }

    RingWriter writer(log, options, root);
    std::string pending;
    std::size_t scanned = 0;
    ReadResult result = ReadResult::kData;
    while (result == ReadResult::kData) {
        result = ReadSome(pending);
        std::size_t start = 0;
        for (std::size_t newline = pending.find('\n', scanned); newline != std::string::npos;
             newline = pending.find('\n', start)) {
            if (!writer.WriteLine(pending.substr(start, newline + 1 - start))) {
                CloseRing(log);
                return kExitFailure;
            }
            start = newline + 1;
        }
        pending.erase(0, start);
        scanned = pending.size();
        writer.progress().Show(log, false);
    }
    // The last line without a newline, or what was read before a stop: nothing is dropped.
    if (!pending.empty() && !writer.WriteLine(pending)) {
        CloseRing(log);
        return kExitFailure;
    }
    writer.progress().Show(log, true);
    if (!CloseRing(log)) return kExitFailure;
    if (result == ReadResult::kError) {
        std::perror("scrivlet write: reading standard input");
        return kExitFailure;
    }
    if (result == ReadResult::kStopped) return 128 + StopSignal();
    return kExitOk;
}

}  // namespace scrivlet_tool
