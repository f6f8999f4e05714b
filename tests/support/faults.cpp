// The wrappers that FaultScope installs in the platform layer's table.
#include "support/faults.h"

#include <atomic>
#include <mutex>

namespace scrivlet {
namespace test {
namespace {

struct Rule {
    bool active = false;
    unsigned nth = 0;
    bool persistent = false;
    DWORD error = 0;
    bool short_write = false;
    DWORD bytes = 0;
    DWORD outcome = 0;
};

std::atomic<unsigned> g_calls[static_cast<int>(Op::kCount)];
Rule g_rules[static_cast<int>(Op::kCount)];
std::mutex g_rules_lock;
std::atomic<long> g_live{0};
std::atomic<bool> g_clock_fixed{false};
std::int64_t g_clock_seconds = 0;
std::uint16_t g_clock_ms = 0;

// Counts a call of op; returns the rule that applies to it, if any.
bool Hit(Op op, Rule* rule) {
    const int i = static_cast<int>(op);
    const unsigned n = ++g_calls[i];
    std::lock_guard<std::mutex> guard(g_rules_lock);
    const Rule& r = g_rules[i];
    if (!r.active) return false;
    if (n == r.nth || (r.persistent && n > r.nth)) {
        *rule = r;
        return true;
    }
    return false;
}

const os::Api& Real() { return os::DefaultTable(); }

bool Valid(os::HANDLE h) { return h != nullptr && h != os::InvalidHandleValue(); }

os::HANDLE WrapCreateFileW(os::LPCWSTR name, DWORD access, DWORD share, void* sa, DWORD disp,
                           DWORD flags, os::HANDLE tmpl) {
    Rule rule;
    if (Hit(Op::kCreateFileW, &rule)) {
        Real().SetLastError(rule.error);
        return os::InvalidHandleValue();
    }
    os::HANDLE h = Real().CreateFileW(name, access, share, sa, disp, flags, tmpl);
    if (Valid(h)) ++g_live;
    return h;
}

os::BOOL WrapWriteFile(os::HANDLE h, const void* data, DWORD count, DWORD* written, void* ov) {
    Rule rule;
    if (Hit(Op::kWriteFile, &rule)) {
        if (rule.short_write) {
            return Real().WriteFile(h, data, rule.bytes < count ? rule.bytes : count, written, ov);
        }
        if (written != nullptr) *written = 0;
        Real().SetLastError(rule.error);
        return os::FALSE;
    }
    return Real().WriteFile(h, data, count, written, ov);
}

os::BOOL WrapCloseHandle(os::HANDLE h) {
    Rule rule;
    const bool fail = Hit(Op::kCloseHandle, &rule);
    const os::BOOL closed = Real().CloseHandle(h);
    if (closed) --g_live;
    if (fail) {
        Real().SetLastError(rule.error);
        return os::FALSE;
    }
    return closed;
}

os::BOOL WrapDuplicateHandle(os::HANDLE sp, os::HANDLE h, os::HANDLE tp, os::HANDLE* out,
                             DWORD access, os::BOOL inherit, DWORD options) {
    Rule rule;
    if (Hit(Op::kDuplicateHandle, &rule)) {
        Real().SetLastError(rule.error);
        return os::FALSE;
    }
    const os::BOOL ok = Real().DuplicateHandle(sp, h, tp, out, access, inherit, options);
    if (ok) ++g_live;
    return ok;
}

DWORD WrapGetFileAttributesW(os::LPCWSTR name) {
    Rule rule;
    if (Hit(Op::kGetFileAttributesW, &rule)) {
        Real().SetLastError(rule.error);
        return os::INVALID_FILE_ATTRIBUTES;
    }
    return Real().GetFileAttributesW(name);
}

os::BOOL WrapCreateDirectoryW(os::LPCWSTR name, void* sa) {
    Rule rule;
    if (Hit(Op::kCreateDirectoryW, &rule)) {
        Real().SetLastError(rule.error);
        return os::FALSE;
    }
    return Real().CreateDirectoryW(name, sa);
}

os::HANDLE WrapCreateMutexW(void* sa, os::BOOL owner, os::LPCWSTR name) {
    Rule rule;
    if (Hit(Op::kCreateMutexW, &rule)) {
        Real().SetLastError(rule.error);
        return nullptr;
    }
    os::HANDLE h = Real().CreateMutexW(sa, owner, name);
    if (Valid(h)) ++g_live;
    return h;
}

DWORD WrapWaitForSingleObject(os::HANDLE h, DWORD timeout) {
    Rule rule;
    if (Hit(Op::kWaitForSingleObject, &rule)) {
        if (rule.outcome == os::WAIT_ABANDONED) {
            const DWORD real = Real().WaitForSingleObject(h, timeout);
            return real == os::WAIT_OBJECT_0 ? os::WAIT_ABANDONED : real;
        }
        if (rule.outcome == os::WAIT_FAILED) Real().SetLastError(rule.error);
        return rule.outcome;
    }
    return Real().WaitForSingleObject(h, timeout);
}

os::BOOL WrapReleaseMutex(os::HANDLE h) {
    Rule rule;
    if (Hit(Op::kReleaseMutex, &rule)) {
        Real().SetLastError(rule.error);
        return os::FALSE;
    }
    return Real().ReleaseMutex(h);
}

int FixedFtime(os::TIMEB64* t) {
    if (!g_clock_fixed) return Real()._ftime64_s(t);
    t->time = g_clock_seconds;
    t->millitm = g_clock_ms;
    t->timezone = 0;
    t->dstflag = 0;
    return 0;
}

void SetRule(Op op, const Rule& rule) {
    std::lock_guard<std::mutex> guard(g_rules_lock);
    g_rules[static_cast<int>(op)] = rule;
}

}  // namespace

const char* OpName(Op op) {
    static const char* const kNames[] = {
        "CreateFileW",     "WriteFile",           "CloseHandle",
        "DuplicateHandle", "GetFileAttributesW",  "CreateDirectoryW",
        "CreateMutexW",    "WaitForSingleObject", "ReleaseMutex"};
    return kNames[static_cast<int>(op)];
}

FaultScope::FaultScope() {
    Clear();
    ResetCounts();
    g_live = 0;
    g_clock_fixed = false;
    os::Api& table = os::Table();
    table.CreateFileW = WrapCreateFileW;
    table.WriteFile = WrapWriteFile;
    table.CloseHandle = WrapCloseHandle;
    table.DuplicateHandle = WrapDuplicateHandle;
    table.GetFileAttributesW = WrapGetFileAttributesW;
    table.CreateDirectoryW = WrapCreateDirectoryW;
    table.CreateMutexW = WrapCreateMutexW;
    table.WaitForSingleObject = WrapWaitForSingleObject;
    table.ReleaseMutex = WrapReleaseMutex;
    table._ftime64_s = FixedFtime;
}

FaultScope::~FaultScope() {
    os::Table() = os::DefaultTable();
    g_clock_fixed = false;
}

void FaultScope::Fail(Op op, unsigned nth, DWORD error, bool persistent) {
    Rule rule;
    rule.active = true;
    rule.nth = Calls(op) + nth;
    rule.persistent = persistent;
    rule.error = error;
    SetRule(op, rule);
}

void FaultScope::ShortWrite(unsigned nth, DWORD bytes, bool persistent) {
    Rule rule;
    rule.active = true;
    rule.nth = Calls(Op::kWriteFile) + nth;
    rule.persistent = persistent;
    rule.short_write = true;
    rule.bytes = bytes;
    SetRule(Op::kWriteFile, rule);
}

void FaultScope::WaitOutcome(unsigned nth, DWORD outcome, DWORD error, bool persistent) {
    Rule rule;
    rule.active = true;
    rule.nth = Calls(Op::kWaitForSingleObject) + nth;
    rule.persistent = persistent;
    rule.outcome = outcome;
    rule.error = error;
    SetRule(Op::kWaitForSingleObject, rule);
}

void FaultScope::Clear() {
    for (int i = 0; i < static_cast<int>(Op::kCount); ++i) SetRule(static_cast<Op>(i), Rule());
}

unsigned FaultScope::Calls(Op op) const { return g_calls[static_cast<int>(op)]; }

void FaultScope::ResetCounts() {
    for (auto& calls : g_calls) calls = 0;
}

long FaultScope::LiveHandles() const { return g_live; }

void FaultScope::FixClock(std::int64_t seconds, std::uint16_t milliseconds) {
    g_clock_seconds = seconds;
    g_clock_ms = milliseconds;
    g_clock_fixed = true;
}

}  // namespace test
}  // namespace scrivlet
