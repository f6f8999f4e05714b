// The crash-state explorer: what a power cut can leave of a writer's files.
//
// A Recorder notes every file system operation that a writer makes through the platform layer's
// table (directory creation, file creation or replacement, write, close) into a Trace; the writer
// adds each record it was told is durable (Write or any other acknowledging call returned true).
// Explore then builds every state that a power cut could leave, using the platform's declared
// durability of each operation (platform/posix/durability.h): a cut after each operation, each
// operation not yet durable at the cut (a directory entry never synced, a truncation not yet
// followed by a write) present or absent, and the write in flight at the cut absent or torn. In
// each state every acknowledged record that the uncut files hold must be present, whole, and in
// the order acknowledged within its file; and, when a tool is given, `scrivlet verify` must run
// on the state and report nothing but what a cut explains in at most one file.
#ifndef SCRIVLET_TESTS_CRASHSTATES_EXPLORER_H
#define SCRIVLET_TESTS_CRASHSTATES_EXPLORER_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace scrivlet {
namespace test {

struct FsOp {
    enum Kind { kDirectory, kCreate, kReplace, kWrite, kClose } kind;
    std::string path;  // native, relative to the writer's current directory
    std::uint64_t offset = 0;
    std::string bytes;  // what a write put there
};

struct Trace {
    std::vector<FsOp> ops;
    // Record bytes, each with the number of operations that had returned when it was
    // acknowledged. Records must be distinct.
    std::vector<std::pair<std::size_t, std::string>> acknowledged;
    // Notes a record as acknowledged now; safe to call from any thread while a Recorder runs.
    void Acknowledge(const std::string& record);
};

// Records into trace while it lives; calls go on to the table entries it found.
class Recorder {
  public:
    explicit Recorder(Trace* trace);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
};

struct Exploration {
    std::size_t cuts = 0;
    std::size_t states = 0;             // distinct states checked
    std::size_t verified = 0;           // of them, checked by the verify tool
    std::vector<std::string> failures;  // the first few, each naming its state
};

// Explores trace. tool: the scrivlet program, or empty; verify_args: the ring's options for it,
// run inside each state's folder; work: an empty directory for the states.
Exploration Explore(const Trace& trace, const std::string& tool, const std::string& verify_args,
                    const std::filesystem::path& work);

}  // namespace test
}  // namespace scrivlet

#endif  // SCRIVLET_TESTS_CRASHSTATES_EXPLORER_H
