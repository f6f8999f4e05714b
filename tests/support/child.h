// A child process for the POSIX tests: a function of the test (which may exec a program) run in a
// process of its own, its standard output coming back through a pipe. Every read and wait has a
// deadline, and a child still there when the object ends is killed and reaped.
#ifndef SCRIVLET_TESTS_SUPPORT_CHILD_H
#define SCRIVLET_TESTS_SUPPORT_CHILD_H

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace scrivlet {
namespace test {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

class Child {
  public:
    // Runs body in a copy of this process; body's result is the exit status.
    template <typename Body>
    explicit Child(Body body) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            _exit(body());
        }
        close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        End(milliseconds(0));
        close(out_);
    }

    // Reads size bytes of the child's output before the deadline; false when they did not come.
    bool Read(void* data, std::size_t size, Clock::time_point deadline) {
        for (auto* at = static_cast<char*>(data); size > 0;) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            pollfd ready = {out_, POLLIN, 0};
            const ssize_t got = left.count() >= 0 && poll(&ready, 1, int(left.count())) > 0
                                    ? read(out_, at, size)
                                    : 0;
            if (got <= 0) return false;
            at += got;
            size -= static_cast<std::size_t>(got);
        }
        return true;
    }

    // Waits for the child to exit, killing it (SIGKILL) after the time given, and reaps it.
    // Returns its exit status, or -1 when it did not exit by itself.
    int End(milliseconds within) {
        int status = -1;
        const Clock::time_point deadline = Clock::now() + within;
        while (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() >= deadline) kill(pid_, SIGKILL);
            std::this_thread::sleep_for(milliseconds(2));
        }
        pid_ = -1;
        return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace test
}  // namespace scrivlet

#endif  // SCRIVLET_TESTS_SUPPORT_CHILD_H
