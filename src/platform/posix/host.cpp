// The host's operating system work on POSIX (scrivlet/host.h): the stop signals, the standard
// streams, then files and folders.
//
// The stop handler only sets a flag, and is installed without restarting interrupted calls, so
// that a wait for input returns when a stop request comes. The system's reasons are strerror's
// words.
#include "scrivlet/host.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace scrivlet::host {
namespace {

volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void OnStopSignal(int signal_number) { g_stop_signal = signal_number; }

std::string Reason() { return std::strerror(errno); }

std::string Failed(const char* doing, const std::string& path) {
    return std::string(doing) + " " + path + ": " + Reason();
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

Kind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return Kind::kRegular;
    if (S_ISDIR(mode)) return Kind::kDirectory;
    if (S_ISFIFO(mode)) return Kind::kFifo;
    if (S_ISCHR(mode)) return Kind::kCharacterDevice;
    if (S_ISBLK(mode)) return Kind::kBlockDevice;
    if (S_ISSOCK(mode)) return Kind::kSocket;
    return Kind::kOther;
}

}  // namespace

void InstallStopHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking read returns EINTR
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

int StopSignal() { return g_stop_signal; }

std::thread StartThreadWithoutStops(std::function<void()> body) {
    // A new thread inherits the mask of the thread that starts it.
    sigset_t stops, old;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, &old);
    std::thread thread(std::move(body));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return thread;
}

bool ErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool LastWriteFoundReaderGone() { return errno == EPIPE; }

void EnlargeInputPipe(std::size_t bytes) {
    struct stat input;
    if (fstat(STDIN_FILENO, &input) != 0 || !S_ISFIFO(input.st_mode)) return;
    int size = bytes > 0x40000000 ? 0x40000000 : static_cast<int>(bytes);
    if (std::FILE* limit = std::fopen("/proc/sys/fs/pipe-max-size", "r")) {
        int most = 0;
        if (std::fscanf(limit, "%d", &most) == 1 && most < size) size = most;
        std::fclose(limit);
    }
    if (size > 0) fcntl(STDIN_FILENO, F_SETPIPE_SZ, size);
}

Input WaitForInput(int milliseconds) {
    struct pollfd wait = {STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&wait, 1, milliseconds);
    if (ready > 0) return Input::kReady;
    return ready == 0 || errno == EINTR ? Input::kNothing : Input::kFailed;
}

Read ReadInput(void* buffer, std::size_t size, std::size_t& got) {
    const ssize_t n = read(STDIN_FILENO, buffer, size);
    if (n > 0) {
        got = static_cast<std::size_t>(n);
        return Read::kRead;
    }
    if (n == 0) return Read::kEnd;
    return errno == EINTR || errno == EAGAIN ? Read::kAgain : Read::kFailed;
}

Status Examine(const std::string& path) {
    Status status;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        const int error = errno;
        struct stat link;
        if (lstat(path.c_str(), &link) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return status;
            status.kind = Kind::kUnknown;
            status.error = Reason();
        } else if (error == ELOOP) {
            status.kind = Kind::kLinkLoop;
        } else if (error == ENOENT) {
            status.kind = Kind::kBrokenLink;
        } else {
            status.kind = Kind::kUnknown;
            status.error = std::strerror(error);
        }
        return status;
    }
    status.kind = KindOf(info.st_mode);
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.mtime = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                   static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    status.inode = static_cast<std::uint64_t>(info.st_ino);
    status.device = static_cast<std::uint64_t>(info.st_dev);
    return status;
}

ReadOnlyFile::~ReadOnlyFile() {
    if (descriptor_ >= 0) close(descriptor_);
}

bool ReadOnlyFile::Open(const std::string& path, bool& regular, std::string& error) {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor_ < 0) {
        error = Reason();
        return false;
    }
    struct stat info;
    regular = fstat(descriptor_, &info) == 0 && S_ISREG(info.st_mode);
    return true;
}

std::size_t ReadOnlyFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    std::size_t got = 0;
    while (descriptor_ >= 0 && got < size) {
        const ssize_t n = pread(descriptor_, static_cast<char*>(buffer) + got, size - got,
                                static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

bool ListFolder(const std::string& folder, std::vector<std::string>& names, std::string& error) {
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) {
        error = Reason();
        return false;
    }
    while (const dirent* entry = readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    closedir(listing);
    return true;
}

bool ResolvePath(const std::string& path, std::string& resolved) {
    char* found = realpath(path.c_str(), nullptr);
    if (found == nullptr) return false;
    resolved = found;
    std::free(found);
    return true;
}

bool ReplaceFileDurably(const std::string& path, std::string_view bytes, std::string& why) {
    const std::string fresh = path + ".new";
    const int file = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        why = Failed("creating", fresh);
        return false;
    }
    const bool written =
        write(file, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (!written || fsync(file) != 0) {
        why = Failed("writing", fresh);
        close(file);
        return false;
    }
    close(file);
    if (rename(fresh.c_str(), path.c_str()) != 0) {
        why = Failed("renaming", fresh);
        return false;
    }
    // The rename lasts once the folder's entry is on the storage.
    const int folder = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = folder >= 0 && fsync(folder) == 0;
    if (!synced) why = Failed("syncing the folder of", path);
    if (folder >= 0) close(folder);
    return synced;
}

}  // namespace scrivlet::host
