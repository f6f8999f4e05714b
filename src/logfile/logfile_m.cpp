// TQCLogFileM_1: every operation of TQCLogFile_1 under the object's recursive mutex.
//
// A guarded call waits on the mutex, runs the base class's own operation and releases the
// mutex. The rotation inside a base Write calls the virtual Switch, which here waits again on the
// mutex the thread already owns and gets it at once.
#include "scrivlet/logfile_m.h"

#include "library/record.h"
#include "platform/platform.h"

namespace os = scrivlet::os;

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;

// Reporting places of this class. Each guarded operation has four in a row: release failed,
// wait abandoned, wait timed out, wait failed.
enum Location : unsigned int {
    kMutexNotCreated = 1,
    kInitRelease = 2,
    kExitRelease = 3,
    kExitMutexNotClosed = 7,
    kSwitchRelease = 8,
    kWriteRelease = 12,
    kGetDataRelease = 16,
    kGetFolderFileNameRelease = 20,
};

void Fail(Info* info, unsigned int error, unsigned int errorType, unsigned int location,
          unsigned int value) {
    scrivlet::RecordFailure(info, TQCLogFile_1::MODULE_LOGFILE_M, error, errorType, location,
                            value);
}

// Waits on the mutex. Returns true when the calling thread owns it. Otherwise records the
// outcome at the place that follows releaseAt for it and returns false without owning the
// mutex: an abandoned mutex that the wait handed over is released at once, so that the next
// caller finds it in order.
bool Lock(TQ_HANDLE mutex, unsigned int timeout, unsigned int releaseAt, Info* info) {
    const os::DWORD outcome = os::WaitForSingleObject(mutex, timeout);
    switch (outcome) {
        case os::WAIT_OBJECT_0:
            return true;
        case os::WAIT_ABANDONED:
            Fail(info, TQCLogFile_1::REASON_WAIT_ABANDONED, TQCLogFile_1::ERRORTYPE_RUNTIME,
                 releaseAt + 1, 0);
            os::ReleaseMutex(mutex);
            return false;
        case os::WAIT_TIMEOUT:
            Fail(info, TQCLogFile_1::REASON_WAIT_TIMEOUT, TQCLogFile_1::ERRORTYPE_RUNTIME,
                 releaseAt + 2, 0);
            return false;
        default:
            Fail(info, os::GetLastError(), TQCLogFile_1::ERRORTYPE_SYSTEM, releaseAt + 3, 0);
            return false;
    }
}

// Gives up one level of ownership; records a refusal at releaseAt.
bool Unlock(TQ_HANDLE mutex, unsigned int releaseAt, Info* info) {
    if (os::ReleaseMutex(mutex)) return true;
    Fail(info, os::GetLastError(), TQCLogFile_1::ERRORTYPE_SYSTEM, releaseAt,
         scrivlet::HandleValue(mutex));
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
        Fail(pInfo, os::GetLastError(), ERRORTYPE_SYSTEM, kMutexNotCreated, 0);
        return false;
    }
    const bool result = TQCLogFile_1::Init(pInitData, pInfo);
    if (!Unlock(m_hMutex, kInitRelease, pInfo)) return false;
    return result;
}

bool TQCLogFileM_1::Exit(tagInfoData_1* pInfo) {
    if (m_hMutex == nullptr) return true;
    bool result = false;
    if (Lock(m_hMutex, m_uiTimeout, kExitRelease, pInfo)) {
        result = Close(pInfo);
        if (!Unlock(m_hMutex, kExitRelease, pInfo)) result = false;
    }
    // The mutex goes whatever the wait gave; after a failed wait the file stays open.
    if (!os::CloseHandle(m_hMutex)) {
        Fail(pInfo, os::GetLastError(), ERRORTYPE_SYSTEM, kExitMutexNotClosed,
             scrivlet::HandleValue(m_hMutex));
        result = false;
    }
    m_hMutex = nullptr;
    return result;
}

bool TQCLogFileM_1::GetData(tagChangeData_1* const pChangeData, tagInfoData_1* pInfo) {
    if (!Lock(m_hMutex, m_uiTimeout, kGetDataRelease, pInfo)) return false;
    if (pChangeData != nullptr) {
        pChangeData->bSwitchedOn = m_bSwitchedOn;
        pChangeData->pszFolderFileName = m_szFolderFileName;
    }
    return Unlock(m_hMutex, kGetDataRelease, pInfo);
}

bool TQCLogFileM_1::GetFolderFileName(tagChangeData_1* const pChangeData, tagInfoData_1* pInfo) {
    if (!Lock(m_hMutex, m_uiTimeout, kGetFolderFileNameRelease, pInfo)) return false;
    if (pChangeData != nullptr) pChangeData->pszFolderFileName = m_szFolderFileName;
    return Unlock(m_hMutex, kGetFolderFileNameRelease, pInfo);
}

bool TQCLogFileM_1::CopyFolderFileName(TQ_WCHAR (&szFolderFileName)[260], tagInfoData_1* pInfo) {
    if (!Lock(m_hMutex, m_uiTimeout, kGetFolderFileNameRelease, pInfo)) return false;
    // Both arrays hold 260 elements and the path always ends within them: the copy fits.
    os::wcscpy_s(szFolderFileName, 260, m_szFolderFileName);
    return Unlock(m_hMutex, kGetFolderFileNameRelease, pInfo);
}

void TQCLogFileM_1::ShutDown() {
    TQCLogFile_1::ShutDown();
    if (m_hMutex != nullptr) {
        os::CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
}

bool TQCLogFileM_1::Switch(bool bOn, tagInfoData_1* pInfo) {
    if (!Lock(m_hMutex, m_uiTimeout, kSwitchRelease, pInfo)) return false;
    const bool result = TQCLogFile_1::Switch(bOn, pInfo);
    if (!Unlock(m_hMutex, kSwitchRelease, pInfo)) return false;
    return result;
}

bool TQCLogFileM_1::Write(const void* pData, unsigned int uiCount, tagInfoData_1* pInfo) {
    if (!Lock(m_hMutex, m_uiTimeout, kWriteRelease, pInfo)) return false;
    const bool result = TQCLogFile_1::Write(pData, uiCount, pInfo);
    if (!Unlock(m_hMutex, kWriteRelease, pInfo)) return false;
    return result;
}
