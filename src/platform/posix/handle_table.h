// The POSIX handle table: the objects behind the Windows-style handles of files and mutexes.
//
// A handle is a small integer, a multiple of 4 as on Windows, naming a slot of a fixed table, so
// that its value fits a 32-bit field; neither the null handle nor the invalid-handle value is
// ever a valid handle. A slot refers to an object (an open file or a mutex); several slots refer
// to one object after DuplicateHandle. An object is taken together with a slot reserved for its
// first handle, so that a call that got an object cannot fail for want of a handle after it has
// changed anything. An object lives while a handle refers to it, as a kernel object does, and is
// then disposed of by its kind (files.cpp, mutexes.cpp). The table is fixed in size: nothing is
// allocated. Taking and giving back slots and objects holds the table's lock; looking a handle
// up does not: a handle in use by a call stays open until the call returns (closing a handle
// that another thread is using is the caller's race, as on Windows, and since objects live in a
// static array it can never touch freed memory).
#ifndef SCRIVLET_PLATFORM_POSIX_HANDLE_TABLE_H
#define SCRIVLET_PLATFORM_POSIX_HANDLE_TABLE_H

#include <pthread.h>
#include <sys/types.h>

#include <atomic>

#include "platform/platform.h"

namespace scrivlet {
namespace os {
namespace posix {

enum class Kind { kFree, kFile, kMutex, kLost };

struct Object {
    std::atomic<Kind> kind;
    int references;    // handles; changed under the table's lock
    std::size_t slot;  // reserved for the first handle
    int fd;            // a file's descriptor
    pthread_mutex_t mutex;
    // The thread id of the mutex's owner (0: none) and the levels it holds. Only the owner
    // changes them, and the next owner after the previous one ended; other threads only compare
    // the owner with themselves, and only the owner can ever match.
    std::atomic<pid_t> owner;
    std::atomic<unsigned> levels;
};

// A free object of the given kind with a slot reserved for its handle, or null (every object or
// every slot in use) with ERROR_TOO_MANY_OPEN_FILES as the last error.
Object* TakeObject(Kind kind);

// Gives back an object that never got a handle (its set-up failed), and its slot.
void ReturnObject(Object* object);

// Registers a complete object under the handle of its reserved slot.
HANDLE Register(Object* object);

// The object of the given kind behind an open handle, or null with ERROR_INVALID_HANDLE as the
// last error.
Object* Find(HANDLE handle, Kind kind);

// How each kind goes when its last handle closes (files.cpp, mutexes.cpp). A mutex that another
// thread still owns is never reused: it becomes kLost.
void DisposeFile(Object* object);
void DisposeMutex(Object* object);

}  // namespace posix
}  // namespace os
}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_POSIX_HANDLE_TABLE_H
