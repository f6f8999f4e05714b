// Mutexes on POSIX: CreateMutexW, WaitForSingleObject and ReleaseMutex with the behaviour of
// their Windows namesakes.
//
// Each is a robust, recursive pthread mutex. A thread that ends while owning it leaves it
// abandoned: the next wait returns WAIT_ABANDONED and owns it. Finite waits use the monotonic
// clock; waits block, nothing polls. Each mutex also records its owner and the levels it holds,
// so that a release by another thread is refused before it reaches pthread_mutex_unlock, and
// closing the last handle gives up exactly the levels its owner holds.
#include <time.h>
#include <unistd.h>

#include <cerrno>

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

#include "platform/posix/errors.h"
#include "platform/posix/handle_table.h"

namespace scrivlet {
namespace os {
namespace posix {
namespace {

const long kNanosecondsPerSecond = 1000000000L;
const long kNanosecondsPerMillisecond = 1000000L;
const DWORD kMillisecondsPerSecond = 1000;

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
void NoteOwned(Object* object) {
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

// Waits until the mutex is taken or milliseconds have passed on the monotonic clock.
int LockWithin(pthread_mutex_t* mutex, DWORD milliseconds) {
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / kMillisecondsPerSecond;
    deadline.tv_nsec +=
        static_cast<long>(milliseconds % kMillisecondsPerSecond) * kNanosecondsPerMillisecond;
    if (deadline.tv_nsec >= kNanosecondsPerSecond) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= kNanosecondsPerSecond;
    }
    return ClockLock(mutex, &deadline);
}

}  // namespace

void DisposeMutex(Object* object) {
    // Closing the last handle of a mutex that this thread still owns releases it first. One that
    // another thread owns is never reused: its owner may still release it, and the robust-mutex
    // bookkeeping of that thread still points at it.
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
    // Give up the level just taken and every level this thread held before, no more: an unlock
    // too many is a misuse that a thread checker rightly reports.
    for (unsigned held = object->levels + 1; held > 0; --held) {
        pthread_mutex_unlock(&object->mutex);
    }
    object->owner = 0;
    object->levels = 0;
    pthread_mutex_destroy(&object->mutex);
    object->kind = Kind::kFree;
}

}  // namespace posix

HANDLE native::CreateMutexW(void* /*lpMutexAttributes*/, BOOL bInitialOwner, LPCWSTR lpName) {
    // Only unnamed mutexes are provided: a name would make the mutex reachable from other
    // processes, which the library never wants.
    if (lpName != nullptr) {
        Table().SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    posix::Object* object = posix::TakeObject(posix::Kind::kMutex);
    if (object == nullptr) return nullptr;
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    const int result = pthread_mutex_init(&object->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (result != 0) {
        posix::ReturnObject(object);
        posix::SetLastErrorFromErrno(result, nullptr);
        return nullptr;
    }
    if (bInitialOwner) {
        pthread_mutex_lock(&object->mutex);
        posix::NoteOwned(object);
    }
    return posix::Register(object);
}

DWORD native::WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    posix::Object* object = posix::Find(hHandle, posix::Kind::kMutex);
    if (object == nullptr) return WAIT_FAILED;
    // A finite wait first tries without waiting (a mutex that is free or abandoned is taken at
    // once), then blocks until the deadline.
    int result = dwMilliseconds == INFINITE ? pthread_mutex_lock(&object->mutex)
                                            : pthread_mutex_trylock(&object->mutex);
    if (result == EBUSY && dwMilliseconds != 0 && dwMilliseconds != INFINITE) {
        result = posix::LockWithin(&object->mutex, dwMilliseconds);
    }
    switch (result) {
        case 0:
            posix::NoteOwned(object);
            return WAIT_OBJECT_0;
        case EOWNERDEAD:
            pthread_mutex_consistent(&object->mutex);
            object->levels.store(0, std::memory_order_relaxed);  // the ended owner's levels
            posix::NoteOwned(object);
            return WAIT_ABANDONED;
        case EBUSY:
        case ETIMEDOUT:
            return WAIT_TIMEOUT;
        default:
            posix::SetLastErrorFromErrno(result, nullptr);
            return WAIT_FAILED;
    }
}

BOOL native::ReleaseMutex(HANDLE hMutex) {
    posix::Object* object = posix::Find(hMutex, posix::Kind::kMutex);
    if (object == nullptr) return FALSE;
    if (object->owner.load(std::memory_order_relaxed) != posix::ThreadId()) {
        Table().SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (object->levels.fetch_sub(1, std::memory_order_relaxed) == 1) {
        object->owner.store(0, std::memory_order_relaxed);
    }
    const int result = pthread_mutex_unlock(&object->mutex);
    if (result != 0) {
        if (result == EPERM) {
            Table().SetLastError(ERROR_NOT_OWNER);
        } else {
            posix::SetLastErrorFromErrno(result, nullptr);
        }
        return FALSE;
    }
    return TRUE;
}

}  // namespace os
}  // namespace scrivlet
