// Every reporting place of both classes, each produced by a scenario and checked with its whole
// error record (module, error, type, location, value, set bit), the call's result and that no
// handle is left open. Real faults wherever every platform can produce them (refused
// configurations, a second writer, a record no file can hold, writing without a file, a folder
// path too long, a missing drive, a file where a folder should be, a guarded call without a
// mutex); the platform layer's fault table stands in for the rest. Each record comes in with all
// bits of uiErrorSet but bit 0 set (only bit 0 says it holds a failure); a guarded object waits
// only with its own time-out; and the base's failures of Init, Switch and Write come through the
// guarded class as they are, its mutex released afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/support.h"

using namespace scrivlet::test;
namespace os = scrivlet::os;

namespace {

const unsigned kLog = 46, kLogM = 48, kSystem = 2, kParameter = 4, kRuntime = 8;
const unsigned kHandle = 0xFFFFFFFFu;  // uiValue must be the object's file or mutex handle
// Distinct codes for injected faults, so that a record shows which fault it holds.
const DWORD kDiskFull = os::ERROR_DISK_FULL, kDenied = os::ERROR_ACCESS_DENIED;
const DWORD kNotOwner = os::ERROR_NOT_OWNER, kNoMemory = os::ERROR_NOT_ENOUGH_MEMORY;
const DWORD kInvalid = os::ERROR_INVALID_HANDLE;
const DWORD kTimeout = 250;  // the guarded objects' time-out, which every wait must use

// The object before the call: fresh, configured (ready), or configured and switched on (open).
enum Setup { kFresh, kReady, kOpen };

// The failing call, on the object after its setup, with the row's configuration.
using Call = bool (*)(TQCLogFile_1& log, InitData* data, Info* i);
const Call kInit = [](TQCLogFile_1& l, InitData* d, Info* i) { return l.Init(d, i); };
const Call kOn = [](TQCLogFile_1& l, InitData*, Info* i) { return l.Switch(true, i); };
const Call kOff = [](TQCLogFile_1& l, InitData*, Info* i) { return l.Switch(false, i); };
const Call kWrite = [](TQCLogFile_1& l, InitData*, Info* i) { return l.Write("record", 6, i); };
const Call kExit = [](TQCLogFile_1& l, InitData*, Info* i) { return l.Exit(i); };
// The queries fill g_change: they did their work when it is no longer empty.
Change g_change;
const Call kGetData = [](TQCLogFile_1& l, InitData*, Info* i) { return l.GetData(&g_change, i); };
const Call kGetName = [](TQCLogFile_1& l, InitData*, Info* i) {
    return l.GetFolderFileName(&g_change, i);
};
const Call kCopyName = [](TQCLogFile_1& l, InitData*, Info* i) {
    static TQ_WCHAR copy[260];
    copy[0] = '?';
    const bool ok = static_cast<TQCLogFileM_1&>(l).CopyFolderFileName(copy, i);
    if (copy[0] != '?') g_change.pszFolderFileName = copy;
    return ok;
};
const Call kTooLarge = [](TQCLogFile_1& l, InitData*, Info* i) {
    return l.Write(std::string(689, 'r').data(), 689, i);
};
// A second object switched on for the same ring; a Write on an object on without a file.
const Call kSecondWriter = [](TQCLogFile_1&, InitData* d, Info* i) {
    TQCLogFile_1 second;
    return Open(second, *d, i);
};
const Call kNoFile = [](TQCLogFile_1& l, InitData*, Info* i) {
    Info exit{};
    return l.Exit(&exit) && l.Write("r", 1, i);
};

// Switch-on with a folder that Init did not check, one without a terminating zero (the check
// counts on into the next member, the footer, and stops at its zero).
const Call kUnterminated = [](TQCLogFile_1& l, InitData*, Info* i) {
    auto& probe = static_cast<Probe<>&>(l);
    std::fill(std::begin(probe.m_szFolder), std::end(probe.m_szFolder), 'a');
    probe.m_szFooter[0] = 0;
    return l.Switch(true, i);
};

// The fault armed just before the call: none, a failure with an error, a short write of a number
// of bytes, or a wait's outcome.
struct Fault {
    enum Kind { kNone, kFail, kShort, kWait } kind;
    Op op;
    DWORD code;
};
Fault Failing(Op op, DWORD error) { return {Fault::kFail, op, error}; }
Fault Short(DWORD bytes) { return {Fault::kShort, Op::kWriteFile, bytes}; }
Fault Wait(DWORD outcome) { return {Fault::kWait, Op::kWaitForSingleObject, outcome}; }

// One place: a call of either class (module 46 or 48) and the record it must leave. The rows
// follow the places.
struct Place {
    bool guarded;
    InitData config;
    Setup setup;
    Call call;
    Fault fault;
    unsigned error, type, location, value;
};

std::vector<Place> Places() {
    const InitData ring = Config(2, 688), counter = Config(2, 688, "", "", "", "", true);
    const InitData header = Config(2, 688, "", "", "Head"),
                   footer = Config(2, 688, "", "", "", "Foot");
    InitData folder = Config(1, 688), foot = folder, head = folder;  // fields without a zero
    std::fill(std::begin(folder.szFolder), std::end(folder.szFolder), 'x');
    std::fill(std::begin(foot.szFooter), std::end(foot.szFooter), 'x');
    std::fill(std::begin(head.szHeader), std::end(head.szHeader), 'x');
    const Fault none{Fault::kNone, Op::kWriteFile, 0};
    std::vector<Place> places = {
        {false, Config(0, 688), kFresh, kInit, none, 9, kParameter, 1, 0},
        {false, Config(10000, 688), kFresh, kInit, none, 8, kParameter, 2, 10000},
        {false, Config(1, 687), kFresh, kInit, none, 9, kParameter, 3, 687},
        {false, Config(1, 104857601), kFresh, kInit, none, 8, kParameter, 4, 104857601},
        {false, Config(1, 688, std::string(55, 'n')), kFresh, kInit, none, 7, kParameter, 5, 55},
        {false, folder, kFresh, kInit, none, 7, kParameter, 6, 196},
        {false, foot, kFresh, kInit, none, 7, kParameter, 7, 64},
        {false, head, kFresh, kInit, none, 7, kParameter, 8, 64},
        {false, ring, kOpen, kSecondWriter, none, 32, kSystem, 9, 0},
        {false, ring, kOpen, kOff, Failing(Op::kCloseHandle, kDenied), kDenied, kSystem, 10,
         kHandle},
        {false, counter, kReady, kOn, Failing(Op::kWriteFile, kDiskFull), kDiskFull, kSystem, 11,
         0},
        {false, counter, kReady, kOn, Short(10), 4, kRuntime, 12, 10},
        {false, header, kReady, kOn, Failing(Op::kWriteFile, kDiskFull), kDiskFull, kSystem, 13, 0},
        {false, header, kReady, kOn, Short(10), 4, kRuntime, 14, 10},
        {false, footer, kOpen, kOff, Failing(Op::kWriteFile, kDiskFull), kDiskFull, kSystem, 15, 0},
        {false, footer, kOpen, kOff, Short(8), 4, kRuntime, 16, 8},
        {false, ring, kOpen, kTooLarge, none, 6, kParameter, 17, 688},
        {false, ring, kOpen, kNoFile, none, kInvalid, kSystem, 18, 0},
        {false, ring, kOpen, kWrite, Short(3), 4, kRuntime, 19, 3},
        {false, ring, kFresh, kUnterminated, none, 7, kParameter, 20, 196},
        {false, Config(2, 688, "", "Q:\\Logs"), kReady, kOn, none, 16, kParameter, 21, 0},
        {false, Config(2, 688, "", "blocker\\sub"), kReady, kOn, none, 3, kSystem, 22, 0},
        {true, ring, kFresh, kInit, Failing(Op::kCreateMutexW, kNoMemory), kNoMemory, kSystem, 1,
         0},
        {true, ring, kFresh, kInit, Failing(Op::kReleaseMutex, kNotOwner), kNotOwner, kSystem, 2,
         kHandle},
        {true, ring, kReady, kExit, Failing(Op::kCloseHandle, kInvalid), kInvalid, kSystem, 7,
         kHandle},
    };
    // Each guarded call fails at four places in a row: a failed release, then a wait abandoned,
    // timed out, and failed (for real without a mutex; injected for Exit, which then does nothing).
    // CopyFolderFileName shares the places of GetFolderFileName.
    unsigned at = 3;
    for (const Call call : {kExit, kOn, kWrite, kGetData, kGetName, kCopyName}) {
        if (call == kCopyName) at = 20;
        const Setup setup = call == kWrite ? kOpen : kReady;
        const bool exit = call == kExit;
        places.push_back({true, ring, setup, call, Failing(Op::kReleaseMutex, kNotOwner), kNotOwner,
                          kSystem, at, kHandle});
        places.push_back(
            {true, ring, setup, call, Wait(os::WAIT_ABANDONED), 2, kRuntime, at + 1, 0});
        places.push_back({true, ring, setup, call, Wait(os::WAIT_TIMEOUT), 3, kRuntime, at + 2, 0});
        places.push_back({true, ring, exit ? setup : kFresh, call,
                          exit ? Wait(os::WAIT_FAILED) : none, kInvalid, kSystem, at + 3, 0});
        at += exit ? 5 : 4;
    }
    return places;
}

// Runs a scenario in its own directory; true when the call failed with exactly the expected
// record and every handle was closed again.
template <class C>
bool Produces(const Place& p, std::string* why) {
    TempDir dir;
    std::ofstream("blocker") << "a file, not a folder";
    FaultScope faults;
    Info info{0, 0, 0, 0, 0, 0xFFFFFFFEu};  // only bit 0 of uiErrorSet says it holds a failure
    bool result = false, free = true;       // free: another thread gets the mutex (if any) at once
    unsigned handle = 0;  // taken before the call, or after it when there was none before
    {
        Probe<C> log;
        log.SetTimeout(kTimeout);
        InitData data = p.config;
        Info setup{};
        EXPECT_TRUE((p.setup == kFresh || log.Init(&data, &setup)) &&
                    (p.setup != kOpen || log.Switch(true, &setup)));
        if (p.fault.kind == Fault::kFail) faults.FailCall(p.fault.op, 1, p.fault.code);
        if (p.fault.kind == Fault::kShort) faults.ShortWrite(1, p.fault.code);
        if (p.fault.kind == Fault::kWait) {
            faults.WaitOutcome(1, p.fault.code,
                               p.fault.code == os::WAIT_TIMEOUT ? kTimeout : kInvalid);
        }
        auto value = [&log] { return log.kGuarded ? log.MutexValue() : log.FileValue(); };
        handle = value();
        g_change = Change{};
        result = p.call(log, &data, &info);
        handle = handle != 0 ? handle : value();
        if (log.Mutex() != nullptr) {
            free = std::async(std::launch::async, [&log] {
                       return os::WaitForSingleObject(log.Mutex(), 0) == os::WAIT_OBJECT_0 &&
                              os::ReleaseMutex(log.Mutex());
                   }).get();
        }
    }
    // Nothing was made on the missing drive, and the file in the way is untouched.
    EXPECT_FALSE(std::filesystem::exists("Q:"));
    EXPECT_EQ(ReadBytes("blocker"), "a file, not a folder");
    const unsigned value = p.value == kHandle ? handle : p.value;
    const Info want{p.guarded ? kLogM : kLog, p.error, p.type, p.location, value, 1};
    // Only a failed release comes after the work of a query; it leaves the mutex owned, every
    // other failure leaves it free.
    const bool release = p.fault.op == Op::kReleaseMutex, worked = release && p.location > 15;
    *why = "result " + std::to_string(result) + ", record " + ::testing::PrintToString(info) +
           " for " + ::testing::PrintToString(want) + ", live handles " +
           std::to_string(faults.LiveHandles()) + ", mutex free " + std::to_string(free) +
           ", query worked " + std::to_string(g_change.pszFolderFileName != nullptr);
    return !result && info == want && faults.LiveHandles() == 0 &&
           (p.value != kHandle || value != 0) && (free || release) &&
           (g_change.pszFolderFileName != nullptr) == worked;
}

// Every scenario produces its place; locations 1-22 of module 46 and 1-23 of module 48 each have
// a scenario.
TEST(Places, EveryPlaceIsProduced) {
    std::set<std::pair<unsigned, unsigned>> produced;
    for (const Place& place : Places()) {
        std::string why;
        const bool ok = place.guarded ? Produces<TQCLogFileM_1>(place, &why)
                                      : Produces<TQCLogFile_1>(place, &why);
        EXPECT_TRUE(ok) << (place.guarded ? kLogM : kLog) << ":" << place.location << ": " << why;
        if (ok) produced.insert({place.guarded ? kLogM : kLog, place.location});
        // The guarded class passes its base's failures on as they are and releases its mutex.
        for (const Call call : {kInit, kOn, kOff, kWrite, kTooLarge}) {
            if (place.guarded || place.call != call || place.value == kHandle) continue;
            EXPECT_TRUE(Produces<TQCLogFileM_1>(place, &why))
                << "guarded 46:" << place.location << ": " << why;
        }
    }
    std::string missing;
    for (unsigned module : {kLog, kLogM}) {
        for (unsigned location = 1; location <= (module == kLog ? 22u : 23u); ++location) {
            if (!produced.count({module, location})) {
                missing += " " + std::to_string(module) + ":" + std::to_string(location);
            }
        }
    }
    EXPECT_TRUE(missing.empty()) << "places without a scenario:" << missing;
}

}  // namespace
