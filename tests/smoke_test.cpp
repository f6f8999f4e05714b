#include <gtest/gtest.h>

#include "support/faults.h"
#include "support/files.h"

using namespace scrivlet::test;

TEST(Smoke, RingWithLines) {
    TempDir dir;
    TQCLogFile_1 log;
    auto info = NoError();
    auto cfg = Config(3, 688, "app.log", "logs\\sub", "Head", "Foot", true);
    ASSERT_TRUE(log.Init(&cfg, &info));
    ASSERT_TRUE(log.Switch(true, &info)) << info.uiLocation << " " << info.uiError;
    std::string rec(200, 'x');
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(log.Write(rec.data(), 200, &info)) << info.uiLocation;
    ASSERT_TRUE(log.Switch(false, &info));
    for (int n = 1; n <= 3; ++n) {
        std::string p = "logs/sub/app_000" + std::to_string(n) + ".log";
        std::string b = ReadBytes(p);
        printf("%s: %zu bytes\n", p.c_str(), b.size());
        std::string s;
        for (char c : b)
            if (c) s += c;
        printf("%s\n", s.c_str());
    }
}

TEST(Smoke, Mutex) {
    TempDir dir;
    TQCLogFileM_1 log;
    auto info = NoError();
    EXPECT_FALSE(log.Write("x", 1, &info));
    EXPECT_EQ(info.uiLocation, 15u);
    EXPECT_EQ(info.uiError, 6u);
    info = NoError();
    auto cfg = Config(2, 688);
    ASSERT_TRUE(log.Init(&cfg, &info));
    ASSERT_TRUE(log.Switch(true, &info));
    std::string rec(300, 'y');
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(log.Write(rec.data(), 300, &info)) << info.uiLocation;
    ASSERT_TRUE(log.Exit(&info));
    EXPECT_TRUE(log.Exit(&info));
}
