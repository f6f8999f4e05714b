// TQCLogFileM_1: its mutex and every way a wait, a release, the creation or the closing of it can
// go wrong, each reported at its own place with module 48, and the guarded work that is or is not
// done around it. Other threads hold or abandon the mutex through the platform layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <thread>
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
    EXPECT_EQ(info.uiModule, 48u);
    EXPECT_EQ(info.uiErrorType, type);
    EXPECT_EQ(info.uiError, error);
    EXPECT_EQ(info.uiLocation, location);
    EXPECT_EQ(info.uiValue, value);
    EXPECT_EQ(info.uiErrorSet, 1u);
}

bool Same(const Info& a, const Info& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A switched-on object writing t_NNNN.log with a footer line.
void Start(Log& log, unsigned fileCount = 2) {
    auto cfg = Config(fileCount, 688, "t", "", "Head", "Foot");
    Info info = NoError();
    ASSERT_TRUE(log.Init(&cfg, &info));
    ASSERT_TRUE(log.Switch(true, &info));
}

// Another thread owns the mutex, through a handle of its own, until Free.
class Holder {
  public:
    explicit Holder(TQ_HANDLE mutex) {
        os::DuplicateHandle(os::CurrentProcess(), mutex, os::CurrentProcess(), &handle_, 0,
                            os::FALSE, os::DUPLICATE_SAME_ACCESS);
        thread_ = std::thread([this] {
            const bool owns = os::WaitForSingleObject(handle_, os::INFINITE) == os::WAIT_OBJECT_0;
            taken_.set_value();
            free_.get_future().wait();
            if (owns) os::ReleaseMutex(handle_);
            os::CloseHandle(handle_);
        });
        taken_.get_future().wait();
    }
    ~Holder() { Free(); }
    void Free() {
        if (!thread_.joinable()) return;
        free_.set_value();
        thread_.join();
    }

  private:
    TQ_HANDLE handle_ = nullptr;
    std::promise<void> taken_;
    std::promise<void> free_;
    std::thread thread_;
};

// A thread takes the mutex and ends without releasing it.
void Abandon(TQ_HANDLE mutex) {
    std::thread([mutex] {
        TQ_HANDLE own = nullptr;
        os::DuplicateHandle(os::CurrentProcess(), mutex, os::CurrentProcess(), &own, 0, os::FALSE,
                            os::DUPLICATE_SAME_ACCESS);
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

TEST(LogFileM, InitRefusedByTheBaseKeepsItsMutex) {
    TempDir dir;
    Log log;
    auto cfg = Config(0, 688);
    Info info = NoError();
    EXPECT_FALSE(log.Init(&cfg, &info));
    EXPECT_EQ(info.uiModule, 46u);
    EXPECT_EQ(info.uiLocation, 1u);
    ASSERT_NE(log.Mutex(), nullptr);
    EXPECT_TRUE(FreeForOthers(log.Mutex()));
    info = NoError();
    EXPECT_TRUE(log.Exit(&info));
    EXPECT_EQ(log.Mutex(), nullptr);
    EXPECT_EQ(info.uiErrorSet, 0u);
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

TEST(LogFileM, GetDataFillsBothFieldsGetFolderFileNameOnlyThePath) {
    TempDir dir;
    Log log;
    auto cfg = Config(3, 688, "app", "logs");
    Info info = NoError();
    ASSERT_TRUE(log.Init(&cfg, &info));
    ASSERT_TRUE(log.Switch(true, &info));
    Change data{false, kSentinel};
    EXPECT_TRUE(log.GetData(&data, &info));
    EXPECT_TRUE(data.bSwitchedOn);
    EXPECT_EQ(Narrow(data.pszFolderFileName), "logs\\app_0001.log");
    Change name{false, kSentinel};
    EXPECT_TRUE(log.GetFolderFileName(&name, &info));
    EXPECT_FALSE(name.bSwitchedOn);
    EXPECT_EQ(name.pszFolderFileName, data.pszFolderFileName);
    Path copy = {};
    EXPECT_TRUE(log.CopyFolderFileName(copy, &info));
    EXPECT_EQ(Narrow(copy), "logs\\app_0001.log");
    EXPECT_EQ(info.uiErrorSet, 0u);
    EXPECT_TRUE(log.Exit(&info));
}

TEST(LogFileM, ExitWritesTheFooterShutDownDoesNot) {
    TempDir dir;
    const std::string footer = Utf16Bytes(" Foot 1 3\r\n");
    for (bool shutDownFirst : {false, true}) {
        FaultScope faults;
        {
            Log log;
            Start(log);
            if (shutDownFirst) log.ShutDown();
            const Info before{1, 2, 3, 4, 5, 0};
            Info info = before;
            EXPECT_TRUE(log.Exit(&info));
            EXPECT_TRUE(Same(info, before));
            EXPECT_EQ(log.Mutex(), nullptr);
            EXPECT_EQ(faults.LiveHandles(), 0);
            faults.ResetCounts();
            info = NoError();
            EXPECT_FALSE(log.Write("x", 1, &info));
            ExpectRecord(info, 2, os::ERROR_INVALID_HANDLE, 15, 0);
        }
        EXPECT_EQ(faults.Calls(scrivlet::test::Op::kCloseHandle), 0u);  // nothing closed twice
        const std::string bytes = ReadBytes("t_0001.log");
        EXPECT_EQ(bytes.size() > footer.size() &&
                      bytes.compare(bytes.size() - footer.size(), footer.size(), footer) == 0,
                  !shutDownFirst);
    }
}

TEST(LogFileM, FiniteTimeoutExpiresWhileAnotherThreadHoldsTheMutex) {
    TempDir dir;
    for (const Guarded& g : GuardedCalls()) {
        SCOPED_TRACE(g.name);
        Log log;
        Start(log);
        log.SetTimeout(100);
        Holder holder(log.Mutex());
        Info info = NoError();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(WorkDone(g, log, info, false));
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
        ExpectRecord(info, 8, TQCLogFile_1::REASON_WAIT_TIMEOUT, g.releaseAt + 2, 0);
        EXPECT_EQ(log.Mutex() == nullptr, g.releaseAt == 3);  // Exit lets go of it all the same
        log.ShutDown();
    }
}

TEST(LogFileM, AbandonedMutexFailsOneCallWithoutItsWork) {
    TempDir dir;
    for (const Guarded& g : GuardedCalls()) {
        SCOPED_TRACE(g.name);
        Log log;
        Start(log);
        Abandon(log.Mutex());
        Info info = NoError();
        EXPECT_FALSE(WorkDone(g, log, info, false));
        ExpectRecord(info, 8, TQCLogFile_1::REASON_WAIT_ABANDONED, g.releaseAt + 1, 0);
        if (log.Mutex() == nullptr) {  // Exit: the mutex is gone, the file stays open
            log.ShutDown();
            continue;
        }
        // The ownership that the wait handed over is given back at once; the next call works.
        EXPECT_TRUE(FreeForOthers(log.Mutex()));
        info = NoError();
        EXPECT_TRUE(log.Write("next", 4, &info));
        EXPECT_TRUE(log.Exit(&info));
    }
}

TEST(LogFileM, ReleaseFailureAfterTheWorkIsDone) {
    TempDir dir;
    for (const Guarded& g : GuardedCalls()) {
        SCOPED_TRACE(g.name);
        FaultScope faults;
        Log log;
        Start(log);
        const unsigned handle = scrivlet::HandleValue(log.Mutex());
        faults.Fail(scrivlet::test::Op::kReleaseMutex, 1, os::ERROR_GEN_FAILURE);
        Info info = NoError();
        EXPECT_TRUE(WorkDone(g, log, info, false));
        ExpectRecord(info, 2, os::ERROR_GEN_FAILURE, g.releaseAt, handle);
        log.ShutDown();
    }
}

TEST(LogFileM, CreationAndCloseFailures) {
    TempDir dir;
    FaultScope faults;
    {
        Log log;
        faults.Fail(scrivlet::test::Op::kCreateMutexW, 1, os::ERROR_NOT_ENOUGH_MEMORY);
        auto cfg = Config(3, 688, "t");
        Info info = NoError();
        EXPECT_FALSE(log.Init(&cfg, &info));
        ExpectRecord(info, 2, os::ERROR_NOT_ENOUGH_MEMORY, 1, 0);
        EXPECT_EQ(log.Mutex(), nullptr);
        EXPECT_EQ(log.FileCount(), 5u);  // the base Init did not run

        // A failed release after the base Init: the configuration is taken all the same.
        faults.Fail(scrivlet::test::Op::kReleaseMutex, 1, os::ERROR_GEN_FAILURE);
        info = NoError();
        EXPECT_FALSE(log.Init(&cfg, &info));
        const unsigned handle = scrivlet::HandleValue(log.Mutex());
        ExpectRecord(info, 2, os::ERROR_GEN_FAILURE, 2, handle);
        EXPECT_EQ(log.FileCount(), 3u);

        info = NoError();
        faults.Fail(scrivlet::test::Op::kCloseHandle, 1, os::ERROR_GEN_FAILURE);
        EXPECT_FALSE(log.Exit(&info));
        ExpectRecord(info, 2, os::ERROR_GEN_FAILURE, 7, handle);
        EXPECT_EQ(log.Mutex(), nullptr);
    }
    EXPECT_EQ(faults.LiveHandles(), 0);
}

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
    EXPECT_EQ(faults.Calls(scrivlet::test::Op::kWaitForSingleObject), 3u);
    EXPECT_EQ(faults.Calls(scrivlet::test::Op::kReleaseMutex), 3u);
    EXPECT_TRUE(Exists("t_0002.log"));
    EXPECT_TRUE(FreeForOthers(log.Mutex()));

    // The nested Switch(false) reports its own failed release; the record is not written.
    faults.Fail(scrivlet::test::Op::kReleaseMutex, 1, os::ERROR_GEN_FAILURE);
    EXPECT_FALSE(log.Write(record.data(), 400, &info));
    ExpectRecord(info, 2, os::ERROR_GEN_FAILURE, 8, scrivlet::HandleValue(log.Mutex()));
    const std::string second = ReadBytes("t_0002.log");
    EXPECT_EQ(std::count(second.begin(), second.end(), 'w'), 400);
    EXPECT_NE(second.find(Utf16Bytes("Foot")), std::string::npos);
    EXPECT_FALSE(Exists("t_0003.log"));
    log.ShutDown();
}

}  // namespace
