// TQCLogFileM_1: the log file of TQCLogFile_1, shared safely by any number of threads.
//
// Every public operation runs the base class's operation while the calling thread owns the
// object's mutex, an unnamed recursive mutex created by Init. Files, contents, rotation and
// validation are those of TQCLogFile_1; failures of the mutex itself are recorded with module 48
// (MODULE_LOGFILE_M):
//
//   operation          release failed  wait abandoned  wait timed out  wait failed  other
//   Init               2                                                             not created: 1
//   Exit               3               4               5               6            not closed: 7
//   Switch             8               9               10              11
//   Write              12              13              14              15
//   GetData            16              17              18              19
//   GetFolderFileName  20              21              22              23
//
// Rules for the host:
// - Init runs before other threads use the object; Exit, ShutDown and destruction after they
//   have stopped (the mutex handle itself is not guarded).
// - A Write, the rotation it may cause and its record form one step under the lock: a record of
//   another thread lands wholly before or after it.
// - The path that GetData and GetFolderFileName hand out points into the object; the lock covers
//   the taking of the pointer, not the reading of the text, which a rotation on another thread
//   may rewrite. CopyFolderFileName copies the text under the lock instead.
#ifndef SCRIVLET_LOGFILE_M_H
#define SCRIVLET_LOGFILE_M_H

#include "scrivlet/export.h"
#include "scrivlet/logfile.h"

class SCRIVLET_API TQCLogFileM_1 : public TQCLogFile_1 {
  public:
    // The time-out that never expires.
    static const unsigned int TIMEOUT_INFINITE = 0xFFFFFFFFu;

    // No mutex (until Init) and the time-out TIMEOUT_INFINITE.
    TQCLogFileM_1();

    // The copy uses the same mutex (and file) as its source, each through a duplicated handle, so
    // that guarded calls on the two exclude each other and each object closes its own handles
    // exactly once. Takes no lock.
    TQCLogFileM_1(const TQCLogFileM_1& other);

    // As the copy constructor. The mutex and file that this object held are not closed.
    TQCLogFileM_1& operator=(const TQCLogFileM_1& other);

    // Closes the mutex handle, if any, then the file without a footer. Does not wait.
    ~TQCLogFileM_1() override;

    // Under the mutex closes the file with its footer, then releases and closes the mutex. Without
    // a mutex (a new object, or after Exit or ShutDown) returns true and does nothing.
    bool Exit(tagInfoData_1* pInfo) override;

    // Under the mutex fills both fields of the state record.
    bool GetData(tagChangeData_1* const pChangeData, tagInfoData_1* pInfo) override;

    // Under the mutex fills pszFolderFileName only.
    bool GetFolderFileName(tagChangeData_1* const pChangeData, tagInfoData_1* pInfo) override;

    // Under the mutex copies the current path into the caller's array, so that the copy is whole
    // even while another thread rotates to the next file. Lock failures are recorded at the
    // places of GetFolderFileName (20 release, 21 abandoned, 22 timed out, 23 failed); after a
    // failed wait the array is left as it was. Not virtual: it adds nothing to the virtual table.
    bool CopyFolderFileName(TQ_WCHAR (&szFolderFileName)[260], tagInfoData_1* pInfo);

    // Creates the mutex already owned, runs the base Init while owning it, releases it. A
    // mutex that the object already had is closed first. If the base Init refuses the
    // configuration, the object still has its new, released mutex.
    bool Init(tagInitData_1* const pInitData, tagInfoData_1* pInfo) override;

    // Without waiting closes the file (no footer) and the mutex.
    void ShutDown() override;

    // Under the mutex runs the base Switch.
    bool Switch(bool bOn, tagInfoData_1* pInfo) override;

    // Under the mutex runs the base Write; a rotation re-enters the mutex on the same thread.
    bool Write(const void* pData, unsigned int uiCount, tagInfoData_1* pInfo) override;

  protected:
    // The object's mutex; null when there is none.
    TQ_HANDLE m_hMutex;
    // Time-out in milliseconds for every wait. Nothing in this class changes it; a host that wants
    // a finite time-out derives a class and sets it after construction.
    unsigned int m_uiTimeout;
};

#endif  // SCRIVLET_LOGFILE_M_H
