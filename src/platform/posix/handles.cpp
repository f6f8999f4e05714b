// Handles on POSIX: files and mutexes with the behaviour of their Windows namesakes.
//
// A handle is a small integer, a multiple of 4 as on Windows, naming a slot of a fixed table, so
// that its value fits a 32-bit field; neither the null handle nor the invalid-handle value is
// ever a valid handle. A slot refers to an object (an open file or a mutex); several slots refer
// to one object after DuplicateHandle. An object lives while a handle refers to it, as a kernel
// object does. The table is fixed in size: nothing is allocated. Opening, duplicating and closing
// take the table's lock; writing, waiting and releasing only look their handle up: a handle in
// use by a call stays open until the call returns (closing a handle that another thread is using
// is the caller's race, as on Windows, and since objects live in a static array it can never
// touch freed memory).
//
// Files: CreateFileW opens with O_DSYNC, so that each write is on the storage (data and the
// metadata needed to read it back) when WriteFile returns, as FILE_FLAG_WRITE_THROUGH promises.
// O_SYNC would also flush timestamps on every write at no gain for a reader after a crash.
// O_CLOEXEC keeps the file out of child processes, as a Windows handle created without
// inheritable security attributes is. A file opened for writing without FILE_SHARE_WRITE holds
// an exclusive open-file-description lock on the whole file, taken before the file is truncated:
// a second writer, in this or another process, is refused with ERROR_SHARING_VIOLATION and the
// file stays as it was.
//
// Mutexes: a robust, recursive pthread mutex. A thread that ends while owning it leaves it
// abandoned: the next wait returns WAIT_ABANDONED and owns it. Finite waits use the monotonic
// clock; waits block, nothing polls. Each mutex also records its owner and the levels it holds,
// so that a release by another thread is refused before it reaches pthread_mutex_unlock, and
// closing the last handle gives up exactly the levels its owner holds.
#include <fcntl.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#if defined(__SANITIZE_THREAD__)
#define SCRIVLET_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SCRIVLET_TSAN 1
#endif
#endif
#if defined(SCRIVLET_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

#include "platform/posix/posix.h"

namespace scrivlet {
namespace os {
namespace posix {
namespace {

const std::size_t kSlots = 4096;
const std::size_t kObjects = 4096;

enum class Kind { kFree, kFile, kMutex, kLost };

struct Object {
    std::atomic<Kind> kind;
    int references;  // handles; changed under the table's lock
    int fd;
    pthread_mutex_t mutex;
    // The thread id of the mutex's owner (0: none) and the levels it holds. Only the owner
    // changes them, and the next owner after the previous one ended; other threads only compare
    // the owner with themselves, and only the owner can ever match.
    std::atomic<pid_t> owner;
    std::atomic<unsigned> levels;
};

Object g_objects[kObjects];
// A slot is published (with release order) only after its object is complete, so a lookup that
// reads it (with acquire order) sees the whole object.
std::atomic<Object*> g_slots[kSlots];
std::size_t g_open_handles = 0;
pthread_mutex_t g_table_lock = PTHREAD_MUTEX_INITIALIZER;

class TableLock {
  public:
    TableLock() { pthread_mutex_lock(&g_table_lock); }
    ~TableLock() { pthread_mutex_unlock(&g_table_lock); }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;
};

HANDLE HandleOfSlot(std::size_t slot) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>((slot + 1) * 4));
}

// The slot index of a handle, or kSlots when the value cannot name a slot.
std::size_t SlotOfHandle(HANDLE handle) {
    std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
    if (value == 0 || value % 4 != 0 || value / 4 > kSlots) return kSlots;
    return value / 4 - 1;
}

// With the table lock held: a free slot for object, or kSlots.
std::size_t TakeSlot(Object* object) {
    for (std::size_t i = 0; i < kSlots; ++i) {
        if (g_slots[i].load(std::memory_order_relaxed) == nullptr) {
            ++object->references;
            g_slots[i].store(object, std::memory_order_release);
            ++g_open_handles;
            return i;
        }
    }
    return kSlots;
}

// With the table lock held: a free object, or null.
Object* TakeObject(Kind kind) {
    for (Object& object : g_objects) {
        if (object.kind == Kind::kFree) {
            object.kind = kind;
            object.references = 0;
            object.fd = -1;
            object.owner = 0;
            object.levels = 0;
            return &object;
        }
    }
    return nullptr;
}

// Disposes of an object that nothing refers to any more.
void Destroy(Object* object) {
    if (object->kind == Kind::kFile) {
        close(object->fd);  // the lock goes with the last descriptor of the open file
        object->kind = Kind::kFree;
    } else if (object->kind == Kind::kMutex) {
        // Closing the last handle of a mutex that this thread still owns releases it first.
        // One that another thread owns is never reused: its owner may still release it, and
        // the robust-mutex bookkeeping of that thread still points at it.
        int result = pthread_mutex_trylock(&object->mutex);
        if (result == EOWNERDEAD) {
            pthread_mutex_consistent(&object->mutex);
            object->levels = 0;  // the ended owner's levels went with it
            result = 0;
        }
        if (result != 0) {
            object->kind = Kind::kLost;
            return;
        }
        // Give up the level just taken and every level this thread held before, no more: an
        // unlock too many is a misuse that a thread checker rightly reports.
        for (unsigned held = object->levels + 1; held > 0; --held) {
            pthread_mutex_unlock(&object->mutex);
        }
        object->owner = 0;
        object->levels = 0;
        pthread_mutex_destroy(&object->mutex);
        object->kind = Kind::kFree;
    }
}

void Unreference(Object* object) {
    if (--object->references == 0) Destroy(object);
}

// The object of the given kind behind an open handle, or null with ERROR_INVALID_HANDLE as the
// last error. Takes no lock: see the top of this file.
Object* Find(HANDLE handle, Kind kind) {
    const std::size_t slot = SlotOfHandle(handle);
    Object* object = slot < kSlots ? g_slots[slot].load(std::memory_order_acquire) : nullptr;
    if (object != nullptr && object->kind.load(std::memory_order_relaxed) == kind) return object;
    Table().SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

// Registers a new object under a new handle; on failure disposes of it and returns null with
// ERROR_TOO_MANY_OPEN_FILES.
HANDLE Register(Object* object) {
    TableLock lock;
    std::size_t slot = TakeSlot(object);
    if (slot == kSlots) {
        ++object->references;
        Unreference(object);
        Table().SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    return HandleOfSlot(slot);
}

HANDLE Fail(DWORD code) {
    Table().SetLastError(code);
    return InvalidHandleValue();
}

// The calling thread's id, which the owner bookkeeping compares on every wait and release.
// gettid is a system call each time, as expensive as the write of a record, so each thread keeps
// its id; the child of a fork forgets the id of the parent's thread and asks again.
thread_local pid_t t_thread_id = 0;

void ForgetThreadId() { t_thread_id = 0; }

void WatchForks() { pthread_atfork(nullptr, nullptr, ForgetThreadId); }

pid_t ThreadId() {
    if (t_thread_id == 0) {
        static pthread_once_t watching = PTHREAD_ONCE_INIT;
        pthread_once(&watching, WatchForks);
        t_thread_id = gettid();
    }
    return t_thread_id;
}

// Notes one more level of ownership by the calling thread, which has just locked the mutex.
void Owned(Object* object) {
    if (object->levels.fetch_add(1, std::memory_order_relaxed) == 0) {
        object->owner.store(ThreadId(), std::memory_order_relaxed);
    }
}

// pthread_mutex_clocklock, which the thread checker of the tsan build (gcc 12's runtime) does
// not intercept: a lock taken through it would be invisible to the checker, every access it
// guards would look like a race and its release like the unlock of a mutex never locked. That
// build therefore announces the lock through the checker's mutex annotations; the call itself is
// the same in every build. (pthread_mutex_timedlock, which the checker knows, is no substitute: its
// deadline is on the wall clock, so setting the clock back during a wait would stretch the wait,
// and looping on a recomputed deadline cannot undo that without polling.) One case stays beyond
// the annotations: an owner that ends during this very wait leaves the checker counting the ended
// thread as owner; a wait that finds the mutex already abandoned goes through the intercepted
// trylock before it comes here.
int ClockLock(pthread_mutex_t* mutex, const struct timespec* deadline) {
#if defined(SCRIVLET_TSAN)
    __tsan_mutex_pre_lock(mutex, __tsan_mutex_try_lock);
    const int result = pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, deadline);
    __tsan_mutex_post_lock(mutex,
                           (result == 0 || result == EOWNERDEAD)
                               ? __tsan_mutex_try_lock
                               : __tsan_mutex_try_lock | __tsan_mutex_try_lock_failed,
                           0);
    return result;
#else
    return pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, deadline);
#endif
}

}  // namespace

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   void* /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
    // The library creates its files in one way only; other dispositions are not provided.
    if (dwCreationDisposition != CREATE_ALWAYS) return Fail(ERROR_INVALID_PARAMETER);
    char path[kNativePathSize];
    DWORD code = NativePath(lpFileName, path, sizeof path);
    if (code != ERROR_SUCCESS) return Fail(code);

    const bool writing = (dwDesiredAccess & GENERIC_WRITE) != 0;
    int flags =
        O_CLOEXEC | (writing ? ((dwDesiredAccess & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY);
    if (dwFlagsAndAttributes & FILE_FLAG_WRITE_THROUGH) flags |= O_DSYNC;

    // Open the file without truncating it if it exists (the usual case once the ring has come
    // round), so that a file another writer holds is not changed before the lock has been asked
    // for; create it if it does not.
    bool existed = false;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        fd = open(path, flags);
        if (fd >= 0) {
            existed = true;
            break;
        }
        if (errno != ENOENT) break;
        fd = open(path, flags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) break;  // EEXIST: created in between; open it after all
    }
    if (fd < 0) return Fail(ErrorFromErrno(errno, path));

    if (writing && (dwShareMode & FILE_SHARE_WRITE) == 0) {
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
            int error = errno;
            close(fd);
            return Fail((error == EAGAIN || error == EACCES) ? ERROR_SHARING_VIOLATION
                                                             : ErrorFromErrno(error, path));
        }
    }
    // Replace the contents. A file that cannot be truncated because it is no regular file (a
    // device such as /dev/full) is written as it is.
    if (existed && writing && ftruncate(fd, 0) != 0 && errno != EINVAL) {
        const int error = errno;
        close(fd);
        return Fail(ErrorFromErrno(error, path));
    }

    Object* object;
    {
        TableLock lock;
        object = TakeObject(Kind::kFile);
    }
    if (object == nullptr) {
        close(fd);
        return Fail(ERROR_TOO_MANY_OPEN_FILES);
    }
    object->fd = fd;
    HANDLE handle = Register(object);
    if (handle == nullptr) return InvalidHandleValue();
    Table().SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
               DWORD* lpNumberOfBytesWritten, void* /*lpOverlapped*/) {
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    Object* object = Find(hFile, Kind::kFile);
    if (object == nullptr) return FALSE;
    // One system call; a short write is a success that reports the bytes written.
    ssize_t written;
    do {
        written = write(object->fd, lpBuffer, nNumberOfBytesToWrite);
    } while (written < 0 && errno == EINTR);
    const int error = errno;
    if (written < 0) {
        Table().SetLastError(ErrorFromErrno(error, nullptr));
        return FALSE;
    }
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = static_cast<DWORD>(written);
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    {
        TableLock lock;
        std::size_t slot = SlotOfHandle(hObject);
        Object* object = slot < kSlots ? g_slots[slot].load(std::memory_order_relaxed) : nullptr;
        if (object != nullptr) {
            g_slots[slot].store(nullptr, std::memory_order_relaxed);
            --g_open_handles;
            Unreference(object);
            return TRUE;
        }
    }
    Table().SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL DuplicateHandle(HANDLE /*hSourceProcessHandle*/, HANDLE hSourceHandle,
                     HANDLE /*hTargetProcessHandle*/, HANDLE* lpTargetHandle,
                     DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, DWORD /*dwOptions*/) {
    {
        TableLock lock;
        std::size_t slot = SlotOfHandle(hSourceHandle);
        Object* object = slot < kSlots ? g_slots[slot].load(std::memory_order_relaxed) : nullptr;
        if (object != nullptr && lpTargetHandle != nullptr) {
            std::size_t copy = TakeSlot(object);
            if (copy == kSlots) {
                Table().SetLastError(ERROR_TOO_MANY_OPEN_FILES);
                return FALSE;
            }
            *lpTargetHandle = HandleOfSlot(copy);
            return TRUE;
        }
    }
    Table().SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

HANDLE CreateMutexW(void* /*lpMutexAttributes*/, BOOL bInitialOwner, LPCWSTR lpName) {
    // Only unnamed mutexes are provided: a name would make the mutex reachable from other
    // processes, which the library never wants.
    if (lpName != nullptr) {
        Table().SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    Object* object;
    {
        TableLock lock;
        object = TakeObject(Kind::kMutex);
    }
    if (object == nullptr) {
        Table().SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    int result = pthread_mutex_init(&object->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (result != 0) {
        TableLock lock;
        object->kind = Kind::kFree;
        Table().SetLastError(ErrorFromErrno(result, nullptr));
        return nullptr;
    }
    if (bInitialOwner) {
        pthread_mutex_lock(&object->mutex);
        Owned(object);
    }
    return Register(object);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    Object* object = Find(hHandle, Kind::kMutex);
    if (object == nullptr) return WAIT_FAILED;
    // A finite wait first tries without waiting (a mutex that is free or abandoned is taken at
    // once), then blocks until the deadline.
    int result = dwMilliseconds == INFINITE ? pthread_mutex_lock(&object->mutex)
                                            : pthread_mutex_trylock(&object->mutex);
    if (result == EBUSY && dwMilliseconds != 0 && dwMilliseconds != INFINITE) {
        struct timespec deadline;
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += dwMilliseconds / 1000;
        deadline.tv_nsec += static_cast<long>(dwMilliseconds % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        result = ClockLock(&object->mutex, &deadline);
    }
    DWORD outcome;
    if (result == 0) {
        Owned(object);
        outcome = WAIT_OBJECT_0;
    } else if (result == EOWNERDEAD) {
        pthread_mutex_consistent(&object->mutex);
        object->levels.store(0, std::memory_order_relaxed);  // the ended owner's levels
        Owned(object);
        outcome = WAIT_ABANDONED;
        result = 0;
    } else if (result == EBUSY || result == ETIMEDOUT) {
        outcome = WAIT_TIMEOUT;
    } else {
        outcome = WAIT_FAILED;
    }
    if (outcome == WAIT_FAILED) Table().SetLastError(ErrorFromErrno(result, nullptr));
    return outcome;
}

BOOL ReleaseMutex(HANDLE hMutex) {
    Object* object = Find(hMutex, Kind::kMutex);
    if (object == nullptr) return FALSE;
    if (object->owner.load(std::memory_order_relaxed) != ThreadId()) {
        Table().SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (object->levels.fetch_sub(1, std::memory_order_relaxed) == 1) {
        object->owner.store(0, std::memory_order_relaxed);
    }
    const int result = pthread_mutex_unlock(&object->mutex);
    if (result != 0) {
        Table().SetLastError(result == EPERM ? ERROR_NOT_OWNER : ErrorFromErrno(result, nullptr));
        return FALSE;
    }
    return TRUE;
}

std::size_t OpenHandleCount() {
    TableLock lock;
    return g_open_handles;
}

}  // namespace posix
}  // namespace os
}  // namespace scrivlet
