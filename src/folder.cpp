// Checking and creating a folder path, directory by directory from the top down.
#include "scrivlet/folder.h"

#include "platform/platform.h"

namespace os = scrivlet::os;

namespace {

const TQ_WCHAR kBackslash = '\\';
const TQ_WCHAR kColon = ':';

// Makes sure the prefix in path exists. Returns FOLDER_DONE to go on with the walk, or the
// result that ends it (with uiValue set where that result carries a value).
int CheckCreatePrefix(const TQ_WCHAR* prefix, unsigned int& uiValue) {
    if (os::GetFileAttributesW(prefix) != os::INVALID_FILE_ATTRIBUTES) {
        return TQ_Folder::FOLDER_DONE;  // present, whatever kind of object it is
    }
    const std::size_t length = os::wcsnlen_s(prefix, TQ_Folder::FOLDER_MAX_LENGTH + 1);
    if (length > 0 && prefix[length - 1] == kColon) return TQ_Folder::FOLDER_NO_DRIVE;
    const os::DWORD query_error = os::GetLastError();
    if (query_error != os::ERROR_FILE_NOT_FOUND) {
        uiValue = query_error;
        return TQ_Folder::FOLDER_QUERY_FAILED;
    }
    if (!os::CreateDirectoryW(prefix, nullptr)) {
        uiValue = os::GetLastError();
        return TQ_Folder::FOLDER_CREATE_FAILED;
    }
    os::SetLastError(0);
    return TQ_Folder::FOLDER_DONE;
}

}  // namespace

namespace TQ_Folder {

int CheckCreateFolder_1(const TQ_WCHAR* pszFolder, unsigned int& uiValue) {
    uiValue = 0;
    if (pszFolder == nullptr || pszFolder[0] == 0) return FOLDER_EMPTY;

    // The whole length is reported, however long the path.
    std::size_t length = 0;
    while (pszFolder[length] != 0) ++length;
    if (length > FOLDER_MAX_LENGTH) {
        uiValue = static_cast<unsigned int>(length);
        return FOLDER_TOO_LONG;
    }

    TQ_WCHAR path[FOLDER_MAX_LENGTH + 1];
    os::wcscpy_s(path, FOLDER_MAX_LENGTH + 1, pszFolder);
    while (length > 0 && path[length - 1] == kBackslash) path[--length] = 0;
    if (length == 0) return FOLDER_ONLY_BACKSLASHES;

    // Test each prefix that ends before a backslash, after a colon, or at the end. The character
    // behind a colon (the backslash of a drive root) is passed over.
    std::size_t p = 0;
    for (;;) {
        const TQ_WCHAR c = path[p];
        if (c != kBackslash && c != kColon && c != 0) {
            ++p;
            continue;
        }
        const std::size_t cut = (c == kColon) ? p + 1 : p;
        const TQ_WCHAR saved = path[cut];
        path[cut] = 0;
        const int result = CheckCreatePrefix(path, uiValue);
        path[cut] = saved;
        if (result != FOLDER_DONE) return result;
        if (saved == 0) return FOLDER_DONE;
        p = cut + 1;
    }
}

}  // namespace TQ_Folder
