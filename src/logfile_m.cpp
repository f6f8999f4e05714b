// TQCLogFileM_1: every operation of TQCLogFile_1 under the object's recursive mutex.
//
// A guarded call waits on the mutex, runs the base class's own operation and releases the
// mutex. The rotation inside a base Write calls the virtual Switch, which here waits again on the
// mutex the thread already owns and gets it at once.
#include "scrivlet/logfile_m.h"

#include "error_info.h"
#include "places.h"
#include "platform/platform.h"

namespace os = scrivlet::os;
using namespace scrivlet::detail;

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;

// The four places of one guarded call.
struct CallPlaces {
    GuardedPlace release_failed, abandoned, timed_out, wait_failed;
};

#define SCRIVLET_CALL_PLACES(Call)                                                         \
    CallPlaces {                                                                           \
        k##Call##ReleaseFailed, k##Call##Abandoned, k##Call##TimedOut, k##Call##WaitFailed \
    }
const CallPlaces kExitPlaces = SCRIVLET_CALL_PLACES(Exit);
const CallPlaces kSwitchPlaces = SCRIVLET_CALL_PLACES(Switch);
const CallPlaces kWritePlaces = SCRIVLET_CALL_PLACES(Write);
const CallPlaces kGetDataPlaces = SCRIVLET_CALL_PLACES(GetData);
const CallPlaces kGetFolderFileNamePlaces = SCRIVLET_CALL_PLACES(GetFolderFileName);
#undef SCRIVLET_CALL_PLACES

void StoreGuardedFailure(Info* info, unsigned int error, unsigned int error_type,
                         GuardedPlace place, unsigned int value) {
    StoreFailure(info, TQCLogFile_1::MODULE_LOGFILE_M, error, error_type, place, value);
}

// Waits on the mutex. Returns true when the calling thread owns it. Otherwise stores the
// outcome at its place and returns false without owning the mutex: an abandoned mutex that the
// wait handed over is released at once, so that the next caller finds it in order.
bool Lock(TQ_HANDLE mutex, unsigned int timeout, const CallPlaces& places, Info* info) {
    switch (os::WaitForSingleObject(mutex, timeout)) {
        case os::WAIT_OBJECT_0:
            return true;
        case os::WAIT_ABANDONED:
            StoreGuardedFailure(info, TQCLogFile_1::REASON_WAIT_ABANDONED,
                                TQCLogFile_1::ERRORTYPE_RUNTIME, places.abandoned, 0);
            os::ReleaseMutex(mutex);
            return false;
        case os::WAIT_TIMEOUT:
            StoreGuardedFailure(info, TQCLogFile_1::REASON_WAIT_TIMEOUT,
                                TQCLogFile_1::ERRORTYPE_RUNTIME, places.timed_out, 0);
            return false;
        default:
            StoreGuardedFailure(info, os::GetLastError(), TQCLogFile_1::ERRORTYPE_SYSTEM,
                                places.wait_failed, 0);
            return false;
    }
}

// Gives up one level of ownership; stores a refusal at release_failed.
bool Unlock(TQ_HANDLE mutex, GuardedPlace release_failed, Info* info) {
    if (os::ReleaseMutex(mutex)) return true;
    StoreGuardedFailure(info, os::GetLastError(), TQCLogFile_1::ERRORTYPE_SYSTEM, release_failed,
                        HandleValue(mutex));
    return false;
}

// A handle of the same mutex for a copy, or null.
TQ_HANDLE DuplicateMutex(TQ_HANDLE mutex) {
    TQ_HANDLE copy = nullptr;
    if (mutex == nullptr || !os::DuplicateHandle(os::CurrentProcess(), mutex, os::CurrentProcess(),
                                                 &copy, 0, os::FALSE, os::DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

}  // namespace

TQCLogFileM_1::TQCLogFileM_1() : TQCLogFile_1(), m_hMutex(nullptr), m_uiTimeout(TIMEOUT_INFINITE) {}

TQCLogFileM_1::TQCLogFileM_1(const TQCLogFileM_1& other)
    : TQCLogFile_1(other),
      m_hMutex(DuplicateMutex(other.m_hMutex)),
      m_uiTimeout(other.m_uiTimeout) {}

TQCLogFileM_1& TQCLogFileM_1::operator=(const TQCLogFileM_1& other) {
    if (this == &other) return *this;
    TQCLogFile_1::operator=(other);
    m_hMutex = DuplicateMutex(other.m_hMutex);
    m_uiTimeout = other.m_uiTimeout;
    return *this;
}

TQCLogFileM_1::~TQCLogFileM_1() {
    if (m_hMutex != nullptr) os::CloseHandle(m_hMutex);
    m_hMutex = nullptr;
}

bool TQCLogFileM_1::Init(tagInitData_1* const pInitData, tagInfoData_1* pInfo) {
    // A second Init replaces the mutex; Init runs while no other thread uses the object.
    if (m_hMutex != nullptr) {
        os::CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
    // Created already owned and stored before the configuration is taken over: a thread that
    // picks up the new handle waits until the configuration is complete.
    m_hMutex = os::CreateMutexW(nullptr, os::TRUE, nullptr);
    if (m_hMutex == nullptr) {
        StoreGuardedFailure(pInfo, os::GetLastError(), ERRORTYPE_SYSTEM, kMutexNotCreated, 0);
        return false;
    }
    const bool result = TQCLogFile_1::Init(pInitData, pInfo);
    if (!Unlock(m_hMutex, kInitReleaseFailed, pInfo)) return false;
    return result;
}

bool TQCLogFileM_1::Exit(tagInfoData_1* pInfo) {
    if (m_hMutex == nullptr) return true;
    bool result = false;
    if (Lock(m_hMutex, m_uiTimeout, kExitPlaces, pInfo)) {
        result = Close(pInfo);
        if (!Unlock(m_hMutex, kExitReleaseFailed, pInfo)) result = false;
    }
    // The mutex goes whatever the wait gave; after a failed wait the file stays open.
    if (!os::CloseHandle(m_hMutex)) {
        StoreGuardedFailure(pInfo, os::GetLastError(), ERRORTYPE_SYSTEM, kExitMutexNotClosed,
                            HandleValue(m_hMutex));
        result = false;
    }
    m_hMutex = nullptr;
    return result;
}

bool TQCLogFileM_1::GetData(tagChangeData_1* const pChangeData, tagInfoData_1* pInfo) {
    if (!Lock(m_hMutex, m_uiTimeout, kGetDataPlaces, pInfo)) return false;
    if (pChangeData != nullptr) {
        pChangeData->bSwitchedOn = m_bSwitchedOn;
        pChangeData->pszFolderFileName = m_szFolderFileName;
    }
    return Unlock(m_hMutex, kGetDataReleaseFailed, pInfo);
}

bool TQCLogFileM_1::GetFolderFileName(tagChangeData_1* const pChangeData, tagInfoData_1* pInfo) {
    if (!Lock(m_hMutex, m_uiTimeout, kGetFolderFileNamePlaces, pInfo)) return false;
    if (pChangeData != nullptr) pChangeData->pszFolderFileName = m_szFolderFileName;
    return Unlock(m_hMutex, kGetFolderFileNameReleaseFailed, pInfo);
}

bool TQCLogFileM_1::CopyFolderFileName(TQ_WCHAR (&szFolderFileName)[260], tagInfoData_1* pInfo) {
    if (!Lock(m_hMutex, m_uiTimeout, kGetFolderFileNamePlaces, pInfo)) return false;
    // Both arrays hold 260 elements and the path always ends within them: the copy fits.
    os::wcscpy_s(szFolderFileName, Elements(szFolderFileName), m_szFolderFileName);
    return Unlock(m_hMutex, kGetFolderFileNameReleaseFailed, pInfo);
}

void TQCLogFileM_1::ShutDown() {
    TQCLogFile_1::ShutDown();
    if (m_hMutex != nullptr) {
        os::CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
}

bool TQCLogFileM_1::Switch(bool bOn, tagInfoData_1* pInfo) {
    if (!Lock(m_hMutex, m_uiTimeout, kSwitchPlaces, pInfo)) return false;
    const bool result = TQCLogFile_1::Switch(bOn, pInfo);
    if (!Unlock(m_hMutex, kSwitchReleaseFailed, pInfo)) return false;
    return result;
}

bool TQCLogFileM_1::Write(const void* pData, unsigned int uiCount, tagInfoData_1* pInfo) {
    if (!Lock(m_hMutex, m_uiTimeout, kWritePlaces, pInfo)) return false;
    const bool result = TQCLogFile_1::Write(pData, uiCount, pInfo);
    if (!Unlock(m_hMutex, kWriteReleaseFailed, pInfo)) return false;
    return result;
}
