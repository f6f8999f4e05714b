// A fault sweep over whole scenarios: Init, switch on, rotating writes, the state queries, switch
// off and Exit, for both classes, with a fault at call 1, 2, 3, ... of each platform operation,
// once or from then on. After every run:
// - each step that failed filled its record and each step that succeeded left its record alone;
//   the first failure holds the injected fault, at a place of the operation that failed;
// - the object is in a state the interface names (off, on, on without a file; for the guarded
//   class without a mutex, since the scenario ends in Exit);
// - once the fault is gone, Switch(false) and Switch(true) (after a new Init for the guarded
//   class, whose Exit disposed of the mutex) bring the object back to writing: a record written
//   then is read back from the file;
// - after ShutDown and destruction no handle is left open.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/faults.h"
#include "support/files.h"

using namespace scrivlet::test;

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;

// The code every injected failure carries; no real failure of these scenarios gives it.
const DWORD kInjected = 1117;
// A short write writes this many bytes.
const DWORD kShortBytes = 1;

// What the sweep injects: a failure of a platform operation, or a write that comes up short.
struct Fault {
    const char* name;
    Op op;
    bool short_write;
    unsigned module;
    std::vector<unsigned> locations;  // where the record may show it
};

void PrintTo(const Fault& fault, std::ostream* os) { *os << fault.name; }

const Fault kFaults[] = {
    {"CreateFileW", Op::kCreateFileW, false, 46, {9}},
    {"WriteFile", Op::kWriteFile, false, 46, {11, 13, 15, 18}},
    {"ShortWrite", Op::kWriteFile, true, 46, {12, 14, 16, 19}},
    {"CloseHandle", Op::kCloseHandle, false, 0, {10, 7}},  // 46:10 file, 48:7 mutex
    {"GetFileAttributesW", Op::kGetFileAttributesW, false, 46, {22}},
    {"CreateDirectoryW", Op::kCreateDirectoryW, false, 46, {22}},
    {"CreateMutexW", Op::kCreateMutexW, false, 48, {1}},
    {"WaitForSingleObject", Op::kWaitForSingleObject, false, 48, {6, 11, 15, 19, 23}},
    {"ReleaseMutex", Op::kReleaseMutex, false, 48, {2, 3, 8, 12, 16, 20}},
};

// Reads the state of either class.
template <class Base>
class Probe : public Base {
  public:
    bool On() const { return this->m_bSwitchedOn; }
    bool HasFile() const { return this->m_hFile != TQ_INVALID_HANDLE; }
    unsigned Bytes() const { return this->m_uiFileBytes; }
};

class ProbeM : public Probe<TQCLogFileM_1> {
  public:
    bool HasMutex() const { return m_hMutex != nullptr; }
};

// 688-byte files with counter, header and footer lines (62 bytes each): two records of 200 bytes
// fit a file, so five records rotate twice and wrap round the ring of two files.
TQCLogFile_1::tagInitData_1 Ring() { return Config(2, 688, "ring", "logs\\sweep", "H", "F", true); }

struct StepResult {
    bool result;
    Info info;
};

// The scenario; every step gets a fresh record, and the host carries on after failures.
std::vector<StepResult> RunScenario(TQCLogFile_1& log) {
    std::vector<StepResult> steps;
    auto step = [&steps](auto&& call) {
        StepResult r{false, NoError()};
        r.result = call(&r.info);
        steps.push_back(r);
    };
    auto config = Ring();
    const std::string record(200, 'r');
    step([&](Info* i) { return log.Init(&config, i); });
    step([&](Info* i) { return log.Switch(true, i); });
    for (int n = 0; n < 5; ++n) {
        step([&](Info* i) { return log.Write(record.data(), 200, i); });
    }
    TQCLogFile_1::tagChangeData_1 change{};
    step([&](Info* i) { return log.GetData(&change, i); });
    step([&](Info* i) { return log.GetFolderFileName(&change, i); });
    step([&](Info* i) { return log.Switch(false, i); });
    step([&](Info* i) { return log.Exit(i); });
    return steps;
}

// Calls that a clean run of the scenario makes of op, up to the end of Exit.
template <class Object>
unsigned CleanCalls(Op op) {
    TempDir dir;
    FaultScope faults;
    Object log;
    for (const StepResult& s : RunScenario(log)) EXPECT_TRUE(s.result) << s.info.uiLocation;
    const unsigned calls = faults.Calls(op);
    log.ShutDown();
    return calls;
}

void Arm(FaultScope& faults, const Fault& fault, unsigned nth, bool persistent) {
    if (fault.short_write) {
        faults.ShortWrite(nth, kShortBytes, persistent);
    } else if (fault.op == Op::kWaitForSingleObject) {
        faults.WaitOutcome(nth, scrivlet::os::WAIT_FAILED, kInjected, persistent);
    } else {
        faults.Fail(fault.op, nth, kInjected, persistent);
    }
}

// The checks on the steps: no silent failure, no record from a success, the first failure is
// the injected one at one of its places.
void CheckSteps(const std::vector<StepResult>& steps, const Fault& fault) {
    const StepResult* first = nullptr;
    for (std::size_t n = 0; n < steps.size(); ++n) {
        const StepResult& s = steps[n];
        EXPECT_EQ(s.info.uiErrorSet, s.result ? 0u : 1u) << "step " << n;
        if (!s.result && first == nullptr) first = &s;
    }
    ASSERT_NE(first, nullptr) << "the fault made no step fail";
    const Info& i = first->info;
    const bool place =
        std::count(fault.locations.begin(), fault.locations.end(), i.uiLocation) != 0;
    EXPECT_TRUE(place) << "first failure at " << i.uiModule << ":" << i.uiLocation;
    const unsigned module = fault.module != 0 ? fault.module : (i.uiLocation == 10 ? 46u : 48u);
    EXPECT_EQ(i.uiModule, module);
    if (fault.short_write) {
        EXPECT_EQ(i.uiErrorType, 8u);
        EXPECT_EQ(i.uiError, 4u);
        EXPECT_EQ(i.uiValue, kShortBytes);
    } else {
        EXPECT_EQ(i.uiErrorType, 2u);
        EXPECT_EQ(i.uiError, kInjected);
    }
}

// After the fault is gone: back to writing, checked by reading the record back.
template <class Object>
void Recover(Object& log) {
    Info info = NoError();
    if constexpr (std::is_same<Object, ProbeM>::value) {
        auto config = Ring();
        ASSERT_TRUE(log.Init(&config, &info)) << info.uiLocation;
    }
    ASSERT_TRUE(log.Switch(false, &info)) << info.uiModule << ":" << info.uiLocation;
    ASSERT_TRUE(log.Switch(true, &info)) << info.uiModule << ":" << info.uiLocation;
    const std::string marker = "recovered record";
    ASSERT_TRUE(log.Write(marker.data(), static_cast<unsigned>(marker.size()), &info));
    TQCLogFile_1::tagChangeData_1 change{};
    ASSERT_TRUE(log.GetFolderFileName(&change, &info));
    std::string path = Narrow(change.pszFolderFileName);
    std::replace(path.begin(), path.end(), '\\', '/');
    log.ShutDown();
    const std::string bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), marker.size()) << path;
    EXPECT_EQ(bytes.substr(bytes.size() - marker.size()), marker) << path;
}

template <class Object>
void Sweep(const Fault& fault) {
    const unsigned calls = CleanCalls<Object>(fault.op);
    ASSERT_GT(calls, 0u);
    for (bool persistent : {false, true}) {
        for (unsigned nth = 1; nth <= calls; ++nth) {
            SCOPED_TRACE(std::string(fault.name) + " call " + std::to_string(nth) +
                         (persistent ? " and every later call" : " once"));
            TempDir dir;
            FaultScope faults;
            {
                Object log;
                Arm(faults, fault, nth, persistent);
                CheckSteps(RunScenario(log), fault);
                // A named state: never a file while off; no bytes counted without a file.
                EXPECT_FALSE(!log.On() && log.HasFile());
                EXPECT_TRUE(log.HasFile() || log.Bytes() == 0u);
                if constexpr (std::is_same<Object, ProbeM>::value) {
                    EXPECT_FALSE(log.HasMutex()) << "Exit leaves no mutex";
                } else {
                    EXPECT_FALSE(log.HasFile()) << "Exit leaves no file";
                }
                faults.Clear();
                Recover(log);
            }
            EXPECT_EQ(faults.LiveHandles(), 0);
        }
    }
}

class SweepSingle : public ::testing::TestWithParam<Fault> {};
class SweepGuarded : public ::testing::TestWithParam<Fault> {};

TEST_P(SweepSingle, EveryCall) { Sweep<Probe<TQCLogFile_1>>(GetParam()); }
TEST_P(SweepGuarded, EveryCall) { Sweep<ProbeM>(GetParam()); }

std::string FaultName(const ::testing::TestParamInfo<Fault>& info) { return info.param.name; }

// The single-threaded class calls no mutex operation.
INSTANTIATE_TEST_SUITE_P(Faults, SweepSingle, ::testing::ValuesIn(kFaults, kFaults + 6), FaultName);
INSTANTIATE_TEST_SUITE_P(Faults, SweepGuarded, ::testing::ValuesIn(kFaults), FaultName);

}  // namespace
