// The crash-state explorer (see explorer.h), in three parts: the recording wrappers over the
// platform layer's table, the replay of one state, and the walk over every cut with the checks of
// each state.
#include "crashstates/explorer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/platform.h"
#include "platform/posix/durability.h"
#include "platform/posix/paths.h"

namespace scrivlet {
namespace test {
namespace {

namespace fs = std::filesystem;
using os::DWORD;
using os::posix::kDurability;

// ---- Recording -------------------------------------------------------------------------------

Trace* g_trace = nullptr;
os::Api g_next;
std::mutex g_lock;
// Open files by handle: path and the offset of the next write (the library never seeks).
std::map<os::HANDLE, std::pair<std::string, std::uint64_t>> g_files;

std::string Native(os::LPCWSTR path) {
    char buffer[os::posix::kNativePathSize];
    return os::posix::NativePath(path, buffer, sizeof buffer) == os::ERROR_SUCCESS ? buffer : "";
}

os::BOOL RecordDirectory(os::LPCWSTR path, void* security) {
    const os::BOOL made = g_next.CreateDirectoryW(path, security);
    std::lock_guard<std::mutex> guard(g_lock);
    if (made) g_trace->ops.push_back(FsOp{FsOp::kDirectory, Native(path), 0, {}});
    return made;
}

os::HANDLE RecordCreate(os::LPCWSTR path, DWORD access, DWORD share, void* security,
                        DWORD disposition, DWORD flags, os::HANDLE model) {
    const os::HANDLE file =
        g_next.CreateFileW(path, access, share, security, disposition, flags, model);
    if (file == os::InvalidHandleValue()) return file;
    const bool replaced = g_next.GetLastError() == os::ERROR_ALREADY_EXISTS;
    std::lock_guard<std::mutex> guard(g_lock);
    g_trace->ops.push_back(FsOp{replaced ? FsOp::kReplace : FsOp::kCreate, Native(path), 0, {}});
    g_files[file] = {Native(path), 0};
    return file;
}

os::BOOL RecordWrite(os::HANDLE file, const void* data, DWORD count, DWORD* written,
                     void* overlapped) {
    DWORD done = 0;
    const os::BOOL ok = g_next.WriteFile(file, data, count, &done, overlapped);
    if (written != nullptr) *written = done;
    std::lock_guard<std::mutex> guard(g_lock);
    const auto open = g_files.find(file);
    if (ok && done > 0 && open != g_files.end()) {
        const char* bytes = static_cast<const char*>(data);
        g_trace->ops.push_back(
            FsOp{FsOp::kWrite, open->second.first, open->second.second, std::string(bytes, done)});
        open->second.second += done;
    }
    return ok;
}

os::BOOL RecordClose(os::HANDLE handle) {
    const os::BOOL closed = g_next.CloseHandle(handle);
    std::lock_guard<std::mutex> guard(g_lock);
    const auto open = g_files.find(handle);
    if (closed && open != g_files.end()) {
        g_trace->ops.push_back(FsOp{FsOp::kClose, open->second.first, 0, {}});
        g_files.erase(open);
    }
    return closed;
}

// ---- One state -------------------------------------------------------------------------------

struct Folder {
    std::set<std::string> directories;
    std::map<std::string, std::string> files;
    std::map<std::string, std::size_t> changed;  // the last operation that changed each file
};

// Replays the first `bytes` bytes (all, for other kinds) of operation i into folder. What lies in
// a directory whose entry is missing is lost with it; made: the directories the trace creates.
void Apply(const std::vector<FsOp>& ops, std::size_t i, std::size_t bytes,
           const std::set<std::string>& made, Folder& folder) {
    const FsOp& op = ops[i];
    const std::size_t slash = op.path.rfind('/');
    const std::string parent = slash == std::string::npos ? "" : op.path.substr(0, slash);
    if (made.count(parent) != 0 && folder.directories.count(parent) == 0) return;
    const auto file = folder.files.find(op.path);
    if (op.kind == FsOp::kDirectory) {
        folder.directories.insert(op.path);
    } else if (op.kind == FsOp::kCreate) {
        folder.files[op.path].clear();
        folder.changed[op.path] = i;
    } else if (file != folder.files.end() && (op.kind == FsOp::kReplace || bytes > 0)) {
        std::string& content = file->second;
        if (op.kind == FsOp::kReplace) content.clear();
        if (content.size() < op.offset + bytes) content.resize(op.offset + bytes);
        content.replace(op.offset, bytes, op.bytes, 0, bytes);
        folder.changed[op.path] = i;
    }
}

// Whether an operation has reached the storage by the time `cut` operations have returned.
bool DurableAt(const std::vector<FsOp>& ops, std::size_t i, std::size_t cut) {
    switch (ops[i].kind) {
        case FsOp::kDirectory:
            return kDurability.directory_entry;
        case FsOp::kCreate:
            return kDurability.file_entry;
        case FsOp::kReplace:
            for (std::size_t j = i + 1; j < cut && !kDurability.truncation; ++j) {
                if (ops[j].kind == FsOp::kWrite && ops[j].path == ops[i].path) return true;
            }
            return kDurability.truncation;
        default:  // a close changes nothing on the storage
            static_assert(kDurability.write, "states where a returned write is lost are not built");
            return true;
    }
}

std::string Describe(const FsOp& op) {
    static const char* const kWords[] = {"directory ", "new file ", "emptied ", "write to ",
                                         "close "};
    std::string text = kWords[op.kind] + op.path;
    if (op.kind == FsOp::kWrite) {
        text += " of " + std::to_string(op.bytes.size()) + " bytes at " + std::to_string(op.offset);
    }
    return text;
}

bool Holds(const Folder& folder, const std::string& record) {
    for (const auto& file : folder.files) {
        if (file.second.find(record) != std::string::npos) return true;
    }
    return false;
}

// Every kept record whole somewhere; within each file, records in the order acknowledged.
std::string CheckRecords(const Folder& state, const Trace& trace,
                         const std::vector<std::size_t>& kept) {
    const auto& acks = trace.acknowledged;
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

// Writes the state into dir, with modification times in the order of the operations.
void Materialize(const Folder& state, const fs::path& dir) {
    fs::create_directories(dir);
    for (const std::string& directory : state.directories) fs::create_directories(dir / directory);
    for (const auto& file : state.files) {
        std::ofstream(dir / file.first, std::ios::binary) << file.second;
        const timespec when = {1700000000 + static_cast<time_t>(state.changed.at(file.first)), 0};
        const timespec times[2] = {when, when};
        utimensat(AT_FDCWD, (dir / file.first).c_str(), times, 0);
    }
}

// Runs the verify tool on the state: it must not crash, and may report only what a cut explains
// (a file not closed, a torn tail, a missing first line), in one file at most.
std::string CheckVerify(const Folder& state, const std::string& tool, const std::string& args,
                        const fs::path& dir) {
    Materialize(state, dir);
    const std::string command =
        "cd '" + dir.string() + "' && exec '" + tool + "' verify " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    const int status = pclose(pipe);
    fs::remove_all(dir);
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
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

const std::size_t kMaxFailures = 5;
const std::size_t kMaxPending = 12;

}  // namespace

// ---- The walk over every cut -------------------------------------------------------------

void Trace::Acknowledge(const std::string& record) {
    std::lock_guard<std::mutex> guard(g_lock);
    acknowledged.emplace_back(ops.size(), record);
}

Recorder::Recorder(Trace* trace) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_trace = trace;
    g_files.clear();
    os::Api& table = os::Table();
    g_next = table;
    table.CreateDirectoryW = RecordDirectory;
    table.CreateFileW = RecordCreate;
    table.WriteFile = RecordWrite;
    table.CloseHandle = RecordClose;
}

Recorder::~Recorder() {
    std::lock_guard<std::mutex> guard(g_lock);
    os::Table() = g_next;
    g_trace = nullptr;
}

Exploration Explore(const Trace& trace, const std::string& tool, const std::string& verify_args,
                    const fs::path& work) {
    Exploration result;
    const std::vector<FsOp>& ops = trace.ops;
    std::set<std::string> made, verified;
    for (const FsOp& op : ops) {
        if (op.kind == FsOp::kDirectory) made.insert(op.path);
    }
    for (std::size_t cut = 0; cut <= ops.size() && result.failures.size() < kMaxFailures; ++cut) {
        ++result.cuts;
        Folder uncut;
        std::vector<std::size_t> pending, kept;
        for (std::size_t i = 0; i < cut; ++i) {
            Apply(ops, i, ops[i].bytes.size(), made, uncut);
            if (!DurableAt(ops, i, cut)) pending.push_back(i);
        }
        for (std::size_t k = 0; k < trace.acknowledged.size(); ++k) {
            const auto& ack = trace.acknowledged[k];
            if (ack.first <= cut && Holds(uncut, ack.second)) kept.push_back(k);
        }
        if (pending.size() > kMaxPending) {
            result.failures.push_back("more than " + std::to_string(kMaxPending) +
                                      " operations not yet durable at cut " + std::to_string(cut));
            continue;
        }
        const bool in_flight = cut < ops.size() && ops[cut].bytes.size() > 1;
        for (std::size_t mask = 0; mask < (std::size_t{1} << pending.size()); ++mask) {
            for (int torn = 0; torn <= (in_flight ? 1 : 0); ++torn) {
                Folder state;
                std::string name = "cut after operation " + std::to_string(cut) + " of " +
                                   std::to_string(ops.size()) +
                                   (cut > 0 ? " (" + Describe(ops[cut - 1]) + ")" : "");
                for (std::size_t i = 0, p = 0; i < cut; ++i) {
                    if (p < pending.size() && pending[p] == i) {
                        const bool present = (mask >> p++) & 1;
                        name += (present ? ", with " : ", without ") + Describe(ops[i]);
                        if (!present) continue;
                    }
                    Apply(ops, i, ops[i].bytes.size(), made, state);
                }
                if (torn) {
                    Apply(ops, cut, ops[cut].bytes.size() / 2, made, state);
                    name += ", torn " + Describe(ops[cut]);
                }
                ++result.states;
                std::string problem = CheckRecords(state, trace, kept);
                // The tool runs once for each distinct folder.
                std::string content;
                for (const std::string& directory : state.directories) content += directory + "/\n";
                for (const auto& file : state.files) {
                    content += file.first + " " + std::to_string(file.second.size()) + "\n";
                    content += file.second;
                }
                if (problem.empty() && !tool.empty() && verified.insert(content).second) {
                    ++result.verified;
                    problem = CheckVerify(state, tool, verify_args, work / "state");
                }
                if (!problem.empty() && result.failures.size() < kMaxFailures) {
                    result.failures.push_back(name + ": " + problem);
                }
            }
        }
    }
    return result;
}

}  // namespace test
}  // namespace scrivlet
