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

#include <cstdint>
#include <filesystem>
#include <ostream>
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
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path previous_, path_;
};

// ASCII text as UTF-16, and back (other characters become '?'); as the UTF-16LE bytes of a file.
WString Wide(const std::string& ascii);
std::string Narrow(const TQ_WCHAR* text);
std::string Utf16Bytes(const std::string& ascii);

// The bytes of a file ("" when it cannot be read), and whether it exists.
std::string ReadBytes(const std::filesystem::path& path);
bool Exists(const std::filesystem::path& path);

// A configuration record: zeroed, then the given values.
InitData Config(unsigned int file_count, unsigned int file_size, const std::string& name = "",
                const std::string& folder = "", const std::string& header = "",
                const std::string& footer = "", bool counter = false);

// An empty error record.
inline Info NoError() { return Info{}; }

// Init with config, then switch on; false at the first refusal, which info holds.
bool Open(TQCLogFile_1& log, InitData config, Info* info);

// Opens up the protected members of either log file class, for tests that set up a state or
// watch one.
template <class C = TQCLogFile_1>
class Probe : public C {
  public:
    static constexpr bool kGuarded = std::is_same<C, TQCLogFileM_1>::value;
    using C::CreateFileName, C::m_bCounter, C::m_bSwitchedOn, C::m_hFile, C::m_szFileName;
    using C::m_szFolder, C::m_szFooter, C::m_szHeader, C::m_uiCounter, C::m_uiFileBytes;
    using C::m_uiFileCount, C::m_uiFileNumber, C::m_uiFileSize, C::m_uiHeaderLength;

    bool HasFile() const { return this->m_hFile != TQ_INVALID_HANDLE; }
    // The guarded class's mutex (null for the other class) and its time-out.
    TQ_HANDLE Mutex() const {
        if constexpr (kGuarded) return this->m_hMutex;
        return nullptr;
    }
    unsigned& Timeout() { return this->m_uiTimeout; }
    // Handles as a record's uiValue holds them.
    unsigned FileValue() const { return detail::HandleValue(this->m_hFile); }
    unsigned MutexValue() const { return detail::HandleValue(Mutex()); }
};

enum class Op {
    kCreateFileW,
    kWriteFile,
    kCloseHandle,
    kDuplicateHandle,
    kGetFileAttributesW,
    kCreateDirectoryW,
    kCreateMutexW,
    kWaitForSingleObject,
    kReleaseMutex,
    kCount
};

class FaultScope {
  public:
    FaultScope();
    ~FaultScope();
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;

    // Call number nth (from 1, counted from now) of op fails with error; with persistent, every
    // call from then on. A failing CloseHandle still closes the handle (so nothing leaks).
    void Fail(Op op, unsigned nth, DWORD error, bool persistent = false);
    // Write number nth (from 1) writes only bytes bytes of what it was given and reports success.
    void ShortWrite(unsigned nth, DWORD bytes, bool persistent = false);
    // Wait number nth (from 1) returns outcome without waiting (WAIT_TIMEOUT, WAIT_FAILED with
    // error) or, for WAIT_ABANDONED, after taking the mutex as a normal wait does.
    void WaitOutcome(unsigned nth, DWORD outcome, DWORD error = 0, bool persistent = false);
    // Removes every fault; counting and tracking go on.
    void Clear();

    // Calls of op since the scope began (or since ResetCounts).
    unsigned Calls(Op op) const;
    void ResetCounts();
    // Handles opened (files, mutexes, duplicates) minus handles closed during the scope.
    long LiveHandles() const;
    // Fixes the clock at the given UTC seconds and milliseconds (local time is then whatever the
    // process's time zone makes of it; tests that check the text set TZ to UTC).
    void FixClock(std::int64_t seconds, std::uint16_t milliseconds);
};

}  // namespace test
}  // namespace scrivlet

// Error records are equal when all six fields are; they print as {module, error, type, location,
// value, set}.
bool operator==(const TQCLogFile_1::tagInfoData_1& a, const TQCLogFile_1::tagInfoData_1& b);
void PrintTo(const TQCLogFile_1::tagInfoData_1& info, std::ostream* os);

#endif  // SCRIVLET_TESTS_SUPPORT_SUPPORT_H
