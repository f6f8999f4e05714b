// Every reporting place of both classes, each produced by a scenario and checked with its whole
// error record (module, error, type, location, value, set bit) and the call's result.
//
// Real faults wherever every platform can produce them: refused configurations, a second writer,
// a record that no file can hold, writing without a file, a folder path that is too long, a
// missing drive, a file where a folder should be, a guarded call without a mutex. The platform
// layer's fault table stands in for the rest (failed or short writes, a failed close, mutex
// outcomes). The last test runs every scenario again and names any place no scenario produced.
#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/faults.h"
#include "support/files.h"

using namespace scrivlet::test;

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;
typedef TQCLogFile_1::tagInitData_1 InitData;

const unsigned kLog = TQCLogFile_1::MODULE_LOGFILE;
const unsigned kLogM = TQCLogFileM_1::MODULE_LOGFILE_M;
const unsigned kSystem = TQCLogFile_1::ERRORTYPE_SYSTEM;
const unsigned kParameter = TQCLogFile_1::ERRORTYPE_PARAMETER;
const unsigned kRuntime = TQCLogFile_1::ERRORTYPE_RUNTIME;

// Error codes handed to injected faults: distinct, so that a record shows which fault it holds.
const DWORD kDiskFull = scrivlet::os::ERROR_DISK_FULL;
const DWORD kAccessDenied = scrivlet::os::ERROR_ACCESS_DENIED;
const DWORD kNotOwner = scrivlet::os::ERROR_NOT_OWNER;
const DWORD kNoMemory = scrivlet::os::ERROR_NOT_ENOUGH_MEMORY;
const DWORD kInvalidHandle = scrivlet::os::ERROR_INVALID_HANDLE;

// Gives scenarios the handles whose values some records carry, and a folder path without a
// terminating zero (a derived class can put one into the protected member).
class Log : public TQCLogFile_1 {
  public:
    unsigned File() const { return Value(m_hFile); }
    void FillFolderWithoutEnd() {
        for (TQ_WCHAR& c : m_szFolder) c = 'a';
        m_szFooter[0] = 0;  // the folder check counts on into the next member and stops here
    }
    static unsigned Value(TQ_HANDLE h) {
        return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(h));
    }
};

class LogM : public TQCLogFileM_1 {
  public:
    unsigned Mutex() const { return Log::Value(m_hMutex); }
};

struct Outcome {
    bool result;
    Info info;
    unsigned handle;  // the value a handle-carrying record must show
};

typedef Outcome (*Scenario)(FaultScope& faults);

// ---- Module 46 -----------------------------------------------------------------------------

Outcome InitWith(InitData data) {
    Log log;
    Outcome out{false, NoError(), 0};
    out.result = log.Init(&data, &out.info);
    return out;
}

Outcome CountZero(FaultScope&) { return InitWith(Config(0, 688)); }
Outcome CountAbove(FaultScope&) { return InitWith(Config(10000, 688)); }
Outcome SizeBelow(FaultScope&) { return InitWith(Config(1, 687)); }
Outcome SizeAbove(FaultScope&) { return InitWith(Config(1, 104857601)); }
Outcome NameLong(FaultScope&) { return InitWith(Config(1, 688, std::string(55, 'n'))); }

// Text fields filled to the last element without a terminating zero.
Outcome FolderUnterminated(FaultScope&) {
    InitData data = Config(1, 688);
    for (TQ_WCHAR& c : data.szFolder) c = 'f';
    return InitWith(data);
}
Outcome FooterUnterminated(FaultScope&) {
    InitData data = Config(1, 688);
    for (TQ_WCHAR& c : data.szFooter) c = 'F';
    return InitWith(data);
}
Outcome HeaderUnterminated(FaultScope&) {
    InitData data = Config(1, 688);
    for (TQ_WCHAR& c : data.szHeader) c = 'H';
    return InitWith(data);
}

// Switches a configured object on; the scenario goes on from there.
void On(TQCLogFile_1& log, InitData data) {
    Info info = NoError();
    ASSERT_TRUE(log.Init(&data, &info));
    ASSERT_TRUE(log.Switch(true, &info)) << info.uiLocation;
}

Outcome SecondWriter(FaultScope&) {
    Log first;
    On(first, Config(2, 688));
    Log second;
    InitData data = Config(2, 688);
    Outcome out{false, NoError(), 0};
    EXPECT_TRUE(second.Init(&data, &out.info));
    out.result = second.Switch(true, &out.info);
    return out;
}

Outcome CloseFails(FaultScope& faults) {
    Log log;
    On(log, Config(2, 688));
    Outcome out{false, NoError(), log.File()};
    faults.Fail(Op::kCloseHandle, 1, kAccessDenied);
    out.result = log.Switch(false, &out.info);
    return out;
}

// Switch-on whose first write (the counter or header line) fails or comes up short.
Outcome OpenWrites(FaultScope& faults, InitData data, bool short_write) {
    Log log;
    Info info = NoError();
    EXPECT_TRUE(log.Init(&data, &info));
    if (short_write) {
        faults.ShortWrite(1, 10);
    } else {
        faults.Fail(Op::kWriteFile, 1, kDiskFull);
    }
    Outcome out{false, NoError(), 0};
    out.result = log.Switch(true, &out.info);
    return out;
}
InitData WithCounter() { return Config(2, 688, "", "", "", "", true); }
Outcome CounterFails(FaultScope& f) { return OpenWrites(f, WithCounter(), false); }
Outcome CounterShort(FaultScope& f) { return OpenWrites(f, WithCounter(), true); }
Outcome HeaderFails(FaultScope& f) { return OpenWrites(f, Config(2, 688, "", "", "Head"), false); }
Outcome HeaderShort(FaultScope& f) { return OpenWrites(f, Config(2, 688, "", "", "Head"), true); }

Outcome FooterWrite(FaultScope& faults, bool short_write) {
    Log log;
    On(log, Config(2, 688, "", "", "", "Foot"));
    if (short_write) {
        faults.ShortWrite(1, 8);
    } else {
        faults.Fail(Op::kWriteFile, 1, kDiskFull);
    }
    Outcome out{false, NoError(), 0};
    out.result = log.Switch(false, &out.info);
    return out;
}
Outcome FooterFails(FaultScope& f) { return FooterWrite(f, false); }
Outcome FooterShort(FaultScope& f) { return FooterWrite(f, true); }

Outcome RecordTooLarge(FaultScope&) {
    Log log;
    On(log, Config(2, 688));
    const std::string record(689, 'r');
    Outcome out{false, NoError(), 0};
    out.result = log.Write(record.data(), 689, &out.info);
    return out;
}

// After Exit the object is on without a file: the platform refuses to write to no file.
Outcome RecordWithoutFile(FaultScope&) {
    Log log;
    On(log, Config(2, 688));
    Info info = NoError();
    EXPECT_TRUE(log.Exit(&info));
    Outcome out{false, NoError(), 0};
    out.result = log.Write("r", 1, &out.info);
    return out;
}

Outcome RecordShort(FaultScope& faults) {
    Log log;
    On(log, Config(2, 688));
    faults.ShortWrite(1, 3);
    Outcome out{false, NoError(), 0};
    out.result = log.Write("record", 6, &out.info);
    return out;
}

// Switch-on with a folder that the configuration does not check: one without a terminating zero.
Outcome FolderPathTooLong(FaultScope&) {
    Log log;
    log.FillFolderWithoutEnd();
    Outcome out{false, NoError(), 0};
    out.result = log.Switch(true, &out.info);
    return out;
}

Outcome SwitchOnIn(const std::string& folder) {
    Log log;
    InitData data = Config(2, 688, "", folder);
    Outcome out{false, NoError(), 0};
    EXPECT_TRUE(log.Init(&data, &out.info));
    out.result = log.Switch(true, &out.info);
    return out;
}
Outcome NoDrive(FaultScope&) { return SwitchOnIn("Q:\\Logs"); }
Outcome FileInTheWay(FaultScope&) {
    std::ofstream("blocker") << "a file, not a folder";
    return SwitchOnIn("blocker\\sub");
}

// ---- Module 48 -----------------------------------------------------------------------------

Outcome MutexNotCreated(FaultScope& faults) {
    LogM log;
    InitData data = Config(2, 688);
    faults.Fail(Op::kCreateMutexW, 1, kNoMemory);
    Outcome out{false, NoError(), 0};
    out.result = log.Init(&data, &out.info);
    return out;
}

Outcome InitReleaseFails(FaultScope& faults) {
    LogM log;
    InitData data = Config(2, 688);
    faults.Fail(Op::kReleaseMutex, 1, kNotOwner);
    Outcome out{false, NoError(), 0};
    out.result = log.Init(&data, &out.info);
    out.handle = log.Mutex();
    return out;
}

// The guarded operations, each on an object that has been through Init (and, for Write,
// switched on), with the fault armed just before the call.
enum class Call { kExit, kSwitch, kWrite, kGetData, kGetFolderFileName };

Outcome Guarded(Call call, FaultScope& faults, void (*arm)(FaultScope&), bool init = true) {
    LogM log;
    if (init) {
        InitData data = Config(2, 688);
        Info info = NoError();
        EXPECT_TRUE(log.Init(&data, &info));
        if (call == Call::kWrite) {
            EXPECT_TRUE(log.Switch(true, &info));
        }
    }
    Outcome out{false, NoError(), log.Mutex()};
    if (arm != nullptr) arm(faults);
    TQCLogFile_1::tagChangeData_1 change{};
    switch (call) {
        case Call::kExit:
            out.result = log.Exit(&out.info);
            break;
        case Call::kSwitch:
            out.result = log.Switch(true, &out.info);
            break;
        case Call::kWrite:
            out.result = log.Write("record", 6, &out.info);
            break;
        case Call::kGetData:
            out.result = log.GetData(&change, &out.info);
            break;
        case Call::kGetFolderFileName:
            out.result = log.GetFolderFileName(&change, &out.info);
            break;
    }
    return out;
}

void ReleaseFails(FaultScope& f) { f.Fail(Op::kReleaseMutex, 1, kNotOwner); }
void Abandoned(FaultScope& f) { f.WaitOutcome(1, scrivlet::os::WAIT_ABANDONED); }
void TimedOut(FaultScope& f) { f.WaitOutcome(1, scrivlet::os::WAIT_TIMEOUT); }
void WaitFails(FaultScope& f) { f.WaitOutcome(1, scrivlet::os::WAIT_FAILED, kInvalidHandle); }
void MutexNotClosed(FaultScope& f) { f.Fail(Op::kCloseHandle, 1, kInvalidHandle); }

// The four places of one guarded call: release, abandoned, timed out (fault table), and a wait
// that fails for real because Init has not created a mutex yet.
#define SCRIVLET_GUARDED(name, call)                                                \
    Outcome name##Release(FaultScope& f) { return Guarded(call, f, ReleaseFails); } \
    Outcome name##Abandoned(FaultScope& f) { return Guarded(call, f, Abandoned); }  \
    Outcome name##TimedOut(FaultScope& f) { return Guarded(call, f, TimedOut); }    \
    Outcome name##NoMutex(FaultScope& f) { return Guarded(call, f, nullptr, false); }
SCRIVLET_GUARDED(Switch, Call::kSwitch)
SCRIVLET_GUARDED(Write, Call::kWrite)
SCRIVLET_GUARDED(GetData, Call::kGetData)
SCRIVLET_GUARDED(GetName, Call::kGetFolderFileName)
#undef SCRIVLET_GUARDED

Outcome ExitRelease(FaultScope& f) { return Guarded(Call::kExit, f, ReleaseFails); }
Outcome ExitAbandoned(FaultScope& f) { return Guarded(Call::kExit, f, Abandoned); }
Outcome ExitTimedOut(FaultScope& f) { return Guarded(Call::kExit, f, TimedOut); }
Outcome ExitWaitFails(FaultScope& f) { return Guarded(Call::kExit, f, WaitFails); }
Outcome ExitNotClosed(FaultScope& f) { return Guarded(Call::kExit, f, MutexNotClosed); }

// ---- The table -----------------------------------------------------------------------------

const unsigned kHandle = 0xFFFFFFFFu;  // uiValue must be the handle the scenario reports

struct Place {
    const char* name;
    Scenario run;
    unsigned module, error, type, location, value;
};

void PrintTo(const Place& place, std::ostream* os) { *os << place.name; }

const Place kPlaces[] = {
    {"FileCountZero", CountZero, kLog, 9, kParameter, 1, 0},
    {"FileCountAbove9999", CountAbove, kLog, 8, kParameter, 2, 10000},
    {"FileSizeBelow688", SizeBelow, kLog, 9, kParameter, 3, 687},
    {"FileSizeAbove100MiB", SizeAbove, kLog, 8, kParameter, 4, 104857601},
    {"NameOf55", NameLong, kLog, 7, kParameter, 5, 55},
    {"FolderUnterminated", FolderUnterminated, kLog, 7, kParameter, 6, 196},
    {"FooterUnterminated", FooterUnterminated, kLog, 7, kParameter, 7, 64},
    {"HeaderUnterminated", HeaderUnterminated, kLog, 7, kParameter, 8, 64},
    {"SecondWriter", SecondWriter, kLog, 32, kSystem, 9, 0},
    {"CloseFails", CloseFails, kLog, kAccessDenied, kSystem, 10, kHandle},
    {"CounterWriteFails", CounterFails, kLog, kDiskFull, kSystem, 11, 0},
    {"CounterWriteShort", CounterShort, kLog, 4, kRuntime, 12, 10},
    {"HeaderWriteFails", HeaderFails, kLog, kDiskFull, kSystem, 13, 0},
    {"HeaderWriteShort", HeaderShort, kLog, 4, kRuntime, 14, 10},
    {"FooterWriteFails", FooterFails, kLog, kDiskFull, kSystem, 15, 0},
    {"FooterWriteShort", FooterShort, kLog, 4, kRuntime, 16, 8},
    {"RecordTooLarge", RecordTooLarge, kLog, 6, kParameter, 17, 688},
    {"RecordWithoutFile", RecordWithoutFile, kLog, kInvalidHandle, kSystem, 18, 0},
    {"RecordShort", RecordShort, kLog, 4, kRuntime, 19, 3},
    {"FolderPathTooLong", FolderPathTooLong, kLog, 7, kParameter, 20, 196},
    {"NoDrive", NoDrive, kLog, 16, kParameter, 21, 0},
    {"FileInTheWay", FileInTheWay, kLog, 3, kSystem, 22, 0},
    {"MutexNotCreated", MutexNotCreated, kLogM, kNoMemory, kSystem, 1, 0},
    {"InitRelease", InitReleaseFails, kLogM, kNotOwner, kSystem, 2, kHandle},
    {"ExitRelease", ExitRelease, kLogM, kNotOwner, kSystem, 3, kHandle},
    {"ExitAbandoned", ExitAbandoned, kLogM, 2, kRuntime, 4, 0},
    {"ExitTimedOut", ExitTimedOut, kLogM, 3, kRuntime, 5, 0},
    {"ExitWaitFails", ExitWaitFails, kLogM, kInvalidHandle, kSystem, 6, 0},
    {"ExitNotClosed", ExitNotClosed, kLogM, kInvalidHandle, kSystem, 7, kHandle},
    {"SwitchRelease", SwitchRelease, kLogM, kNotOwner, kSystem, 8, kHandle},
    {"SwitchAbandoned", SwitchAbandoned, kLogM, 2, kRuntime, 9, 0},
    {"SwitchTimedOut", SwitchTimedOut, kLogM, 3, kRuntime, 10, 0},
    {"SwitchNoMutex", SwitchNoMutex, kLogM, kInvalidHandle, kSystem, 11, 0},
    {"WriteRelease", WriteRelease, kLogM, kNotOwner, kSystem, 12, kHandle},
    {"WriteAbandoned", WriteAbandoned, kLogM, 2, kRuntime, 13, 0},
    {"WriteTimedOut", WriteTimedOut, kLogM, 3, kRuntime, 14, 0},
    {"WriteNoMutex", WriteNoMutex, kLogM, kInvalidHandle, kSystem, 15, 0},
    {"GetDataRelease", GetDataRelease, kLogM, kNotOwner, kSystem, 16, kHandle},
    {"GetDataAbandoned", GetDataAbandoned, kLogM, 2, kRuntime, 17, 0},
    {"GetDataTimedOut", GetDataTimedOut, kLogM, 3, kRuntime, 18, 0},
    {"GetDataNoMutex", GetDataNoMutex, kLogM, kInvalidHandle, kSystem, 19, 0},
    {"GetFolderFileNameRelease", GetNameRelease, kLogM, kNotOwner, kSystem, 20, kHandle},
    {"GetFolderFileNameAbandoned", GetNameAbandoned, kLogM, 2, kRuntime, 21, 0},
    {"GetFolderFileNameTimedOut", GetNameTimedOut, kLogM, 3, kRuntime, 22, 0},
    {"GetFolderFileNameNoMutex", GetNameNoMutex, kLogM, kInvalidHandle, kSystem, 23, 0},
};

// Runs a scenario in its own directory; true when the call failed with exactly the expected
// record and every handle was closed again.
bool Produces(const Place& place, std::string* why) {
    TempDir dir;
    FaultScope faults;
    const Outcome out = place.run(faults);
    const unsigned value = place.value == kHandle ? out.handle : place.value;
    const Info& i = out.info;
    const Info want = {place.module, place.error, place.type, place.location, value, 1};
    std::string got = "result " + std::to_string(out.result) + ", record {" +
                      std::to_string(i.uiModule) + ", " + std::to_string(i.uiError) + ", " +
                      std::to_string(i.uiErrorType) + ", " + std::to_string(i.uiLocation) + ", " +
                      std::to_string(i.uiValue) + ", " + std::to_string(i.uiErrorSet) + "}";
    *why = got + ", want result 0, record {" + std::to_string(want.uiModule) + ", " +
           std::to_string(want.uiError) + ", " + std::to_string(want.uiErrorType) + ", " +
           std::to_string(want.uiLocation) + ", " + std::to_string(want.uiValue) + ", 1}" +
           ", live handles " + std::to_string(faults.LiveHandles());
    return !out.result && i.uiModule == want.uiModule && i.uiError == want.uiError &&
           i.uiErrorType == want.uiErrorType && i.uiLocation == want.uiLocation &&
           i.uiValue == want.uiValue && i.uiErrorSet == 1 && faults.LiveHandles() == 0 &&
           (place.value != kHandle || out.handle != 0);
}

class PlaceTest : public ::testing::TestWithParam<Place> {};

TEST_P(PlaceTest, ProducesItsWholeRecord) {
    std::string why;
    EXPECT_TRUE(Produces(GetParam(), &why)) << why;
}

INSTANTIATE_TEST_SUITE_P(Places, PlaceTest, ::testing::ValuesIn(kPlaces),
                         [](const ::testing::TestParamInfo<Place>& p) {
                             return std::string(p.param.name);
                         });

// Locations 1-22 of module 46 and 1-23 of module 48: each must be produced by some scenario.
TEST(Places, EveryPlaceIsProduced) {
    std::set<std::pair<unsigned, unsigned>> produced;
    for (const Place& place : kPlaces) {
        std::string why;
        if (Produces(place, &why)) produced.insert({place.module, place.location});
    }
    std::string missing;
    for (unsigned location = 1; location <= 22; ++location) {
        if (!produced.count({kLog, location})) missing += " 46:" + std::to_string(location);
    }
    for (unsigned location = 1; location <= 23; ++location) {
        if (!produced.count({kLogM, location})) missing += " 48:" + std::to_string(location);
    }
    EXPECT_TRUE(missing.empty()) << "places without a scenario:" << missing;
}

}  // namespace
