// UTF-16 paths of the library as native UTF-8 paths, and parent directories (see paths.h); then
// the platform's path rules (platform.h).
#include "platform/posix/paths.h"

#include <cstring>

namespace scrivlet {
namespace os {
namespace posix {

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

bool ParentDirectory(const char* path, char* parent) {
    std::size_t length = std::strlen(path);
    parent[0] = 0;
    if (length >= kNativePathSize) return false;
    std::memcpy(parent, path, length + 1);
    while (length > 1 && parent[length - 1] == '/') parent[--length] = 0;
    char* slash = std::strrchr(parent, '/');
    if (slash == nullptr) {
        std::memcpy(parent, ".", 2);
    } else if (slash == parent) {
        parent[1] = 0;
    } else {
        *slash = 0;
    }
    return true;
}

NativePathBuffer::NativePathBuffer(LPCWSTR path) {
    const DWORD code = NativePath(path, buffer_, sizeof buffer_);
    ok_ = code == ERROR_SUCCESS;
    if (!ok_) Table().SetLastError(code);
}

}  // namespace posix

char PathSeparator() { return '/'; }

std::size_t RootFolder(char* folder, std::size_t length) {
    std::size_t leading = 0;
    while (leading < length && folder[leading] == '\\') ++leading;
    if (leading == 0) return length;
    folder[0] = '/';
    std::memmove(folder + 1, folder + leading, length - leading);
    return length - leading + 1;
}
}  // namespace os
}  // namespace scrivlet
