// `scrivlet verify`: a report on each file of a ring and on the ring's counter sequence, for a
// person or, with --json, for a program. The exit status is 1 when anything is wrong.
//
// Per file: counter, first and last time stamps, size against the limit, orderly close (a footer
// line where one is configured), torn tail (the file ends inside a library line, or its records
// do not end in a line end while no footer closes the file), and the library lines the options
// ask for; records that go on in the next file are a long line split across files, not a torn
// tail. Across files: jumps in the counter sequence (files lost or a writer that started
// again); counters before the oldest file are files that the ring itself has overwritten.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "ring_files.h"

namespace scrivlet_tool {
namespace {

struct FileReport {
    RingFile file;
    bool torn = false;
    int closed = -1;  // 1 footer present, 0 missing, -1 no footer configured
    std::vector<std::string> problems;
};

struct Gap {
    std::uint32_t from = 0;  // counter of the file before the gap
    std::uint32_t to = 0;    // counter of the file after it
    std::string text;
};

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Whether the records of the file end where a line ends (CR LF in UTF-16LE, or LF when raw).
bool RecordsEndInLine(const RingFile& file, bool raw) {
    const FileLayout& layout = file.layout;
    const std::uint64_t length = layout.recordsEnd - layout.recordsBegin;
    if (length == 0) return true;
    if (!raw && length % 2 != 0) return false;
    const std::uint64_t want = raw ? 1 : 4;
    if (length < want) return false;
    std::ifstream in(file.path, std::ios::binary);
    std::string last(static_cast<std::size_t>(want), '\0');
    in.seekg(static_cast<std::streamoff>(layout.recordsEnd - want));
    in.read(&last[0], static_cast<std::streamsize>(want));
    return raw ? last == "\n" : last == std::string("\r\0\n\0", 4);
}

// continued: the next file in order goes on from this one (it follows in the counter sequence),
// so records that do not end in a line end are a long line split across the two files.
FileReport Check(const RingFile& file, bool continued, const VerifyOptions& options) {
    FileReport report;
    report.file = file;
    const FileLayout& layout = file.layout;
    const RingOptions& ring = options.ring;
    if (file.number > ring.count) {
        report.problems.push_back("file number beyond the ring's count of " +
                                  std::to_string(ring.count));
    }
    if (layout.size > ring.size) {
        report.problems.push_back("larger than the limit of " + std::to_string(ring.size) +
                                  " bytes");
    }
    if (ring.counter && !layout.counter.present) report.problems.push_back("no counter line");
    if (ring.headerGiven && !ring.header.empty() && !layout.header.present) {
        report.problems.push_back("no header line");
    }
    if (ring.footerGiven && !ring.footer.empty()) {
        report.closed = layout.footer.present ? 1 : 0;
    } else if (layout.footer.present) {
        report.closed = 1;
    }
    if (report.closed == 0) {
        report.problems.push_back("not closed in an orderly way (no footer line)");
    }
    report.torn = layout.tornLine ||
                  (!layout.footer.present && !continued && !RecordsEndInLine(file, options.raw)) ||
                  (!options.raw && (layout.recordsEnd - layout.recordsBegin) % 2 != 0);
    if (report.torn) {
        report.problems.push_back(layout.tornLine ? "torn tail: ends inside a library line"
                                                  : "torn tail: ends inside a record");
    }
    return report;
}

std::vector<Gap> FindGaps(const std::vector<RingFile>& files) {
    std::vector<Gap> gaps;
    for (std::size_t i = 1; i < files.size(); ++i) {
        const FileLayout& before = files[i - 1].layout;
        const FileLayout& after = files[i].layout;
        if (!before.counter.present || !after.counter.present) continue;
        if (NextCounter(before.counterValue) == after.counterValue) continue;
        Gap gap;
        gap.from = before.counterValue;
        gap.to = after.counterValue;
        if (after.counterValue == 1) {
            gap.text = "the counter starts again at 1 after " + std::to_string(gap.from) +
                       " (a new writer on the same ring)";
        } else {
            const std::uint32_t missing =
                after.counterValue > before.counterValue
                    ? after.counterValue - before.counterValue - 1
                    : after.counterValue - 1 + (0xFFFFFFFFu - before.counterValue);
            gap.text = "the counter jumps from " + std::to_string(gap.from) + " to " +
                       std::to_string(gap.to) + ": " + std::to_string(missing) + " file(s) missing";
        }
        gaps.push_back(gap);
    }
    return gaps;
}

void PrintText(const VerifyOptions& options, const std::vector<FileReport>& reports, OrderKey key,
               const std::vector<Gap>& gaps, std::uint32_t overwritten, std::size_t problems) {
    std::cout << "ring " << RingDirectory(options.ring) << "/" << StoredName(options.ring)
              << "_NNNN.log: " << reports.size() << " file(s), limit " << options.ring.size
              << " bytes each, oldest first by " << OrderKeyName(key) << "\n";
    for (const FileReport& report : reports) {
        const FileLayout& layout = report.file.layout;
        char number[8];
        std::snprintf(number, sizeof number, "%04u", report.file.number);
        std::cout << "  file " << number << "  counter ";
        if (layout.counter.present) {
            std::cout << layout.counterValue;
        } else {
            std::cout << "-";
        }
        std::cout << "  " << (layout.FirstStamp().empty() ? "-" : layout.FirstStamp()) << " .. "
                  << (layout.LastStamp().empty() ? "-" : layout.LastStamp()) << "  " << layout.size
                  << "/" << options.ring.size << " bytes  "
                  << (report.closed == 1   ? "closed"
                      : report.closed == 0 ? "NOT CLOSED"
                                           : "-")
                  << (report.torn ? "  TORN" : "") << "\n";
        for (const std::string& problem : report.problems) {
            std::cout << "    problem: " << problem << "\n";
        }
    }
    for (const Gap& gap : gaps) std::cout << "  problem: " << gap.text << "\n";
    if (overwritten > 1) {
        std::cout << "  counters 1 to " << overwritten - 1
                  << " were in files that the ring has overwritten since\n";
    }
    if (problems == 0) {
        std::cout << "ok: no problems found\n";
    } else {
        std::cout << problems << " problem(s) found\n";
    }
}

void PrintJson(const VerifyOptions& options, const std::vector<FileReport>& reports, OrderKey key,
               const std::vector<Gap>& gaps, std::uint32_t overwritten, std::size_t problems) {
    std::ostringstream out;
    out << "{\"directory\":" << Json(RingDirectory(options.ring))
        << ",\"name\":" << Json(StoredName(options.ring)) << ",\"count\":" << options.ring.count
        << ",\"limit\":" << options.ring.size << ",\"order\":" << Json(OrderKeyName(key))
        << ",\"files\":[";
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const FileReport& report = reports[i];
        const FileLayout& layout = report.file.layout;
        out << (i ? "," : "") << "{\"number\":" << report.file.number
            << ",\"path\":" << Json(report.file.path) << ",\"counter\":";
        if (layout.counter.present) {
            out << layout.counterValue;
        } else {
            out << "null";
        }
        out << ",\"first_stamp\":"
            << (layout.FirstStamp().empty() ? "null" : Json(layout.FirstStamp()))
            << ",\"last_stamp\":"
            << (layout.LastStamp().empty() ? "null" : Json(layout.LastStamp()))
            << ",\"size\":" << layout.size
            << ",\"record_bytes\":" << layout.recordsEnd - layout.recordsBegin << ",\"closed\":"
            << (report.closed < 0 ? "null"
                : report.closed   ? "true"
                                  : "false")
            << ",\"torn\":" << (report.torn ? "true" : "false") << ",\"problems\":[";
        for (std::size_t k = 0; k < report.problems.size(); ++k) {
            out << (k ? "," : "") << Json(report.problems[k]);
        }
        out << "]}";
    }
    out << "],\"gaps\":[";
    for (std::size_t i = 0; i < gaps.size(); ++i) {
        out << (i ? "," : "") << "{\"from\":" << gaps[i].from << ",\"to\":" << gaps[i].to
            << ",\"text\":" << Json(gaps[i].text) << "}";
    }
    out << "],\"overwritten_before\":" << overwritten << ",\"problems\":" << problems
        << ",\"ok\":" << (problems == 0 ? "true" : "false") << "}\n";
    std::cout << out.str();
}

}  // namespace

CLI::App* AddVerifyCommand(CLI::App& program, VerifyOptions& options) {
    CLI::App* command = program.add_subcommand(
        "verify",
        "Report on each file of a ring: counter, first and last time stamps, size against the "
        "limit, orderly close (footer where configured), torn tail, and gaps in the counter "
        "sequence. Exit status 1 when something is wrong.");
    AddRingOptions(*command, options.ring);
    command->add_flag("--json", options.json, "Print the report as one JSON object");
    command->add_flag("--raw", options.raw,
                      "Records are raw bytes ending in LF rather than UTF-16LE lines");
    return command;
}

int RunVerify(const VerifyOptions& options) {
    std::vector<RingFile> files = FindRingFiles(options.ring, HintsFor(options.ring));
    if (files.empty()) {
        std::cerr << "scrivlet verify: the ring has no files (" << RingFilePath(options.ring, 1)
                  << " and on)\n";
        return kExitFailure;
    }
    const OrderKey key = OrderRingFiles(files);
    std::vector<FileReport> reports;
    std::size_t problems = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const RingFile& file = files[i];
        bool continued = i + 1 < files.size() && files[i + 1].state.size > 0;
        if (continued && file.layout.counter.present && files[i + 1].layout.counter.present) {
            continued = NextCounter(file.layout.counterValue) == files[i + 1].layout.counterValue;
        }
        reports.push_back(Check(file, continued, options));
        problems += reports.back().problems.size();
    }
    std::vector<Gap> gaps;
    std::uint32_t overwritten = 0;
    if (key == OrderKey::kCounter) {
        gaps = FindGaps(files);
        problems += gaps.size();
        overwritten = files.front().layout.counterValue;
    }
    if (options.json) {
        PrintJson(options, reports, key, gaps, overwritten, problems);
    } else {
        PrintText(options, reports, key, gaps, overwritten, problems);
    }
    return problems == 0 ? kExitOk : kExitFailure;
}

}  // namespace scrivlet_tool
