// Failure sweeps: each platform operation of a rotating Write and of a switch on, write and
// switch off is made to fail at its first, second, third ... call (and each write to come up
// short) until the scenario runs clean. Every run checks the result, the whole error record, the
// object's state and files, that the object recovers by switching off and on, and that no
// handle is left open.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/faults.h"
#include "support/files.h"

using namespace scrivlet::test;

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;

class Probe : public TQCLogFile_1 {
  public:
    bool HasFile() const { return m_hFile != TQ_INVALID_HANDLE; }
    unsigned Handle() const {
        return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(m_hFile));
    }
};

const DWORD kError = 1117;     // what an injected failure reports
const DWORD kShortBytes = 10;  // what a short write writes

struct Fault {
    Op op;
    bool short_write;
};
const Fault kFaults[] = {{Op::kGetFileAttributesW, false}, {Op::kCreateDirectoryW, false},
                         {Op::kCreateFileW, false},        {Op::kWriteFile, false},
                         {Op::kWriteFile, true},           {Op::kCloseHandle, false}};

// What call n of a fault leads to: the step that fails, where, whether the object still holds a
// file, and the sizes of files 1 and 2 afterwards (-1: absent).
struct Row {
    unsigned fault;  // index into kFaults
    unsigned n;
    unsigned step;
    unsigned location;
    bool has_file;
    long size1, size2;
};

// Steps: 0 switch on, 1 switch off, any other number writes a record of that many bytes.
struct Scenario {
    const char* name;
    std::vector<unsigned> setup, steps;
    std::vector<Row> rows;
};

// Counter line 62 bytes, header and footer lines 68 bytes each, file size 688.
const Scenario kScenarios[] = {
    {"rotating write",
     {0, 400},  // file 1 holds 530 bytes; 400 more do not fit
     {400},
     {{0, 1, 0, 22, false, 598, -1},
      {0, 2, 0, 22, false, 598, -1},
      {2, 1, 0, 9, false, 598, -1},
      {3, 1, 0, 15, false, 530, -1},
      {3, 2, 0, 11, true, 598, 0},
      {3, 3, 0, 13, true, 598, 62},
      {3, 4, 0, 18, true, 598, 130},
      {4, 1, 0, 16, false, 540, -1},
      {4, 2, 0, 12, true, 598, 10},
      {4, 3, 0, 14, true, 598, 72},
      {4, 4, 0, 19, true, 598, 140},
      {5, 1, 0, 10, false, 598, -1}}},
    {"switch on, write, switch off",
     {},
     {0, 100, 1},  // the folder dir\sub is made first
     {{0, 1, 0, 22, false, -1, -1},
      {0, 2, 0, 22, false, -1, -1},
      {1, 1, 0, 22, false, -1, -1},
      {1, 2, 0, 22, false, -1, -1},
      {2, 1, 0, 9, false, -1, -1},
      {3, 1, 0, 11, true, 0, -1},
      {3, 2, 0, 13, true, 62, -1},
      {3, 3, 1, 18, true, 130, -1},
      {3, 4, 2, 15, false, 230, -1},
      {4, 1, 0, 12, true, 10, -1},
      {4, 2, 0, 14, true, 72, -1},
      {4, 3, 1, 19, true, 140, -1},
      {4, 4, 2, 16, false, 240, -1},
      {5, 1, 2, 10, false, 298, -1}}},
};

bool Step(Probe& log, unsigned step, Info* info) {
    if (step <= 1) return log.Switch(step == 0, info);
    const std::string record(step, 'r');
    return log.Write(record.data(), step, info);
}

long Size(const char* path) {
    return Exists(path) ? static_cast<long>(ReadBytes(path).size()) : -1;
}

const Row* Find(const Scenario& s, unsigned fault, unsigned n) {
    for (const Row& row : s.rows) {
        if (row.fault == fault && row.n == n) return &row;
    }
    return nullptr;
}

// One run with call n of fault f failing. Sets *clean when the fault never struck.
void RunOnce(const Scenario& s, unsigned f, unsigned n, FaultScope& faults, bool* clean,
             std::size_t* rows_seen) {
    Probe log;
    Info info = NoError();
    auto config = Config(3, 688, "s", "dir\\sub", "Head", "Foot", true);
    ASSERT_TRUE(log.Init(&config, &info));
    for (unsigned step : s.setup) ASSERT_TRUE(Step(log, step, &info));

    const Fault& fault = kFaults[f];
    const unsigned before = faults.Calls(fault.op);
    if (fault.short_write) {
        faults.ShortWrite(n, kShortBytes);
    } else {
        faults.Fail(fault.op, n, kError);
    }
    unsigned failed = 0, handle = 0;
    for (; failed < s.steps.size(); ++failed) {
        handle = log.Handle();
        if (!Step(log, s.steps[failed], &info)) break;
    }
    const Row* row = Find(s, f, n);
    *clean = faults.Calls(fault.op) - before < n;
    if (*clean) {
        EXPECT_EQ(row, nullptr);
        EXPECT_EQ(failed, s.steps.size());
        EXPECT_EQ(info.uiErrorSet, 0u);
        return;
    }
    ASSERT_NE(row, nullptr) << "unexpected failure at " << info.uiLocation;
    ++*rows_seen;
    EXPECT_EQ(failed, row->step);
    EXPECT_EQ(info.uiModule, 46u);
    EXPECT_EQ(info.uiLocation, row->location);
    EXPECT_EQ(info.uiErrorType, fault.short_write ? 8u : 2u);
    EXPECT_EQ(info.uiError, fault.short_write ? 4u : kError);
    EXPECT_EQ(info.uiValue, fault.short_write ? kShortBytes : row->location == 10 ? handle : 0u);
    EXPECT_EQ(info.uiErrorSet, 1u);
    TQCLogFile_1::tagChangeData_1 data{};
    log.GetData(&data, &info);
    EXPECT_TRUE(data.bSwitchedOn);
    EXPECT_EQ(log.HasFile(), row->has_file);
    EXPECT_EQ(faults.LiveHandles(), row->has_file ? 1 : 0);
    EXPECT_EQ(Size("dir/sub/s_0001.log"), row->size1);
    EXPECT_EQ(Size("dir/sub/s_0002.log"), row->size2);

    // Switching off and on again gives a usable file.
    info = NoError();
    EXPECT_TRUE(log.Switch(false, &info) && log.Switch(true, &info) && log.Write("again", 5, &info))
        << info.uiLocation;
}

TEST(Sweep, EveryFailingCallIsReportedAndLeavesARecoverableObject) {
    for (const Scenario& s : kScenarios) {
        std::size_t rows_seen = 0;
        for (unsigned f = 0; f < sizeof kFaults / sizeof kFaults[0]; ++f) {
            bool clean = false;
            for (unsigned n = 1; !clean && n < 20 && !HasFatalFailure(); ++n) {
                SCOPED_TRACE(std::string(s.name) + ", " + OpName(kFaults[f].op) +
                             (kFaults[f].short_write ? " (short)" : "") + " call " +
                             std::to_string(n));
                TempDir dir;
                FaultScope faults;
                RunOnce(s, f, n, faults, &clean, &rows_seen);
                EXPECT_EQ(faults.LiveHandles(), 0);  // the object is gone
            }
            EXPECT_TRUE(clean) << OpName(kFaults[f].op);
        }
        EXPECT_EQ(rows_seen, s.rows.size()) << s.name;
    }
}

}  // namespace
