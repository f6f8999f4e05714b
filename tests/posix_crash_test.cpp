// Crash safety on POSIX: power cuts and kills lose no acknowledged record.
//
// Power cuts: a recorder notes every file system operation that a writer makes through the
// platform layer's table (directory creation, file creation or replacement, write), and each
// record the writer was told is durable. The explorer then builds every state that a power cut
// could leave, from the durability that the POSIX stand-ins declare (durability.h): a cut after
// each operation, each operation not yet durable at the cut present or absent, and the write in
// flight absent or torn. In each state every acknowledged record that the uncut files
// hold must be present, whole, and in the order acknowledged within its file; and the scrivlet
// tool's verify (when built, SCRIVLET_TOOL) must report nothing but what a cut explains, in one
// file at most. The stand-ins keep what they declare, as seen from their fsync and fdatasync calls
// and from the descriptors they open, and a write is in the file for any reader once it returns:
// a killed writer cannot lose it (writers killed for real: below and cli.writer_restarts).
//
// Restarts: a ring that wraps, its writer killed at random moments and restarted each time, loses
// no acknowledged record; and every power cut during a restart keeps them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "platform/posix/durability.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/paths.h"
#include "scrivlet/ring.h"
#include "support/child.h"
#include "support/support.h"

#ifndef SCRIVLET_TOOL
#define SCRIVLET_TOOL ""  // the scrivlet tool is not built: no verify runs
#endif

namespace {

std::vector<std::string> g_synced;  // the paths of the descriptors synced, in order

void NoteSync(int fd) {
    char link[64], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    g_synced.push_back(std::string(path, length > 0 ? static_cast<std::size_t>(length) : 0));
}

}  // namespace

// This program's own fsync and fdatasync: the stand-ins' calls end here, are noted, and go on to
// the kernel.
extern "C" int fsync(int fd) {
    NoteSync(fd);
    return static_cast<int>(syscall(SYS_fsync, fd));
}
extern "C" int fdatasync(int fd) {
    NoteSync(fd);
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}

namespace {

using namespace scrivlet::test;
namespace os = scrivlet::os;
namespace fs = std::filesystem;

// Numbered records of 32 bytes, every byte determined by the number, so that a whole record can
// be told from a torn or foreign one.
const unsigned kRecordSize = 32;

std::string Record(unsigned n) {
    char text[kRecordSize + 1];
    std::snprintf(text, sizeof text, "#%010u-", n);
    std::string record(text);
    for (unsigned i = 0; record.size() < kRecordSize - 1; ++i) {
        record += static_cast<char>('a' + (n * 7 + i * 13) % 26);
    }
    return record + "\n";
}

// ---- Recording -------------------------------------------------------------------------------

struct FsOp {
    enum Kind { kDirectory, kCreate, kReplace, kWrite, kCut } kind;
    std::string path;      // native, relative to the writer's current directory
    std::uint64_t offset;  // of a write; a cut's new size
    std::string bytes;     // what a write put there
};

// Acknowledged records, each with the number of operations that had returned by then.
using Acks = std::vector<std::pair<std::size_t, std::string>>;

std::vector<FsOp> g_ops;
Acks g_acks;
os::Api g_next;  // the table entries that the recording wrappers call on
// Open files by handle: path and the offset of the next write.
std::map<os::HANDLE, std::pair<std::string, std::uint64_t>> g_files;

std::string Native(os::LPCWSTR path) {
    char buffer[os::posix::kNativePathSize];
    return os::posix::NativePath(path, buffer, sizeof buffer) == os::ERROR_SUCCESS ? buffer : "";
}

os::BOOL RecordDirectory(os::LPCWSTR path, void* security) {
    const os::BOOL made = g_next.CreateDirectoryW(path, security);
    if (made) g_ops.push_back({FsOp::kDirectory, Native(path), 0, {}});
    return made;
}

os::HANDLE RecordCreate(os::LPCWSTR path, DWORD access, DWORD share, void* security,
                        DWORD disposition, DWORD flags, os::HANDLE model) {
    const os::HANDLE file =
        g_next.CreateFileW(path, access, share, security, disposition, flags, model);
    if (file == os::InvalidHandleValue()) return file;
    if (disposition == os::OPEN_EXISTING) {  // an existing file opened unchanged
        g_files[file] = {Native(path), 0};
        return file;
    }
    const bool replaced = g_next.GetLastError() == os::ERROR_ALREADY_EXISTS;
    g_files[file] = {Native(path), 0};
    g_ops.push_back({replaced ? FsOp::kReplace : FsOp::kCreate, g_files[file].first, 0, {}});
    return file;
}

os::BOOL RecordWrite(os::HANDLE file, const void* data, DWORD count, DWORD* written, void* ov) {
    DWORD done = 0;
    const os::BOOL ok = g_next.WriteFile(file, data, count, &done, ov);
    if (written != nullptr) *written = done;
    auto& open = g_files.at(file);
    if (ok && done > 0) {
        g_ops.push_back({FsOp::kWrite, open.first, open.second,
                         std::string(static_cast<const char*>(data), done)});
        open.second += done;
    }
    return ok;
}

os::BOOL RecordSeek(os::HANDLE file, std::int64_t distance, std::int64_t* position, DWORD method) {
    std::int64_t at = 0;
    const os::BOOL ok = g_next.SetFilePointerEx(file, distance, &at, method);
    if (ok) g_files.at(file).second = static_cast<std::uint64_t>(at);
    if (position != nullptr) *position = at;
    return ok;
}

os::BOOL RecordCut(os::HANDLE file) {
    const os::BOOL ok = g_next.SetEndOfFile(file);
    const auto& open = g_files.at(file);
    if (ok) g_ops.push_back({FsOp::kCut, open.first, open.second, {}});
    return ok;
}

// Records into g_ops while it lives (from one thread).
struct Recorder {
    Recorder() {
        g_ops.clear();
        g_acks.clear();
        g_files.clear();
        os::Api& table = os::Table();
        g_next = table;
        table.CreateDirectoryW = RecordDirectory;
        table.CreateFileW = RecordCreate;
        table.WriteFile = RecordWrite;
        table.SetFilePointerEx = RecordSeek;
        table.SetEndOfFile = RecordCut;
    }
    ~Recorder() { os::Table() = g_next; }
};

// ---- One state -------------------------------------------------------------------------------

struct Folder {
    std::set<std::string> directories;
    std::map<std::string, std::string> files;
    std::map<std::string, std::size_t> changed;  // the last operation that changed each file
};

// What the folder held before the recording began (a ring that a writer is to continue).
Folder g_initial;

// Replays the first `bytes` bytes (all, for other kinds) of operation i into folder. What lies in
// a directory whose entry is missing is lost with it; made: the directories the trace creates.
void Apply(std::size_t i, std::size_t bytes, const std::set<std::string>& made, Folder& folder) {
    const FsOp& op = g_ops[i];
    const std::size_t slash = op.path.rfind('/');
    const std::string parent = slash == std::string::npos ? "" : op.path.substr(0, slash);
    if (made.count(parent) != 0 && folder.directories.count(parent) == 0) return;
    const auto file = folder.files.find(op.path);
    if (op.kind == FsOp::kDirectory) {
        folder.directories.insert(op.path);
    } else if (op.kind == FsOp::kCreate) {
        folder.files[op.path].clear();
        folder.changed[op.path] = i;
    } else if (op.kind == FsOp::kCut && file != folder.files.end()) {
        file->second.resize(std::min<std::size_t>(file->second.size(), op.offset));
        folder.changed[op.path] = i;
    } else if (file != folder.files.end() && (op.kind == FsOp::kReplace || bytes > 0)) {
        std::string& content = file->second;
        if (op.kind == FsOp::kReplace) content.clear();
        if (content.size() < op.offset + bytes) content.resize(op.offset + bytes);
        content.replace(op.offset, bytes, op.bytes, 0, bytes);
        folder.changed[op.path] = i;
    }
}

// Whether operation i has reached the storage by the time `cut` operations have returned: a
// truncation not there at once is there with the next write to the file; a cut of a file may
// never be there.
bool DurableAt(std::size_t i, std::size_t cut) {
    const os::posix::Durability& declared = os::posix::kDurability;
    static_assert(declared.write, "states where a returned write is lost are not built");
    const FsOp& op = g_ops[i];
    if (op.kind == FsOp::kCut) return false;
    if (op.kind == FsOp::kDirectory || op.kind == FsOp::kCreate) {
        return op.kind == FsOp::kDirectory ? declared.directory_entry : declared.file_entry;
    }
    for (std::size_t j = i + 1; op.kind == FsOp::kReplace && j < cut; ++j) {
        if (g_ops[j].kind == FsOp::kWrite && g_ops[j].path == op.path) return true;
    }
    return op.kind != FsOp::kReplace || declared.truncation;
}

std::string Describe(std::size_t i) {
    static const char* const kWords[] = {"directory ", "new file ", "emptied ", "write to ",
                                         "cut "};
    const FsOp& op = g_ops[i];
    if (op.kind == FsOp::kCut)
        return kWords[op.kind] + op.path + " to " + std::to_string(op.offset);
    if (op.kind != FsOp::kWrite) return kWords[op.kind] + op.path;
    return kWords[op.kind] + op.path + " of " + std::to_string(op.bytes.size()) + " bytes at " +
           std::to_string(op.offset);
}

bool Holds(const Folder& folder, const std::string& record) {
    return std::any_of(folder.files.begin(), folder.files.end(), [&](const auto& file) {
        return file.second.find(record) != std::string::npos;
    });
}

// Every kept record whole somewhere; within each file, records in the order acknowledged.
std::string CheckRecords(const Folder& state, const Acks& acks,
                         const std::vector<std::size_t>& kept) {
    for (std::size_t k : kept) {
        if (!Holds(state, acks[k].second)) {
            return "record " + std::to_string(k) + " (acknowledged after operation " +
                   std::to_string(acks[k].first) + ") is lost";
        }
    }
    for (const auto& file : state.files) {
        std::map<std::size_t, std::size_t> found;  // offset -> record
        for (std::size_t k = 0; k < acks.size(); ++k) {
            const std::size_t at = file.second.find(acks[k].second);
            if (at != std::string::npos) found[at] = k;
        }
        std::size_t last = 0;
        for (const auto& record : found) {
            if (record.second < last) {
                return "record " + std::to_string(record.second) + " follows record " +
                       std::to_string(last) + " in " + file.first;
            }
            last = record.second;
        }
    }
    return "";
}

// The output of the scrivlet tool run with args in dir, and its exit status (-1: it did not
// exit by itself).
std::pair<std::string, int> Tool(const std::string& tool, const std::string& args,
                                 const fs::path& dir = ".") {
    const std::string command =
        "cd '" + dir.string() + "' && exec '" + tool + "' " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    const int status = pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// Runs the verify tool on the state, written into dir with modification times in the order of
// the operations: it must not crash, and may report only what a cut explains (a file not closed,
// a torn tail, a missing first line), in one file at most.
std::string CheckVerify(const Folder& state, const std::string& tool, const std::string& args,
                        const fs::path& dir) {
    fs::create_directories(dir);
    for (const std::string& directory : state.directories) fs::create_directories(dir / directory);
    for (const auto& file : state.files) {
        std::ofstream(dir / file.first, std::ios::binary) << file.second;
        const timespec when = {1700000000 + static_cast<time_t>(state.changed.at(file.first)), 0};
        const timespec times[2] = {when, when};
        utimensat(AT_FDCWD, (dir / file.first).c_str(), times, 0);
    }
    const auto [output, status] = Tool(tool, "verify " + args, dir);
    fs::remove_all(dir);
    if (status < 0 || status > 1) {
        return "verify ended with status " + std::to_string(status) + ":\n" + output;
    }
    static const char* const kExplained[] = {"not closed in an orderly way", "torn tail",
                                             "no counter line", "no header line"};
    std::istringstream lines(output);
    int files = 0;
    bool counted = true;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  file ", 0) == 0) counted = false;
        if (line.rfind("  problem: ", 0) == 0) return "verify: " + line.substr(11);
        if (line.rfind("    problem: ", 0) != 0) continue;
        bool explained = false;
        for (const char* what : kExplained) explained |= line.find(what) == 13;
        if (!explained) return "verify: " + line.substr(13);
        if (!counted) ++files;
        counted = true;
    }
    return files > 1 ? "verify finds problems in " + std::to_string(files) + " files:\n" + output
                     : "";
}

// ---- The walk over every cut -----------------------------------------------------------------

// Explores what the recorder noted; returns the first few failures, each naming its state. tool:
// the scrivlet program, or empty; args: the ring's options for its verify; work: a directory for
// the states; check: what else every state must show (a problem, or empty).
std::string Explore(const std::string& tool, const std::string& args, const fs::path& work,
                    const std::function<std::string(const Folder&)>& check = nullptr) {
    const std::size_t kMaxFailures = 5, kMaxPending = 12;
    std::set<std::string> made;
    std::set<std::pair<std::set<std::string>, std::map<std::string, std::string>>> verified;
    std::size_t failed = 0, states = 0;
    std::string failures;
    for (const FsOp& op : g_ops) {
        if (op.kind == FsOp::kDirectory) made.insert(op.path);
    }
    for (std::size_t cut = 0; cut <= g_ops.size() && failed < kMaxFailures; ++cut) {
        Folder uncut = g_initial;
        std::vector<std::size_t> pending, kept;
        for (std::size_t i = 0; i < cut; ++i) {
            Apply(i, g_ops[i].bytes.size(), made, uncut);
            if (!DurableAt(i, cut)) pending.push_back(i);
        }
        for (std::size_t k = 0; k < g_acks.size(); ++k) {
            if (g_acks[k].first <= cut && Holds(uncut, g_acks[k].second)) kept.push_back(k);
        }
        const std::string name = "cut after operation " + std::to_string(cut) + " of " +
                                 std::to_string(g_ops.size()) +
                                 (cut > 0 ? " (" + Describe(cut - 1) + ")" : "");
        EXPECT_LE(pending.size(), kMaxPending) << name << ": too many operations not yet durable";
        if (pending.size() > kMaxPending) continue;
        const bool in_flight = cut < g_ops.size() && g_ops[cut].bytes.size() > 1;
        for (std::size_t mask = 0; mask < (std::size_t{1} << pending.size()); ++mask) {
            for (int torn = 0; torn <= (in_flight ? 1 : 0); ++torn) {
                Folder state = g_initial;
                std::string detail;
                for (std::size_t i = 0, p = 0; i < cut; ++i) {
                    const bool is_pending = p < pending.size() && pending[p] == i;
                    if (is_pending && !((mask >> p++) & 1)) {
                        detail += ", without " + Describe(i);
                        continue;
                    }
                    Apply(i, g_ops[i].bytes.size(), made, state);
                }
                if (torn) {
                    Apply(cut, g_ops[cut].bytes.size() / 2, made, state);
                    detail += ", torn " + Describe(cut);
                }
                ++states;
                std::string problem = CheckRecords(state, g_acks, kept);
                if (problem.empty() && check) problem = check(state);
                // The tool runs once for each distinct folder.
                if (problem.empty() && !tool.empty() &&
                    verified.insert({state.directories, state.files}).second) {
                    problem = CheckVerify(state, tool, args, work);
                }
                if (!problem.empty() && failed++ < kMaxFailures) {
                    failures += "\n" + name + detail + ": " + problem;
                }
            }
        }
    }
    std::printf("%zu operations, %zu records: %zu states, %zu checked by verify\n", g_ops.size(),
                g_acks.size(), states, verified.size());
    return failures;
}

// ---- Power cuts ------------------------------------------------------------------------------

// Each writer creates its folder (two directories), wraps a ring of 3 files twice, writes 3 more
// times and is cut: records only, with counter, header and footer lines, and through
// scrivlet::Ring, four records a call (one group each).
TEST(PowerCut, EveryStateKeepsTheAcknowledgedRecords) {
    const struct {
        const char* name;
        bool lines, ring;
    } writers[] = {{"records", false, false}, {"lines", true, false}, {"ring", true, true}};
    for (const auto& w : writers) {
        SCOPED_TRACE(w.name);
        TempDir dir;
        TQCLogFile_1 log;  // outlive the recording: the cut comes before anything is closed
        scrivlet::Ring ring;
        {
            Recorder recorder;
            Info info{};
            scrivlet::Error error;
            const scrivlet::RingOptions options{"crash/ring", "log", 3,    688,
                                                "h",          "f",   true, scrivlet::Text::raw};
            ASSERT_TRUE(w.ring ? ring.open(options, error)
                               : Open(log,
                                      Config(3, 688, "log", "crash\\ring", w.lines ? "h" : "",
                                             w.lines ? "f" : "", w.lines),
                                      &info))
                << error.message();
            const unsigned batch = w.ring ? 4 : 1;
            for (unsigned n = 1, after = 0; after < 3; n += batch) {
                std::string records[4];
                std::string_view views[4];
                for (unsigned i = 0; i < batch; ++i) views[i] = records[i] = Record(n + i);
                ASSERT_TRUE(w.ring ? ring.write(views, batch, error)
                                   : log.Write(records[0].data(), kRecordSize, &info))
                    << n;
                for (unsigned i = 0; i < batch; ++i) g_acks.emplace_back(g_ops.size(), records[i]);
                after += std::count_if(g_ops.begin(), g_ops.end(), [](const FsOp& op) {
                             return op.kind == FsOp::kCreate || op.kind == FsOp::kReplace;
                         }) >= 7;
            }
        }
        const std::string args =
            std::string("--folder crash/ring --name log --count 3 --size 688 ") +
            (w.lines ? "--header h --footer f --counter" : "--raw");
        EXPECT_EQ(Explore(SCRIVLET_TOOL, args, dir.path() / "state"), "");
    }
}

// A ring continued after its writer was killed with a text record cut short: the cut record is
// dropped and the run goes on in the same file, then rotates twice, so that the file it went on in
// is still there. Every state of a cut during the
// restart keeps the records acknowledged before the kill and after it.
TEST(PowerCut, ARingContinuedAfterAKillKeepsEveryRecord) {
    TempDir dir;
    // As the ring stores Record(n): UTF-16LE, its line end CR LF.
    const auto stored = [](unsigned n) {
        return Utf16Bytes(Record(n).substr(0, kRecordSize - 1)) + Utf16Bytes("\r\n");
    };
    {
        TQCLogFile_1 killed;
        Info info{};
        ASSERT_TRUE(Open(killed, Config(3, 688, "log", "crash\\ring", "h", "f", true), &info));
        for (unsigned n = 1; n <= 3; ++n) {
            const std::string bytes = n < 3 ? stored(n) : stored(n).substr(0, 21);
            ASSERT_TRUE(killed.Write(bytes.data(), static_cast<unsigned>(bytes.size()), &info));
        }
        killed.ShutDown();
    }
    g_initial = Folder();
    g_initial.directories = {"crash", "crash/ring"};
    g_initial.files["crash/ring/log_0001.log"] = ReadBytes("crash/ring/log_0001.log");
    g_initial.changed["crash/ring/log_0001.log"] = 0;
    scrivlet::Ring ring;  // outlives the recording: the cut comes before it is closed
    {
        Recorder recorder;
        for (unsigned n = 1; n <= 2; ++n) g_acks.emplace_back(0, stored(n));
        scrivlet::Error error;
        const scrivlet::RingOptions options{"crash/ring", "log", 3, 688, "h", "f", true};
        ASSERT_TRUE(ring.open(options, error)) << error.message();
        for (unsigned n = 4; std::count_if(g_ops.begin(), g_ops.end(),
                                           [](const FsOp& op) {
                                               return op.kind == FsOp::kCreate ||
                                                      op.kind == FsOp::kReplace;
                                           }) < 2;
             ++n) {
            ASSERT_TRUE(ring.write(Record(n), error)) << n;
            g_acks.emplace_back(g_ops.size(), stored(n));
        }
    }
    const std::string file = ReadBytes("crash/ring/log_0001.log");
    EXPECT_LT(file.find(stored(1)), file.find(stored(2))) << "records of the killed run lost";
    EXPECT_NE(file.find(stored(2)), std::string::npos) << "records of the killed run lost";
    // Every line of every state whole: a library line or a record, but for a torn last one.
    const auto whole_lines = [](const Folder& state) -> std::string {
        for (const auto& [path, bytes] : state.files) {
            std::string line;
            for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
                line += bytes[i + 1] == 0 ? bytes[i] : '?';
                if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) continue;
                const bool library = std::isdigit(static_cast<unsigned char>(line[0])) != 0;
                const unsigned n = static_cast<unsigned>(std::atoi(line.c_str() + 1));
                if (!library && line != Record(n).substr(0, kRecordSize - 1) + "\r\n") {
                    return path + " holds a broken line at byte " + std::to_string(i) + ": " + line;
                }
                line.clear();
            }
        }
        return "";
    };
    EXPECT_EQ(Explore(SCRIVLET_TOOL,
                      "--folder crash/ring --name log --count 3 --size 688 --header h --footer f "
                      "--counter",
                      dir.path() / "state", whole_lines),
              "");
    g_initial = Folder();
}

bool Synced(const fs::path& path) {
    return std::count(g_synced.begin(), g_synced.end(), fs::canonical(path).string()) > 0;
}

// What each operation declares durable is synced before the call returns or written through; a
// replaced file starts empty with the last error 183, readable by others while it is open, and is
// kept from child processes; its writes block as usual.
TEST(Durability, StandInsKeepWhatTheyDeclare) {
    TempDir dir;
    const os::posix::Durability& declared = os::posix::kDurability;
    g_synced.clear();
    ASSERT_TRUE(os::CreateDirectoryW(Wide("d").c_str(), nullptr));
    EXPECT_EQ(Synced(dir.path()), declared.directory_entry) << "a new directory's parent";
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing a file" : "creating a file");
        g_synced.clear();
        os::SetLastError(99);
        const os::HANDLE file =
            os::CreateFileW(Wide("d\\f").c_str(), os::GENERIC_READ | os::GENERIC_WRITE,
                            os::FILE_SHARE_READ, nullptr, os::CREATE_ALWAYS,
                            os::FILE_ATTRIBUTE_NORMAL | os::FILE_FLAG_WRITE_THROUGH, nullptr);
        ASSERT_NE(file, os::InvalidHandleValue());
        EXPECT_EQ(os::GetLastError(), replacing ? 183u : 0u);
        EXPECT_EQ(ReadBytes("d/f"), "");
        EXPECT_EQ(replacing ? Synced("d/f") : Synced("d"),
                  replacing ? declared.truncation : declared.file_entry);
        const int fd = os::posix::Find(file, os::posix::Kind::kFile)->fd;
        EXPECT_EQ((fcntl(fd, F_GETFL) & O_DSYNC) == O_DSYNC, declared.write);
        EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "writes wait as usual";
        EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
        os::DWORD written = 0;
        EXPECT_TRUE(os::WriteFile(file, "abc", 3, &written, nullptr));
        EXPECT_EQ(ReadBytes("d/f"), "abc");
        EXPECT_TRUE(os::CloseHandle(file));
        EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the descriptor is closed";
    }
}

}  // namespace

namespace {

// A ring that wraps, its writer killed at random moments and started again each time (resuming):
// every record acknowledged within the ring's reach is there once, in the order written, as
// `scrivlet cat` prints it, and after one more restart `verify` finds no problem at all.
TEST(CrashSafety, RestartedRingLosesNothingAcknowledged) {
    if (std::string(SCRIVLET_TOOL).empty()) GTEST_SKIP() << "the scrivlet tool is not built";
    TempDir dir;
    const char* env = std::getenv("SCRIVLET_CRASH_ROUNDS");
    const int rounds = env != nullptr ? std::atoi(env) : 50;
    const unsigned seed = std::random_device()();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(0, 40);
    const scrivlet::RingOptions options{"ring", "log", 4, 4096, "h", "f", true};
    std::vector<unsigned> acked;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
        const unsigned first = 1000000 * static_cast<unsigned>(round + 1);
        Child child([&] {
            scrivlet::Ring ring;
            scrivlet::Error error;
            if (!ring.open(options, error)) return 2;
            for (unsigned n = first;; ++n) {
                if (!ring.write(Record(n), error)) return 3;
                if (write(1, &n, sizeof n) != static_cast<ssize_t>(sizeof n)) return 4;
            }
        });
        unsigned n = 0;
        auto end = Clock::now() + milliseconds(5000);
        for (bool started = false; child.Read(&n, sizeof n, end); acked.push_back(n)) {
            if (!started) end = Clock::now() + milliseconds(delay(random));
            started = true;
        }
        ASSERT_NE(child.End(milliseconds(0)), 2) << "the ring did not open";
        while (child.Read(&n, sizeof n, Clock::now() + milliseconds(5000))) acked.push_back(n);
    }
    // A last restart that writes nothing leaves a ring without any problem.
    {
        scrivlet::Ring ring;
        scrivlet::Error error;
        ASSERT_TRUE(ring.open(options, error) && ring.close(error)) << error.message();
    }
    const auto [text, status] = Tool(SCRIVLET_TOOL, "cat --folder ring --name log");
    ASSERT_EQ(status, 0) << text;
    std::vector<unsigned> seen;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const unsigned n = static_cast<unsigned>(std::strtoul(line.c_str() + 1, nullptr, 10));
        if (line[0] == '#' && line + "\n" == Record(n)) seen.push_back(n);
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()) &&
                std::adjacent_find(seen.begin(), seen.end()) == seen.end())
        << "records out of order or twice";
    for (unsigned a : acked) {
        if (a >= seen.front()) {
            ASSERT_TRUE(std::binary_search(seen.begin(), seen.end(), a))
                << "record " << a << " lost";
        }
    }
    const auto [report, verified] = Tool(
        SCRIVLET_TOOL,
        "verify --folder ring --name log --count 4 --size 4096 --header h --footer f --counter");
    EXPECT_EQ(verified, 0) << report;
    EXPECT_EQ(report.find("problem:"), std::string::npos) << report;
    std::printf("%d restarts, %zu records acknowledged, %zu in the ring\n", rounds, acked.size(),
                seen.size());
}

}  // namespace
