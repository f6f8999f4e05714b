// The handle table (see handle_table.h), with the two operations that work on handles of any
// kind: CloseHandle and DuplicateHandle.
#include "platform/posix/handle_table.h"

#include <cstdint>

namespace scrivlet {
namespace os {
namespace posix {
namespace {

// Handles open at once, and objects behind them (files and mutexes together): a program of the
// library holds a few, this bounds what a leaking host can take.
const std::size_t kSlots = 4096;
const std::size_t kObjects = kSlots;
// Handle values are multiples of this, as on Windows.
const std::uintptr_t kHandleStep = 4;

Object g_objects[kObjects];
// A slot is published (with release order) only after its object is complete, so a lookup that
// reads it (with acquire order) sees the whole object.
std::atomic<Object*> g_slots[kSlots];
// What a reserved slot refers to until its object is registered: of no kind, so that no lookup,
// close or duplication finds it.
Object g_reserved;
pthread_mutex_t g_table_lock = PTHREAD_MUTEX_INITIALIZER;

class TableLock {
  public:
    TableLock() { pthread_mutex_lock(&g_table_lock); }
    ~TableLock() { pthread_mutex_unlock(&g_table_lock); }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;
};

HANDLE HandleOfSlot(std::size_t slot) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>((slot + 1) * kHandleStep));
}

// The slot index of a handle, or kSlots when the value cannot name a slot.
std::size_t SlotOfHandle(HANDLE handle) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
    if (value == 0 || value % kHandleStep != 0 || value / kHandleStep > kSlots) return kSlots;
    return value / kHandleStep - 1;
}

// With the table lock held: a free slot now referring to object (without counting a reference),
// or kSlots.
std::size_t TakeSlot(Object* object) {
    for (std::size_t i = 0; i < kSlots; ++i) {
        if (g_slots[i].load(std::memory_order_relaxed) == nullptr) {
            g_slots[i].store(object, std::memory_order_release);
            return i;
        }
    }
    return kSlots;
}

// With the table lock held: the open object a slot refers to, or null.
Object* OpenObject(std::size_t slot) {
    Object* object = slot < kSlots ? g_slots[slot].load(std::memory_order_relaxed) : nullptr;
    return object == &g_reserved ? nullptr : object;
}

// With the table lock held: drops one handle of object, disposing of it with the last.
void Unreference(Object* object) {
    if (--object->references > 0) return;
    if (object->kind == Kind::kFile) {
        DisposeFile(object);
    } else if (object->kind == Kind::kMutex) {
        DisposeMutex(object);
    }
}

}  // namespace

Object* TakeObject(Kind kind) {
    TableLock lock;
    for (Object& object : g_objects) {
        if (object.kind != Kind::kFree) continue;
        const std::size_t slot = TakeSlot(&g_reserved);
        if (slot == kSlots) break;
        object.kind = kind;
        object.references = 0;
        object.slot = slot;
        object.fd = -1;
        object.owner = 0;
        object.levels = 0;
        return &object;
    }
    Table().SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
}

void ReturnObject(Object* object) {
    TableLock lock;
    g_slots[object->slot].store(nullptr, std::memory_order_relaxed);
    object->kind = Kind::kFree;
}

HANDLE Register(Object* object) {
    TableLock lock;
    ++object->references;
    g_slots[object->slot].store(object, std::memory_order_release);
    return HandleOfSlot(object->slot);
}

Object* Find(HANDLE handle, Kind kind) {
    const std::size_t slot = SlotOfHandle(handle);
    Object* object = slot < kSlots ? g_slots[slot].load(std::memory_order_acquire) : nullptr;
    if (object != nullptr && object->kind.load(std::memory_order_relaxed) == kind) return object;
    Table().SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

}  // namespace posix

BOOL native::CloseHandle(HANDLE hObject) {
    {
        posix::TableLock lock;
        const std::size_t slot = posix::SlotOfHandle(hObject);
        posix::Object* object = posix::OpenObject(slot);
        if (object != nullptr) {
            posix::g_slots[slot].store(nullptr, std::memory_order_relaxed);
            posix::Unreference(object);
            return TRUE;
        }
    }
    Table().SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL native::DuplicateHandle(HANDLE /*hSourceProcessHandle*/, HANDLE hSourceHandle,
                             HANDLE /*hTargetProcessHandle*/, HANDLE* lpTargetHandle,
                             DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/,
                             DWORD /*dwOptions*/) {
    posix::TableLock lock;
    posix::Object* object = posix::OpenObject(posix::SlotOfHandle(hSourceHandle));
    if (object == nullptr || lpTargetHandle == nullptr) {
        Table().SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const std::size_t copy = posix::TakeSlot(object);
    if (copy == posix::kSlots) {
        Table().SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return FALSE;
    }
    ++object->references;
    *lpTargetHandle = posix::HandleOfSlot(copy);
    return TRUE;
}

}  // namespace os
}  // namespace scrivlet
