// Checking and creating every directory of a folder path.
//
// Only the backslash separates directories and a colon ends a drive prefix ("C:"); a forward
// slash is an ordinary character. On Linux and other POSIX systems each backslash becomes '/'
// when the path reaches the file system, and a drive prefix such as "C:" is a directory of that
// name relative to the current directory.
#ifndef SCRIVLET_FOLDER_H
#define SCRIVLET_FOLDER_H

#include "scrivlet/export.h"

namespace TQ_Folder {

// Results of CheckCreateFolder_1, with what the out-value holds.
enum FOLDERRESULT {
    FOLDER_DONE = 0,              // every directory of the path exists now; out-value 0
    FOLDER_EMPTY = 1,             // the path has no characters; out-value 0
    FOLDER_ONLY_BACKSLASHES = 2,  // the path is backslashes only; out-value 0
    FOLDER_TOO_LONG = 3,          // longer than 195 characters; out-value = its length
    FOLDER_NO_DRIVE = 4,          // a prefix ending in ':' does not exist; out-value 0
    FOLDER_CREATE_FAILED = 5,     // creating a directory failed; out-value = platform error code
    FOLDER_QUERY_FAILED = 6,      // querying a prefix failed (not "missing"); out-value = code
};

// The longest folder path accepted, in characters.
const unsigned int FOLDER_MAX_LENGTH = 195;

// Makes sure every directory of pszFolder exists, creating the missing ones from the top down.
// Tests each prefix that ends before a backslash, after a colon, or at the end of the path
// (trailing backslashes removed first). Sets uiValue to 0 on entry, fills it for results 3, 5
// and 6, and returns one of FOLDERRESULT. Directories created before a failure stay. pszFolder
// must not be null.
SCRIVLET_API int CheckCreateFolder_1(const TQ_WCHAR* pszFolder, unsigned int& uiValue);

}  // namespace TQ_Folder

#endif  // SCRIVLET_FOLDER_H
