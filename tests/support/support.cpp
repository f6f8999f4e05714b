// The shared test code (see support.h): working directories, files and text, configuration
// records, and the wrappers that FaultScope installs in the platform layer's table, each of which
// counts its calls, fails the call a rule names (setting the rule's error) and counts the handles
// that it opens or closes; the clock reading can be fixed.
#include "support/support.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>

namespace scrivlet {
namespace test {

namespace fs = std::filesystem;

namespace {

// What happens to call number nth of an operation (counted since the scope began), and with
// persistent to every later one: it fails with error, writes only value bytes (kShort), or its
// wait gives the outcome value (kWait).
struct Rule {
    enum Kind { kNone, kFail, kShort, kWait } kind = kNone;
    unsigned nth = 0;
    bool persistent = false;
    DWORD error = 0, value = 0;
};

std::atomic<unsigned> g_calls[static_cast<int>(Op::kCount)];
Rule g_rules[static_cast<int>(Op::kCount)];
std::mutex g_rules_lock;
std::atomic<long> g_live{0};
std::atomic<bool> g_clock_fixed{false};
os::TIMEB64 g_clock = {};

// Counts a call of op and returns the rule that applies to it (kind kNone when none does).
Rule Hit(Op op) {
    const unsigned n = ++g_calls[static_cast<int>(op)];
    std::lock_guard<std::mutex> guard(g_rules_lock);
    const Rule& rule = g_rules[static_cast<int>(op)];
    return n == rule.nth || (rule.persistent && n > rule.nth) ? rule : Rule();
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
#define SCRIVLET_FAILING(Name, failed, Params, Args)                                \
    auto Wrap##Name Params {                                                        \
        const Rule rule = Hit(Op::k##Name);                                         \
        if (rule.kind != Rule::kFail) return Opened(Op::k##Name, Real().Name Args); \
        Real().SetLastError(rule.error);                                            \
        return failed;                                                              \
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
    const Rule rule = Hit(Op::kWriteFile);
    if (rule.kind == Rule::kShort && rule.value < count) count = rule.value;
    if (rule.kind != Rule::kFail) return Real().WriteFile(h, data, count, written, ov);
    if (written != nullptr) *written = 0;
    Real().SetLastError(rule.error);
    return os::FALSE;
}

// A failing close still closes the handle, so that nothing leaks.
os::BOOL WrapCloseHandle(os::HANDLE h) {
    const Rule rule = Hit(Op::kCloseHandle);
    const os::BOOL closed = Real().CloseHandle(h);
    if (closed) --g_live;
    if (rule.kind != Rule::kFail) return closed;
    Real().SetLastError(rule.error);
    return os::FALSE;
}

// An abandoned wait takes the mutex as a normal wait does; the others return at once.
DWORD WrapWaitForSingleObject(os::HANDLE h, DWORD timeout) {
    const Rule rule = Hit(Op::kWaitForSingleObject);
    if (rule.kind != Rule::kWait) return Real().WaitForSingleObject(h, timeout);
    if (rule.value == os::WAIT_ABANDONED) {
        const DWORD real = Real().WaitForSingleObject(h, timeout);
        return real == os::WAIT_OBJECT_0 ? os::WAIT_ABANDONED : real;
    }
    if (rule.value == os::WAIT_FAILED) Real().SetLastError(rule.error);
    return rule.value;
}

int FixedFtime(os::TIMEB64* t) {
    if (!g_clock_fixed) return Real()._ftime64_s(t);
    *t = g_clock;
    return 0;
}

void Arm(Op op, const Rule& rule) {
    std::lock_guard<std::mutex> guard(g_rules_lock);
    g_rules[static_cast<int>(op)] = rule;
}

}  // namespace

FaultScope::FaultScope() {
    Clear();
    ResetCounts();
    g_live = 0;
    g_clock_fixed = false;
    const os::Api& real = Real();
    os::Table() = {WrapCreateFileW,         WrapWriteFile,          WrapCloseHandle,
                   WrapDuplicateHandle,     WrapGetFileAttributesW, WrapCreateDirectoryW,
                   real.GetLastError,       real.SetLastError,      WrapCreateMutexW,
                   WrapWaitForSingleObject, WrapReleaseMutex,       FixedFtime,
                   real._localtime64_s};
}

FaultScope::~FaultScope() {
    os::Table() = os::DefaultTable();
    g_clock_fixed = false;
}

void FaultScope::Fail(Op op, unsigned nth, DWORD error, bool persistent) {
    Arm(op, {Rule::kFail, Calls(op) + nth, persistent, error, 0});
}

void FaultScope::ShortWrite(unsigned nth, DWORD bytes, bool persistent) {
    Arm(Op::kWriteFile, {Rule::kShort, Calls(Op::kWriteFile) + nth, persistent, 0, bytes});
}

void FaultScope::WaitOutcome(unsigned nth, DWORD outcome, DWORD error, bool persistent) {
    const Op op = Op::kWaitForSingleObject;
    Arm(op, {Rule::kWait, Calls(op) + nth, persistent, error, outcome});
}

void FaultScope::Clear() {
    for (int op = 0; op < static_cast<int>(Op::kCount); ++op) Arm(static_cast<Op>(op), Rule());
}

unsigned FaultScope::Calls(Op op) const { return g_calls[static_cast<int>(op)]; }

void FaultScope::ResetCounts() {
    for (auto& calls : g_calls) calls = 0;
}

long FaultScope::LiveHandles() const { return g_live; }

void FaultScope::FixClock(std::int64_t seconds, std::uint16_t milliseconds) {
    g_clock = os::TIMEB64{seconds, milliseconds, 0, 0};
    g_clock_fixed = true;
}

TempDir::TempDir() : previous_(fs::current_path()) {
    std::random_device random;
    do {
        path_ = fs::temp_directory_path() /
                ("scrivlet-test-" + std::to_string(random()) + "-" + std::to_string(random()));
    } while (!fs::create_directory(path_));
    fs::current_path(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
}

WString Wide(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }

std::string Narrow(const TQ_WCHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) out.push_back(*text < 0x80 ? char(*text) : '?');
    return out;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

std::string Utf16Bytes(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

template <std::size_t N>
void Put(TQ_WCHAR (&field)[N], const std::string& text) {
    const WString wide = Wide(text);
    for (std::size_t i = 0; i < N; ++i) field[i] = i < wide.size() ? wide[i] : 0;
}

InitData Config(unsigned int file_count, unsigned int file_size, const std::string& name,
                const std::string& folder, const std::string& header, const std::string& footer,
                bool counter) {
    InitData data{};
    data.bCounter = counter;
    data.uiFileCount = file_count;
    data.uiFileSize = file_size;
    Put(data.szFileName, name);
    Put(data.szFolder, folder);
    Put(data.szHeader, header);
    Put(data.szFooter, footer);
    return data;
}

bool Open(TQCLogFile_1& log, InitData config, Info* info) {
    return log.Init(&config, info) && log.Switch(true, info);
}

}  // namespace test
}  // namespace scrivlet

bool operator==(const TQCLogFile_1::tagInfoData_1& a, const TQCLogFile_1::tagInfoData_1& b) {
    return a.uiModule == b.uiModule && a.uiError == b.uiError && a.uiErrorType == b.uiErrorType &&
           a.uiLocation == b.uiLocation && a.uiValue == b.uiValue && a.uiErrorSet == b.uiErrorSet;
}

void PrintTo(const TQCLogFile_1::tagInfoData_1& i, std::ostream* os) {
    *os << "{" << i.uiModule << ", " << i.uiError << ", " << i.uiErrorType << ", " << i.uiLocation
        << ", " << i.uiValue << ", " << i.uiErrorSet << "}";
}
