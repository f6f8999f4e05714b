// scrivlet::host: the operating system work of a program that hosts rings from the command line
// (the `scrivlet` tool): its standard streams, the stop signals, examining and reading files,
// listing a folder and replacing a file durably. Part of the ring library (Scrivlet::ring), so
// that a host needs no system header of its own.
//
// Failures come back as a false result or a status, with the system's reason in words where a
// message needs it; nothing here throws or ends the process. The functions that take standard
// input run on the thread that reads the input; the others may be called from any thread.
#ifndef SCRIVLET_HOST_H
#define SCRIVLET_HOST_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "scrivlet/export.h"

namespace scrivlet::host {

// ---- Stop signals: an interrupt or a termination request from outside.

// Makes the interrupt and termination requests set the stop flag instead of ending the process
// (a wait for input is then cut short) and a closed output pipe a failed write instead of the
// end of the process.
SCRIVLET_RING_API void InstallStopHandlers();
// The number of the request that asked to stop (as the system numbers it; an exit status of 128
// plus it says which), or 0.
SCRIVLET_RING_API int StopSignal();
// Starts a thread that never takes the stop requests, so that they reach the calling thread.
SCRIVLET_RING_API std::thread StartThreadWithoutStops(std::function<void()> body);

// ---- Standard streams.

// Whether standard error is a terminal.
SCRIVLET_RING_API bool ErrorIsTerminal();
// Whether the last failed write of the calling thread failed because the reader of the output
// had gone (a closed pipe), rather than for a fault of its own.
SCRIVLET_RING_API bool LastWriteFoundReaderGone();
// Enlarges standard input to bytes, when it is a pipe, as far as the system allows.
SCRIVLET_RING_API void EnlargeInputPipe(std::size_t bytes);

enum class Input {
    kReady,    // something to read, or the end of the input
    kNothing,  // the time ran out, or a signal came
    kFailed,
};
// Waits at most milliseconds for standard input.
SCRIVLET_RING_API Input WaitForInput(int milliseconds);

enum class Read {
    kRead,    // got holds the number of bytes read, at least 1
    kEnd,     // the input has ended
    kAgain,   // interrupted by a signal, or nothing to read yet
    kFailed,  // the reason is the system's last error (std::perror says it)
};
// Reads at most size bytes of standard input into buffer, straight from the system.
SCRIVLET_RING_API Read ReadInput(void* buffer, std::size_t size, std::size_t& got);

// ---- Files and folders.

enum class Kind {
    kMissing,  // nothing of that name (nor a folder on its way)
    kRegular,
    kDirectory,
    kFifo,
    kCharacterDevice,
    kBlockDevice,
    kSocket,
    kOther,       // of a kind the system has beyond these
    kLinkLoop,    // a loop of symbolic links
    kBrokenLink,  // a symbolic link to nothing
    kUnknown,     // cannot be examined (the reason in Status::error)
};

struct Status {
    Kind kind = Kind::kMissing;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // the last change, nanoseconds since the epoch
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    std::string error;  // the system's words, for kUnknown
};

// What is at path (symbolic links followed), without opening it.
SCRIVLET_RING_API Status Examine(const std::string& path);

// A file open for reading at any offset; the destructor closes it.
class SCRIVLET_RING_API ReadOnlyFile {
  public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Opens path without blocking (a FIFO put in a file's place opens at once) and without
    // making it the process's terminal. False with the system's words in error when it cannot
    // be opened; true with regular false when what opened is not a regular file.
    bool Open(const std::string& path, bool& regular, std::string& error);
    bool is_open() const { return descriptor_ >= 0; }
    // Reads up to size bytes at offset into buffer, fewer where the file ends; the count.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;

  private:
    int descriptor_ = -1;
};

// The names in folder, "." and ".." left out, in the order the system lists them. False with the
// system's words in error when the folder cannot be read.
SCRIVLET_RING_API bool ListFolder(const std::string& folder, std::vector<std::string>& names,
                                  std::string& error);

// The absolute path of an existing path with every link and "." and ".." resolved; false when it
// cannot be resolved (missing, for one).
SCRIVLET_RING_API bool ResolvePath(const std::string& path, std::string& resolved);

// Replaces path with bytes so that it survives a crash: a new file beside it is written and
// synced, renamed over path, and the folder's entry synced. False with what failed (the step, the
// file and the system's words) in why.
SCRIVLET_RING_API bool ReplaceFileDurably(const std::string& path, std::string_view bytes,
                                          std::string& why);

}  // namespace scrivlet::host

#endif  // SCRIVLET_HOST_H
