// `scrivlet verify`: a report on each file of a ring and on the ring's counter sequence, for a
// person or, with --json, for a program. The exit status is 1 when anything is wrong.
//
// Per file: counter, first and last time stamps, size against the limit, orderly close (a footer
// line where one is configured), torn tail (the file ends inside a library line, or its records
// do not end in a line end while no footer closes the file), and the library lines the options
// ask for; records that go on in the next file are a long line split across files, not a torn
// tail. Inside files: the run marks where a writer continued the file after a restart, counted
// and named (a restart that continued the ring is no problem, nor is a file continued after its
// footer). Across files: jumps in the counter sequence (files lost, or a writer that started
// afresh at 1 and replaced the files it wrote); counters before the oldest file are files that the
// ring itself has overwritten.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "commands.h"
#include "records.h"
#include "scrivlet/format.h"

namespace scrivlet::tool {
namespace {

struct FileReport {
    RingFile file;
    bool torn = false;
    int closed = -1;  // 1 footer present, 0 missing, -1 no footer configured
    std::vector<RunMark> restarts;
    std::vector<std::string> problems;

    std::string LastStamp() const {
        const std::string last = file.layout.LastStamp();
        if (restarts.empty()) return last;
        const std::string mark = MomentText(restarts.back().moment);
        return mark > last ? mark : last;
    }
};

struct Gap {
    std::uint32_t from = 0;  // counter of the file before the gap
    std::uint32_t to = 0;    // counter of the file after it
    std::string text;
};

// Whether the records of the file end where a line ends (CR LF in UTF-16LE, or LF when raw).
bool RecordsEndInLine(const RingFile& file, bool raw) {
    const FileLayout& layout = file.layout;
    const std::uint64_t length = layout.records_end - layout.records_begin;
    if (length == 0) return true;
    if (!raw && length % format::kBytesPerChar != 0) return false;
    const std::string_view end = RecordEnd(raw ? Encoding::kRaw : Encoding::kUtf16);
    if (length < end.size()) return false;
    FileReader reader;
    std::string problem;
    if (!reader.Open(file.path, file.state, problem)) return false;
    return reader.Read(layout.records_end - end.size(), layout.records_end) == end;
}

// continued: the next file in order goes on from this one (it follows in the counter sequence),
// so records that do not end in a line end are a long line split across the two files.
FileReport Check(const RingFile& file, bool continued, const VerifyOptions& options) {
    FileReport report;
    report.file = file;
    const FileLayout& layout = file.layout;
    const scrivlet::RingOptions& ring = options.ring.options;
    if (file.number > ring.count) {
        report.problems.push_back("file number beyond the ring's count of " +
                                  std::to_string(ring.count));
    }
    if (layout.size > ring.size) {
        report.problems.push_back("larger than the limit of " + std::to_string(ring.size) +
                                  " bytes");
    }
    if (ring.counter && !layout.counter.present) report.problems.push_back("no counter line");
    report.restarts =
        FindRunMarks(file, options.ring.Hints(), options.raw ? Encoding::kRaw : Encoding::kUtf16);
    // A run cut off between the counter line and the header line of its new file: the restart
    // that continues the file writes both, right behind.
    const bool header_behind =
        !report.restarts.empty() && report.restarts[0].begin == layout.records_begin;
    if (options.ring.header_given && !ring.header.empty() && !layout.header.present &&
        !header_behind) {
        report.problems.push_back("no header line");
    }
    if (options.ring.footer_given && !ring.footer.empty()) {
        report.closed = layout.footer.present ? 1 : 0;
    } else if (layout.footer.present) {
        report.closed = 1;
    }
    if (report.closed == 0) {
        report.problems.push_back("not closed in an orderly way (no footer line)");
    }
    report.torn = layout.torn_line ||
                  (!layout.footer.present && !continued && !RecordsEndInLine(file, options.raw)) ||
                  (!options.raw && (layout.records_end - layout.records_begin) % 2 != 0);
    if (report.torn) {
        report.problems.push_back(layout.torn_line ? "torn tail: ends inside a library line"
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
        if (format::NextCounter(before.counter_value) == after.counter_value &&
            (after.counter_value != 1 || before.counter_value == format::kCounterMax)) {
            continue;
        }
        // A writer that started afresh counts from 1 again; its first files may be replaced.
        const bool afresh = after.counter_value <= before.counter_value &&
                            before.counter_value - after.counter_value < 0x80000000u;
        Gap gap;
        gap.from = before.counter_value;
        gap.to = after.counter_value;
        if (afresh) {
            // The files from here to the next jump are the new writer's.
            std::size_t last = i;
            while (last + 1 < files.size() && files[last + 1].layout.counter.present &&
                   files[last + 1].layout.counter_value ==
                       format::NextCounter(files[last].layout.counter_value)) {
                ++last;
            }
            const std::string newer = last == i ? "file " + NumberText(files[i].number)
                                                : "files " + NumberText(files[i].number) + " to " +
                                                      NumberText(files[last].number);
            gap.text =
                "the counter starts again at " + std::to_string(gap.to) + " after " +
                std::to_string(gap.from) + ", in file " + NumberText(files[i].number) +
                " after file " + NumberText(files[i - 1].number) + ": a writer started afresh" +
                (gap.to != 1
                     ? " (its files before counter " + std::to_string(gap.to) + " replaced since)"
                     : "") +
                ", so " +
                (last + 1 == files.size()
                     ? "file " + NumberText(files[last].number) + " is the newest"
                     : newer + (last == i ? " came" : " come") + " after file " +
                           NumberText(files[i - 1].number)) +
                " and the files it replaced are gone";
        } else {
            const std::uint32_t missing =
                after.counter_value > before.counter_value
                    ? after.counter_value - before.counter_value - 1
                    : after.counter_value - 1 + (format::kCounterMax - before.counter_value);
            gap.text = "the counter jumps from " + std::to_string(gap.from) + " to " +
                       std::to_string(gap.to) + ": " + std::to_string(missing) + " file(s) missing";
        }
        gaps.push_back(gap);
    }
    return gaps;
}

void PrintText(const VerifyOptions& options, const std::vector<FileReport>& reports, OrderKey key,
               const std::vector<Gap>& gaps, std::uint32_t overwritten, std::size_t problems) {
    std::cout << "ring " << NamePattern(options.ring.Place()) << ": " << reports.size()
              << " file(s), limit " << options.ring.options.size << " bytes each, oldest first by "
              << OrderKeyName(key) << "\n";
    for (const FileReport& report : reports) {
        const FileLayout& layout = report.file.layout;
        std::cout << "  file " << NumberText(report.file.number) << "  counter ";
        if (layout.counter.present) {
            std::cout << layout.counter_value;
        } else {
            std::cout << "-";
        }
        std::cout << "  " << (layout.FirstStamp().empty() ? "-" : layout.FirstStamp()) << " .. "
                  << (report.LastStamp().empty() ? "-" : report.LastStamp()) << "  " << layout.size
                  << "/" << options.ring.options.size << " bytes  "
                  << (report.closed == 1   ? "closed"
                      : report.closed == 0 ? "NOT CLOSED"
                                           : "-")
                  << (report.torn ? "  TORN" : "") << "\n";
        if (!report.restarts.empty()) {
            std::size_t clean = 0;
            std::string when;
            for (std::size_t i = 0; i < report.restarts.size(); ++i) {
                clean += report.restarts[i].closed;
                if (i < 3) when += (i > 0 ? ", " : "") + MomentText(report.restarts[i].moment);
            }
            std::cout << "    continued after " << report.restarts.size()
                      << " restart(s) of its writer, at " << when
                      << (report.restarts.size() > 3 ? ", ..." : "");
            if (clean > 0) std::cout << " (" << clean << " after a clean close)";
            std::cout << "\n";
        }
        for (const std::string& problem : report.problems) {
            std::cout << "    problem: " << problem << "\n";
        }
    }
    for (const Gap& gap : gaps) std::cout << "  problem: " << gap.text << "\n";
    if (overwritten > 1) {
        std::cout << "  counters 1 to " << overwritten - 1
                  << " were in files that the ring has overwritten since\n";
    }
    std::size_t restarts = 0;
    for (const FileReport& report : reports) restarts += report.restarts.size();
    if (restarts > 0) {
        std::cout << "  the ring was continued after " << restarts
                  << " restart(s) of its writer (run marks inside files): no problem\n";
    }
    if (problems == 0) {
        std::cout << "ok: no problems found\n";
    } else {
        std::cout << problems << " problem(s) found\n";
    }
}

void PrintJson(const VerifyOptions& options, const std::vector<FileReport>& reports, OrderKey key,
               const std::vector<Gap>& gaps, std::uint32_t overwritten, std::size_t problems) {
    using Json = nlohmann::ordered_json;
    const RingPlace place = options.ring.Place();
    Json out;
    out["directory"] = place.directory;
    out["name"] = place.name;
    out["count"] = options.ring.options.count;
    out["limit"] = options.ring.options.size;
    out["order"] = OrderKeyName(key);
    out["files"] = Json::array();
    std::size_t restarts = 0;
    for (const FileReport& report : reports) {
        const FileLayout& layout = report.file.layout;
        Json file;
        file["number"] = report.file.number;
        file["path"] = report.file.path;
        file["counter"] = layout.counter.present ? Json(layout.counter_value) : Json();
        file["first_stamp"] = layout.First() ? Json(layout.FirstStamp()) : Json();
        file["last_stamp"] = layout.Last() ? Json(report.LastStamp()) : Json();
        file["size"] = layout.size;
        file["record_bytes"] = layout.records_end - layout.records_begin;
        file["closed"] = report.closed < 0 ? Json() : Json(report.closed == 1);
        file["torn"] = report.torn;
        file["restarts"] = Json::array();
        for (const RunMark& mark : report.restarts) {
            file["restarts"].push_back(Json{{"stamp", MomentText(mark.moment)},
                                            {"offset", mark.begin},
                                            {"closed", mark.closed}});
        }
        restarts += report.restarts.size();
        file["problems"] = report.problems;
        out["files"].push_back(file);
    }
    out["restarts"] = restarts;
    out["gaps"] = Json::array();
    for (const Gap& gap : gaps) {
        out["gaps"].push_back(Json{{"from", gap.from}, {"to", gap.to}, {"text", gap.text}});
    }
    out["overwritten_before"] = overwritten;
    out["problems"] = problems;
    out["ok"] = problems == 0;
    std::cout << out.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
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
    const RingPlace place = options.ring.Place();
    std::vector<RingFile> found = FindRingFiles(place, options.ring.Hints());
    if (found.empty()) {
        std::cerr << "scrivlet verify: " << DescribeAbsence(place) << "\n";
        return kExitFailure;
    }
    std::vector<RingFile> files = found;
    const OrderKey key = OrderRingFiles(files);
    std::vector<FileReport> reports;
    std::size_t problems = 0;
    // Files that cannot be read come first, with their problem.
    for (const RingFile& file : found) {
        if (file.state.readable()) continue;
        FileReport report;
        report.file = file;
        report.problems.push_back("cannot be read: " + file.state.problem);
        reports.push_back(report);
        ++problems;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const RingFile& file = files[i];
        bool continued = i + 1 < files.size() && files[i + 1].state.size > 0;
        if (continued && file.layout.counter.present && files[i + 1].layout.counter.present) {
            continued =
                format::NextCounter(file.layout.counter_value) == files[i + 1].layout.counter_value;
        }
        reports.push_back(Check(file, continued, options));
        problems += reports.back().problems.size();
    }
    std::vector<Gap> gaps;
    std::uint32_t overwritten = 0;
    if (key == OrderKey::kCounter && !files.empty()) {
        gaps = FindGaps(files);
        problems += gaps.size();
        overwritten = files.front().layout.counter_value;
    }
    if (options.json) {
        PrintJson(options, reports, key, gaps, overwritten, problems);
    } else {
        PrintText(options, reports, key, gaps, overwritten, problems);
    }
    return problems == 0 ? kExitOk : kExitFailure;
}

}  // namespace scrivlet::tool
