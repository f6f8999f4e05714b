// What a power cut leaves of each file system operation of the POSIX stand-ins: for every
// operation that changes the file system, whether its effect is on the storage when the call
// returns. This is the one statement of those guarantees; the crash-state tests build every state
// a power cut could leave from it, and a test of the stand-ins checks that they keep it. Below it,
// the one function that makes a new directory entry durable.
//
// Nothing less than POSIX promises is assumed: a new directory entry is on the storage only once
// its parent directory has been synced; a write through O_DSYNC puts its bytes and the file size
// on the storage; a truncation is there at the latest with the next such write to the file.
#ifndef SCRIVLET_PLATFORM_POSIX_DURABILITY_H
#define SCRIVLET_PLATFORM_POSIX_DURABILITY_H

namespace scrivlet {
namespace os {
namespace posix {

struct Durability {
    bool file_entry;       // CreateFileW that creates a file: its directory entry
    bool directory_entry;  // CreateDirectoryW: the new directory's entry in its parent
    bool truncation;       // CreateFileW that replaces a file: the emptied file (otherwise it is
                           // on the storage with the next write to the file)
    bool write;            // WriteFile on a file opened write-through: its bytes and the size
};

// A file or directory that a call creates has its entry synced before the call returns; a
// replaced file is emptied on the storage with its first line or record.
constexpr Durability kDurability = {true, true, false, true};

// Syncs the directory that holds path (a native path), so that an entry just made in it is on
// the storage. Returns 0, or the errno of the failure. A file system that cannot sync a
// directory (EINVAL) counts as done: there is nothing more to ask of it.
int SyncParentDirectory(const char* path);

}  // namespace posix
}  // namespace os
}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_POSIX_DURABILITY_H
