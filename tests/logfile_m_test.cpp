// TQCLogFileM_1: its mutex, the guarded work that is or is not done when a wait, a release, the
// creation or the closing of it goes wrong, what the object holds afterwards, copies, and the
// rotation that re-enters the mutex. Other threads hold or abandon the mutex through the platform
// layer. The whole record of every place is checked in places_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "library/record.h"
#include "support/faults.h"
#include "support/files.h"

namespace os = scrivlet::os;
using namespace scrivlet::test;

namespace {

using Info = TQCLogFile_1::tagInfoData_1;
using Change = TQCLogFile_1::tagChangeData_1;
using Path = TQ_WCHAR[260];

// Opens up what a host's derived class may reach: the mutex handle and the time-out.
class Log : public TQCLogFileM_1 {
  public:
    TQ_HANDLE Mutex() const { return m_hMutex; }
    unsigned Timeout() const { return m_uiTimeout; }
    void SetTimeout(unsigned ms) { m_uiTimeout = ms; }
    unsigned FileCount() const { return m_uiFileCount; }
};

// Each guarded operation with its first reporting place (release failed; the wait abandoned,
// timed out and failed follow). The work is done when the file or the state record changed.
struct Guarded {
    const char* name;
    std::function<bool(Log&, Change&, Info&)> call;
    unsigned releaseAt;
};

const TQ_WCHAR kSentinel[] = TQ_TEXT("untouched");

const std::vector<Guarded>& GuardedCalls() {
    static const std::vector<Guarded> calls = {
        {"Exit", [](Log& l, Change&, Info& i) { return l.Exit(&i); }, 3},
        {"Switch", [](Log& l, Change&, Info& i) { return l.Switch(false, &i); }, 8},
        {"Write", [](Log& l, Change&, Info& i) { return l.Write("abc", 3, &i); }, 12},
        {"GetData", [](Log& l, Change& c, Info& i) { return l.GetData(&c, &i); }, 16},
        {"GetFolderFileName",
         [](Log& l, Change& c, Info& i) { return l.GetFolderFileName(&c, &i); }, 20},
        {"CopyFolderFileName",
         [](Log& l, Change& c, Info& i) {
             Path copy = {TQ_TEXT('?')};
             const bool ok = l.CopyFolderFileName(copy, &i);
             if (copy[0] != TQ_TEXT('?')) c.pszFolderFileName = nullptr;  // the copy was written
             return ok;
         },
         20},
    };
    return calls;
}

// Runs one guarded call on a started object; tells whether its work was done.
bool WorkDone(const Guarded& g, Log& log, Info& info, bool expectResult) {
    const std::string before = ReadBytes("t_0001.log");
    Change change{false, kSentinel};
    EXPECT_EQ(g.call(log, change, info), expectResult);
    return change.pszFolderFileName != kSentinel || ReadBytes("t_0001.log") != before;
}

void ExpectRecord(const Info& info, unsigned type, unsigned error, unsigned location,
                  unsigned value) {
    const Info want{48, error, type, location, value, 1};
    EXPECT_EQ(std::memcmp(&info, &want, sizeof info), 0) << info.uiLocation;
}

bool Same(const Info& a, const Info& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A switched-on object writing t_NNNN.log with a footer line.
void Start(Log& log, unsigned fileCount = 2) {
    auto cfg = Config(fileCount, 688, "t", "", "Head", "Foot");
    Info info = NoError();
    ASSERT_TRUE(log.Init(&cfg, &info));
    ASSERT_TRUE(log.Switch(true, &info));
}

// A handle of this process's own to the same mutex.
TQ_HANDLE Duplicate(TQ_HANDLE mutex) {
    TQ_HANDLE own = nullptr;
    os::DuplicateHandle(os::CurrentProcess(), mutex, os::CurrentProcess(), &own, 0, os::FALSE,
                        os::DUPLICATE_SAME_ACCESS);
    return own;
}

// Another thread owns the mutex, through a handle of its own, while this object lives.
class Holder {
  public:
    explicit Holder(TQ_HANDLE mutex)
        : thread_([this, mutex] {
              TQ_HANDLE own = Duplicate(mutex);
              const bool owns = os::WaitForSingleObject(own, os::INFINITE) == os::WAIT_OBJECT_0;
              taken_.set_value();
              free_.get_future().wait();
              if (owns) os::ReleaseMutex(own);
              os::CloseHandle(own);
          }) {
        taken_.get_future().wait();
    }
    ~Holder() {
        free_.set_value();
        thread_.join();
    }

  private:
    std::promise<void> taken_, free_;
    std::thread thread_;  // last: starts once the promises exist
};

// A thread takes the mutex and ends without releasing it.
void Abandon(TQ_HANDLE mutex) {
    std::thread([mutex] {
        TQ_HANDLE own = Duplicate(mutex);
        EXPECT_EQ(os::WaitForSingleObject(own, os::INFINITE), os::WAIT_OBJECT_0);
        os::CloseHandle(own);
    }).join();
}

// Whether another thread gets the mutex at once.
bool FreeForOthers(TQ_HANDLE mutex) {
    return std::async(std::launch::async,
                      [mutex] {
                          if (os::WaitForSingleObject(mutex, 0) != os::WAIT_OBJECT_0) return false;
                          return os::ReleaseMutex(mutex) != os::FALSE;
                      })
        .get();
}

TEST(LogFileM, NewObjectHasNoMutexAndFailsEveryGuardedCall) {
    TempDir dir;
    Log log;
    EXPECT_EQ(log.Mutex(), nullptr);
    EXPECT_EQ(log.Timeout(), 0xFFFFFFFFu);
    for (const Guarded& g : GuardedCalls()) {
        SCOPED_TRACE(g.name);
        if (g.releaseAt == 3) {  // Exit without a mutex does nothing, also twice
            const Info before{1, 2, 3, 4, 5, 0};
            Info info = before;
            EXPECT_FALSE(WorkDone(g, log, info, true));
            EXPECT_FALSE(WorkDone(g, log, info, true));
            EXPECT_TRUE(Same(info, before));
            continue;
        }
        Info info = NoError();
        EXPECT_FALSE(WorkDone(g, log, info, false));
        ExpectRecord(info, 2, os::ERROR_INVALID_HANDLE, g.releaseAt + 3, 0);
        // The first failure recorded wins.
        const Info earlier{46, 5, 4, 3, 2, 1};
        info = earlier;
        EXPECT_FALSE(WorkDone(g, log, info, false));
        EXPECT_TRUE(Same(info, earlier));
    }
}

TEST(LogFileM, SecondInitAndCopiesHoldOneHandleEach) {
    TempDir dir;
    FaultScope faults;
    {
        Log log;
        Start(log);
        auto cfg = Config(3, 688, "t");
        Info info = NoError();
        ASSERT_TRUE(log.Init(&cfg, &info));
        EXPECT_EQ(faults.LiveHandles(), 2);  // the file and the new mutex; the first one is closed
        log.SetTimeout(20);
        {
            Log copy(log);
            Log assigned;
            assigned = log;
            EXPECT_NE(copy.Mutex(), log.Mutex());
            EXPECT_NE(assigned.Mutex(), log.Mutex());
            Holder holder(copy.Mutex());  // the same mutex, held through the copy's handle
            Change change{};
            for (Log* object : {&log, &assigned}) {
                info = NoError();
                EXPECT_FALSE(object->GetData(&change, &info));
                ExpectRecord(info, 8, TQCLogFile_1::REASON_WAIT_TIMEOUT, 18, 0);
            }
        }
        Info after = NoError();
        EXPECT_TRUE(log.Write("x", 1, &after));  // the copies closed their own handles only
        EXPECT_TRUE(log.Exit(&after));
    }
    EXPECT_EQ(faults.LiveHandles(), 0);
}

// GetData fills both fields, GetFolderFileName only the path, CopyFolderFileName copies it. Exit
// writes the footer and closes file and mutex; after ShutDown it does nothing, and neither the
// destructor closes anything twice; a Write after either fails as a wait without a mutex.
TEST(LogFileM, QueriesExitAndShutDown) {
    TempDir dir;
    for (bool shutDownFirst : {false, true}) {
        FaultScope faults;
        {
            Log log;
            Start(log);
            Info info = NoError();
            Change data{false, kSentinel}, name{false, kSentinel};
            Path copy = {};
            EXPECT_TRUE(log.GetData(&data, &info) && log.GetFolderFileName(&name, &info) &&
                        log.CopyFolderFileName(copy, &info));
            EXPECT_EQ(
                std::make_tuple(data.bSwitchedOn, Narrow(data.pszFolderFileName), Narrow(copy)),
                std::make_tuple(true, std::string("t_0001.log"), std::string("t_0001.log")));
            EXPECT_EQ(std::make_pair(name.bSwitchedOn, name.pszFolderFileName),
                      std::make_pair(false, data.pszFolderFileName));
            if (shutDownFirst) log.ShutDown();
            const Info before{1, 2, 3, 4, 5, 0};
            info = before;
            EXPECT_TRUE(log.Exit(&info));
            EXPECT_TRUE(Same(info, before));
            EXPECT_EQ(log.Mutex(), nullptr);
            EXPECT_EQ(faults.LiveHandles(), 0);
            faults.ResetCounts();
            info = NoError();
            EXPECT_FALSE(log.Write("x", 1, &info));
            EXPECT_EQ(info.uiLocation, 15u);
        }
        EXPECT_EQ(faults.Calls(Op::kCloseHandle), 0u);  // nothing closed twice
        const std::string bytes = ReadBytes("t_0001.log"), footer = Utf16Bytes(" Foot 1 3\r\n");
        EXPECT_EQ(
            bytes.size() > footer.size() && bytes.substr(bytes.size() - footer.size()) == footer,
            !shutDownFirst);
    }
}

// A finite time-out while another thread holds the mutex, an abandoned mutex, and a failed
// release, for every guarded call: only a failed release comes after the work. An abandoned wait
// gives the ownership back at once, so the next call works; Exit lets go of the mutex always.
// (The same places with injected wait outcomes, and their whole records, are in places_test.cpp.)
TEST(LogFileM, WaitAndReleaseFailuresOfEveryGuardedCall) {
    TempDir dir;
    enum Mode { kRelease, kAbandoned, kTimedOut };
    for (Mode mode : {kRelease, kAbandoned, kTimedOut}) {
        for (const Guarded& g : GuardedCalls()) {
            SCOPED_TRACE(std::string(g.name) + " mode " + std::to_string(mode));
            FaultScope faults;
            Log log;
            Start(log);
            std::unique_ptr<Holder> holder;
            if (mode == kRelease) faults.Fail(Op::kReleaseMutex, 1, os::ERROR_GEN_FAILURE);
            if (mode == kAbandoned) Abandon(log.Mutex());
            if (mode == kTimedOut) {
                log.SetTimeout(100);
                holder = std::make_unique<Holder>(log.Mutex());
            }
            Info info = NoError();
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(WorkDone(g, log, info, false), mode == kRelease);
            EXPECT_TRUE(mode != kTimedOut ||
                        std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(90));
            EXPECT_EQ(info.uiLocation, g.releaseAt + mode);  // the whole record: places_test
            EXPECT_EQ(log.Mutex() == nullptr, g.releaseAt == 3);
            if (mode == kAbandoned && log.Mutex() != nullptr) {
                EXPECT_TRUE(FreeForOthers(log.Mutex()));
                info = NoError();
                EXPECT_TRUE(log.Write("next", 4, &info));
                EXPECT_TRUE(log.Exit(&info));
            }
            holder.reset();
            log.ShutDown();
        }
    }
}

// Init whose mutex is not created does not run the base Init; one whose configuration the base
// refuses keeps its new mutex, released; one whose release fails has taken the configuration.
// Exit whose mutex close fails forgets the mutex all the same, and a further Exit does nothing.
TEST(LogFileM, InitAndExitFailuresLeaveTheirWork) {
    TempDir dir;
    FaultScope faults;
    {
        Log log;
        auto cfg = Config(3, 688, "t"), refused = Config(0, 688);
        Info info = NoError();
        faults.Fail(Op::kCreateMutexW, 1, os::ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_FALSE(log.Init(&cfg, &info));
        EXPECT_EQ(std::make_tuple(info.uiLocation, log.Mutex(), log.FileCount()),
                  std::make_tuple(1u, TQ_HANDLE{}, 5u));

        info = NoError();
        EXPECT_FALSE(log.Init(&refused, &info));
        EXPECT_EQ(std::make_pair(info.uiModule, info.uiLocation), std::make_pair(46u, 1u));
        ASSERT_NE(log.Mutex(), nullptr);
        EXPECT_TRUE(FreeForOthers(log.Mutex()));

        faults.Fail(Op::kReleaseMutex, 1, os::ERROR_GEN_FAILURE);
        info = NoError();
        EXPECT_FALSE(log.Init(&cfg, &info));
        EXPECT_EQ(std::make_pair(info.uiLocation, log.FileCount()), std::make_pair(2u, 3u));
        EXPECT_EQ(faults.LiveHandles(), 1);  // the mutex of the earlier Init is closed

        info = NoError();
        faults.Fail(Op::kCloseHandle, 1, os::ERROR_GEN_FAILURE);
        EXPECT_FALSE(log.Exit(&info));
        EXPECT_EQ(std::make_pair(info.uiLocation, log.Mutex()), std::make_pair(7u, TQ_HANDLE{}));
        info = NoError();
        EXPECT_TRUE(log.Exit(&info));
        EXPECT_EQ(info.uiErrorSet, 0u);
    }
    EXPECT_EQ(faults.LiveHandles(), 0);
}

// A Write that does not fit rotates through the guarded Switch: three waits and releases on one
// thread, and the mutex is free again afterwards. (Failures inside it are swept in sweep_test.)
TEST(LogFileM, RotatingWriteReentersItsOwnMutex) {
    TempDir dir;
    FaultScope faults;
    Log log;
    Start(log, 3);
    const std::string record(400, 'w');
    Info info = NoError();
    ASSERT_TRUE(log.Write(record.data(), 400, &info));
    faults.ResetCounts();
    ASSERT_TRUE(log.Write(record.data(), 400, &info));  // does not fit: footer, next file
    EXPECT_EQ(faults.Calls(Op::kWaitForSingleObject), 3u);
    EXPECT_EQ(faults.Calls(Op::kReleaseMutex), 3u);
    EXPECT_EQ(ReadBytes("t_0002.log").substr(68), record);
    EXPECT_TRUE(FreeForOthers(log.Mutex()));
    log.ShutDown();
}

}  // namespace
