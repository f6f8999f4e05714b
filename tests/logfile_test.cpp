// Both log file classes against the real file system: the limits of a configuration and the
// order Init checks them in, what a refusal keeps, the base class's queries, the bytes of each
// file (library lines, records, their order), what failures leave, the names of the ring's files,
// switching, rotation at the exact footer boundary, the no-room limit, the counter's wrap; and the
// guarded class's mutex across Init failures and ShutDown. The whole record of every refusal and
// failure is in places_test.cpp; the guarded class's queries in ring_test.cpp; copies sharing a
// file and a mutex show in noalloc_test.cpp and posix_realfaults_test.cpp, real waits on a held
// mutex in posix_platform_test.cpp.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <tuple>

#include "support/support.h"

using namespace scrivlet::test;
namespace os = scrivlet::os;

namespace {

// The line that the fixed clock (2026-12-04 15:17:30.045 UTC) stamps, as the file holds it (the
// stamp itself is checked in text_test.cpp).
std::string Line(const std::string& text) {
    TQ_WCHAR stamp[25];
    TQ_DateTime::DateTimeSpaceToString_1(TQ_DateTime::GetLocalDateTime_1(), stamp);
    return Utf16Bytes(Narrow(stamp) + text + "\r\n");
}

class LogFile : public ::testing::Test {
  protected:
    void SetUp() override { faults.FixClock(1796397450, 45); }
    bool Configure(TQCLogFile_1& log, InitData config) { return log.Init(&config, &info); }
    TempDir dir;
    FaultScope faults;
    Info info{};
};

// Each limit accepted at its edge and refused just past it (the whole record of each refusal is
// in places_test.cpp), the numbers checked before the texts and the header before the footer,
// comparisons unsigned, nothing taken over before the texts are checked, and the first refusal
// kept in the record.
TEST_F(LogFile, ConfigurationLimitsInTheOrderInitChecksThem) {
    const std::string n55(55, 'n'), f196(196, 'f'), h64(64, 'h');
    const struct {
        InitData config;
        unsigned location, value;  // location 0: accepted
    } cases[] = {
        {Config(1, 688, std::string(54, 'n'), std::string(195, 'f'), std::string(63, 'h'),
                std::string(63, 'e')),
         0, 0},
        {Config(9999, 104857600), 0, 0},
        {Config(0xFFFFFFFFu, 688), 2, 0xFFFFFFFFu},
        {Config(1, 0xFFFFFFFFu), 4, 0xFFFFFFFFu},
        {Config(0, 0), 1, 0},
        {Config(1, 687, n55, f196, h64, h64), 3, 687},
        {Config(1, 688, n55, f196, h64, h64), 5, 55},
        {Config(1, 688, "", f196, h64, h64), 6, 196},
        {Config(1, 688, "", "", h64, h64), 8, 64},
        {Config(1, 688, std::string(56, 'n')), 5, 56},  // no terminating zero in the field
    };
    for (auto c : cases) {
        Probe<> log;
        info = Info{};
        EXPECT_EQ(log.Init(&c.config, &info), c.location == 0) << c.location;
        EXPECT_EQ(std::make_pair(info.uiLocation, info.uiValue),
                  std::make_pair(c.location, c.value));
        EXPECT_EQ(log.m_uiFileCount, c.location == 0 || c.location > 6 ? c.config.uiFileCount : 5);
        auto later = Config(10000, 688);
        EXPECT_FALSE(log.Init(&later, &info));
        EXPECT_EQ(info.uiLocation, c.location == 0 ? 2 : c.location);
    }
}

// A refused header keeps the old one; a footer refused late keeps count, size, name, folder and
// header, but not the counter switch. GetData fills only bSwitchedOn, GetFolderFileName only
// the path, which is empty before the first switch-on.
TEST_F(LogFile, LateRefusalKeepsWhatWasTakenOverAndQueriesFillTheirField) {
    Probe<> log;
    ASSERT_TRUE(Configure(log, Config(3, 1000, "", "", std::string(63, 'h'))));
    EXPECT_FALSE(Configure(log, Config(3, 1000, "", "", std::string(64, 'x'))));
    EXPECT_EQ(std::make_pair(Narrow(log.m_szHeader), log.m_uiHeaderLength),
              std::make_pair(std::string(63, 'h') + " 1 2\r\n", 93u));
    info = Info{};
    EXPECT_FALSE(Configure(log, Config(7, 2000, "pump", "logs", "Start", std::string(64, 'e'), 1)));
    EXPECT_EQ(std::make_tuple(info.uiLocation, log.m_uiFileCount, log.m_uiFileSize,
                              Narrow(log.m_szFileName), Narrow(log.m_szFolder),
                              Narrow(log.m_szHeader), log.m_bCounter),
              std::make_tuple(7u, 7u, 2000u, std::string("pump"), std::string("logs"),
                              std::string("Start 1 2\r\n"), false));
    const TQ_WCHAR marker[] = {'m', 0};
    Change state = {true, marker};
    EXPECT_TRUE(log.GetData(&state, &info));
    EXPECT_EQ(std::make_pair(state.bSwitchedOn, state.pszFolderFileName),
              std::make_pair(false, marker));
    state.bSwitchedOn = true;
    EXPECT_TRUE(log.GetFolderFileName(&state, &info));
    EXPECT_EQ(std::make_pair(state.bSwitchedOn, Narrow(state.pszFolderFileName)),
              std::make_pair(true, std::string()));
}

// The bytes of a file: counter, header, the records as given, footer. A new object starts at
// file 1, replacing what was there; a Write while off is dropped; switching on twice opens one
// file; off and on again moves on to the next file, replacing it too (and leaving no 183 as the
// last error); ShutDown writes no footer.
TEST_F(LogFile, LayoutSwitchingAndReplacing) {
    std::filesystem::create_directories("logs/sub");
    std::ofstream("logs/sub/app_0001.log") << std::string(5000, 'j');  // a ring written before
    std::ofstream("logs/sub/app_0002.log") << std::string(5000, 'j');
    Probe<> log;
    ASSERT_TRUE(Configure(log, Config(3, 688, "app.log", "logs\\sub", "Head", "Foot", true)));
    EXPECT_TRUE(log.Write("off", 3, &info));
    ASSERT_TRUE(log.Switch(true, &info) && log.Switch(true, &info));
    EXPECT_EQ(faults.Calls(Op::kCreateFileW), 1u);
    EXPECT_EQ(Narrow(log.m_szFolderFileName), "logs\\sub\\app_0001.log");
    const std::string binary("\0\xff\r\n", 4);
    ASSERT_TRUE(log.Write("abc", 3, &info) && log.Write(binary.data(), 4, &info));
    ASSERT_TRUE(log.Switch(false, &info) && log.Write("dropped", 7, &info));
    EXPECT_EQ(ReadBytes("logs/sub/app_0001.log"),
              Line("1 1 1") + Line("Head 1 2") + "abc" + binary + Line("Foot 1 3"));
    ASSERT_TRUE(log.Switch(true, &info) && log.Write("x", 1, &info));
    EXPECT_EQ(os::GetLastError(), 0u);
    log.ShutDown();
    EXPECT_EQ(ReadBytes("logs/sub/app_0002.log"), Line("2 1 1") + Line("Head 1 2") + "x");
    EXPECT_EQ(info.uiErrorSet, 0u);
}

// What failures leave. A switch-on whose folder cannot be created leaves the object on without a
// file: switching on again does nothing and a Write fails, until off and on again. A counter line
// that was not written has used up its number, and a write cut short counts the bytes it wrote
// towards the next rotation.
TEST_F(LogFile, FailuresLeaveTheObjectOnAndCountWhatWasWritten) {
    std::ofstream("d") << "a file where the folder goes";
    Probe<> log;
    ASSERT_TRUE(Configure(log, Config(3, 688, "c", "d\\e", "", "", true)));
    Info failed[4] = {};
    EXPECT_FALSE(log.Switch(true, &failed[0]));
    std::filesystem::remove("d");
    EXPECT_TRUE(log.Switch(true, &info) && !log.Write("r", 1, &failed[1]));
    faults.FailCall(Op::kWriteFile, 1, os::ERROR_DISK_FULL);
    EXPECT_TRUE(log.Switch(false, &info) && !log.Switch(true, &failed[2]));
    faults.ShortWrite(2, 100);  // the record behind the counter line
    EXPECT_TRUE(log.Switch(false, &info) && log.Switch(true, &info) &&
                !log.Write(std::string(300, 'a').data(), 300, &failed[3]));
    EXPECT_TRUE(log.Write(std::string(527, 'b').data(), 527, &info));  // 62 + 100 + 527 > 688
    EXPECT_EQ(std::make_tuple(failed[0].uiLocation, failed[1].uiLocation, failed[2].uiLocation,
                              failed[3].uiLocation, info.uiErrorSet),
              std::make_tuple(22u, 18u, 11u, 19u, 0u));
    EXPECT_EQ(ReadBytes("d/e/c_0001.log"), "");
    EXPECT_EQ(ReadBytes("d/e/c_0002.log"), Line("2 1 1") + std::string(100, 'a'));
    EXPECT_EQ(ReadBytes("d/e/c_0003.log"), Line("3 1 1") + std::string(527, 'b'));
}

// One object configured again and again: an empty name keeps the previous one (the default at
// first), an empty folder is taken over, a name ends before its first dot, and the separator is
// inserted even behind a folder ending in a backslash.
TEST_F(LogFile, FileNames) {
    const struct {
        const char *folder, *name;
        unsigned number;
        const char* path;
    } cases[] = {
        {"", "", 1, "LogFile_1_0001.log"},
        {"D:\\Data\\", "log", 1, "D:\\Data\\\\log_0001.log"},
        {"C:\\Logs", "Pump", 12, "C:\\Logs\\Pump_0012.log"},
        {"", "", 5, "Pump_0005.log"},
        {"", "trace.old.log", 9999, "trace_9999.log"},
        {"", ".log", 1, "_0001.log"},
    };
    Probe<> log;
    for (const auto& c : cases) {
        ASSERT_TRUE(Configure(log, Config(9999, 688, c.name, c.folder)));
        log.m_uiFileNumber = c.number;
        log.CreateFileName();
        EXPECT_EQ(Narrow(log.m_szFolderFileName), c.path);
    }
}

// Two records into a ring of two files of 688 bytes: the second goes on in file 1 exactly when it
// fits before the footer. The room for a record is the file size less twice the characters of
// the counter, header and footer lines (without them: the place RecordTooLarge). It is measured
// against the last counter line formed, so a file whose line has just gained a digit (9 to 10)
// ends 2 bytes beyond the file size; the counter wraps from the largest value to 1.
TEST_F(LogFile, RotationAtTheFooterRoomAndCounterWrap) {
    const std::string h63(63, 'h');
    const struct {
        unsigned counter;  // 0: no counter line
        std::string header, footer, first_line, second_line;
        unsigned first, second;
        bool rotates;
    } cases[] = {
        {0, "", "F", "", "", 100, 526, false},
        {0, "", "F", "", "", 100, 527, true},
        {0, "", "F", "", "", 1, 625, false},
        {0, "", "F", "", "", 1, 626, true},
        {0, h63, "", h63 + " 1 2", h63 + " 1 2", 502, 502, true},
        {9, "", "", "9 1 1", "10 1 1", 626, 626, true},
        {4294967295u, "", "", "4294967295 1 1", "1 1 1", 608, 608, true},
    };
    for (const auto& c : cases) {
        TempDir sub;
        Probe<> log;
        info = Info{};
        ASSERT_TRUE(Configure(log, Config(2, 688, "g", "", c.header, c.footer, c.counter != 0)));
        log.m_uiCounter = c.counter;
        ASSERT_TRUE(log.Switch(true, &info));
        const std::string first(c.first, 'a'), second(c.second, 'b');
        const std::string line1 = c.first_line.empty() ? "" : Line(c.first_line),
                          line2 = c.second_line.empty() ? "" : Line(c.second_line),
                          footer = c.footer.empty() ? "" : Line("F 1 3");
        const auto room = static_cast<unsigned>(688 - line1.size() - footer.size());
        EXPECT_FALSE(log.Write(std::string(room + 1, 'y').data(), room + 1, &info));
        EXPECT_EQ(info, (Info{46, 6, 4, 17, room, 1}));
        info = Info{};
        ASSERT_TRUE(log.Write(first.data(), c.first, &info) &&
                    log.Write(second.data(), c.second, &info) && log.Switch(false, &info));
        EXPECT_EQ(ReadBytes("g_0001.log"), line1 + first + (c.rotates ? "" : second) + footer)
            << c.second;
        EXPECT_EQ(ReadBytes("g_0002.log"), c.rotates ? line2 + second + footer : "") << c.second;
    }
}

// A guarded Init whose mutex is not created does not run the base Init; one whose release fails
// has taken the configuration; each closes the mutex of the Init before. (One whose
// configuration the base refuses keeps its mutex, released: places_test.cpp.) After ShutDown,
// Exit does nothing and the destructor closes nothing twice. (The queries show in ring_test.cpp,
// Exit's footer and its closing of the mutex in sweep_test.cpp.)
TEST_F(LogFile, GuardedInitFailuresLeaveTheirWorkAndShutDownEndsAll) {
    {
        Probe<TQCLogFileM_1> log;
        auto cfg = Config(3, 688, "t"), next = Config(4, 688, "t");
        faults.FailCall(Op::kCreateMutexW, 1, os::ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_FALSE(log.Init(&cfg, &info));
        EXPECT_EQ(std::make_tuple(info.uiLocation, log.Mutex(), log.m_uiFileCount),
                  std::make_tuple(1u, TQ_HANDLE{}, 5u));
        EXPECT_TRUE(log.Init(&cfg, &info) && log.Mutex() != nullptr);
        faults.FailCall(Op::kReleaseMutex, 1, os::ERROR_GEN_FAILURE);
        info = Info{};
        EXPECT_FALSE(log.Init(&next, &info));
        EXPECT_EQ(std::make_pair(info.uiLocation, log.m_uiFileCount), std::make_pair(2u, 4u));
        EXPECT_EQ(faults.LiveHandles(), 1);
        log.ShutDown();
        const Info before{1, 2, 3, 4, 5, 0};
        info = before;
        EXPECT_TRUE(log.Exit(&info));
        EXPECT_EQ(std::make_tuple(info, log.Mutex(), faults.LiveHandles()),
                  std::make_tuple(before, TQ_HANDLE{}, 0L));
        faults.ResetCounts();
    }
    EXPECT_EQ(faults.Calls(Op::kCloseHandle), 0u);  // nothing closed twice
}

}  // namespace
