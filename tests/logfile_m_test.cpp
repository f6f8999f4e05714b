// TQCLogFileM_1: its mutex and its handles across a second Init, copies, Exit and ShutDown, the
// wait of a guarded call that times out while the mutex is held, and what a failed Init leaves.
// Every place with its whole record, the work a failed wait leaves undone and the mutex it leaves
// free are in places_test.cpp; the rotation that re-enters the mutex shows in the guarded sweeps
// and in threads_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <tuple>

#include "support/support.h"

namespace os = scrivlet::os;
using namespace scrivlet::test;

namespace {

using Log = Probe<TQCLogFileM_1>;

// A switched-on object writing t_NNNN.log with a footer line.
void Start(Log& log) {
    Info info = NoError();
    ASSERT_TRUE(Open(log, Config(2, 688, "t", "", "Head", "Foot"), &info));
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
            // The same mutex, held through the copy's handle: another thread's wait times out.
            ASSERT_EQ(os::WaitForSingleObject(copy.Mutex(), 0), os::WAIT_OBJECT_0);
            for (Log* object : {&log, &assigned}) {
                info = NoError();
                const auto start = std::chrono::steady_clock::now();
                Change change{};
                EXPECT_FALSE(std::async(std::launch::async, [&] {
                                 return object->GetData(&change, &info);
                             }).get());
                EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(18));
                EXPECT_EQ(info, (Info{48, 3, 8, 18, 0, 1}));
            }
            EXPECT_TRUE(os::ReleaseMutex(copy.Mutex()));
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
            TQ_WCHAR copy[260] = {};
            EXPECT_TRUE(log.GetData(&data, &info) && log.GetFolderFileName(&name, &info) &&
                        log.CopyFolderFileName(copy, &info));
            EXPECT_EQ(std::make_tuple(data.bSwitchedOn, Narrow(data.pszFolderFileName),
                                      Narrow(copy), name.bSwitchedOn, name.pszFolderFileName),
                      std::make_tuple(true, std::string("t_0001.log"), std::string("t_0001.log"),
                                      false, data.pszFolderFileName));
            if (shutDownFirst) log.ShutDown();
            EXPECT_EQ(log.Mutex() == nullptr, shutDownFirst);
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
        EXPECT_TRUE(std::async(std::launch::async, [&log] {
                        return os::WaitForSingleObject(log.Mutex(), 0) == os::WAIT_OBJECT_0 &&
                               os::ReleaseMutex(log.Mutex());
                    }).get());  // released
        faults.Fail(Op::kReleaseMutex, 1, os::ERROR_GEN_FAILURE);
        info = NoError();
        EXPECT_FALSE(log.Init(&cfg, &info));
        EXPECT_EQ(std::make_pair(info.uiLocation, log.m_uiFileCount), std::make_pair(2u, 3u));
        EXPECT_EQ(faults.LiveHandles(), 1);  // the mutex of the earlier Init is closed
    }
    EXPECT_EQ(faults.LiveHandles(), 0);
}

}  // namespace
