// A child process for the POSIX tests: a program or a function of this test run in a process of
// its own, whose standard output comes back through a pipe. Every wait on it is bounded, and a
// child that is still there when the object ends is killed and reaped.
#ifndef SCRIVLET_TESTS_SUPPORT_CHILD_H
#define SCRIVLET_TESTS_SUPPORT_CHILD_H

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace scrivlet {
namespace test {

using std::chrono::milliseconds;

class Child {
  public:
    // Runs the program args[0] with the arguments that follow.
    explicit Child(const std::vector<std::string>& args);
    // Runs body in a copy of this process; it writes to out, and its result is the exit status.
    explicit Child(const std::function<int(int out)>& body);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads size bytes of the child's output within the time given; false when they did not all
    // come (the time ran out or the output ended).
    bool Read(void* data, std::size_t size, milliseconds within);
    void Kill();
    // The exit status when the child exits normally within the time given; -1 otherwise (then it
    // has been killed). Reaps the child either way.
    int Wait(milliseconds within = milliseconds(10000));

  private:
    void Start(const std::function<void()>& run);
    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace test
}  // namespace scrivlet

#endif  // SCRIVLET_TESTS_SUPPORT_CHILD_H
