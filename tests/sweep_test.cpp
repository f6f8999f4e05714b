// Failure sweeps over one scenario, for both classes: Init, switch on, a record, a record that
// rotates, the two state queries, switch off and Exit, with a fault at call 1, 2, 3, ... of each
// platform operation (and each write cut short), once or from then on. After every run:
// - the first failure holds the injected fault with its whole record, at the place that call
//   has in the scenario, and the object and files are as that failure leaves them (file open or
//   not, bytes in files 1 and 2);
// - every step that failed filled its record and every step that succeeded left it alone;
// - Exit leaves no file (no mutex for the guarded class), and the object is in a named state;
// - once the fault is gone the object writes again (after a new Init for the guarded class) and
//   the record is read back from the file; no handle is left open.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/support.h"

using namespace scrivlet::test;

namespace {

const DWORD kInjected = 1117;  // no real failure of the scenario gives this code
const DWORD kShortBytes = 10;  // what a short write writes

// The faults swept: each operation failing, and a write cut short.
struct Fault {
    const char* name;
    Op op;
    bool short_write;
};
const Fault kFaults[] = {
    {"GetFileAttributesW", Op::kGetFileAttributesW, false},
    {"CreateDirectoryW", Op::kCreateDirectoryW, false},
    {"CreateFileW", Op::kCreateFileW, false},
    {"WriteFile", Op::kWriteFile, false},
    {"ShortWrite", Op::kWriteFile, true},
    {"CloseHandle", Op::kCloseHandle, false},
    {"CreateMutexW", Op::kCreateMutexW, false},  // the guarded class only, from here on
    {"WaitForSingleObject", Op::kWaitForSingleObject, false},
    {"ReleaseMutex", Op::kReleaseMutex, false},
};

// Where the fault at one call strikes first: its place, whether the object still holds a file,
// and the sizes of files 1 and 2 right after it (-1: absent). A fault's rows follow its calls,
// first those of both classes, then those that only the guarded class makes (of its mutex).
// Counter line 62 bytes, header and footer lines 68 each, records of 400 bytes: file 1 holds
// 530 bytes, 598 with its footer; the second record rotates to file 2.
struct At {
    int fault;
    bool guarded;
    unsigned location;
    bool file;
    long size1, size2;
};
const At kAt[] = {
    {0, 0, 22, 0, -1, -1},   {0, 0, 22, 0, -1, -1},   {0, 0, 22, 0, 598, -1},
    {0, 0, 22, 0, 598, -1},  {1, 0, 22, 0, -1, -1},   {1, 0, 22, 0, -1, -1},
    {2, 0, 9, 0, -1, -1},    {2, 0, 9, 0, 598, -1},   {3, 0, 11, 1, 0, -1},
    {3, 0, 13, 1, 62, -1},   {3, 0, 18, 1, 130, -1},  {3, 0, 15, 0, 530, -1},
    {3, 0, 11, 1, 598, 0},   {3, 0, 13, 1, 598, 62},  {3, 0, 18, 1, 598, 130},
    {3, 0, 15, 0, 598, 530}, {4, 0, 12, 1, 10, -1},   {4, 0, 14, 1, 72, -1},
    {4, 0, 19, 1, 140, -1},  {4, 0, 16, 0, 540, -1},  {4, 0, 12, 1, 598, 10},
    {4, 0, 14, 1, 598, 72},  {4, 0, 19, 1, 598, 140}, {4, 0, 16, 0, 598, 540},
    {5, 0, 10, 0, 598, -1},  {5, 0, 10, 0, 598, 598}, {5, 1, 7, 0, 598, 598},
    {6, 1, 1, 0, -1, -1},    {7, 1, 11, 0, -1, -1},   {7, 1, 15, 1, 130, -1},
    {7, 1, 15, 1, 530, -1},  {7, 1, 11, 1, 530, -1},  {7, 1, 11, 0, 598, -1},
    {7, 1, 19, 1, 598, 530}, {7, 1, 23, 1, 598, 530}, {7, 1, 11, 1, 598, 530},
    {7, 1, 6, 0, 598, 598},  {8, 1, 2, 0, -1, -1},    {8, 1, 8, 1, 130, -1},
    {8, 1, 12, 1, 530, -1},  {8, 1, 8, 0, 598, -1},   {8, 1, 8, 1, 598, 130},
    {8, 1, 12, 1, 598, 530}, {8, 1, 16, 1, 598, 530}, {8, 1, 20, 1, 598, 530},
    {8, 1, 8, 0, 598, 598},  {8, 1, 3, 0, 598, 598},
};

// The rows of a fault, in the order of its calls; without those of the mutex unless guarded.
std::vector<At> Rows(int fault, bool guarded) {
    std::vector<At> rows;
    for (const At& at : kAt) {
        if (at.fault == fault && (guarded || !at.guarded)) rows.push_back(at);
    }
    return rows;
}

InitData Ring() { return Config(2, 688, "s", "dir\\sub", "Head", "Foot", true); }

long Size(const char* path) {
    return std::filesystem::exists(path) ? static_cast<long>(ReadBytes(path).size()) : -1;
}

// What the scenario left at its first failure: the record, the state, and the handles (the file
// before the step; the mutex before it, or after it when Init made it).
struct Run {
    Info first;
    At state;
    unsigned file, mutex;
};

// The scenario. Every step gets a fresh record, which it fills exactly when it fails; the host
// carries on after failures.
template <class Object>
Run RunScenario(Object& log) {
    Run run{Info{}, {0, false, 0, false, 0, 0}, 0, 0};
    auto step = [&](auto&& call) {
        const unsigned file = log.FileValue(), mutex = log.MutexValue();
        Info info{};
        const bool ok = call(&info);
        EXPECT_EQ(info.uiErrorSet, ok ? 0u : 1u) << info.uiLocation;
        if (ok || run.first.uiErrorSet != 0) return;
        run = {info,
               {0, false, 0, log.HasFile(), Size("dir/sub/s_0001.log"), Size("dir/sub/s_0002.log")},
               file,
               mutex != 0 ? mutex : log.MutexValue()};
    };
    auto config = Ring();
    const std::string record(400, 'r');
    Change change{};
    step([&](Info* i) { return log.Init(&config, i); });
    step([&](Info* i) { return log.Switch(true, i); });
    step([&](Info* i) { return log.Write(record.data(), 400, i); });
    step([&](Info* i) { return log.Write(record.data(), 400, i); });
    step([&](Info* i) { return log.GetData(&change, i); });
    step([&](Info* i) { return log.GetFolderFileName(&change, i); });
    step([&](Info* i) { return log.Switch(false, i); });
    step([&](Info* i) { return log.Exit(i); });
    return run;
}

// Calls that a clean run of the scenario makes of op.
template <class Object>
unsigned CleanCalls(Op op) {
    TempDir dir;
    FaultScope faults;
    Object log;
    EXPECT_EQ(RunScenario(log).first, Info{});
    return faults.Calls(op);
}

// Calls past those of both classes strike the guarded class's mutex (module 48).
void CheckFirstFailure(const Run& run, int f, unsigned nth) {
    const Fault& fault = kFaults[f];
    const At at = Rows(f, true)[nth - 1];
    unsigned value = fault.short_write ? kShortBytes : 0;
    if (fault.op == Op::kCloseHandle || fault.op == Op::kReleaseMutex) {
        value = at.guarded ? run.mutex : run.file;
    }
    EXPECT_EQ(run.first, (Info{at.guarded ? 48u : 46u, fault.short_write ? 4u : kInjected,
                               fault.short_write ? 8u : 2u, at.location, value, 1u}));
    EXPECT_EQ(std::vector<long>({run.state.file, run.state.size1, run.state.size2}),
              std::vector<long>({at.file, at.size1, at.size2}));
}

// After the fault is gone: back to writing, the record read back at the end of a file.
template <class Object>
void Recover(Object& log) {
    Info info{};
    auto config = Ring();
    ASSERT_TRUE(!Object::kGuarded || log.Init(&config, &info)) << info.uiLocation;
    ASSERT_TRUE(log.Switch(false, &info) && log.Switch(true, &info) &&
                log.Write("recovered", 9, &info))
        << info.uiModule << ":" << info.uiLocation;
    log.ShutDown();
    EXPECT_NE((ReadBytes("dir/sub/s_0001.log") + "|" + ReadBytes("dir/sub/s_0002.log") + "|")
                  .find("recovered|"),
              std::string::npos);
}

template <class Object>
void Sweep(int f) {
    const Fault& fault = kFaults[f];
    const std::size_t calls = Rows(f, Object::kGuarded).size();
    ASSERT_EQ(CleanCalls<Object>(fault.op), calls);
    for (bool persistent : {false, true}) {
        for (unsigned nth = 1; nth <= calls; ++nth) {
            SCOPED_TRACE(std::string(fault.name) + " call " + std::to_string(nth) +
                         (persistent ? " and every later call" : " once"));
            TempDir dir;
            FaultScope faults;
            {
                Object log;
                if (fault.short_write) {
                    faults.ShortWrite(nth, kShortBytes, persistent);
                } else if (fault.op == Op::kWaitForSingleObject) {
                    faults.WaitOutcome(nth, scrivlet::os::WAIT_FAILED, kInjected, persistent);
                } else {
                    faults.FailCall(fault.op, nth, kInjected, persistent);
                }
                CheckFirstFailure(RunScenario(log), f, nth);
                // A named state: never a file while off; no bytes counted without a file.
                EXPECT_FALSE(!log.m_bSwitchedOn && log.HasFile());
                EXPECT_TRUE(log.HasFile() || log.m_uiFileBytes == 0u);
                EXPECT_FALSE(Object::kGuarded ? log.Mutex() != nullptr : log.HasFile())
                    << "after Exit";
                faults.Clear();
                Recover(log);
            }
            EXPECT_EQ(faults.LiveHandles(), 0);
        }
    }
}

class SweepSingle : public ::testing::TestWithParam<int> {};
class SweepGuarded : public ::testing::TestWithParam<int> {};

TEST_P(SweepSingle, EveryCall) { Sweep<Probe<>>(GetParam()); }
TEST_P(SweepGuarded, EveryCall) { Sweep<Probe<TQCLogFileM_1>>(GetParam()); }

std::string FaultName(const ::testing::TestParamInfo<int>& info) {
    return kFaults[info.param].name;
}

// The single-threaded class calls no mutex operation.
INSTANTIATE_TEST_SUITE_P(Faults, SweepSingle, ::testing::Range(0, 6), FaultName);
INSTANTIATE_TEST_SUITE_P(Faults, SweepGuarded, ::testing::Range(0, 9), FaultName);

}  // namespace
