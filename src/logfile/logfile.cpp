// TQCLogFile_1: construction and copying, configuration (Init, SetHeader, SetFooter), the state
// queries, and the file cycle: switching, writing, rotating and closing.
#include "scrivlet/logfile.h"

#include "library/record.h"
#include "platform/platform.h"
#include "scrivlet/datetime.h"
#include "scrivlet/folder.h"

namespace os = scrivlet::os;

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;

// Reporting places of this class.
enum Location : unsigned int {
    kFileCountTooSmall = 1,
    kFileCountTooLarge = 2,
    kFileSizeTooSmall = 3,
    kFileSizeTooLarge = 4,
    kFileNameTooLong = 5,
    kFolderTooLong = 6,
    kFooterTooLong = 7,
    kHeaderTooLong = 8,
    kOpenFailed = 9,
    kCloseFailed = 10,
    kCounterWriteFailed = 11,
    kCounterWriteIncomplete = 12,
    kHeaderWriteFailed = 13,
    kHeaderWriteIncomplete = 14,
    kFooterWriteFailed = 15,
    kFooterWriteIncomplete = 16,
    kRecordTooLarge = 17,
    kRecordWriteFailed = 18,
    kRecordWriteIncomplete = 19,
    kFolderPathTooLong = 20,
    kFolderNoDrive = 21,
    kFolderSystemFailure = 22,
};

// Element counts of the text fields of a configuration record and of the object.
const std::size_t kFileNameElements = 56;
const std::size_t kFolderElements = 196;
const std::size_t kLineTextElements = 64;
const std::size_t kPreparedLineElements = 112;
const std::size_t kCounterLineElements = 96;
const std::size_t kFolderFileNameElements = 260;

// Characters of the time stamp in front of every library line.
const std::size_t kStampLength = 24;

void Fail(Info* info, unsigned int error, unsigned int errorType, Location location,
          unsigned int value) {
    scrivlet::RecordFailure(info, TQCLogFile_1::MODULE_LOGFILE, error, errorType, location, value);
}

void FailParameter(Info* info, unsigned int reason, Location location, unsigned int value) {
    Fail(info, reason, TQCLogFile_1::ERRORTYPE_PARAMETER, location, value);
}

// Writes count bytes with one write-through call and adds what was written to fileBytes. A
// failed call is recorded at failedAt with the platform's error; a short one at incompleteAt
// with the bytes written.
bool WriteBytes(TQ_HANDLE file, unsigned int& fileBytes, const void* data, unsigned int count,
                Info* info, Location failedAt, Location incompleteAt) {
    os::DWORD written = 0;
    if (!os::WriteFile(file, data, count, &written, nullptr)) {
        Fail(info, os::GetLastError(), TQCLogFile_1::ERRORTYPE_SYSTEM, failedAt, 0);
        return false;
    }
    fileBytes += written;
    if (written < count) {
        Fail(info, TQCLogFile_1::REASON_INCOMPLETE_WRITE, TQCLogFile_1::ERRORTYPE_RUNTIME,
             incompleteAt, written);
        return false;
    }
    return true;
}

// Writes a fresh time stamp followed by a prepared line of length - 24 characters.
bool WriteStampedLine(TQ_HANDLE file, unsigned int& fileBytes, const TQ_WCHAR* prepared,
                      unsigned int length, Info* info, Location failedAt, Location incompleteAt) {
    TQ_WCHAR line[kStampLength + kPreparedLineElements];
    TQ_DateTime::DateTimeSpaceToString_1(TQ_DateTime::GetLocalDateTime_1(), line);
    os::wcscpy_s(line + kStampLength, kPreparedLineElements, prepared);
    return WriteBytes(file, fileBytes, line, length * 2, info, failedAt, incompleteAt);
}

// Prepares a header or footer line "<text> 1 <number>\r\n"; see SetHeader and SetFooter.
bool PrepareLine(const TQ_WCHAR* text, unsigned int number, TQ_WCHAR* target,
                 unsigned int& targetLength, Location tooLongAt, Info* info) {
    const std::size_t length = os::wcsnlen_s(text, kLineTextElements);
    if (length > TQCLogFile_1::LINETEXT_MAX_LENGTH) {
        FailParameter(info, TQCLogFile_1::REASON_TOO_LONG, tooLongAt,
                      static_cast<unsigned int>(length));
        return false;
    }
    if (length == 0) {
        target[0] = 0;
        targetLength = 0;
        return true;
    }
    const int written =
        os::swprintf_s(target, kPreparedLineElements, TQ_TEXT("%s %u %u\r\n"), text, 1u, number);
    targetLength = written > 0 ? static_cast<unsigned int>(written) + kStampLength : 0;
    return true;
}

void CopyText(TQ_WCHAR* target, const TQ_WCHAR* source, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) target[i] = source[i];
}

}  // namespace

TQCLogFile_1::TQCLogFile_1()
    : m_bSwitchedOn(false),
      m_bCounter(false),
      m_hFile(TQ_INVALID_HANDLE),
      m_uiFileNumber(0),
      m_uiFileBytes(0),
      m_uiCounter(1),
      m_uiFileCount(5),
      m_uiFileSize(10485760),
      m_uiCounterLength(0),
      m_uiFooterLength(0),
      m_uiHeaderLength(0),
      m_szCounterLine(),
      m_szFileName(),
      m_szFolderFileName(),
      m_szFolder(),
      m_szFooter(),
      m_szHeader() {
    os::wcscpy_s(m_szFileName, kFileNameElements, TQ_TEXT("LogFile_1"));
}

TQCLogFile_1::TQCLogFile_1(const TQCLogFile_1& other) : m_hFile(TQ_INVALID_HANDLE) {
    *this = other;
}

TQCLogFile_1& TQCLogFile_1::operator=(const TQCLogFile_1& other) {
    if (this == &other) return *this;
    m_bSwitchedOn = other.m_bSwitchedOn;
    m_bCounter = other.m_bCounter;
    // Each object holds its own handle of the shared file and closes it once.
    m_hFile = TQ_INVALID_HANDLE;
    if (other.m_hFile != TQ_INVALID_HANDLE &&
        !os::DuplicateHandle(os::CurrentProcess(), other.m_hFile, os::CurrentProcess(), &m_hFile, 0,
                             os::FALSE, os::DUPLICATE_SAME_ACCESS)) {
        m_hFile = TQ_INVALID_HANDLE;
    }
    m_uiFileNumber = other.m_uiFileNumber;
    m_uiFileBytes = m_hFile != TQ_INVALID_HANDLE ? other.m_uiFileBytes : 0;
    m_uiCounter = other.m_uiCounter;
    m_uiFileCount = other.m_uiFileCount;
    m_uiFileSize = other.m_uiFileSize;
    m_uiCounterLength = other.m_uiCounterLength;
    m_uiFooterLength = other.m_uiFooterLength;
    m_uiHeaderLength = other.m_uiHeaderLength;
    CopyText(m_szCounterLine, other.m_szCounterLine, kCounterLineElements);
    CopyText(m_szFileName, other.m_szFileName, kFileNameElements);
    CopyText(m_szFolderFileName, other.m_szFolderFileName, kFolderFileNameElements);
    CopyText(m_szFolder, other.m_szFolder, kFolderElements);
    CopyText(m_szFooter, other.m_szFooter, kPreparedLineElements);
    CopyText(m_szHeader, other.m_szHeader, kPreparedLineElements);
    return *this;
}

TQCLogFile_1::~TQCLogFile_1() { TQCLogFile_1::ShutDown(); }

// ---- Configuration and queries -----------------------------------------------------------

bool TQCLogFile_1::Init(tagInitData_1* const pInitData, tagInfoData_1* pInfo) {
    if (pInitData == nullptr) return false;
    const tagInitData_1& data = *pInitData;

    if (data.uiFileCount < FILECOUNT_MIN) {
        FailParameter(pInfo, REASON_TOO_SMALL, kFileCountTooSmall, data.uiFileCount);
        return false;
    }
    if (data.uiFileCount > FILECOUNT_MAX) {
        FailParameter(pInfo, REASON_TOO_LARGE, kFileCountTooLarge, data.uiFileCount);
        return false;
    }
    if (data.uiFileSize < FILESIZE_MIN) {
        FailParameter(pInfo, REASON_TOO_SMALL, kFileSizeTooSmall, data.uiFileSize);
        return false;
    }
    if (data.uiFileSize > FILESIZE_MAX) {
        FailParameter(pInfo, REASON_TOO_LARGE, kFileSizeTooLarge, data.uiFileSize);
        return false;
    }
    // Text fields are counted within their arrays: one without a terminating zero counts as
    // its element count, which is too long.
    const std::size_t name_length = os::wcsnlen_s(data.szFileName, kFileNameElements);
    if (name_length > FILENAME_MAX_LENGTH) {
        FailParameter(pInfo, REASON_TOO_LONG, kFileNameTooLong,
                      static_cast<unsigned int>(name_length));
        return false;
    }
    const std::size_t folder_length = os::wcsnlen_s(data.szFolder, kFolderElements);
    if (folder_length > FOLDER_MAX_LENGTH) {
        FailParameter(pInfo, REASON_TOO_LONG, kFolderTooLong,
                      static_cast<unsigned int>(folder_length));
        return false;
    }

    m_uiFileCount = data.uiFileCount;
    m_uiFileSize = data.uiFileSize;
    if (name_length > 0) {
        os::wcscpy_s(m_szFileName, FILENAME_MAX_LENGTH + 1, data.szFileName);
        // The name ends before its first '.': "app.log" is stored as "app", ".log" as "".
        std::size_t dot = 0;
        while (dot < FILENAME_MAX_LENGTH && m_szFileName[dot] != 0 && m_szFileName[dot] != '.') {
            ++dot;
        }
        if (m_szFileName[dot] == '.') {
            for (std::size_t i = dot; i < FILENAME_MAX_LENGTH; ++i) m_szFileName[i] = 0;
        }
    }
    os::wcscpy_s(m_szFolder, kFolderElements, data.szFolder);
    if (!SetHeader(data.szHeader, pInfo)) return false;
    if (!SetFooter(data.szFooter, pInfo)) return false;
    // Read as a byte: a record filled from raw bytes may hold any value there.
    m_bCounter = *reinterpret_cast<const unsigned char*>(&data.bCounter) != 0;
    return true;
}

bool TQCLogFile_1::SetHeader(const TQ_WCHAR* pszHeader, tagInfoData_1* pInfo) {
    return PrepareLine(pszHeader, 2, m_szHeader, m_uiHeaderLength, kHeaderTooLong, pInfo);
}

bool TQCLogFile_1::SetFooter(const TQ_WCHAR* pszFooter, tagInfoData_1* pInfo) {
    return PrepareLine(pszFooter, 3, m_szFooter, m_uiFooterLength, kFooterTooLong, pInfo);
}

bool TQCLogFile_1::GetData(tagChangeData_1* const pChangeData, tagInfoData_1* /*pInfo*/) {
    if (pChangeData != nullptr) pChangeData->bSwitchedOn = m_bSwitchedOn;
    return true;
}

bool TQCLogFile_1::GetFolderFileName(tagChangeData_1* const pChangeData, tagInfoData_1* /*pInfo*/) {
    if (pChangeData != nullptr) pChangeData->pszFolderFileName = m_szFolderFileName;
    return true;
}

// ---- Switching, writing, rotating, closing -----------------------------------------------

bool TQCLogFile_1::Switch(bool bOn, tagInfoData_1* pInfo) {
    if (bOn) {
        if (m_bSwitchedOn) return true;
        // Set first: a switch-on that fails below leaves the object on without a file.
        m_bSwitchedOn = true;
        if (!CreateFolder(pInfo)) return false;
        SetFileNumber();
        CreateFileName();
        return Open(pInfo);
    }
    if (!m_bSwitchedOn) return true;
    if (!Close(pInfo)) {
        m_uiFileBytes = 0;
        return false;
    }
    m_bSwitchedOn = false;
    return true;
}

bool TQCLogFile_1::Write(const void* pData, unsigned int uiCount, tagInfoData_1* pInfo) {
    if (!m_bSwitchedOn) return true;
    // The largest record an empty file can take next to its counter, header and footer lines.
    const unsigned int room =
        m_uiFileSize - 2 * (m_uiCounterLength + m_uiFooterLength + m_uiHeaderLength);
    if (uiCount > room) {
        FailParameter(pInfo, REASON_NO_ROOM, kRecordTooLarge, room);
        return false;
    }
    // The footer must still fit behind the record; otherwise move on to the next file first,
    // through the virtual Switch so that a derived class's locking applies.
    if (m_uiFileBytes + uiCount > m_uiFileSize - 2 * m_uiFooterLength) {
        if (!Switch(false, pInfo)) return false;
        if (!Switch(true, pInfo)) return false;
    }
    return WriteBytes(m_hFile, m_uiFileBytes, pData, uiCount, pInfo, kRecordWriteFailed,
                      kRecordWriteIncomplete);
}

bool TQCLogFile_1::Exit(tagInfoData_1* pInfo) { return Close(pInfo); }

void TQCLogFile_1::ShutDown() {
    if (m_hFile == TQ_INVALID_HANDLE) return;
    os::CloseHandle(m_hFile);
    m_hFile = TQ_INVALID_HANDLE;
    m_uiFileBytes = 0;
}

bool TQCLogFile_1::CreateFolder(tagInfoData_1* pInfo) {
    unsigned int value = 0;
    switch (TQ_Folder::CheckCreateFolder_1(m_szFolder, value)) {
        case TQ_Folder::FOLDER_DONE:
        case TQ_Folder::FOLDER_EMPTY:
        case TQ_Folder::FOLDER_ONLY_BACKSLASHES:
            return true;
        case TQ_Folder::FOLDER_TOO_LONG:
            FailParameter(pInfo, REASON_TOO_LONG, kFolderPathTooLong, value);
            return false;
        case TQ_Folder::FOLDER_NO_DRIVE:
            FailParameter(pInfo, REASON_NO_DRIVE, kFolderNoDrive, 0);
            return false;
        default:  // creation or query failed: the value is the platform's error code
            Fail(pInfo, value, ERRORTYPE_SYSTEM, kFolderSystemFailure, 0);
            return false;
    }
}

void TQCLogFile_1::SetFileNumber() {
    const unsigned int next = m_uiFileNumber + 1;
    m_uiFileNumber = next <= m_uiFileCount ? next : 1;
}

void TQCLogFile_1::CreateFileName() {
    // The separator is inserted even behind a folder that ends in a backslash.
    if (m_szFolder[0] != 0) {
        os::swprintf_s(m_szFolderFileName, kFolderFileNameElements, TQ_TEXT("%s\\%s_%04u.log"),
                       m_szFolder, m_szFileName, m_uiFileNumber);
    } else {
        os::swprintf_s(m_szFolderFileName, kFolderFileNameElements, TQ_TEXT("%s_%04u.log"),
                       m_szFileName, m_uiFileNumber);
    }
}

bool TQCLogFile_1::Open(tagInfoData_1* pInfo) {
    m_hFile = os::CreateFileW(m_szFolderFileName, os::GENERIC_READ | os::GENERIC_WRITE,
                              os::FILE_SHARE_READ, nullptr, os::CREATE_ALWAYS,
                              os::FILE_ATTRIBUTE_NORMAL | os::FILE_FLAG_WRITE_THROUGH, nullptr);
    if (m_hFile == TQ_INVALID_HANDLE) {
        Fail(pInfo, os::GetLastError(), ERRORTYPE_SYSTEM, kOpenFailed, 0);
        return false;
    }
    // Replacing an existing file is the normal case, not a failure: clear what it left behind.
    // A successful open leaves the error record alone.
    if (os::GetLastError() == os::ERROR_ALREADY_EXISTS) os::SetLastError(0);
    if (!WriteCounter(pInfo)) return false;
    return WriteHeader(pInfo);
}

bool TQCLogFile_1::WriteCounter(tagInfoData_1* pInfo) {
    if (!m_bSwitchedOn || !m_bCounter) return true;
    TQ_DateTime::DateTimeSpaceToString_1(TQ_DateTime::GetLocalDateTime_1(), m_szCounterLine);
    os::swprintf_s(m_szCounterLine + kStampLength, kCounterLineElements - kStampLength,
                   TQ_TEXT("%u %u %u\r\n"), m_uiCounter, 1u, 1u);
    m_uiCounterLength =
        static_cast<unsigned int>(os::wcsnlen_s(m_szCounterLine, kCounterLineElements));
    // The counter moves on whether or not the line reaches the file.
    m_uiCounter = m_uiCounter == 0xFFFFFFFFu ? 1 : m_uiCounter + 1;
    return WriteBytes(m_hFile, m_uiFileBytes, m_szCounterLine, m_uiCounterLength * 2, pInfo,
                      kCounterWriteFailed, kCounterWriteIncomplete);
}

bool TQCLogFile_1::WriteHeader(tagInfoData_1* pInfo) {
    if (!m_bSwitchedOn || m_uiHeaderLength == 0) return true;
    return WriteStampedLine(m_hFile, m_uiFileBytes, m_szHeader, m_uiHeaderLength, pInfo,
                            kHeaderWriteFailed, kHeaderWriteIncomplete);
}

bool TQCLogFile_1::WriteFooter(tagInfoData_1* pInfo) {
    if (!m_bSwitchedOn || m_uiFooterLength == 0) return true;
    return WriteStampedLine(m_hFile, m_uiFileBytes, m_szFooter, m_uiFooterLength, pInfo,
                            kFooterWriteFailed, kFooterWriteIncomplete);
}

bool TQCLogFile_1::Close(tagInfoData_1* pInfo) {
    if (m_hFile == TQ_INVALID_HANDLE) return true;
    bool result = WriteFooter(pInfo);
    if (!os::CloseHandle(m_hFile)) {
        Fail(pInfo, os::GetLastError(), ERRORTYPE_SYSTEM, kCloseFailed,
             scrivlet::HandleValue(m_hFile));
        result = false;
    }
    m_hFile = TQ_INVALID_HANDLE;
    m_uiFileBytes = 0;
    return result;
}
