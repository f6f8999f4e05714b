// `scrivlet cat`: a ring's records on standard output, oldest file first, and with --follow the
// records written after that, across rotations and the wrap-around of the ring (like tail -F).
//
// Text mode prints records and library lines as UTF-8 with LF line ends; --raw prints the bytes
// as stored. Following looks at the files every interval: it reads on in the current file, goes
// on with the next file of the ring once that one has been written after the current file was
// begun, and starts a file again from its top when it was replaced.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

#include "commands.h"
#include "ring_files.h"
#include "signals.h"
#include "utf.h"

namespace scrivlet_tool {
namespace {

// Standard output in text or raw form. A closed pipe ends the output quietly.
class Output {
  public:
    explicit Output(bool raw) : m_raw(raw) {}

    void Records(const char* data, std::size_t size) {
        if (m_raw) {
            Put(data, size);
            return;
        }
        m_utf8.clear();
        m_decoder.Feed(data, size, m_utf8);
        PutText(m_utf8);
    }

    void Line(const std::string& bytes, const LibraryLine& line, char kind) {
        if (m_raw) {
            Put(bytes.data(), bytes.size());
            return;
        }
        const std::string text = line.stamp + " " + line.text + " 1 " + kind + "\n";
        Put(text.data(), text.size());
    }

    void Finish() {
        m_utf8.clear();
        m_decoder.Finish(m_utf8);
        if (m_cr) m_utf8.push_back('\r');
        m_cr = false;
        Put(m_utf8.data(), m_utf8.size());
        Flush();
    }

    void Flush() {
        if (!m_closed && std::fflush(stdout) != 0) Closed();
    }

    // Standard output can take no more (a closed pipe, or an error).
    bool closed() const { return m_closed; }
    bool failed() const { return m_failed; }

  private:
    // CR LF becomes LF; a CR at the end of one piece waits for the next.
    void PutText(const std::string& text) {
        std::string out;
        out.reserve(text.size() + 1);
        for (char c : text) {
            if (m_cr && c != '\n') out.push_back('\r');
            m_cr = c == '\r';
            if (!m_cr) out.push_back(c);
        }
        Put(out.data(), out.size());
    }

    void Put(const char* data, std::size_t size) {
        if (m_closed || size == 0) return;
        if (std::fwrite(data, 1, size, stdout) != size) Closed();
    }

    void Closed() {
        m_closed = true;
        m_failed = errno != EPIPE;
    }

    bool m_raw;
    bool m_cr = false;
    bool m_closed = false;
    bool m_failed = false;
    Utf16LeDecoder m_decoder;
    std::string m_utf8;
};

std::string ReadRange(std::ifstream& in, std::uint64_t begin, std::uint64_t end) {
    std::string bytes(static_cast<std::size_t>(end - begin), '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(begin));
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// Where printing stands in one file.
struct Cursor {
    unsigned int number = 0;
    std::string path;
    std::uint64_t consumed = 0;  // bytes of the file already printed or passed over
    FileState state;             // the file when last read
    std::string head;            // its first bytes then, to tell a replaced file
};

class Printer {
  public:
    Printer(const CatOptions& options, const LayoutHints& hints, Output& output)
        : m_options(options), m_hints(hints), m_output(output) {}

    // Prints what the file holds behind the cursor.
    void Advance(Cursor& cursor) {
        FileLayout layout;
        if (!ReadLayout(cursor.path, m_hints, cursor.state, layout)) return;
        std::ifstream in(cursor.path, std::ios::binary);
        cursor.head = ReadRange(in, 0, std::min<std::uint64_t>(layout.size, 64));
        Library(in, cursor, layout.counter, '1');
        Library(in, cursor, layout.header, '2');
        const std::uint64_t from = std::max(cursor.consumed, layout.recordsBegin);
        for (std::uint64_t at = from; at < layout.recordsEnd && !m_output.closed();) {
            const std::uint64_t to = std::min<std::uint64_t>(layout.recordsEnd, at + 65536);
            const std::string bytes = ReadRange(in, at, to);
            if (bytes.empty()) break;
            m_output.Records(bytes.data(), bytes.size());
            at += bytes.size();
            cursor.consumed = at;
        }
        Library(in, cursor, layout.footer, '3');
    }

  private:
    void Library(std::ifstream& in, Cursor& cursor, const LibraryLine& line, char kind) {
        if (!line.present || cursor.consumed > line.begin) return;
        if (m_options.lines) m_output.Line(ReadRange(in, line.begin, line.end), line, kind);
        cursor.consumed = line.end;
    }

    const CatOptions& m_options;
    const LayoutHints& m_hints;
    Output& m_output;
};

Cursor CursorFor(const CatOptions& options, unsigned int number) {
    Cursor cursor;
    cursor.number = number;
    cursor.path = RingFilePath(options.ring, number);
    return cursor;
}

// Whether the file was replaced since the cursor last read it.
bool Replaced(const Cursor& cursor, const FileState& now) {
    if (!now.exists) return false;
    if (now.inode != cursor.state.inode || now.device != cursor.state.device) return true;
    if (now.size < cursor.consumed) return true;
    std::ifstream in(cursor.path, std::ios::binary);
    return ReadRange(in, 0, std::min<std::uint64_t>(now.size, cursor.head.size())) != cursor.head;
}

// Whether the next file of the ring was written after the current one was begun: by their
// counter lines when both have one, else by their first time stamps, else by modification time.
// A file being replaced shows size 0 with its old modification time for a moment, so an empty
// current file is never older than the next one.
bool NextIsNewer(const std::string& current, const std::string& next, const LayoutHints& hints) {
    FileState currentState;
    FileState nextState;
    FileLayout currentLayout;
    FileLayout nextLayout;
    if (!ReadLayout(next, hints, nextState, nextLayout) || nextState.size == 0) return false;
    if (!ReadLayout(current, hints, currentState, currentLayout) || currentState.size == 0) {
        return false;
    }
    if (currentLayout.counter.present && nextLayout.counter.present) {
        return nextLayout.counterValue == NextCounter(currentLayout.counterValue);
    }
    const std::string& currentStamp = currentLayout.FirstStamp();
    const std::string& nextStamp = nextLayout.FirstStamp();
    if (!currentStamp.empty() && !nextStamp.empty() && currentStamp != nextStamp) {
        return nextStamp > currentStamp;
    }
    return nextState.mtime > currentState.mtime;
}

int Follow(const CatOptions& options, const LayoutHints& hints, Printer& printer, Output& output,
           Cursor cursor) {
    const auto interval = std::chrono::duration<double>(options.interval);
    const unsigned int count = options.ring.count;
    auto nextNumber = [count](unsigned int n) { return n < count ? n + 1 : 1; };
    // The next file as it was when the cursor entered the current one.
    std::string nextPath = RingFilePath(options.ring, nextNumber(cursor.number));
    FileState nextBefore = StatFile(nextPath);
    bool nextAlreadyNewer = NextIsNewer(cursor.path, nextPath, hints);
    while (StopSignal() == 0 && !output.closed()) {
        const FileState now = StatFile(cursor.path);
        if (Replaced(cursor, now)) cursor.consumed = 0;
        printer.Advance(cursor);
        output.Flush();
        const unsigned int next = nextNumber(cursor.number);
        if (next != cursor.number) {
            const FileState after = StatFile(nextPath);
            const bool rewritten =
                after.exists && (!nextBefore.exists || after.inode != nextBefore.inode ||
                                 after.mtime != nextBefore.mtime || after.size != nextBefore.size);
            if (nextAlreadyNewer || rewritten) {
                printer.Advance(cursor);  // what was written before the switch
                cursor = CursorFor(options, next);
                nextPath = RingFilePath(options.ring, nextNumber(next));
                nextBefore = StatFile(nextPath);
                nextAlreadyNewer = NextIsNewer(cursor.path, nextPath, hints);
                continue;
            }
        }
        std::this_thread::sleep_for(interval);
    }
    output.Finish();
    return output.failed() ? kExitFailure : kExitOk;
}

}  // namespace

CLI::App* AddCatCommand(CLI::App& program, CatOptions& options) {
    CLI::App* command = program.add_subcommand(
        "cat",
        "Print a ring's records as UTF-8, oldest file first (ordered by counter lines, else by "
        "first time stamp, else by modification time).");
    AddRingOptions(*command, options.ring);
    command->add_flag("-l,--lines", options.lines,
                      "Also print the library's counter, header and footer lines");
    command->add_flag("--raw", options.raw, "Print the bytes as stored, without conversion");
    command->add_flag("-f,--follow", options.follow,
                      "Keep printing records as they are written, across rotations and the "
                      "wrap-around of the ring, until SIGINT or SIGTERM");
    command->add_option("--interval", options.interval, "Seconds between looks when following")
        ->capture_default_str()
        ->check(CLI::Range(0.01, 60.0));
    return command;
}

int RunCat(const CatOptions& options) {
    InstallStopHandlers();
    const LayoutHints hints = HintsFor(options.ring);
    std::vector<RingFile> files = FindRingFiles(options.ring, hints);
    OrderRingFiles(files);
    if (files.empty() && !options.follow) {
        std::cerr << "scrivlet cat: the ring has no files (" << RingFilePath(options.ring, 1)
                  << " and on)\n";
        return kExitFailure;
    }
    Output output(options.raw);
    Printer printer(options, hints, output);
    Cursor cursor = CursorFor(options, 1);
    for (const RingFile& file : files) {
        cursor = CursorFor(options, file.number);
        printer.Advance(cursor);
        if (output.closed()) break;
    }
    if (options.follow && !output.closed()) return Follow(options, hints, printer, output, cursor);
    output.Finish();
    return output.failed() ? kExitFailure : kExitOk;
}

}  // namespace scrivlet_tool
