// UTF-16 paths of the library as native UTF-8 paths, and the directory that holds a native path.
#ifndef SCRIVLET_PLATFORM_POSIX_PATHS_H
#define SCRIVLET_PLATFORM_POSIX_PATHS_H

#include <cstddef>

#include "platform/platform.h"

namespace scrivlet {
namespace os {
namespace posix {

// Size of a buffer for NativePath that holds every path the library forms: 259 characters of at
// most 3 UTF-8 bytes each (a surrogate pair, 2 characters, takes 4), and the terminating zero.
const std::size_t kNativePathSize = 1024;

// Converts a UTF-16 path into UTF-8 in buffer (size bytes), every backslash becoming '/' and
// nothing else rewritten. Returns ERROR_SUCCESS, or: ERROR_PATH_NOT_FOUND for an empty or null
// path, ERROR_INVALID_NAME for an unpaired surrogate, ERROR_FILENAME_EXCED_RANGE when the result
// does not fit.
DWORD NativePath(LPCWSTR path, char* buffer, std::size_t size);

// The directory that holds path (a native path), into parent (kNativePathSize bytes): "." for a
// name without a directory, "/" for a name in the root. Trailing slashes of path are ignored.
// False, leaving parent empty, when path does not fit.
bool ParentDirectory(const char* path, char* parent);

// A path converted into a buffer of its own; ok() tells whether the conversion worked, and on
// failure it has already set the last error.
class NativePathBuffer {
  public:
    explicit NativePathBuffer(LPCWSTR path);
    bool ok() const { return ok_; }
    const char* c_str() const { return buffer_; }

  private:
    char buffer_[kNativePathSize];
    bool ok_;
};

}  // namespace posix
}  // namespace os
}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_POSIX_PATHS_H
