// Child processes for the POSIX tests (see child.h): fork, a pipe for the output, reads and waits
// with deadlines, SIGKILL and waitpid at the end.
#include "support/child.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace scrivlet {
namespace test {

using Clock = std::chrono::steady_clock;

Child::Child(const std::vector<std::string>& args) {
    Start([&args] {
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
    });
}

Child::Child(const std::function<int(int out)>& body) {
    Start([&body] { _exit(body(1)); });
}

void Child::Start(const std::function<void()>& run) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        run();
        _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
}

Child::~Child() {
    Wait(milliseconds(0));
    if (out_ >= 0) close(out_);
}

bool Child::Read(void* data, std::size_t size, milliseconds within) {
    const Clock::time_point deadline = Clock::now() + within;
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        pollfd ready = {out_, POLLIN, 0};
        if (left < 0 || poll(&ready, 1, static_cast<int>(left)) <= 0) return false;
        const ssize_t got = read(out_, bytes, size);
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

void Child::Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
}

int Child::Wait(milliseconds within) {
    if (pid_ <= 0) return -1;
    const Clock::time_point deadline = Clock::now() + within;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            Kill();
            waitpid(pid_, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    pid_ = -1;
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace test
}  // namespace scrivlet
