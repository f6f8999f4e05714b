// The table of kernel and runtime operations: the platform's own functions as defaults, and the
// live copy that the logic calls through (and tests change).
#include "platform/platform.h"

namespace scrivlet {
namespace os {
namespace {

constexpr Api kDefaults = {
    native::CreateFileW,        native::WriteFile,        native::ReadFile,
    native::SetFilePointerEx,   native::SetEndOfFile,     native::GetFileSizeEx,
    native::GetFileTime,        native::CloseHandle,      native::DuplicateHandle,
    native::GetFileAttributesW, native::CreateDirectoryW, native::GetLastError,
    native::SetLastError,       native::CreateMutexW,     native::WaitForSingleObject,
    native::ReleaseMutex,       native::_ftime64_s,       native::_localtime64_s,
};

Api g_table = kDefaults;

}  // namespace

Api& Table() { return g_table; }

const Api& DefaultTable() { return kDefaults; }

}  // namespace os
}  // namespace scrivlet
