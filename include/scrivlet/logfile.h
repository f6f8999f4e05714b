// TQCLogFile_1: one ring of log files, written from one thread at a time.
//
// The host owns the object, the configuration record and the error record. The order of use is:
// construct; Init; Switch(true); any number of Write (GetData and GetFolderFileName at any time);
// Switch(false) / Switch(true) as the host likes; Exit (or ShutDown); destroy.
//
// Files: <folder>\<name>_NNNN.log (or <name>_NNNN.log without a folder), NNNN = 0001 up to the
// file count. Each file starts with an optional counter line and an optional header line and ends,
// when it is closed in an orderly way, with an optional footer line. Those lines are UTF-16LE text
// ending in CR LF, each behind a 24-character time stamp "YYYY.MM.DD HH:MM:SS.mmm ". Records are
// written as the bytes they are, each with one write-through call: a record is on the storage when
// Write returns true. A record that would leave no room for the footer moves the object to the
// next file of the ring, which replaces any earlier file of that name. A file holds at most file
// size bytes, with one exception: the room for a record is measured against the counter line last
// formed, so a file opened by a rotation whose counter line is longer (the counter going from 9 to
// 10, 99 to 100, ...; or a counter just enabled by Init) exceeds it by twice the difference, in
// steady use 2 bytes. The ring takes at most file count x that many bytes.
//
// Failures: every operation that can fail returns false and describes the failure in the
// caller's tagInfoData_1. A record holds the first failure written into it; clear uiErrorSet (or
// zero the whole record) to see the next one. Nothing is thrown and nothing is allocated.
#ifndef SCRIVLET_LOGFILE_H
#define SCRIVLET_LOGFILE_H

#include "scrivlet/export.h"
#include "scrivlet/folder.h"

class SCRIVLET_API TQCLogFile_1 {
  public:
    // Which class recorded a failure (tagInfoData_1::uiModule).
    enum MODULE {
        MODULE_LOGFILE = 46,    // TQCLogFile_1
        MODULE_LOGFILE_M = 48,  // TQCLogFileM_1
    };

    // What kind of failure (tagInfoData_1::uiErrorType).
    enum ERRORTYPE {
        ERRORTYPE_SYSTEM = 2,     // a platform call failed; uiError is its error code
        ERRORTYPE_PARAMETER = 4,  // a configured value or a record does not fit a limit
        ERRORTYPE_RUNTIME = 8,    // a platform call completed in an unexpected way
    };

    // Reasons (tagInfoData_1::uiError when uiErrorType is not ERRORTYPE_SYSTEM), with uiValue.
    enum REASON {
        REASON_WAIT_ABANDONED = 2,    // mutex obtained from an owner that ended; 0
        REASON_WAIT_TIMEOUT = 3,      // mutex not obtained within the time-out; 0
        REASON_INCOMPLETE_WRITE = 4,  // fewer bytes written than asked; bytes written
        REASON_NO_ROOM = 6,           // record larger than an empty file holds; largest that fits
        REASON_TOO_LONG = 7,          // text or path too long; its length in characters
        REASON_TOO_LARGE = 8,         // number above its maximum; the number
        REASON_TOO_SMALL = 9,         // number below its minimum; the number
        REASON_NO_DRIVE = 16,         // the drive at the start of the folder does not exist; 0
    };

    // Limits that Init enforces.
    enum LIMIT {
        FILECOUNT_MIN = 1,
        FILECOUNT_MAX = 9999,
        FILESIZE_MIN = 688,
        FILESIZE_MAX = 104857600,  // 100 MiB
        FILENAME_MAX_LENGTH = 54,
        FOLDER_MAX_LENGTH = TQ_Folder::FOLDER_MAX_LENGTH,
        LINETEXT_MAX_LENGTH = 63,  // header and footer text
    };

    // The error information record. Bit 0 of uiErrorSet tells that it holds a failure; once set,
    // no later failure overwrites it until the caller clears it.
    struct tagInfoData_1 {
        unsigned int uiModule;     // MODULE
        unsigned int uiError;      // platform error code (ERRORTYPE_SYSTEM) or REASON
        unsigned int uiErrorType;  // ERRORTYPE
        unsigned int uiLocation;   // reporting place within the module, from 1
        unsigned int uiValue;      // offending number or length, handle, bytes written, or 0
        unsigned int uiErrorSet;   // bit 0: the record holds a failure
    };

    // The configuration record for Init.
    struct tagInitData_1 {
        bool bCounter;             // write a counter line at the top of each file
        unsigned int uiFileCount;  // files in the ring: 1 to 9999
        unsigned int uiFileSize;   // largest size of one file in bytes: 688 to 104857600
        TQ_WCHAR szFileName[56];   // base name, at most 54 characters, cut at its first '.';
                                   // empty keeps the current name ("LogFile_1" at first)
        TQ_WCHAR szFolder[196];    // folder, at most 195 characters; empty: current directory
        TQ_WCHAR szFooter[64];     // footer text, at most 63 characters; empty: no footer line
        TQ_WCHAR szHeader[64];     // header text, at most 63 characters; empty: no header line
    };

    // The state record that GetData and GetFolderFileName fill.
    struct tagChangeData_1 {
        bool bSwitchedOn;                   // the object is switched on
        const TQ_WCHAR* pszFolderFileName;  // the object's current path; changes at every switch-on
    };

    // Defaults: off, no file, 5 files of 10 MiB named LogFile_1_NNNN.log in the current
    // directory, no counter, header or footer line.
    TQCLogFile_1();

    // A copy refers to the same open file as its source through a duplicate of the source's
    // handle, so each object closes its own handle exactly once. If the handle cannot be
    // duplicated the copy has no file.
    TQCLogFile_1(const TQCLogFile_1& other);

    // Copies every member, the file included (through a duplicated handle, as the copy
    // constructor). The file that this object held is not closed and gets no footer: switch the
    // target off (or Exit) before assigning to it.
    TQCLogFile_1& operator=(const TQCLogFile_1& other);

    // Closes the current file, if any, without a footer.
    virtual ~TQCLogFile_1();

    // Closes the current file, if any, with its footer. The object stays switched on without a
    // file: to write again call Switch(false) and then Switch(true).
    virtual bool Exit(tagInfoData_1* pInfo);

    // Fills pChangeData->bSwitchedOn only. Cannot fail.
    virtual bool GetData(tagChangeData_1* const pChangeData, tagInfoData_1* pInfo);

    // Fills pChangeData->pszFolderFileName only: a pointer to the object's current path, valid
    // while the object lives. Cannot fail.
    virtual bool GetFolderFileName(tagChangeData_1* const pChangeData, tagInfoData_1* pInfo);

    // Checks and takes over a configuration. Refusals, in this order (module 46, parameter):
    // 1 file count 0, 2 file count > 9999, 3 file size < 688, 4 file size > 104857600,
    // 5 name longer than 54, 6 folder longer than 195, 8 header longer than 63, 7 footer longer
    // than 63. Text fields without a terminating zero count as too long. Count, size, name and
    // folder are taken over before the header and footer are checked. May be called again at any
    // time; switch state, file number, counter and open file stay as they are.
    virtual bool Init(tagInitData_1* const pInitData, tagInfoData_1* pInfo);

    // Closes the current file at once, without footer and without reporting.
    virtual void ShutDown();

    // true: opens the next file of the ring (creating the folder path first) and writes its
    // counter and header lines; does nothing if already on. false: writes the footer and closes
    // the file; does nothing if already off. A failed switch-on leaves the object on without a
    // usable file; Switch(false) then Switch(true) tries again.
    virtual bool Switch(bool bOn, tagInfoData_1* pInfo);

    // Appends one record of uiCount bytes with one write-through call. Off: returns true and
    // drops the record. A record larger than an empty file can hold is refused (location 17); one
    // that would leave no room for the footer first moves the object to the next file.
    virtual bool Write(const void* pData, unsigned int uiCount, tagInfoData_1* pInfo);

  protected:
    bool Close(tagInfoData_1* pInfo);
    void CreateFileName();
    bool CreateFolder(tagInfoData_1* pInfo);
    bool Open(tagInfoData_1* pInfo);
    void SetFileNumber();
    bool SetFooter(const TQ_WCHAR* pszFooter, tagInfoData_1* pInfo);
    bool SetHeader(const TQ_WCHAR* pszHeader, tagInfoData_1* pInfo);
    bool WriteCounter(tagInfoData_1* pInfo);
    bool WriteFooter(tagInfoData_1* pInfo);
    bool WriteHeader(tagInfoData_1* pInfo);

    bool m_bSwitchedOn;                // switched on; set before the file is opened
    bool m_bCounter;                   // write a counter line at the top of each file
    TQ_HANDLE m_hFile;                 // current file, or TQ_INVALID_HANDLE
    unsigned int m_uiFileNumber;       // current file, 1 to m_uiFileCount; 0 before the first
    unsigned int m_uiFileBytes;        // bytes written into the current file
    unsigned int m_uiCounter;          // number shown by the next counter line
    unsigned int m_uiFileCount;        // files in the ring
    unsigned int m_uiFileSize;         // largest size of one file in bytes
    unsigned int m_uiCounterLength;    // characters of the last counter line, time stamp included
    unsigned int m_uiFooterLength;     // characters of the footer line as written; 0: none
    unsigned int m_uiHeaderLength;     // characters of the header line as written; 0: none
    TQ_WCHAR m_szCounterLine[96];      // time stamp and counter text
    TQ_WCHAR m_szFileName[56];         // base file name, never containing '.'
    TQ_WCHAR m_szFolderFileName[260];  // full path of the current file
    TQ_WCHAR m_szFolder[196];          // folder path; empty: current directory
    TQ_WCHAR m_szFooter[112];          // prepared footer line, without its time stamp
    TQ_WCHAR m_szHeader[112];          // prepared header line, without its time stamp
};

// The records cross the library boundary: their layout is fixed on every platform.
static_assert(sizeof(TQCLogFile_1::tagInfoData_1) == 24, "tagInfoData_1 is six 32-bit fields");
static_assert(sizeof(TQCLogFile_1::tagInitData_1) == 772, "tagInitData_1 is 772 bytes");
static_assert(offsetof(TQCLogFile_1::tagInitData_1, bCounter) == 0, "bCounter at 0");
static_assert(offsetof(TQCLogFile_1::tagInitData_1, uiFileCount) == 4, "uiFileCount at 4");
static_assert(offsetof(TQCLogFile_1::tagInitData_1, uiFileSize) == 8, "uiFileSize at 8");
static_assert(offsetof(TQCLogFile_1::tagInitData_1, szFileName) == 12, "szFileName at 12");
static_assert(offsetof(TQCLogFile_1::tagInitData_1, szFolder) == 124, "szFolder at 124");
static_assert(offsetof(TQCLogFile_1::tagInitData_1, szFooter) == 516, "szFooter at 516");
static_assert(offsetof(TQCLogFile_1::tagInitData_1, szHeader) == 644, "szHeader at 644");
static_assert(sizeof(TQ_WCHAR) == 2, "wide text is 16-bit UTF-16");

#endif  // SCRIVLET_LOGFILE_H
