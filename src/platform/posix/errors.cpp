// errno to Windows error codes, and UTF-16 paths to native UTF-8 paths.
//
// One table holds every errno the stand-ins can meet, with the Windows code that the same
// failure gives on Windows; what the table does not name becomes ERROR_GEN_FAILURE (31).
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/posix.h"

namespace scrivlet {
namespace os {
namespace posix {
namespace {

struct ErrnoMapping {
    int error;
    DWORD code;
};

const ErrnoMapping kErrnoTable[] = {
    {EPERM, 5},           // ERROR_ACCESS_DENIED
    {EACCES, 5},          // ERROR_ACCESS_DENIED
    {EISDIR, 5},          // a directory opened as a file: ERROR_ACCESS_DENIED, as on Windows
    {EBADF, 6},           // ERROR_INVALID_HANDLE
    {ENOMEM, 8},          // ERROR_NOT_ENOUGH_MEMORY
    {ENOTDIR, 3},         // a file where a directory should be: ERROR_PATH_NOT_FOUND
    {EROFS, 19},          // ERROR_WRITE_PROTECT
    {ENOSPC, 112},        // ERROR_DISK_FULL
    {EEXIST, 183},        // ERROR_ALREADY_EXISTS
    {ENAMETOOLONG, 206},  // ERROR_FILENAME_EXCED_RANGE
    {EFBIG, 223},         // past the file-size limit: ERROR_FILE_TOO_LARGE
    {EMFILE, 4},          // ERROR_TOO_MANY_OPEN_FILES
    {ENFILE, 4},          // ERROR_TOO_MANY_OPEN_FILES
    {ETXTBSY, 32},        // ERROR_SHARING_VIOLATION
    {EBUSY, 170},         // ERROR_BUSY
    {EAGAIN, 170},        // ERROR_BUSY
    {EINVAL, 87},         // ERROR_INVALID_PARAMETER
    {EFAULT, 998},        // ERROR_NOACCESS
    {EIO, 1117},          // ERROR_IO_DEVICE
    {ENXIO, 55},          // ERROR_DEV_NOT_EXIST
    {ENODEV, 55},         // ERROR_DEV_NOT_EXIST
    {EXDEV, 17},          // ERROR_NOT_SAME_DEVICE
    {ESPIPE, 132},        // ERROR_SEEK_ON_DEVICE
    {EPIPE, 109},         // ERROR_BROKEN_PIPE
    {EMLINK, 1142},       // ERROR_TOO_MANY_LINKS
    {ENOTEMPTY, 145},     // ERROR_DIR_NOT_EMPTY
    {ELOOP, 1921},        // ERROR_CANT_RESOLVE_FILENAME
    {ENOLCK, 36},         // ERROR_SHARING_BUFFER_EXCEEDED
    {ENOSYS, 50},         // ERROR_NOT_SUPPORTED
    {EOPNOTSUPP, 50},     // ERROR_NOT_SUPPORTED
    {EDQUOT, 1295},       // ERROR_DISK_QUOTA_EXCEEDED
    {ETIMEDOUT, 1460},    // ERROR_TIMEOUT
    {EDEADLK, 1131},      // ERROR_POSSIBLE_DEADLOCK
    {EILSEQ, 1113},       // ERROR_NO_UNICODE_TRANSLATION
    {EINTR, 1223},        // ERROR_CANCELLED
};

// Whether the directory that would hold path exists.
bool ParentExists(const char* path) {
    char parent[kNativePathSize];
    std::size_t length = std::strlen(path);
    if (length >= sizeof parent) return false;
    std::memcpy(parent, path, length + 1);
    while (length > 1 && parent[length - 1] == '/') parent[--length] = 0;
    char* slash = std::strrchr(parent, '/');
    if (slash == nullptr) return true;  // relative to the current directory, which exists
    if (slash == parent) {
        parent[1] = 0;  // the root
    } else {
        *slash = 0;
    }
    struct stat info;
    return stat(parent, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

DWORD ErrorFromErrno(int error, const char* path) {
    if (error == ENOENT) {
        return (path == nullptr || ParentExists(path)) ? ERROR_FILE_NOT_FOUND
                                                       : ERROR_PATH_NOT_FOUND;
    }
    for (const ErrnoMapping& mapping : kErrnoTable) {
        if (mapping.error == error) return mapping.code;
    }
    return ERROR_GEN_FAILURE;
}

DWORD NativePath(LPCWSTR path, char* buffer, std::size_t size) {
    if (path == nullptr || path[0] == 0) return ERROR_PATH_NOT_FOUND;
    std::size_t out = 0;
    for (std::size_t i = 0; path[i] != 0; ++i) {
        std::uint32_t c = path[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            std::uint32_t low = path[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) return ERROR_INVALID_NAME;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return ERROR_INVALID_NAME;
        } else if (c == '\\') {
            c = '/';
        }
        unsigned char bytes[4];
        std::size_t n;
        if (c < 0x80) {
            bytes[0] = static_cast<unsigned char>(c);
            n = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
            bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            n = 2;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
            bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            n = 3;
        } else {
            bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
            bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            n = 4;
        }
        if (out + n + 1 > size) return ERROR_FILENAME_EXCED_RANGE;
        for (std::size_t k = 0; k < n; ++k) buffer[out++] = static_cast<char>(bytes[k]);
    }
    buffer[out] = 0;
    return ERROR_SUCCESS;
}

}  // namespace posix
}  // namespace os
}  // namespace scrivlet
