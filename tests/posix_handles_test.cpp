// Running out of handles on POSIX: with every handle of the fixed table taken, each operation that
// needs one fails at its place with ERROR_TOO_MANY_OPEN_FILES (4), leaves what was written alone,
// and works again once handles are freed.
#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"
#include "support/support.h"

namespace {

using namespace scrivlet::test;
namespace os = scrivlet::os;

TEST(Handles, ExhaustedTableFailsCleanlyAndRecovers) {
    TempDir dir;
    // One file in the ring: every switch-on replaces the file that holds the records.
    TQCLogFile_1 log;
    const InitData config = Config(1, 688, "h", "", "", "end");
    Info info = NoError();
    ASSERT_TRUE(Open(log, config, &info));
    ASSERT_TRUE(log.Write("one\n", 4, &info));

    std::vector<os::HANDLE> taken;
    for (os::HANDLE h; (h = os::CreateMutexW(nullptr, os::FALSE, nullptr)) != nullptr;) {
        taken.push_back(h);
    }
    EXPECT_EQ(os::GetLastError(), os::ERROR_TOO_MANY_OPEN_FILES);
    EXPECT_GE(taken.size(), 4000u);

    // What holds its handle goes on; a copy gets no file of its own.
    EXPECT_TRUE(log.Write("two\n", 4, &info));
    TQCLogFile_1 copy(log);
    EXPECT_FALSE(copy.Write("copy\n", 5, &info));
    EXPECT_EQ(info, (Info{46, 6, 2, 18, 0, 1}));
    // Switching off gives one handle back; take it, so that the switch-on finds none.
    info = NoError();
    EXPECT_TRUE(log.Switch(false, &info));
    taken.push_back(os::CreateMutexW(nullptr, os::FALSE, nullptr));
    ASSERT_NE(taken.back(), nullptr);
    const std::string before = ReadBytes("h_0001.log");
    ASSERT_EQ(before.substr(0, 8), "one\ntwo\n");
    EXPECT_FALSE(log.Switch(true, &info));
    EXPECT_EQ(info, (Info{46, 4, 2, 9, 0, 1}));
    EXPECT_EQ(ReadBytes("h_0001.log"), before) << "the file to be replaced is left alone";
    TQCLogFileM_1 guarded;
    info = NoError();
    InitData guarded_config = config;
    EXPECT_FALSE(guarded.Init(&guarded_config, &info));
    EXPECT_EQ(info, (Info{48, 4, 2, 1, 0, 1}));

    for (os::HANDLE h : taken) EXPECT_TRUE(os::CloseHandle(h));
    info = NoError();
    EXPECT_TRUE(log.Switch(false, &info) && log.Switch(true, &info));
    EXPECT_TRUE(log.Write("three\n", 6, &info));
    TQCLogFile_1 second_copy(log);
    EXPECT_TRUE(second_copy.Write("four\n", 5, &info));
    EXPECT_TRUE(guarded.Init(&guarded_config, &info) && guarded.Exit(&info));
    EXPECT_TRUE(log.Exit(&info));
    EXPECT_EQ(ReadBytes("h_0001.log").substr(0, 11), "three\nfour\n");
    EXPECT_EQ(info, NoError());
}

}  // namespace
