// Configuring a log file object: the accepted limits and the order Init checks them in, the
// first-failure rule of the error record, what Init takes over (also when it fails late), the
// empty name, and the two state queries. The record of each refusal is checked whole in
// places_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "support/files.h"
#include "support/probe.h"

using namespace scrivlet::test;

namespace {

TEST(Config, LimitsAndTheOrderOfTheirChecks) {
    const std::string n54(54, 'n'), n55(55, 'n'), f196(196, 'f'), h64(64, 'h');
    const struct {
        InitData config;
        unsigned location, reason, value;  // location 0: accepted
    } cases[] = {
        {Config(1, 688, n54, std::string(195, 'f'), std::string(63, 'h'), std::string(63, 'e')), 0,
         0, 0},
        {Config(9999, 104857600), 0, 0, 0},
        {Config(0xFFFFFFFFu, 688), 2, 8, 0xFFFFFFFFu},  // compared unsigned
        {Config(1, 0xFFFFFFFFu), 4, 8, 0xFFFFFFFFu},
        {Config(0, 0), 1, 9, 0},                           // the count before the size
        {Config(1, 687, n55, f196, h64, h64), 3, 9, 687},  // the numbers before the texts
        {Config(1, 688, n55, f196, h64, h64), 5, 7, 55},   // name, folder, header, footer
        {Config(1, 688, "", f196, h64, h64), 6, 7, 196},
        {Config(1, 688, "", "", h64, h64), 8, 7, 64},
        {Config(1, 688, std::string(56, 'n')), 5, 7, 56},  // no terminating zero in the field
    };
    for (auto c : cases) {
        Probe<> log;
        Info info = NoError();
        SCOPED_TRACE("refused at " + std::to_string(c.location));
        EXPECT_EQ(log.Init(&c.config, &info), c.location == 0);
        if (c.location == 0) {
            EXPECT_EQ(info, NoError());
            EXPECT_EQ(log.m_uiFileCount, c.config.uiFileCount);
            EXPECT_EQ(log.m_uiFileSize, c.config.uiFileSize);
        } else {
            const Info refused{46, c.reason, 4, c.location, c.value, 1};
            EXPECT_EQ(info, refused);
            EXPECT_TRUE(c.location > 6 || log.m_uiFileCount == 5u);  // nothing taken over
            // The first failure recorded wins: a further refusal leaves the record alone.
            auto later = Config(10000, 688);
            EXPECT_FALSE(log.Init(&later, &info));
            EXPECT_EQ(info, refused);
        }
    }
}

TEST(Config, HeaderLineAndWhatALateRefusalKeeps) {
    Probe<> log;
    Info info = NoError();
    auto cfg = Config(3, 1000, "", "", std::string(63, 'h'));
    ASSERT_TRUE(log.Init(&cfg, &info));
    EXPECT_EQ(Narrow(log.m_szHeader), std::string(63, 'h') + " 1 2\r\n");
    EXPECT_EQ(log.m_uiHeaderLength, 93u);

    auto bad = Config(3, 1000, "", "", std::string(64, 'x'));  // refused: the old header stays
    EXPECT_FALSE(log.Init(&bad, &info));
    EXPECT_EQ(Narrow(log.m_szHeader), std::string(63, 'h') + " 1 2\r\n");

    // A footer refused after count, size, name, folder and header were taken over.
    info = NoError();
    auto late = Config(7, 2000, "pump", "logs", "Start", std::string(64, 'e'), true);
    EXPECT_FALSE(log.Init(&late, &info));
    EXPECT_EQ(info.uiLocation, 7u);
    EXPECT_EQ(std::make_tuple(log.m_uiFileCount, log.m_uiFileSize, Narrow(log.m_szFileName),
                              Narrow(log.m_szFolder)),
              std::make_tuple(7u, 2000u, std::string("pump"), std::string("logs")));
    EXPECT_EQ(Narrow(log.m_szHeader), "Start 1 2\r\n");
    EXPECT_EQ(log.m_uiHeaderLength, 24u + 11u);
    EXPECT_FALSE(log.m_bCounter);
}

// An empty name keeps the previous one, cut at its first dot, while an empty folder is taken
// over. (The cut shows in the file names: LogFile.FileNames.)
TEST(Config, EmptyNameKeepsThePreviousOne) {
    Probe<> log;
    Info info = NoError();
    auto named = Config(2, 688, "trace.old.log", "logs"), unnamed = Config(3, 700);
    ASSERT_TRUE(log.Init(&named, &info) && log.Init(&unnamed, &info));
    EXPECT_EQ(Narrow(log.m_szFileName), "trace");
    EXPECT_EQ(Narrow(log.m_szFolder), "");
}

TEST(Config, QueriesFillOnlyTheirField) {
    TQCLogFile_1 log;
    const TQ_WCHAR marker[] = {'m', 0};
    Change state = {true, marker};
    Info info = NoError();
    EXPECT_TRUE(log.GetData(&state, &info));
    EXPECT_EQ(std::make_pair(state.bSwitchedOn, state.pszFolderFileName),
              std::make_pair(false, marker));
    state.bSwitchedOn = true;
    EXPECT_TRUE(log.GetFolderFileName(&state, &info));
    EXPECT_TRUE(state.bSwitchedOn);
    EXPECT_EQ(Narrow(state.pszFolderFileName), "");  // no path before switch-on
    EXPECT_EQ(info.uiErrorSet, 0u);
}

}  // namespace
