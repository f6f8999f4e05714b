// The pipe command: `scrivlet write` against the pipe loggers people use for the same job, on the
// same input through a pipe into the same file system, and the latency of a slow trickle.
//
// Throughput: 100,000 lines of 20 to 100 bytes (the same lines for every contender, from a fixed
// seed) are written into a pipe as fast as the logger takes them, into a ring of 5 files of
// about 1 MiB: `scrivlet write` (UTF-16 text and --raw), s6-log (n5 s1000000), multilog
// (s1000000 n5) and rotatelogs (-n 5, 1M). A run lasts from the first byte written to the
// logger's exit; the figure of a contender is the median of its runs, taken in turns. Beside each
// figure: how many write calls the logger made (its syscw in /proc/PID/io, read before it is
// reaped) and what a power cut can lose.
//
// Trickle: single lines every few milliseconds into `scrivlet write`; a line's latency runs from
// its write into the pipe to the end of the logger's write call that stores it (syscw grows, and
// a write-through call ends only once its bytes are on the storage), against one durable write of
// a line made directly (O_DSYNC), the floor any durable logger has.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cases.h"
#include "files.h"
#include "measure.h"

namespace scrivlet::bench {
namespace {

const unsigned int kLines = 100000;
const unsigned int kShortest = 20;
const unsigned int kLongest = 100;

struct Contender {
    std::string name;
    std::vector<std::string> args;  // "{}" stands for the folder (or file) of the run
    std::string program;            // what must exist for the contender to run
    std::string durability;
    std::string synced;  // when it syncs, for the chart
    bool scrivlet;
};

struct Result {
    std::vector<double> seconds;
    std::uint64_t writes = 0;  // of the last run
    bool failed = false;
};

// The lines of the input: "line N " and letters, 20 to 100 bytes with their LF, fixed seed.
std::string MakeInput(unsigned int lines) {
    std::string input;
    std::uint32_t seed = 12345;
    for (unsigned int i = 1; i <= lines; ++i) {
        seed = seed * 1103515245u + 12345u;
        const unsigned int length = kShortest + (seed >> 16) % (kLongest - kShortest + 1);
        std::string line = "line " + std::to_string(i) + " ";
        while (line.size() + 1 < length) line.push_back(static_cast<char>('a' + line.size() % 26));
        line.resize(length - 1);
        input += line + "\n";
    }
    return input;
}

// The write calls a process has made, from /proc/PID/io; 0 when it cannot be read.
std::uint64_t WriteCalls(pid_t pid) {
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "syscw:") return value;
    }
    return 0;
}

// Starts program with args, its standard input the read end of a new pipe; the write end comes
// back in pipe_in.
pid_t Start(const std::vector<std::string>& args, int& pipe_in) {
    int ends[2];
    if (pipe(ends) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        close(ends[1]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(ends[0]);
    pipe_in = ends[1];
    return pid;
}

// Waits for the process to end and returns its write calls and whether it exited with 0.
bool Finish(pid_t pid, std::uint64_t& writes) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0) return false;
    writes = WriteCalls(pid);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Empties folder, which the loggers fill with folders of their own, or creates it.
void Fresh(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder, ignored);
}

void Remove(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::vector<std::string> Expand(const std::vector<std::string>& args, const std::string& target) {
    std::vector<std::string> out;
    for (const std::string& arg : args) out.push_back(arg == "{}" ? target : arg);
    return out;
}

// One run: the input through a pipe into a fresh folder; seconds until the logger has exited.
bool Run(const Contender& contender, const std::string& folder, const std::string& input,
         double& seconds, std::uint64_t& writes) {
    Fresh(folder);
    const std::string target = contender.name == "rotatelogs" ? folder + "/log" : folder + "/ring";
    if (contender.name != "rotatelogs" && !contender.scrivlet) mkdir(target.c_str(), 0755);
    int pipe_in = -1;
    const std::uint64_t start = NowNs();
    const pid_t pid = Start(Expand(contender.args, target), pipe_in);
    if (pid < 0) return false;
    const bool written = WriteAll(pipe_in, input.data(), input.size());
    close(pipe_in);
    const bool ok = Finish(pid, writes);
    seconds = static_cast<double>(NowNs() - start) / 1e9;
    return written && ok;
}

bool Exists(const std::string& program) {
    if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
    for (const char* dir : {"/usr/bin/", "/bin/", "/usr/sbin/", "/usr/local/bin/"}) {
        if (access((dir + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// The median of one durable write of a line appended to a file (O_DSYNC), in seconds.
double DurableLineWrite(const std::string& folder, const std::string& line) {
    Fresh(folder);
    const std::string path = folder + "/probe";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_DSYNC | O_CLOEXEC, 0644);
    std::vector<double> times;
    for (int i = 0; fd >= 0 && i < 50; ++i) {
        const std::uint64_t start = NowNs();
        if (!WriteAll(fd, line.data(), line.size())) break;
        times.push_back(static_cast<double>(NowNs() - start) / 1e9);
    }
    if (fd >= 0) close(fd);
    return times.empty() ? 0 : Median(times);
}

// The trickle: lines one at a time, every interval; each line's latency to the end of the
// write call that stores it, and the write calls per line.
bool Trickle(const std::string& tool, const std::string& folder, unsigned int lines,
             Latencies& latencies, double& writes_per_line) {
    Fresh(folder);
    int pipe_in = -1;
    const pid_t pid =
        Start({tool, "write", "-q", "-d", folder + "/ring", "-c", "5", "-s", "1048576"}, pipe_in);
    if (pid < 0) return false;
    // The first file is open once the process has made its first writes (the counter-less ring
    // writes nothing before the first line: wait a moment for it to start).
    usleep(200000);
    const std::uint64_t before = WriteCalls(pid);
    std::uint64_t seen = before;
    bool ok = true;
    for (unsigned int i = 0; ok && i < lines; ++i) {
        const std::string line = "trickle line " + std::to_string(i) + " of the pipe benchmark\n";
        const std::uint64_t start = NowNs();
        ok = WriteAll(pipe_in, line.data(), line.size());
        // Busy-wait for the write call that stores the line (at most a second).
        while (ok && WriteCalls(pid) == seen) {
            if (NowNs() - start > 1000000000u) ok = false;
        }
        const std::uint64_t end = NowNs();
        seen = WriteCalls(pid);
        latencies.Add(end - start);
        usleep(3000);
    }
    close(pipe_in);
    std::uint64_t writes = 0;
    ok = Finish(pid, writes) && ok;
    writes_per_line = lines > 0 ? static_cast<double>(seen - before) / lines : 0;
    return ok;
}

}  // namespace

int RunPipe(const std::string& tool, const std::string& work, bool quick,
            const std::string& chart_data) {
    const int rounds = quick ? 2 : 5;
    const std::string input = MakeInput(kLines);
    const std::vector<Contender> contenders = {
        {"scrivlet write",
         {tool, "write", "-q", "-d", "{}", "-c", "5", "-s", "1048576"},
         tool,
         "every line on the storage before the next read: a power cut loses at most the group "
         "being written, none that was acknowledged",
         "every line",
         true},
        {"scrivlet write --raw",
         {tool, "write", "-q", "--raw", "-d", "{}", "-c", "5", "-s", "1048576"},
         tool,
         "the same",
         "every line",
         true},
        {"s6-log",
         {"s6-log", "n5", "s1000000", "{}"},
         "s6-log",
         "fsync when a file is rotated: a power cut loses the current file (up to 1 MB)",
         "at rotation",
         false},
        {"multilog",
         {"multilog", "s1000000", "n5", "{}"},
         "multilog",
         "fsync when a file is rotated: a power cut loses the current file (up to 1 MB)",
         "at rotation",
         false},
        {"rotatelogs",
         {"rotatelogs", "-n", "5", "{}", "1M"},
         "rotatelogs",
         "never syncs: a power cut loses whatever the page cache holds",
         "never",
         false},
    };
    std::printf(
        "pipe:           %u lines of %u to %u bytes (%.1f MB), ring of 5 files of 1 MiB, "
        "%d runs each, in %s, %s\n",
        kLines, kShortest, kLongest, static_cast<double>(input.size()) / 1e6, rounds, work.c_str(),
        FileSystemType(work).c_str());
    signal(SIGPIPE, SIG_IGN);
    std::vector<Result> results(contenders.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < contenders.size(); ++k) {
            // Taken in turns, every other round backwards, so that drift hits all alike.
            const std::size_t i = round % 2 == 0 ? k : contenders.size() - 1 - k;
            if (!Exists(contenders[i].program) || results[i].failed) {
                results[i].failed = true;
                continue;
            }
            double seconds = 0;
            if (!Run(contenders[i], work + "/pipe", input, seconds, results[i].writes)) {
                results[i].failed = true;
                continue;
            }
            results[i].seconds.push_back(seconds);
        }
    }
    Remove(work + "/pipe");

    std::printf("\n%-22s %12s %9s %12s  %s\n", "logger", "lines/s", "MB/s", "write calls",
                "what a power cut can lose");
    std::printf("%s\n", std::string(120, '-').c_str());
    std::vector<double> rates(contenders.size(), 0);
    FILE* chart = chart_data.empty() ? nullptr : std::fopen(chart_data.c_str(), "w");
    for (std::size_t i = 0; i < contenders.size(); ++i) {
        if (results[i].failed || results[i].seconds.empty()) {
            std::printf("%-22s %12s %9s %12s  (%s not installed or failed)\n",
                        contenders[i].name.c_str(), "-", "-", "-", contenders[i].program.c_str());
            continue;
        }
        const double seconds = Median(results[i].seconds);
        rates[i] = kLines / seconds;
        std::printf("%-22s %12s %9.1f %12llu  %s\n", contenders[i].name.c_str(),
                    Grouped(rates[i]).c_str(), static_cast<double>(input.size()) / seconds / 1e6,
                    static_cast<unsigned long long>(results[i].writes),
                    contenders[i].durability.c_str());
        if (chart != nullptr) {
            std::fprintf(chart, "\"%s\\nsyncs: %s\" %.0f\n", contenders[i].name.c_str(),
                         contenders[i].synced.c_str(), rates[i]);
        }
    }
    if (chart != nullptr) std::fclose(chart);

    // The targets: at least half of s6-log's lines/s, and more than multilog's.
    int missed = 0;
    std::printf("\n");
    for (std::size_t i = 0; i < 2; ++i) {
        for (const auto& [peer, share] : {std::pair<std::size_t, double>{2, 0.5}, {3, 1.0}}) {
            if (rates[i] == 0 || rates[peer] == 0) continue;
            const double ratio = rates[i] / rates[peer];
            const bool met = share < 1 ? ratio >= share : ratio > share;
            missed += met ? 0 : 1;
            std::printf("target: %-20s / %-8s = %5.2f  (%s %.1f)  %s\n", contenders[i].name.c_str(),
                        contenders[peer].name.c_str(), ratio, share < 1 ? ">=" : ">", share,
                        met ? "met" : "MISSED");
        }
    }

    // The trickle.
    const unsigned int lines = quick ? 40 : 200;
    Latencies latencies;
    double writes_per_line = 0;
    const std::string sample = "trickle line 100 of the pipe benchmark\n";
    const double floor = DurableLineWrite(work + "/pipe-probe", sample);
    const bool trickled = Trickle(tool, work + "/pipe-trickle", lines, latencies, writes_per_line);
    Remove(work + "/pipe-probe");
    Remove(work + "/pipe-trickle");
    if (trickled) {
        const double p50 = latencies.PercentileUs(50);
        const double p99 = latencies.PercentileUs(99);
        std::printf(
            "trickle: %u single lines 3 ms apart: pipe to storage p50 %.0f us, p99 %.0f "
            "us, %.2f write calls per line; one durable write of the line made directly: "
            "%.0f us (p50 %.2f of it)\n",
            lines, p50, p99, writes_per_line, floor * 1e6, p50 / (floor * 1e6));
    } else {
        std::printf("trickle: failed\n");
        ++missed;
    }
    return missed == 0 ? 0 : 1;
}

}  // namespace scrivlet::bench
