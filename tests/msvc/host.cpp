// A host of the DLL in the MSVC C++ ABI that uses it as a program built with Microsoft's compiler
// and /MD does: it links the classes directly, constructs them on its stack and with its own new,
// calls their virtual operations through the virtual table, derives from them, casts them with
// dynamic_cast and deletes them through a base pointer. It is freestanding (no C++ standard
// library): its operator new and delete are those of such a host, malloc and free of the Universal
// C Runtime, asking _callnewh for a handler when malloc fails; it prints through msvcrt.
//
// Divided into: the host's allocation functions, small helpers (configuration, records, files), the
// checks (one function each, listed in kChecks) and main, which runs them and prints
// "N passed, M failed". Under Wine it runs with WINEDEBUG=warn+module,warn+heap, so that a missing
// import or a block released on another heap shows in its output too (tests.cmake).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off
#include <stdio.h>
#include <string.h>
// clang-format on

#include "platform/win32/msvc/divide.h"
#include "scrivlet/scrivlet.h"

extern "C" {
void* __cdecl malloc(size_t size);
void __cdecl free(void* block);
int __cdecl _callnewh(size_t size);
int __cdecl _query_new_mode(void);
}

// The host's operator new: the Universal C Runtime's malloc; when it fails, the runtime's
// allocation-failure handler decides whether to try again.
void* operator new(size_t size) {
    for (;;) {
        if (void* block = malloc(size)) return block;
        if (_callnewh(size) == 0) ExitProcess(3);
    }
}

void operator delete(void* block) noexcept { free(block); }

namespace scrivlet {
namespace test {
namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;
typedef TQCLogFile_1::tagChangeData_1 Change;

int g_failures = 0;

// Counts and prints a check that failed.
void CountFailure(int line, const char* condition) {
    ++g_failures;
    printf("  line %d: failed: %s\n", line, condition);
}

#define EXPECT(condition) ((condition) ? (void)0 : CountFailure(__LINE__, #condition))

// An accepted configuration switched on, or (folder empty) a refused one: Init's result.
bool Start(TQCLogFile_1& log, unsigned int count, unsigned int size, const wchar_t* folder,
           Info& info) {
    TQCLogFile_1::tagInitData_1 config = {};
    config.uiFileCount = count;
    config.uiFileSize = size;
    wcscpy(config.szFolder, folder);
    return log.Init(&config, &info) && (folder[0] == 0 || log.Switch(true, &info));
}

// Whether the record holds exactly this failure.
bool SameRecord(const Info& info, const Info& expected) {
    return memcmp(&info, &expected, sizeof info) == 0;
}

// The bytes of a file (at most size), or -1 when it cannot be opened.
long ReadWhole(const wchar_t* path, unsigned char* buffer, DWORD size) {
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD length = 0;
    const BOOL read = ReadFile(file, buffer, size, &length, nullptr);
    CloseHandle(file);
    return read ? static_cast<long>(length) : -1;
}

// Whether some handle still holds the file open for writing: an open that shares nothing fails.
bool FileHeld(const wchar_t* path) {
    const HANDLE file =
        CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return false;
}

// A class of the host derived from a library class: counts the switches that reach it.
class CountingLog : public TQCLogFile_1 {
  public:
    bool Switch(bool bOn, tagInfoData_1* pInfo) override {
        ++(bOn ? switched_on_ : switched_off_);
        return TQCLogFile_1::Switch(bOn, pInfo);
    }
    int switched_on_ = 0;
    int switched_off_ = 0;
};

// The interface version, both text forms of a known date-time, the clock and the folder walk.
void FreeFunctions() {
    EXPECT(ScrivletGetInterfaceVersion() == 5);
    const unsigned long long known = (0x7EACULL << 32) | 0x23D1782DU;  // 2026-12-04 15:17:30.045
    wchar_t text[25];
    TQ_DateTime::DateTimeToString_1(known, text);
    EXPECT(wcscmp(text, L"04.12.2026 15:17:30.045") == 0);
    TQ_DateTime::DateTimeSpaceToString_1(known, text);
    EXPECT(wcscmp(text, L"2026.12.04 15:17:30.045 ") == 0);
    EXPECT((TQ_DateTime::GetLocalDateTime_1() >> 36) >= 2024);
    unsigned int value = 99;
    EXPECT(TQ_Folder::CheckCreateFolder_1(L"host-folder\\a\\b", value) == TQ_Folder::FOLDER_DONE);
    EXPECT(value == 0 && (GetFileAttributesW(L"host-folder\\a\\b") & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT(TQ_Folder::CheckCreateFolder_1(L"", value) == TQ_Folder::FOLDER_EMPTY);
}

// Objects on the stack: the defaults, and the whole record of a refused configuration.
void StackObjects() {
    TQCLogFile_1 plain;
    Change change = {true, L"x"};
    Info info = {};
    EXPECT(plain.GetData(&change, &info) && !change.bSwitchedOn);
    EXPECT(plain.GetFolderFileName(&change, &info) && change.pszFolderFileName[0] == 0);
    EXPECT(!Start(plain, 5, 100, L"", info));
    EXPECT(SameRecord(info, {46, TQCLogFile_1::REASON_TOO_SMALL, 4, 3, 100, 1}));
}

#if defined(_WIN64)
// The virtual table of an object the library constructed is the exported one, with the exported
// functions in the slots after the deleting destructor, in this order. (TQCLogFileM_1 overrides
// them slot for slot.)
const char* const kSlots[] = {
    "?Exit@TQCLogFile_1@@UEAA_NPEAUtagInfoData_1@1@@Z",
    "?GetData@TQCLogFile_1@@UEAA_NQEAUtagChangeData_1@1@PEAUtagInfoData_1@1@@Z",
    "?GetFolderFileName@TQCLogFile_1@@UEAA_NQEAUtagChangeData_1@1@PEAUtagInfoData_1@1@@Z",
    "?Init@TQCLogFile_1@@UEAA_NQEAUtagInitData_1@1@PEAUtagInfoData_1@1@@Z",
    "?ShutDown@TQCLogFile_1@@UEAAXXZ",
    "?Switch@TQCLogFile_1@@UEAA_N_NPEAUtagInfoData_1@1@@Z",
    "?Write@TQCLogFile_1@@UEAA_NPEBXIPEAUtagInfoData_1@1@@Z",
};

void CheckSlots(const TQCLogFile_1* log) {
    const HMODULE dll = GetModuleHandleW(L"scrivlet.dll");
    void* const* table = *reinterpret_cast<void* const* const*>(log);
    EXPECT(table == reinterpret_cast<void* const*>(GetProcAddress(dll, "??_7TQCLogFile_1@@6B@")));
    for (int slot = 1; slot <= 7; ++slot) {
        if (table[slot] != reinterpret_cast<void*>(GetProcAddress(dll, kSlots[slot - 1]))) {
            ++g_failures;
            printf("  slot %d is not %s\n", slot, kSlots[slot - 1]);
        }
    }
}
#endif

// Init, Switch, Write and the queries through the virtual table of an object made with new (on x64
// the table checked slot by slot). (What the files hold shows in the C host, capi_test.c.)
void VirtualCalls() {
    TQCLogFile_1* log = new TQCLogFile_1;
#if defined(_WIN64)
    CheckSlots(log);
#endif
    Info info = {};
    EXPECT(Start(*log, 3, 688, L"host-ring", info));
    unsigned char record[300];
    for (int i = 0; i < 3; ++i) {
        memset(record, 'a' + i, sizeof record);
        EXPECT(log->Write(record, sizeof record, &info));
    }
    Change change = {false, nullptr};
    EXPECT(log->GetFolderFileName(&change, &info) && log->GetData(&change, &info));
    EXPECT(change.bSwitchedOn && change.pszFolderFileName[0] != 0);
    EXPECT(log->Exit(&info) && info.uiErrorSet == 0);
    delete log;
}

// The rotation inside the library's Write reaches the host's own Switch; dynamic_cast knows the
// classes on both sides of the DLL, and deleting an object of the library through a base pointer
// runs its destructor (closing its file) and gives the block back to the host.
void DerivedCastDelete() {
    CountingLog derived;
    Info info = {};
    EXPECT(Start(derived, 2, 688, L"host-derived", info));
    static const unsigned char record[400] = {};
    EXPECT(derived.Write(record, 400, &info) && derived.Write(record, 400, &info));
    EXPECT(derived.switched_on_ == 2 && derived.switched_off_ == 1 && derived.Exit(&info));
    TQCLogFile_1* guarded = new TQCLogFileM_1;
    TQCLogFile_1* plain = &derived;
    EXPECT(dynamic_cast<CountingLog*>(plain) == &derived);
    EXPECT(dynamic_cast<TQCLogFileM_1*>(plain) == nullptr);
    EXPECT(dynamic_cast<TQCLogFileM_1*>(guarded) == guarded);
    EXPECT(dynamic_cast<CountingLog*>(guarded) == nullptr);
    EXPECT(Start(*guarded, 1, 4096, L"host-delete", info) && guarded->Write("x", 1, &info));
    EXPECT(FileHeld(L"host-delete\\LogFile_1_0001.log"));
    delete guarded;
    EXPECT(!FileHeld(L"host-delete\\LogFile_1_0001.log"));
}

// Two threads write 1000 records each into one TQCLogFileM_1, two records a file, so that their
// rotations race; every record arrives whole, and no file grows over its size.
TQCLogFile_1* g_shared = nullptr;

DWORD WINAPI WriteRecords(void* mark) {
    unsigned char record[300];
    memset(record, *static_cast<const char*>(mark), sizeof record);
    Info info = {};
    for (int i = 0; i < 1000; ++i) g_shared->Write(record, sizeof record, &info);
    return 0;
}

void TwoThreads() {
    g_shared = new TQCLogFileM_1;
    Info info = {};
    EXPECT(Start(*g_shared, 1100, 688, L"host-threads", info));
    static char marks[] = "AB";
    HANDLE threads[] = {CreateThread(nullptr, 0, WriteRecords, marks, 0, nullptr),
                        CreateThread(nullptr, 0, WriteRecords, marks + 1, 0, nullptr)};
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    EXPECT(CloseHandle(threads[0]) && CloseHandle(threads[1]));
    EXPECT(g_shared->Exit(&info));
    delete g_shared;
    static unsigned char bytes[1024], whole[2][300];
    memset(whole[0], 'A', 300);
    memset(whole[1], 'B', 300);
    int counts[2] = {0, 0};
    bool fits = true;
    for (int n = 1; n <= 1100; ++n) {
        wchar_t path[40];
        _snwprintf(path, 40, L"host-threads\\LogFile_1_%04d.log", n);
        const long length = ReadWhole(path, bytes, sizeof bytes);
        fits = fits && length <= 688;
        for (long at = 0; at + 300 <= length; at += 300) {
            for (int k = 0; k < 2; ++k) counts[k] += memcmp(bytes + at, whole[k], 300) == 0;
        }
    }
    EXPECT(fits && counts[0] == 1000 && counts[1] == 1000);
}

// The DLL asks for allocation-failure handling in malloc too (new mode 1) at load time; and
// DivideU64, the 32-bit build's 64-bit division, agrees with the machine's division.
void RuntimeSupport() {
    EXPECT(_query_new_mode() == 1);
    const unsigned long long kMax = ~0ULL;
    static const unsigned long long kRows[][2] = {
        {4000000000ULL, 7}, {5, 1ULL << 32}, {kMax, 10}, {kMax, kMax}, {kMax, (1ULL << 63) + 1},
    };
    for (const auto& row : kRows) {
        unsigned long long remainder = 0;
        const unsigned long long quotient = msvc::DivideU64(row[0], row[1], &remainder);
        if (quotient != row[0] / row[1] || remainder != row[0] % row[1]) {
            ++g_failures;
            printf("  %llu / %llu gave %llu rest %llu\n", row[0], row[1], quotient, remainder);
        }
    }
}

struct Check {
    const char* name;
    void (*run)();
};

const Check kChecks[] = {
    {"date-time and folder functions, interface version", FreeFunctions},
    {"objects on the stack, a refused configuration's record", StackObjects},
    {"Init, Switch, Write through the virtual table, in slot order", VirtualCalls},
    {"derived Switch reached by the rotation in Write, dynamic_cast, delete", DerivedCastDelete},
    {"TQCLogFileM_1 from two threads", TwoThreads},
    {"new mode, 64-bit division of the 32-bit build", RuntimeSupport},
};

}  // namespace
}  // namespace test
}  // namespace scrivlet

int main() {
    int passed = 0;
    int failed = 0;
    for (const scrivlet::test::Check& check : scrivlet::test::kChecks) {
        const int before = scrivlet::test::g_failures;
        check.run();
        const bool ok = scrivlet::test::g_failures == before;
        printf("%s %s\n", ok ? "ok    " : "FAILED", check.name);
        ++(ok ? passed : failed);
    }
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
