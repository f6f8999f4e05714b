// TQCLogFile_1: construction and copying, configuration (Init, SetHeader, SetFooter), the state
// queries, and the file cycle: switching, writing, rotating and closing. The file format (names,
// lines, room for a record) comes from scrivlet/format.h, the reporting places from places.h.
#include "scrivlet/logfile.h"

#include "error_info.h"
#include "places.h"
#include "platform/platform.h"
#include "scrivlet/datetime.h"
#include "scrivlet/folder.h"
#include "scrivlet/format.h"

namespace os = scrivlet::os;
namespace format = scrivlet::format;
using namespace scrivlet::detail;

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;
typedef TQCLogFile_1::tagInitData_1 InitData;

// Elements of a configured header or footer text.
const std::size_t kLineTextElements = sizeof(InitData::szHeader) / sizeof(TQ_WCHAR);

void StoreLogFileFailure(Info* info, unsigned int error, unsigned int error_type,
                         LogFilePlace place, unsigned int value) {
    StoreFailure(info, TQCLogFile_1::MODULE_LOGFILE, error, error_type, place, value);
}

void StoreParameterFailure(Info* info, unsigned int reason, LogFilePlace place,
                           unsigned int value) {
    StoreLogFileFailure(info, reason, TQCLogFile_1::ERRORTYPE_PARAMETER, place, value);
}

// Writes count bytes with one write-through call and adds what was written to file_bytes. A
// failed call is stored at failed_at with the platform's error; a short one at incomplete_at
// with the bytes written.
bool WriteBytes(TQ_HANDLE file, unsigned int& file_bytes, const void* data, unsigned int count,
                Info* info, LogFilePlace failed_at, LogFilePlace incomplete_at) {
    os::DWORD written = 0;
    if (!os::WriteFile(file, data, count, &written, nullptr)) {
        StoreLogFileFailure(info, os::GetLastError(), TQCLogFile_1::ERRORTYPE_SYSTEM, failed_at, 0);
        return false;
    }
    file_bytes += written;
    if (written < count) {
        StoreLogFileFailure(info, TQCLogFile_1::REASON_INCOMPLETE_WRITE,
                            TQCLogFile_1::ERRORTYPE_RUNTIME, incomplete_at, written);
        return false;
    }
    return true;
}

// Writes a fresh time stamp followed by a prepared line; length counts both, in characters.
template <std::size_t N>
bool WriteStampedLine(TQ_HANDLE file, unsigned int& file_bytes, const TQ_WCHAR (&prepared)[N],
                      unsigned int length, Info* info, LogFilePlace failed_at,
                      LogFilePlace incomplete_at) {
    TQ_WCHAR line[format::kStampLength + N];
    TQ_DateTime::DateTimeSpaceToString_1(TQ_DateTime::GetLocalDateTime_1(), line);
    os::wcscpy_s(line + format::kStampLength, N, prepared);
    return WriteBytes(file, file_bytes, line, length * format::kBytesPerChar, info, failed_at,
                      incomplete_at);
}

// Prepares a header or footer line "<text> 1 <kind>\r\n"; see SetHeader and SetFooter.
template <std::size_t N>
bool PrepareLine(const TQ_WCHAR* text, unsigned int kind, TQ_WCHAR (&target)[N],
                 unsigned int& target_length, LogFilePlace too_long_at, Info* info) {
    const std::size_t length = os::wcsnlen_s(text, kLineTextElements);
    if (length > TQCLogFile_1::LINETEXT_MAX_LENGTH) {
        StoreParameterFailure(info, TQCLogFile_1::REASON_TOO_LONG, too_long_at,
                              static_cast<unsigned int>(length));
        return false;
    }
    if (length == 0) {
        target[0] = 0;
        target_length = 0;
        return true;
    }
    const int written = os::swprintf_s(target, N, SCRIVLET_WIDE(SCRIVLET_TEXT_LINE_FORMAT), text,
                                       format::kLineFirstNumber, kind);
    target_length = written > 0 ? static_cast<unsigned int>(written) + format::kStampLength : 0;
    return true;
}

template <std::size_t N>
void CopyText(TQ_WCHAR (&target)[N], const TQ_WCHAR (&source)[N]) {
    for (std::size_t i = 0; i < N; ++i) target[i] = source[i];
}

}  // namespace

TQCLogFile_1::TQCLogFile_1()
    : m_bSwitchedOn(false),
      m_bCounter(false),
      m_hFile(TQ_INVALID_HANDLE),
      m_uiFileNumber(0),
      m_uiFileBytes(0),
      m_uiCounter(1),
      m_uiFileCount(format::kDefaultFileCount),
      m_uiFileSize(format::kDefaultFileSize),
      m_uiCounterLength(0),
      m_uiFooterLength(0),
      m_uiHeaderLength(0),
      m_szCounterLine(),
      m_szFileName(),
      m_szFolderFileName(),
      m_szFolder(),
      m_szFooter(),
      m_szHeader() {
    os::wcscpy_s(m_szFileName, Elements(m_szFileName), SCRIVLET_WIDE(SCRIVLET_DEFAULT_NAME));
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
    CopyText(m_szCounterLine, other.m_szCounterLine);
    CopyText(m_szFileName, other.m_szFileName);
    CopyText(m_szFolderFileName, other.m_szFolderFileName);
    CopyText(m_szFolder, other.m_szFolder);
    CopyText(m_szFooter, other.m_szFooter);
    CopyText(m_szHeader, other.m_szHeader);
    return *this;
}

TQCLogFile_1::~TQCLogFile_1() { TQCLogFile_1::ShutDown(); }

// ---- Configuration and queries -----------------------------------------------------------

bool TQCLogFile_1::Init(tagInitData_1* const pInitData, tagInfoData_1* pInfo) {
    if (pInitData == nullptr) return false;
    const tagInitData_1& data = *pInitData;

    if (data.uiFileCount < FILECOUNT_MIN) {
        StoreParameterFailure(pInfo, REASON_TOO_SMALL, kFileCountTooSmall, data.uiFileCount);
        return false;
    }
    if (data.uiFileCount > FILECOUNT_MAX) {
        StoreParameterFailure(pInfo, REASON_TOO_LARGE, kFileCountTooLarge, data.uiFileCount);
        return false;
    }
    if (data.uiFileSize < FILESIZE_MIN) {
        StoreParameterFailure(pInfo, REASON_TOO_SMALL, kFileSizeTooSmall, data.uiFileSize);
        return false;
    }
    if (data.uiFileSize > FILESIZE_MAX) {
        StoreParameterFailure(pInfo, REASON_TOO_LARGE, kFileSizeTooLarge, data.uiFileSize);
        return false;
    }
    // Text fields are counted within their arrays: one without a terminating zero counts as
    // its element count, which is too long.
    const std::size_t name_length = os::wcsnlen_s(data.szFileName, Elements(data.szFileName));
    if (name_length > FILENAME_MAX_LENGTH) {
        StoreParameterFailure(pInfo, REASON_TOO_LONG, kFileNameTooLong,
                              static_cast<unsigned int>(name_length));
        return false;
    }
    const std::size_t folder_length = os::wcsnlen_s(data.szFolder, Elements(data.szFolder));
    if (folder_length > FOLDER_MAX_LENGTH) {
        StoreParameterFailure(pInfo, REASON_TOO_LONG, kFolderTooLong,
                              static_cast<unsigned int>(folder_length));
        return false;
    }

    m_uiFileCount = data.uiFileCount;
    m_uiFileSize = data.uiFileSize;
    if (name_length > 0) {
        os::wcscpy_s(m_szFileName, FILENAME_MAX_LENGTH + 1, data.szFileName);
        // The name ends before its first kNameEnd: "app.log" is stored as "app", ".log" as "".
        std::size_t dot = 0;
        while (dot < FILENAME_MAX_LENGTH && m_szFileName[dot] != 0 &&
               m_szFileName[dot] != format::kNameEnd) {
            ++dot;
        }
        if (m_szFileName[dot] == format::kNameEnd) {
            for (std::size_t i = dot; i < FILENAME_MAX_LENGTH; ++i) m_szFileName[i] = 0;
        }
    }
    os::wcscpy_s(m_szFolder, Elements(m_szFolder), data.szFolder);
    if (!SetHeader(data.szHeader, pInfo)) return false;
    if (!SetFooter(data.szFooter, pInfo)) return false;
    // Read as a byte: a record filled from raw bytes may hold any value there.
    m_bCounter = *reinterpret_cast<const unsigned char*>(&data.bCounter) != 0;
    return true;
}

bool TQCLogFile_1::SetHeader(const TQ_WCHAR* pszHeader, tagInfoData_1* pInfo) {
    return PrepareLine(pszHeader, format::kHeaderLine, m_szHeader, m_uiHeaderLength, kHeaderTooLong,
                       pInfo);
}

bool TQCLogFile_1::SetFooter(const TQ_WCHAR* pszFooter, tagInfoData_1* pInfo) {
    return PrepareLine(pszFooter, format::kFooterLine, m_szFooter, m_uiFooterLength, kFooterTooLong,
                       pInfo);
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
    const unsigned int room =
        format::RecordRoom(m_uiFileSize, m_uiCounterLength, m_uiHeaderLength, m_uiFooterLength);
    if (uiCount > room) {
        StoreParameterFailure(pInfo, REASON_NO_ROOM, kRecordTooLarge, room);
        return false;
    }
    // The footer must still fit behind the record; otherwise move on to the next file first,
    // through the virtual Switch so that a derived class's locking applies.
    if (!format::FitsBeforeFooter(m_uiFileBytes, uiCount, m_uiFileSize, m_uiFooterLength)) {
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
            StoreParameterFailure(pInfo, REASON_TOO_LONG, kFolderPathTooLong, value);
            return false;
        case TQ_Folder::FOLDER_NO_DRIVE:
            StoreParameterFailure(pInfo, REASON_NO_DRIVE, kFolderNoDrive, 0);
            return false;
        default:  // creation or query failed: the value is the platform's error code
            StoreLogFileFailure(pInfo, value, ERRORTYPE_SYSTEM, kFolderSystemFailure, 0);
            return false;
    }
}

void TQCLogFile_1::SetFileNumber() {
    const unsigned int next = m_uiFileNumber + 1;
    m_uiFileNumber = next <= m_uiFileCount ? next : 1;
}

void TQCLogFile_1::CreateFileName() {
    // The separator is inserted even behind a folder that ends in one.
    if (m_szFolder[0] != 0) {
        os::swprintf_s(
            m_szFolderFileName, Elements(m_szFolderFileName),
            SCRIVLET_WIDE("%s" SCRIVLET_FOLDER_SEPARATOR "%s" SCRIVLET_FILE_NUMBER_FORMAT),
            m_szFolder, m_szFileName, m_uiFileNumber);
    } else {
        os::swprintf_s(m_szFolderFileName, Elements(m_szFolderFileName),
                       SCRIVLET_WIDE("%s" SCRIVLET_FILE_NUMBER_FORMAT), m_szFileName,
                       m_uiFileNumber);
    }
}

bool TQCLogFile_1::Open(tagInfoData_1* pInfo) {
    m_hFile = os::CreateFileW(m_szFolderFileName, os::GENERIC_READ | os::GENERIC_WRITE,
                              os::FILE_SHARE_READ, nullptr, os::CREATE_ALWAYS,
                              os::FILE_ATTRIBUTE_NORMAL | os::FILE_FLAG_WRITE_THROUGH, nullptr);
    if (m_hFile == TQ_INVALID_HANDLE) {
        StoreLogFileFailure(pInfo, os::GetLastError(), ERRORTYPE_SYSTEM, kOpenFailed, 0);
        return false;
    }
    // Replacing an existing file is the normal case, not a failure: clear what it left behind.
    // A successful open leaves the error record alone.
    if (os::GetLastError() == os::ERROR_ALREADY_EXISTS) os::SetLastError(os::ERROR_SUCCESS);
    if (!WriteCounter(pInfo)) return false;
    return WriteHeader(pInfo);
}

bool TQCLogFile_1::WriteCounter(tagInfoData_1* pInfo) {
    if (!m_bSwitchedOn || !m_bCounter) return true;
    TQ_DateTime::DateTimeSpaceToString_1(TQ_DateTime::GetLocalDateTime_1(), m_szCounterLine);
    os::swprintf_s(m_szCounterLine + format::kStampLength,
                   Elements(m_szCounterLine) - format::kStampLength,
                   SCRIVLET_WIDE(SCRIVLET_COUNTER_LINE_FORMAT), m_uiCounter,
                   format::kLineFirstNumber, format::kCounterLine);
    m_uiCounterLength =
        static_cast<unsigned int>(os::wcsnlen_s(m_szCounterLine, Elements(m_szCounterLine)));
    // The counter moves on whether or not the line reaches the file.
    m_uiCounter = format::NextCounter(m_uiCounter);
    return WriteBytes(m_hFile, m_uiFileBytes, m_szCounterLine,
                      m_uiCounterLength * format::kBytesPerChar, pInfo, kCounterWriteFailed,
                      kCounterWriteIncomplete);
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
        StoreLogFileFailure(pInfo, os::GetLastError(), ERRORTYPE_SYSTEM, kCloseFailed,
                            HandleValue(m_hFile));
        result = false;
    }
    m_hFile = TQ_INVALID_HANDLE;
    m_uiFileBytes = 0;
    return result;
}
