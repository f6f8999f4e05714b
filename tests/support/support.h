// What the tests share: a private working directory per test, files read back, UTF-16 text, a
// configuration record from ordinary strings, error records that compare and print whole, a
// probe into the protected members of either log file class, and fault injection through the
// platform layer's table of operations.
//
// A FaultScope replaces the table's entries with wrappers for its lifetime and puts the defaults
// back when it ends. The wrappers count the calls of each operation, make a chosen call fail (once
// or from then on) with a chosen Windows error code, can turn a write into a short one or a wait
// into a chosen outcome, track the handles that are opened and closed, and can fix the clock.
#ifndef SCRIVLET_TESTS_SUPPORT_SUPPORT_H
#define SCRIVLET_TESTS_SUPPORT_SUPPORT_H

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <ostream>
#include <random>
#include <string>
#include <type_traits>

#include "error_info.h"
#include "platform/platform.h"
#include "scrivlet/scrivlet.h"

namespace scrivlet {
namespace test {

using os::DWORD;
using WString = std::basic_string<TQ_WCHAR>;
using Info = TQCLogFile_1::tagInfoData_1;
using InitData = TQCLogFile_1::tagInitData_1;
using Change = TQCLogFile_1::tagChangeData_1;

// Creates a fresh, empty directory and makes it the current directory; removes it and goes back
// when it ends. Tests run in parallel processes, each in its own directory.
class TempDir {
  public:
    TempDir() : previous_(std::filesystem::current_path()) {
        std::random_device random;
        do {
            path_ = std::filesystem::temp_directory_path() /
                    ("scrivlet-test-" + std::to_string(random()) + "-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
        std::filesystem::current_path(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path previous_, path_;
};

// ASCII text as UTF-16, and back (other characters become '?'); as the UTF-16LE bytes of a file.
inline WString Wide(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }
inline std::string Narrow(const TQ_WCHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) out.push_back(*text < 0x80 ? char(*text) : '?');
    return out;
}
inline std::string Utf16Bytes(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

// The bytes of a file ("" when it cannot be read).
inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A configuration record: zeroed, then the given values (cut to their arrays).
template <std::size_t N>
void Put(TQ_WCHAR (&field)[N], const std::string& text) {
    for (std::size_t i = 0; i < N && i < text.size(); ++i) field[i] = text[i];
}
inline InitData Config(unsigned int file_count, unsigned int file_size,
                       const std::string& name = "", const std::string& folder = "",
                       const std::string& header = "", const std::string& footer = "",
                       bool counter = false) {
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

// Init with config, then switch on; false at the first refusal, which info holds.
inline bool Open(TQCLogFile_1& log, InitData config, Info* info) {
    return log.Init(&config, info) && log.Switch(true, info);
}

// Opens up the protected members of either log file class, for tests that set up a state or
// watch one.
template <class C = TQCLogFile_1>
class Probe : public C {
  public:
    static constexpr bool kGuarded = std::is_same<C, TQCLogFileM_1>::value;
    using C::CreateFileName, C::m_bCounter, C::m_bSwitchedOn, C::m_szFileName;
    using C::m_szFolderFileName, C::m_szFolder, C::m_szFooter, C::m_szHeader, C::m_uiCounter;
    using C::m_uiFileBytes, C::m_uiFileCount, C::m_uiFileNumber, C::m_uiFileSize;
    using C::m_uiHeaderLength;

    bool HasFile() const { return this->m_hFile != TQ_INVALID_HANDLE; }
    // The guarded class's mutex (null for the other class).
    TQ_HANDLE Mutex() const {
        if constexpr (kGuarded) return this->m_hMutex;
        return nullptr;
    }
    // The guarded class's time-out for its waits (nothing for the other class).
    void SetTimeout(unsigned timeout) {
        if constexpr (kGuarded) this->m_uiTimeout = timeout;
    }
    // Handles as a record's uiValue holds them.
    unsigned FileValue() const { return detail::HandleValue(this->m_hFile); }
    unsigned MutexValue() const { return detail::HandleValue(Mutex()); }
};

enum class Op {
    kCreateFileW,
    kWriteFile,
    kCloseHandle,
    kGetFileAttributesW,
    kCreateDirectoryW,
    kCreateMutexW,
    kWaitForSingleObject,
    kReleaseMutex,
    kCount
};

namespace fault {

// What happens to call number nth of an operation (counted since the scope began), and with
// persistent to every later one: it fails with error, writes only value bytes (kShort), or its
// wait gives the outcome value (kWait).
struct Rule {
    enum Kind { kNone, kFail, kShort, kWait } kind = kNone;
    unsigned nth = 0;
    bool persistent = false;
    DWORD error = 0, value = 0;
};

inline std::atomic<unsigned> g_calls[static_cast<int>(Op::kCount)];
inline Rule g_rules[static_cast<int>(Op::kCount)];
inline std::mutex g_rules_lock;
inline std::atomic<long> g_live{0};
inline std::atomic<bool> g_clock_fixed{false};
inline os::TIMEB64 g_clock = {};

// Counts a call of op and returns the rule that applies to it (kind kNone when none does).
inline Rule Hit(Op op) {
    const unsigned n = ++g_calls[static_cast<int>(op)];
    std::lock_guard<std::mutex> guard(g_rules_lock);
    const Rule& rule = g_rules[static_cast<int>(op)];
    return n == rule.nth || (rule.persistent && n > rule.nth) ? rule : Rule();
}

inline const os::Api& Real() { return os::DefaultTable(); }

// Counts the handle that a successful call opened (what another call returns passes through).
inline os::HANDLE Opened(os::HANDLE h) {
    if (h != nullptr && h != os::InvalidHandleValue()) ++g_live;
    return h;
}
template <typename T>
T Opened(T result) {
    return result;
}

// An operation that fails by setting the rule's error and returning `failed`.
#define SCRIVLET_FAILING(Name, failed, Params, Args)                   \
    inline auto Wrap##Name Params {                                    \
        const Rule rule = Hit(Op::k##Name);                            \
        if (rule.kind != Rule::kFail) return Opened(Real().Name Args); \
        Real().SetLastError(rule.error);                               \
        return failed;                                                 \
    }
SCRIVLET_FAILING(CreateFileW, os::InvalidHandleValue(),
                 (os::LPCWSTR n, DWORD a, DWORD s, void* sa, DWORD d, DWORD f, os::HANDLE t),
                 (n, a, s, sa, d, f, t))
SCRIVLET_FAILING(GetFileAttributesW, os::INVALID_FILE_ATTRIBUTES, (os::LPCWSTR n), (n))
SCRIVLET_FAILING(CreateDirectoryW, os::FALSE, (os::LPCWSTR n, void* sa), (n, sa))
SCRIVLET_FAILING(CreateMutexW, os::HANDLE{}, (void* sa, os::BOOL o, os::LPCWSTR n), (sa, o, n))
SCRIVLET_FAILING(ReleaseMutex, os::FALSE, (os::HANDLE h), (h))
#undef SCRIVLET_FAILING

inline os::BOOL WrapWriteFile(os::HANDLE h, const void* data, DWORD count, DWORD* written,
                              void* ov) {
    const Rule rule = Hit(Op::kWriteFile);
    if (rule.kind == Rule::kShort && rule.value < count) count = rule.value;
    if (rule.kind != Rule::kFail) return Real().WriteFile(h, data, count, written, ov);
    if (written != nullptr) *written = 0;
    Real().SetLastError(rule.error);
    return os::FALSE;
}

// A failing close still closes the handle, so that nothing leaks.
inline os::BOOL WrapCloseHandle(os::HANDLE h) {
    const Rule rule = Hit(Op::kCloseHandle);
    const os::BOOL closed = Real().CloseHandle(h);
    if (closed) --g_live;
    if (rule.kind != Rule::kFail) return closed;
    Real().SetLastError(rule.error);
    return os::FALSE;
}

// An abandoned wait takes the mutex as a normal wait does; the others return at once. A wait
// times out only with the time-out the rule names (its error), else it waits for real.
inline DWORD WrapWaitForSingleObject(os::HANDLE h, DWORD timeout) {
    const Rule rule = Hit(Op::kWaitForSingleObject);
    if (rule.kind != Rule::kWait || (rule.value == os::WAIT_TIMEOUT && timeout != rule.error)) {
        return Real().WaitForSingleObject(h, timeout);
    }
    if (rule.value == os::WAIT_ABANDONED) {
        const DWORD real = Real().WaitForSingleObject(h, timeout);
        return real == os::WAIT_OBJECT_0 ? os::WAIT_ABANDONED : real;
    }
    if (rule.value == os::WAIT_FAILED) Real().SetLastError(rule.error);
    return rule.value;
}

inline int FixedFtime(os::TIMEB64* t) {
    if (!g_clock_fixed) return Real()._ftime64_s(t);
    *t = g_clock;
    return 0;
}

inline void Arm(Op op, const Rule& rule) {
    std::lock_guard<std::mutex> guard(g_rules_lock);
    g_rules[static_cast<int>(op)] = rule;
}

}  // namespace fault

class FaultScope {
  public:
    FaultScope() {
        Clear();
        ResetCounts();
        fault::g_live = 0;
        fault::g_clock_fixed = false;
        using namespace fault;
        os::Api& table = os::Table();
        table = Real();
        table.CreateFileW = WrapCreateFileW;
        table.WriteFile = WrapWriteFile;
        table.CloseHandle = WrapCloseHandle;
        table.GetFileAttributesW = WrapGetFileAttributesW;
        table.CreateDirectoryW = WrapCreateDirectoryW;
        table.CreateMutexW = WrapCreateMutexW;
        table.WaitForSingleObject = WrapWaitForSingleObject;
        table.ReleaseMutex = WrapReleaseMutex;
        table._ftime64_s = FixedFtime;
    }
    ~FaultScope() {
        os::Table() = os::DefaultTable();
        fault::g_clock_fixed = false;
    }
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;

    // Call number nth (from 1, counted from now) of op fails with error; with persistent, every
    // call from then on. A failing CloseHandle still closes the handle (so nothing leaks).
    void FailCall(Op op, unsigned nth, DWORD error, bool persistent = false) {
        fault::Arm(op, {fault::Rule::kFail, Calls(op) + nth, persistent, error, 0});
    }
    // Write number nth (from 1) writes only bytes bytes of what it was given and reports success.
    void ShortWrite(unsigned nth, DWORD bytes, bool persistent = false) {
        fault::Arm(Op::kWriteFile,
                   {fault::Rule::kShort, Calls(Op::kWriteFile) + nth, persistent, 0, bytes});
    }
    // Wait number nth (from 1) returns outcome without waiting (WAIT_TIMEOUT when its time-out
    // is error, WAIT_FAILED with error) or, for WAIT_ABANDONED, after taking the mutex as a
    // normal wait does.
    void WaitOutcome(unsigned nth, DWORD outcome, DWORD error = 0, bool persistent = false) {
        const Op op = Op::kWaitForSingleObject;
        fault::Arm(op, {fault::Rule::kWait, Calls(op) + nth, persistent, error, outcome});
    }
    // Removes every fault; counting and tracking go on.
    void Clear() {
        std::lock_guard<std::mutex> guard(fault::g_rules_lock);
        for (fault::Rule& rule : fault::g_rules) rule = fault::Rule();
    }

    // Calls of op since the scope began (or since ResetCounts).
    unsigned Calls(Op op) const { return fault::g_calls[static_cast<int>(op)]; }
    void ResetCounts() {
        for (auto& calls : fault::g_calls) calls = 0;
    }
    // Handles opened (files, mutexes) minus handles closed during the scope.
    long LiveHandles() const { return fault::g_live; }
    // Fixes the clock at the given UTC seconds and milliseconds (local time is then whatever the
    // process's time zone makes of it; tests that check the text set TZ to UTC).
    void FixClock(std::int64_t seconds, std::uint16_t millisecond) {
        fault::g_clock = os::TIMEB64{seconds, millisecond, 0, 0};
        fault::g_clock_fixed = true;
    }
};

}  // namespace test
}  // namespace scrivlet

// Error records are equal when all six fields are; they print as {module, error, type, location,
// value, set}.
inline bool operator==(const TQCLogFile_1::tagInfoData_1& a, const TQCLogFile_1::tagInfoData_1& b) {
    return a.uiModule == b.uiModule && a.uiError == b.uiError && a.uiErrorType == b.uiErrorType &&
           a.uiLocation == b.uiLocation && a.uiValue == b.uiValue && a.uiErrorSet == b.uiErrorSet;
}
inline void PrintTo(const TQCLogFile_1::tagInfoData_1& i, std::ostream* os) {
    *os << "{" << i.uiModule << ", " << i.uiError << ", " << i.uiErrorType << ", " << i.uiLocation
        << ", " << i.uiValue << ", " << i.uiErrorSet << "}";
}

#endif  // SCRIVLET_TESTS_SUPPORT_SUPPORT_H
