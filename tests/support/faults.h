// Fault injection through the platform layer's table of operations.
//
// A FaultScope replaces the table's entries with wrappers for its lifetime and puts the defaults
// back when it ends. The wrappers count the calls of each operation, make a chosen call fail (once
// or from then on) with a chosen Windows error code, can turn a write into a short one or a wait
// into a chosen outcome, track the handles that are opened and closed, and can fix the clock.
#ifndef SCRIVLET_TESTS_SUPPORT_FAULTS_H
#define SCRIVLET_TESTS_SUPPORT_FAULTS_H

#include <cstdint>

#include "platform/platform.h"

namespace scrivlet {
namespace test {

using os::DWORD;

enum class Op {
    kCreateFileW,
    kWriteFile,
    kCloseHandle,
    kDuplicateHandle,
    kGetFileAttributesW,
    kCreateDirectoryW,
    kCreateMutexW,
    kWaitForSingleObject,
    kReleaseMutex,
    kCount
};

class FaultScope {
  public:
    FaultScope();
    ~FaultScope();
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;

    // Call number nth (from 1, counted from now) of op fails with error; with persistent, every
    // call from then on. A failing CloseHandle still closes the handle (so nothing leaks).
    void Fail(Op op, unsigned nth, DWORD error, bool persistent = false);

    // Write number nth (from 1) writes only bytes bytes of what it was given and reports success.
    void ShortWrite(unsigned nth, DWORD bytes, bool persistent = false);

    // Wait number nth (from 1) returns outcome without waiting (WAIT_TIMEOUT, WAIT_FAILED with
    // error) or, for WAIT_ABANDONED, after taking the mutex as a normal wait does.
    void WaitOutcome(unsigned nth, DWORD outcome, DWORD error = 0, bool persistent = false);

    // Removes every fault; counting and tracking go on.
    void Clear();

    // Calls of op since the scope began (or since ResetCounts).
    unsigned Calls(Op op) const;
    void ResetCounts();

    // Handles opened (files, mutexes, duplicates) minus handles closed during the scope.
    long LiveHandles() const;

    // Fixes the clock at the given UTC seconds and milliseconds (local time is then whatever the
    // process's time zone makes of it; tests that check the text set TZ to UTC).
    void FixClock(std::int64_t seconds, std::uint16_t milliseconds);
};

}  // namespace test
}  // namespace scrivlet

#endif  // SCRIVLET_TESTS_SUPPORT_FAULTS_H
