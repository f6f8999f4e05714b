// The wrappers that FaultScope installs in the platform layer's table: each counts its calls,
// fails the call a rule names (setting the rule's error), and counts the handles that it opens
// or closes; the clock reading can be fixed.
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

// Counts a call of op; true, with the rule, when the rule applies to this call.
bool Hit(Op op, Rule* rule) {
    const int i = static_cast<int>(op);
    const unsigned n = ++g_calls[i];
    std::lock_guard<std::mutex> guard(g_rules_lock);
    const Rule& r = g_rules[i];
    if (!r.active || !(n == r.nth || (r.persistent && n > r.nth))) return false;
    *rule = r;
    return true;
}

const os::Api& Real() { return os::DefaultTable(); }

// Counts the handle that a successful call opened.
os::HANDLE Opened(Op, os::HANDLE h) {
    if (h != nullptr && h != os::InvalidHandleValue()) ++g_live;
    return h;
}
template <typename T>
T Opened(Op op, T result) {
    if (op == Op::kDuplicateHandle && result) ++g_live;
    return result;
}

// An operation that fails by setting the rule's error and returning `failed`.
#define SCRIVLET_FAILING(Name, failed, Params, Args)  \
    auto Wrap##Name Params {                          \
        Rule rule;                                    \
        if (Hit(Op::k##Name, &rule)) {                \
            Real().SetLastError(rule.error);          \
            return failed;                            \
        }                                             \
        return Opened(Op::k##Name, Real().Name Args); \
    }
SCRIVLET_FAILING(CreateFileW, os::InvalidHandleValue(),
                 (os::LPCWSTR n, DWORD a, DWORD s, void* sa, DWORD d, DWORD f, os::HANDLE t),
                 (n, a, s, sa, d, f, t))
SCRIVLET_FAILING(DuplicateHandle, os::FALSE,
                 (os::HANDLE sp, os::HANDLE h, os::HANDLE tp, os::HANDLE* out, DWORD a, os::BOOL i,
                  DWORD o),
                 (sp, h, tp, out, a, i, o))
SCRIVLET_FAILING(GetFileAttributesW, os::INVALID_FILE_ATTRIBUTES, (os::LPCWSTR n), (n))
SCRIVLET_FAILING(CreateDirectoryW, os::FALSE, (os::LPCWSTR n, void* sa), (n, sa))
SCRIVLET_FAILING(CreateMutexW, os::HANDLE{}, (void* sa, os::BOOL o, os::LPCWSTR n), (sa, o, n))
SCRIVLET_FAILING(ReleaseMutex, os::FALSE, (os::HANDLE h), (h))
#undef SCRIVLET_FAILING

os::BOOL WrapWriteFile(os::HANDLE h, const void* data, DWORD count, DWORD* written, void* ov) {
    Rule rule;
    if (!Hit(Op::kWriteFile, &rule)) return Real().WriteFile(h, data, count, written, ov);
    if (rule.short_write) {
        return Real().WriteFile(h, data, rule.bytes < count ? rule.bytes : count, written, ov);
    }
    if (written != nullptr) *written = 0;
    Real().SetLastError(rule.error);
    return os::FALSE;
}

// A failing close still closes the handle, so that nothing leaks.
os::BOOL WrapCloseHandle(os::HANDLE h) {
    Rule rule;
    const bool fail = Hit(Op::kCloseHandle, &rule);
    const os::BOOL closed = Real().CloseHandle(h);
    if (closed) --g_live;
    if (!fail) return closed;
    Real().SetLastError(rule.error);
    return os::FALSE;
}

DWORD WrapWaitForSingleObject(os::HANDLE h, DWORD timeout) {
    Rule rule;
    if (!Hit(Op::kWaitForSingleObject, &rule)) return Real().WaitForSingleObject(h, timeout);
    if (rule.outcome == os::WAIT_ABANDONED) {
        const DWORD real = Real().WaitForSingleObject(h, timeout);
        return real == os::WAIT_OBJECT_0 ? os::WAIT_ABANDONED : real;
    }
    if (rule.outcome == os::WAIT_FAILED) Real().SetLastError(rule.error);
    return rule.outcome;
}

int FixedFtime(os::TIMEB64* t) {
    if (!g_clock_fixed) return Real()._ftime64_s(t);
    *t = os::TIMEB64{};
    t->time = g_clock_seconds;
    t->millitm = g_clock_ms;
    return 0;
}

// Arms a rule for call nth (from 1, counted from now) of op.
void Arm(Op op, unsigned nth, bool persistent, DWORD error, bool short_write = false,
         DWORD bytes = 0, DWORD outcome = 0) {
    const int i = static_cast<int>(op);
    std::lock_guard<std::mutex> guard(g_rules_lock);
    g_rules[i] = Rule{true, g_calls[i] + nth, persistent, error, short_write, bytes, outcome};
}

}  // namespace

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
    Arm(op, nth, persistent, error);
}

void FaultScope::ShortWrite(unsigned nth, DWORD bytes, bool persistent) {
    Arm(Op::kWriteFile, nth, persistent, 0, true, bytes);
}

void FaultScope::WaitOutcome(unsigned nth, DWORD outcome, DWORD error, bool persistent) {
    Arm(Op::kWaitForSingleObject, nth, persistent, error, false, 0, outcome);
}

void FaultScope::Clear() {
    std::lock_guard<std::mutex> guard(g_rules_lock);
    for (Rule& rule : g_rules) rule = Rule();
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
