// TQCLogFileM_1: its mutex, the guarded work that is or is not done when a wait or a release goes
// wrong, what the object holds afterwards, and copies. Other threads hold or abandon the mutex
// through the platform layer. The whole record of every place is in places_test.cpp; the rotation
// that re-enters the mutex shows in the guarded sweeps and in threads_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <tuple>

#include "support/support.h"

namespace os = scrivlet::os;
using namespace scrivlet::test;

namespace {

using Path = TQ_WCHAR[260];
using Log = Probe<TQCLogFileM_1>;

// Each guarded operation with its first reporting place (release failed; the wait abandoned,
// timed out and failed follow). The call marks the state record when it did its work.
const struct {
    const char* name;
    bool (*call)(Log&, Change&, Info&);
    unsigned releaseAt;
} kGuardedCalls[] = {
    {"Exit", [](Log& l, Change&, Info& i) { return l.Exit(&i); }, 3},
    {"Switch", [](Log& l, Change&, Info& i) { return l.Switch(false, &i); }, 8},
    {"Write", [](Log& l, Change&, Info& i) { return l.Write("abc", 3, &i); }, 12},
    {"GetData", [](Log& l, Change& c, Info& i) { return l.GetData(&c, &i); }, 16},
    {"GetFolderFileName", [](Log& l, Change& c, Info& i) { return l.GetFolderFileName(&c, &i); },
     20},
    {"CopyFolderFileName",
     [](Log& l, Change& c, Info& i) {
         Path copy = {TQ_TEXT('?')};
         const bool ok = l.CopyFolderFileName(copy, &i);
         if (copy[0] != TQ_TEXT('?')) c.pszFolderFileName = nullptr;
         return ok;
     },
     20},
};

// A switched-on object writing t_NNNN.log with a footer line.
void Start(Log& log) {
    Info info = NoError();
    ASSERT_TRUE(Open(log, Config(2, 688, "t", "", "Head", "Foot"), &info));
}

// Runs body on another thread with a handle of its own to the same mutex.
template <typename Body>
auto OnOtherThread(TQ_HANDLE mutex, Body body) {
    return std::async(std::launch::async, [mutex, body] {
        TQ_HANDLE own = nullptr;
        os::DuplicateHandle(os::CurrentProcess(), mutex, os::CurrentProcess(), &own, 0, os::FALSE,
                            os::DUPLICATE_SAME_ACCESS);
        const auto result = body(own);
        os::CloseHandle(own);
        return result;
    });
}

// Another thread owns the mutex while this object lives.
class Holder {
  public:
    explicit Holder(TQ_HANDLE mutex)
        : done_(OnOtherThread(mutex, [this](TQ_HANDLE own) {
              const bool owns = os::WaitForSingleObject(own, os::INFINITE) == os::WAIT_OBJECT_0;
              taken_.set_value();
              free_.get_future().wait();
              return owns && os::ReleaseMutex(own);
          })) {
        taken_.get_future().wait();
    }
    ~Holder() {
        free_.set_value();
        EXPECT_TRUE(done_.get());
    }

  private:
    std::promise<void> taken_, free_;
    std::future<bool> done_;
};

// Whether another thread gets the mutex at once.
bool FreeForOthers(TQ_HANDLE mutex) {
    return OnOtherThread(mutex,
                         [](TQ_HANDLE own) {
                             return os::WaitForSingleObject(own, 0) == os::WAIT_OBJECT_0 &&
                                    os::ReleaseMutex(own);
                         })
        .get();
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
        log.Timeout() = 20;
        {
            Log copy(log), assigned;
            assigned = log;
            EXPECT_TRUE(copy.Mutex() != log.Mutex() && assigned.Mutex() != log.Mutex());
            Holder holder(copy.Mutex());  // the same mutex, held through the copy's handle
            Change change{};
            for (Log* object : {&log, &assigned}) {
                info = NoError();
                EXPECT_FALSE(object->GetData(&change, &info));
                EXPECT_EQ(info, (Info{48, 3, 8, 18, 0, 1}));
            }
        }
        Info after = NoError();
        EXPECT_TRUE(log.Write("x", 1, &after) && log.Exit(&after));  // copies closed their own
    }
    EXPECT_EQ(faults.LiveHandles(), 0);
}

// GetData fills both fields, GetFolderFileName only the path, CopyFolderFileName copies it. Exit
// writes the footer and closes file and mutex; after ShutDown it does nothing, and neither the
// destructor closes anything twice.
TEST(LogFileM, QueriesExitAndShutDown) {
    TempDir dir;
    for (bool shutDownFirst : {false, true}) {
        FaultScope faults;
        {
            Log log;
            Start(log);
            Info info = NoError();
            const TQ_WCHAR marker[] = TQ_TEXT("m");
            Change data{false, marker}, name{false, marker};
            Path copy = {};
            EXPECT_TRUE(log.GetData(&data, &info) && log.GetFolderFileName(&name, &info) &&
                        log.CopyFolderFileName(copy, &info));
            EXPECT_EQ(std::make_tuple(data.bSwitchedOn, Narrow(data.pszFolderFileName),
                                      Narrow(copy), name.bSwitchedOn, name.pszFolderFileName),
                      std::make_tuple(true, std::string("t_0001.log"), std::string("t_0001.log"),
                                      false, data.pszFolderFileName));
            if (shutDownFirst) log.ShutDown();
            const Info before{1, 2, 3, 4, 5, 0};
            info = before;
            EXPECT_TRUE(log.Exit(&info));
            EXPECT_EQ(info, before);
            EXPECT_EQ(log.Mutex(), nullptr);
            EXPECT_EQ(faults.LiveHandles(), 0);
            faults.ResetCounts();
        }
        EXPECT_EQ(faults.Calls(Op::kCloseHandle), 0u);  // nothing closed twice
        const std::string bytes = ReadBytes("t_0001.log"), footer = Utf16Bytes(" Foot 1 3\r\n");
        EXPECT_EQ(bytes.size() > 68 && bytes.substr(bytes.size() - footer.size()) == footer,
                  !shutDownFirst);
    }
}

// For every guarded call: a failed release, a mutex abandoned by a thread that ended, a finite
// time-out while another thread holds it, and a new object that has no mutex to wait on. Only a
// failed release comes after the work. An abandoned wait gives the ownership back at once, so the
// next call works; Exit lets go of the mutex always.
TEST(LogFileM, WaitAndReleaseFailuresOfEveryGuardedCall) {
    TempDir dir;
    enum Mode { kRelease, kAbandoned, kTimedOut, kNoMutex };  // the place: the release's + mode
    const unsigned errors[] = {os::ERROR_GEN_FAILURE, 2, 3, os::ERROR_INVALID_HANDLE};
    for (Mode mode : {kRelease, kAbandoned, kTimedOut, kNoMutex}) {
        for (const auto& g : kGuardedCalls) {
            const bool exit = g.releaseAt == 3;
            if (exit && mode == kNoMutex) continue;
            SCOPED_TRACE(std::string(g.name) + " mode " + std::to_string(mode));
            FaultScope faults;
            Log log;
            EXPECT_EQ(log.Timeout(), 0xFFFFFFFFu);
            if (mode != kNoMutex) Start(log);
            std::unique_ptr<Holder> holder;
            if (mode == kRelease) faults.Fail(Op::kReleaseMutex, 1, os::ERROR_GEN_FAILURE);
            if (mode == kAbandoned) {
                OnOtherThread(log.Mutex(), [](TQ_HANDLE own) {
                    return os::WaitForSingleObject(own, os::INFINITE);
                }).wait();
            }
            if (mode == kTimedOut) {
                log.Timeout() = 100;
                holder = std::make_unique<Holder>(log.Mutex());
            }
            const unsigned value = mode == kRelease ? log.MutexValue() : 0;
            const std::string before = ReadBytes("t_0001.log");
            const TQ_WCHAR sentinel[] = TQ_TEXT("untouched");
            Change change{false, sentinel};
            Info info = NoError();
            const auto start = std::chrono::steady_clock::now();
            EXPECT_FALSE(g.call(log, change, info));
            // The work is done when the file or the state record changed.
            EXPECT_EQ(change.pszFolderFileName != sentinel || ReadBytes("t_0001.log") != before,
                      mode == kRelease);
            EXPECT_TRUE(mode != kTimedOut ||
                        std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(90));
            const unsigned type = mode == kAbandoned || mode == kTimedOut ? 8 : 2;
            EXPECT_EQ(info, (Info{48, errors[mode], type, g.releaseAt + mode, value, 1}));
            EXPECT_EQ(log.Mutex() == nullptr, exit || mode == kNoMutex);
            if (mode == kAbandoned && log.Mutex() != nullptr) {
                EXPECT_TRUE(FreeForOthers(log.Mutex()));
                info = NoError();
                EXPECT_TRUE(log.Write("next", 4, &info) && log.Exit(&info));
            }
            holder.reset();
            log.ShutDown();
        }
    }
}

// Init whose mutex is not created does not run the base Init; one whose configuration the base
// refuses keeps its new mutex, released; one whose release fails has taken the configuration.
TEST(LogFileM, InitFailuresLeaveTheirWork) {
    TempDir dir;
    FaultScope faults;
    {
        Log log;
        auto cfg = Config(3, 688, "t"), refused = Config(0, 688);
        Info info = NoError();
        faults.Fail(Op::kCreateMutexW, 1, os::ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_FALSE(log.Init(&cfg, &info));
        EXPECT_EQ(std::make_tuple(info.uiLocation, log.Mutex(), log.m_uiFileCount),
                  std::make_tuple(1u, TQ_HANDLE{}, 5u));
        info = NoError();
        EXPECT_FALSE(log.Init(&refused, &info));
        EXPECT_EQ(std::make_pair(info.uiModule, info.uiLocation), std::make_pair(46u, 1u));
        ASSERT_NE(log.Mutex(), nullptr);
        EXPECT_TRUE(FreeForOthers(log.Mutex()));
        faults.Fail(Op::kReleaseMutex, 1, os::ERROR_GEN_FAILURE);
        info = NoError();
        EXPECT_FALSE(log.Init(&cfg, &info));
        EXPECT_EQ(std::make_pair(info.uiLocation, log.m_uiFileCount), std::make_pair(2u, 3u));
        EXPECT_EQ(faults.LiveHandles(), 1);  // the mutex of the earlier Init is closed
    }
    EXPECT_EQ(faults.LiveHandles(), 0);
}

}  // namespace
