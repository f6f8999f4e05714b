// The runs of the pipe command (see pipe_runs.h): starting and ending a logger, then the burst,
// the idle lines, the trickle and the storage's speeds.
#include "pipe_runs.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace scrivlet::bench {
namespace {

// A started logger: its process, the write end of its standard input and its stderr.
struct Child {
    pid_t pid = -1;
    int input = -1;
    std::FILE* said = nullptr;
};

bool Start(const std::vector<std::string>& args, Child& child) {
    int ends[2];
    child.said = std::tmpfile();
    // Close-on-exec: a logger started later must not hold this one's input open.
    if (child.said == nullptr || pipe2(ends, O_CLOEXEC) != 0) return false;
    fcntl(fileno(child.said), F_SETFD, FD_CLOEXEC);
    child.pid = fork();
    if (child.pid == 0) {
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        close(ends[1]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(fileno(child.said), STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(ends[0]);
    child.input = ends[1];
    return child.pid > 0;
}

// The read and write calls a process has made (each counted as it returns), from its
// /proc/PID/io (open at io); 0 when it cannot be read.
struct Calls {
    std::uint64_t reads = 0;
    std::uint64_t writes = 0;
};
Calls IoCalls(int io) {
    char text[512];
    const ssize_t got = pread(io, text, sizeof text - 1, 0);
    Calls calls;
    if (got <= 0) return calls;
    text[got] = 0;
    const char* reads = std::strstr(text, "syscr:");
    const char* writes = std::strstr(text, "syscw:");
    if (reads != nullptr) calls.reads = std::strtoull(reads + 6, nullptr, 10);
    if (writes != nullptr) calls.writes = std::strtoull(writes + 6, nullptr, 10);
    return calls;
}

// The processor that the process's main thread last ran on; -1 when it cannot be read.
int LastProcessor(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t name_end = text.rfind(')');  // the name may hold blanks
    if (name_end == std::string::npos) return -1;
    std::istringstream fields(text.substr(name_end + 2));
    std::string field;
    for (int i = 3; i <= 39 && fields >> field; ++i) {
        if (i == 39) return std::atoi(field.c_str());
    }
    return -1;
}

// Runs this thread on cpu only (all processors again with -1).
void RunOn(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int i = 0; i < CPU_SETSIZE; ++i) {
        if (cpu < 0 ? i < static_cast<int>(std::thread::hardware_concurrency()) : i == cpu) {
            CPU_SET(i, &set);
        }
    }
    sched_setaffinity(0, sizeof set, &set);
}

int OpenIo(pid_t pid) {
    return open(("/proc/" + std::to_string(pid) + "/io").c_str(), O_RDONLY | O_CLOEXEC);
}

// A field of /proc/PID/status in kB, as MB; 0 when it cannot be read, or while the process is
// still the copy of this one that it was forked from (its name is this program's).
double StatusMb(pid_t pid, const std::string& field) {
    static const std::string self = [] {
        std::ifstream comm("/proc/self/comm");
        std::string name;
        std::getline(comm, name);
        return "Name:\t" + name;
    }();
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line == self) return 0;
        if (line.compare(0, field.size(), field) == 0) {
            return std::atof(line.c_str() + field.size()) * 1024 / 1e6;
        }
    }
    return 0;
}

// Closes the logger's input, waits for it to end and takes its write calls and stderr; true
// when it exited with 0.
bool Finish(Child& child, LoggerRun& run) {
    if (child.input >= 0) close(child.input);
    child.input = -1;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOWAIT) != 0) return false;
    const int io = OpenIo(child.pid);
    run.writes = IoCalls(io).writes;
    if (io >= 0) close(io);
    int status = 0;
    waitpid(child.pid, &status, 0);
    std::rewind(child.said);
    run.said.clear();
    for (int c; (c = std::fgetc(child.said)) != EOF;) run.said.push_back(static_cast<char>(c));
    std::fclose(child.said);
    child.said = nullptr;
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

}  // namespace

bool RunBurst(const std::vector<std::string>& args, const std::string& input, LoggerRun& run) {
    Child child;
    const std::uint64_t start = NowNs();
    if (!Start(args, child)) return false;
    // The peak of the program's own memory: VmHWM while it runs (a child's ru_maxrss would count
    // the image of this process, which it was forked from).
    std::atomic<bool> ended{false};
    std::thread sampler([&child, &run, &ended] {
        while (!ended.load()) {
            run.peak_mb = std::max(run.peak_mb, StatusMb(child.pid, "VmHWM:"));
            usleep(2000);
        }
    });
    const bool written = WriteAll(child.input, input.data(), input.size());
    const bool ok = Finish(child, run);
    run.seconds = static_cast<double>(NowNs() - start) / 1e9;
    ended = true;
    sampler.join();
    return written && ok;
}

bool RunIdle(const std::vector<std::vector<std::string>>& loggers, unsigned int lines,
             std::vector<IdleRun>& runs) {
    std::vector<Child> children(loggers.size());
    runs.assign(loggers.size(), IdleRun{});
    bool ok = true;
    for (std::size_t i = 0; i < loggers.size(); ++i) ok = Start(loggers[i], children[i]) && ok;
    for (unsigned int n = 0; ok && n < lines; ++n) {
        const std::string line = "idle line " + std::to_string(n) + "\n";
        for (Child& child : children) ok = WriteAll(child.input, line.data(), line.size()) && ok;
        usleep(n + 1 < lines ? 1000000 : 500000);
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
        runs[i].run.peak_mb = StatusMb(children[i].pid, "VmHWM:");
        runs[i].code_mb = StatusMb(children[i].pid, "RssFile:");
        runs[i].data_mb = StatusMb(children[i].pid, "RssAnon:");
    }
    for (std::size_t i = 0; i < children.size(); ++i) ok = Finish(children[i], runs[i].run) && ok;
    return ok;
}

bool RunTrickle(const std::vector<std::vector<std::string>>& loggers, const std::string& folder,
                unsigned int lines, std::size_t stored, std::vector<Trickle>& trickles,
                Latencies& floor, double& writes_per_line, std::string& said) {
    std::vector<Child> children(loggers.size());
    std::vector<int> ios(loggers.size(), -1);
    trickles.assign(loggers.size(), Trickle{});
    bool ok = true;
    for (std::size_t k = 0; k < loggers.size(); ++k) ok = Start(loggers[k], children[k]) && ok;
    const std::string probe = folder + "/probe";
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_DSYNC | O_CLOEXEC, 0644);
    const std::string bytes(stored, 'p');
    // The loggers open their first files before they read: give them a moment to start. Sleeps
    // of this thread end when asked, not up to 50 us later.
    usleep(200000);
    prctl(PR_SET_TIMERSLACK, 1000UL);
    std::vector<Calls> seen(loggers.size());
    for (std::size_t k = 0; k < loggers.size(); ++k) {
        ios[k] = OpenIo(children[k].pid);
        seen[k] = IoCalls(ios[k]);
        ok = ok && ios[k] >= 0;
    }
    const std::uint64_t before = loggers.empty() ? 0 : seen[0].writes;
    ok = ok && fd >= 0;
    // Each line, and the direct write, after the same 3 ms of quiet: a write that follows a
    // longer pause takes longer.
    for (unsigned int i = 0; ok && i < lines; ++i) {
        const std::string line = "trickle line " + std::to_string(i) + " of the pipe benchmark\n";
        // In turns, every other line backwards: the line after the direct write finds this
        // thread still on the first logger's processor, which it shares with that logger then.
        for (std::size_t turn = 0; ok && turn < loggers.size(); ++turn) {
            const std::size_t k = i % 2 == 0 ? turn : loggers.size() - 1 - turn;
            usleep(3000);
            const std::uint64_t start = NowNs();
            ok = WriteAll(children[k].input, line.data(), line.size());
            // Wait for the write call that stores the line (at most a second), looking every
            // 10 us and sleeping in between, so that the logger has the processors to itself;
            // on the way, the end of the read that took the line from the pipe.
            std::uint64_t read = 0;
            for (Calls now; ok && (now = IoCalls(ios[k])).writes == seen[k].writes;) {
                if (read == 0 && now.reads != seen[k].reads) read = NowNs();
                ok = NowNs() - start < 1000000000u;
                const struct timespec pause = {0, 10000};
                nanosleep(&pause, nullptr);
            }
            const std::uint64_t end = NowNs();
            if (read == 0) read = end;  // read and stored between two looks
            trickles[k].stored.Add(end - start);
            trickles[k].read.Add(read - start);
            trickles[k].after_read.Add(end - read);
            seen[k] = IoCalls(ios[k]);
        }
        // From the processor the first logger's reading thread ran on: how long a durable write
        // takes depends on it (whether the disk's interrupt lands there or has to wake it).
        if (!loggers.empty()) RunOn(LastProcessor(children[0].pid));
        usleep(3000);
        const std::uint64_t written = NowNs();
        ok = ok && WriteAll(fd, bytes.data(), bytes.size());
        floor.Add(NowNs() - written);
        RunOn(-1);
    }
    if (fd >= 0) close(fd);
    for (std::size_t k = 0; k < loggers.size(); ++k) {
        if (ios[k] >= 0) close(ios[k]);
        LoggerRun run;
        ok = Finish(children[k], run) && ok;
        if (k == 0) said = run.said;
    }
    writes_per_line =
        lines > 0 && !loggers.empty() ? static_cast<double>(seen[0].writes - before) / lines : 0;
    return ok;
}

int DurableCat(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_DSYNC | O_CLOEXEC, 0644);
    if (fd < 0) return 1;
    char in[65536];
    char out[2 * sizeof in];
    for (ssize_t got; (got = read(STDIN_FILENO, in, sizeof in)) > 0;) {
        for (ssize_t i = 0; i < got; ++i) {
            out[2 * i] = in[i];
            out[2 * i + 1] = 0;
        }
        if (!WriteAll(fd, out, 2 * static_cast<std::size_t>(got))) return 1;
    }
    return close(fd) == 0 ? 0 : 1;
}

std::vector<double> StorageSpeeds(const std::string& folder, const std::vector<std::size_t>& sizes,
                                  std::size_t bytes, int rounds) {
    std::vector<std::vector<double>> speeds(sizes.size());
    FreshFolder(folder);
    const std::string path = folder + "/speed";
    std::vector<char> block(sizes.empty() ? 0 : *std::max_element(sizes.begin(), sizes.end()), 's');
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < sizes.size(); ++k) {
            const std::size_t i = round % 2 == 0 ? k : sizes.size() - 1 - k;
            const int fd =
                open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_DSYNC | O_CLOEXEC, 0644);
            if (fd < 0) return {};
            const std::size_t writes = std::max<std::size_t>(bytes / sizes[i], 4);
            const std::uint64_t start = NowNs();
            bool ok = true;
            for (std::size_t n = 0; ok && n < writes; ++n) {
                ok = WriteAll(fd, block.data(), sizes[i]);
            }
            const double seconds = static_cast<double>(NowNs() - start) / 1e9;
            close(fd);
            if (!ok) return {};
            speeds[i].push_back(static_cast<double>(writes * sizes[i]) / seconds / 1e6);
        }
    }
    RemoveTree(folder);
    std::vector<double> medians;
    for (const std::vector<double>& figures : speeds) medians.push_back(Median(figures));
    return medians;
}

bool Installed(const std::string& program) {
    if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
    for (const char* dir : {"/usr/bin/", "/bin/", "/usr/sbin/", "/usr/local/bin/"}) {
        if (access((dir + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

void FreshFolder(const std::string& folder) {
    RemoveTree(folder);
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
}

void RemoveTree(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace scrivlet::bench
