// The path rules on Windows (platform.h): '\' between directories, and a folder's start kept as
// the host gave it (a drive, a share or a leading '\' mean to the folder walk what they mean to
// Windows).
#include "platform/platform.h"

namespace scrivlet {
namespace os {

char PathSeparator() { return '\\'; }

std::size_t RootFolder(char* /*folder*/, std::size_t length) { return length; }

}  // namespace os
}  // namespace scrivlet
