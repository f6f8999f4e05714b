// Configuring a log file object: the limits Init enforces and the order it checks them in, the
// first-failure rule of the error record, what Init takes over, and the two state queries.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "support/files.h"

using scrivlet::test::Config;
using scrivlet::test::NoError;
using Info = TQCLogFile_1::tagInfoData_1;

namespace {

// Reads the object's protected members.
class Probe : public TQCLogFile_1 {
  public:
    std::string Name() const { return scrivlet::test::Narrow(m_szFileName); }
    std::string Folder() const { return scrivlet::test::Narrow(m_szFolder); }
    std::string Header() const { return scrivlet::test::Narrow(m_szHeader); }
    // Every element behind the stored name is zero.
    bool NameTailIsZero() const {
        for (std::size_t i = Name().size(); i < 56; ++i) {
            if (m_szFileName[i] != 0) return false;
        }
        return true;
    }
    using TQCLogFile_1::CreateFileName;
    using TQCLogFile_1::m_bCounter, TQCLogFile_1::m_uiFileCount, TQCLogFile_1::m_uiFileSize;
    using TQCLogFile_1::m_uiHeaderLength, TQCLogFile_1::m_szFolderFileName;
};

auto Fields(const Info& i) {
    return std::make_tuple(i.uiModule, i.uiError, i.uiErrorType, i.uiLocation, i.uiValue,
                           i.uiErrorSet);
}

// A parameter failure of the log file class: module 46, type 4.
void ExpectRefused(const Info& info, unsigned location, unsigned reason, unsigned value) {
    EXPECT_EQ(Fields(info), Fields(Info{46, reason, 4, location, value, 1}));
}

TEST(Config, NumberLimits) {
    const struct {
        unsigned count, size;
        unsigned location, reason;  // location 0: accepted
    } cases[] = {
        {1, 688, 0, 0},       {9999, 104857600, 0, 0},  {0, 688, 1, 9},
        {10000, 688, 2, 8},   {0xFFFFFFFFu, 688, 2, 8}, {1, 687, 3, 9},
        {1, 104857601, 4, 8}, {1, 0xFFFFFFFFu, 4, 8},   {0, 0, 1, 9},
    };
    for (const auto& c : cases) {
        Probe log;
        auto info = NoError();
        auto cfg = Config(c.count, c.size);
        SCOPED_TRACE(std::to_string(c.count) + " files of " + std::to_string(c.size));
        EXPECT_EQ(log.Init(&cfg, &info), c.location == 0);
        if (c.location == 0) {
            EXPECT_EQ(info.uiErrorSet, 0u);
            EXPECT_EQ(log.m_uiFileCount, c.count);
            EXPECT_EQ(log.m_uiFileSize, c.size);
        } else {
            ExpectRefused(info, c.location, c.reason, c.location <= 2 ? c.count : c.size);
            EXPECT_EQ(log.m_uiFileCount, 5u);
        }
    }
}

TEST(Config, TextLimits) {
    const struct {
        std::string name, folder, header, footer;
        unsigned location, value;  // location 0: accepted
    } cases[] = {
        {std::string(54, 'n'), std::string(195, 'f'), std::string(63, 'h'), std::string(63, 'e'), 0,
         0},
        {std::string(55, 'n'), "", "", "", 5, 55},
        {std::string(56, 'n'), "", "", "", 5, 56},  // no terminating zero in the field
        {"", std::string(196, 'f'), "", "", 6, 196},
        {"", "", "", std::string(64, 'e'), 7, 64},
        {std::string(55, 'n'), std::string(196, 'f'), std::string(64, 'h'), "", 5, 55},
    };
    for (const auto& c : cases) {
        Probe log;
        auto info = NoError();
        auto cfg = Config(3, 1000, c.name, c.folder, c.header, c.footer);
        SCOPED_TRACE("refused at " + std::to_string(c.location));
        EXPECT_EQ(log.Init(&cfg, &info), c.location == 0);
        if (c.location != 0) ExpectRefused(info, c.location, 7, c.value);
    }
}

TEST(Config, HeaderAndFooterLines) {
    Probe log;
    auto info = NoError();
    auto cfg = Config(3, 1000, "", "", std::string(63, 'h'));
    ASSERT_TRUE(log.Init(&cfg, &info));
    EXPECT_EQ(log.Header(), std::string(63, 'h') + " 1 2\r\n");
    EXPECT_EQ(log.m_uiHeaderLength, 93u);

    // A field filled to its end has no zero: too long, the old header stays.
    auto bad = Config(3, 1000, "", "", std::string(64, 'x'));
    EXPECT_FALSE(log.Init(&bad, &info));
    ExpectRefused(info, 8, 7, 64);
    EXPECT_EQ(log.Header(), std::string(63, 'h') + " 1 2\r\n");

    // A footer refused after count, size, name, folder and header were taken over.
    info = NoError();
    auto late = Config(7, 2000, "pump", "logs", "Start", std::string(64, 'e'), true);
    EXPECT_FALSE(log.Init(&late, &info));
    ExpectRefused(info, 7, 7, 64);
    EXPECT_EQ(log.m_uiFileCount, 7u);
    EXPECT_EQ(log.m_uiFileSize, 2000u);
    EXPECT_EQ(log.Name(), "pump");
    EXPECT_EQ(log.Folder(), "logs");
    EXPECT_EQ(log.Header(), "Start 1 2\r\n");
    EXPECT_EQ(log.m_uiHeaderLength, 24u + 11u);
    EXPECT_FALSE(log.m_bCounter);
}

TEST(Config, FirstFailureWins) {
    Probe log;
    const Info held = {1, 2, 3, 4, 5, 1};
    Info info = held;
    auto bad = Config(0, 1);
    EXPECT_FALSE(log.Init(&bad, &info));
    EXPECT_EQ(Fields(info), Fields(held));
    EXPECT_EQ(log.m_uiFileCount, 5u);
}

TEST(Config, NameEndsBeforeFirstDot) {
    const std::pair<const char*, const char*> cases[] = {
        {"trace.old.log", "trace_0000.log"}, {".log", "_0000.log"}, {"", "LogFile_1_0000.log"}};
    for (const auto& c : cases) {
        Probe log;
        auto info = NoError();
        auto cfg = Config(2, 688, c.first);
        ASSERT_TRUE(log.Init(&cfg, &info));
        EXPECT_TRUE(log.NameTailIsZero()) << c.first;
        log.CreateFileName();
        EXPECT_EQ(scrivlet::test::Narrow(log.m_szFolderFileName), c.second);
    }
}

TEST(Config, EmptyNameKeepsThePreviousOne) {
    Probe log;
    auto info = NoError();
    auto named = Config(2, 688, "pump", "logs");
    auto unnamed = Config(3, 700);
    ASSERT_TRUE(log.Init(&named, &info));
    ASSERT_TRUE(log.Init(&unnamed, &info));
    EXPECT_EQ(log.Name(), "pump");
    EXPECT_EQ(log.Folder(), "");  // an empty folder is taken over
}

TEST(Config, QueriesFillOnlyTheirField) {
    TQCLogFile_1 log;
    const TQ_WCHAR marker[] = {'m', 0};
    TQCLogFile_1::tagChangeData_1 state = {true, marker};
    Info info = NoError();
    EXPECT_TRUE(log.GetData(&state, &info));
    EXPECT_EQ(std::make_pair(state.bSwitchedOn, state.pszFolderFileName),
              std::make_pair(false, marker));
    state.bSwitchedOn = true;
    EXPECT_TRUE(log.GetFolderFileName(&state, &info));
    EXPECT_TRUE(state.bSwitchedOn);
    EXPECT_EQ(scrivlet::test::Narrow(state.pszFolderFileName), "");  // no path before switch-on
    EXPECT_EQ(info.uiErrorSet, 0u);
}

TEST(Config, InterfaceVersion) { EXPECT_EQ(ScrivletGetInterfaceVersion(), 5); }

}  // namespace
