// The C interface: each function forwards to the log file classes, the date-time functions or
// the folder function, passing the C records through as the C++ records they mirror.
//
// An object lives in the host's tagScrivletLogFile_1 storage, constructed there with placement
// new. Both classes have TQCLogFile_1 as their only, non-virtual base, so the object's
// TQCLogFile_1 part starts at the first byte of the storage: the functions reach either class
// through a TQCLogFile_1 pointer and let the virtual table pick the class's operation. Only the
// few operations that are not virtual ask which class the object is.
#include <cstdint>
#include <new>

#include "platform/platform.h"
#include "scrivlet/datetime.h"
#include "scrivlet/folder.h"
#include "scrivlet/logfile.h"
#include "scrivlet/logfile_m.h"
#include "scrivlet/scrivlet_c.h"

namespace {

typedef TQCLogFile_1::tagInfoData_1 Info;
typedef TQCLogFile_1::tagInitData_1 InitData;
typedef TQCLogFile_1::tagChangeData_1 ChangeData;

// The storage holds either class.
static_assert(sizeof(TQCLogFile_1) <= SCRIVLET_LOGFILE_SIZE, "TQCLogFile_1 fits the storage");
static_assert(sizeof(TQCLogFileM_1) <= SCRIVLET_LOGFILE_SIZE, "TQCLogFileM_1 fits the storage");
static_assert(SCRIVLET_LOGFILE_ALIGN % alignof(TQCLogFile_1) == 0, "storage alignment suffices");
static_assert(SCRIVLET_LOGFILE_ALIGN % alignof(TQCLogFileM_1) == 0, "storage alignment suffices");
static_assert(alignof(tagScrivletLogFile_1) >= alignof(TQCLogFileM_1), "storage type aligned");
static_assert(sizeof(tagScrivletLogFile_1) == SCRIVLET_LOGFILE_SIZE, "storage size");

// The C records are the C++ records, field for field.
#define SCRIVLET_SAME_FIELD(C, CPP, field)                                                        \
    static_assert(                                                                                \
        offsetof(C, field) == offsetof(CPP, field) &&                                             \
            sizeof(static_cast<C*>(nullptr)->field) == sizeof(static_cast<CPP*>(nullptr)->field), \
        #field " matches")
static_assert(sizeof(tagScrivletInfoData_1) == sizeof(Info), "error record size");
SCRIVLET_SAME_FIELD(tagScrivletInfoData_1, Info, uiModule);
SCRIVLET_SAME_FIELD(tagScrivletInfoData_1, Info, uiError);
SCRIVLET_SAME_FIELD(tagScrivletInfoData_1, Info, uiErrorType);
SCRIVLET_SAME_FIELD(tagScrivletInfoData_1, Info, uiLocation);
SCRIVLET_SAME_FIELD(tagScrivletInfoData_1, Info, uiValue);
SCRIVLET_SAME_FIELD(tagScrivletInfoData_1, Info, uiErrorSet);
static_assert(sizeof(tagScrivletInitData_1) == sizeof(InitData), "configuration record size");
static_assert(sizeof(bool) == 1, "bool is one byte, as the C records' flags");
SCRIVLET_SAME_FIELD(tagScrivletInitData_1, InitData, bCounter);
SCRIVLET_SAME_FIELD(tagScrivletInitData_1, InitData, uiFileCount);
SCRIVLET_SAME_FIELD(tagScrivletInitData_1, InitData, uiFileSize);
SCRIVLET_SAME_FIELD(tagScrivletInitData_1, InitData, szFileName);
SCRIVLET_SAME_FIELD(tagScrivletInitData_1, InitData, szFolder);
SCRIVLET_SAME_FIELD(tagScrivletInitData_1, InitData, szFooter);
SCRIVLET_SAME_FIELD(tagScrivletInitData_1, InitData, szHeader);
static_assert(sizeof(tagScrivletChangeData_1) == sizeof(ChangeData), "state record size");
SCRIVLET_SAME_FIELD(tagScrivletChangeData_1, ChangeData, bSwitchedOn);
SCRIVLET_SAME_FIELD(tagScrivletChangeData_1, ChangeData, pszFolderFileName);
#undef SCRIVLET_SAME_FIELD

// The C constants are the C++ ones.
static_assert(SCRIVLET_MODULE_LOGFILE == TQCLogFile_1::MODULE_LOGFILE, "module");
static_assert(SCRIVLET_MODULE_LOGFILE_M == TQCLogFile_1::MODULE_LOGFILE_M, "module");
static_assert(SCRIVLET_ERRORTYPE_SYSTEM == TQCLogFile_1::ERRORTYPE_SYSTEM, "error type");
static_assert(SCRIVLET_ERRORTYPE_PARAMETER == TQCLogFile_1::ERRORTYPE_PARAMETER, "error type");
static_assert(SCRIVLET_ERRORTYPE_RUNTIME == TQCLogFile_1::ERRORTYPE_RUNTIME, "error type");
static_assert(SCRIVLET_REASON_WAIT_ABANDONED == TQCLogFile_1::REASON_WAIT_ABANDONED, "reason");
static_assert(SCRIVLET_REASON_WAIT_TIMEOUT == TQCLogFile_1::REASON_WAIT_TIMEOUT, "reason");
static_assert(SCRIVLET_REASON_INCOMPLETE_WRITE == TQCLogFile_1::REASON_INCOMPLETE_WRITE, "reason");
static_assert(SCRIVLET_REASON_NO_ROOM == TQCLogFile_1::REASON_NO_ROOM, "reason");
static_assert(SCRIVLET_REASON_TOO_LONG == TQCLogFile_1::REASON_TOO_LONG, "reason");
static_assert(SCRIVLET_REASON_TOO_LARGE == TQCLogFile_1::REASON_TOO_LARGE, "reason");
static_assert(SCRIVLET_REASON_TOO_SMALL == TQCLogFile_1::REASON_TOO_SMALL, "reason");
static_assert(SCRIVLET_REASON_NO_DRIVE == TQCLogFile_1::REASON_NO_DRIVE, "reason");
static_assert(SCRIVLET_FOLDER_DONE == TQ_Folder::FOLDER_DONE, "folder result");
static_assert(SCRIVLET_FOLDER_EMPTY == TQ_Folder::FOLDER_EMPTY, "folder result");
static_assert(SCRIVLET_FOLDER_ONLY_BACKSLASHES == TQ_Folder::FOLDER_ONLY_BACKSLASHES, "result");
static_assert(SCRIVLET_FOLDER_TOO_LONG == TQ_Folder::FOLDER_TOO_LONG, "folder result");
static_assert(SCRIVLET_FOLDER_NO_DRIVE == TQ_Folder::FOLDER_NO_DRIVE, "folder result");
static_assert(SCRIVLET_FOLDER_CREATE_FAILED == TQ_Folder::FOLDER_CREATE_FAILED, "folder result");
static_assert(SCRIVLET_FOLDER_QUERY_FAILED == TQ_Folder::FOLDER_QUERY_FAILED, "folder result");
static_assert(SCRIVLET_FOLDERFILENAME_SIZE == 260, "path elements");

bool Placeable(const tagScrivletLogFile_1* storage) {
    return storage != nullptr &&
           reinterpret_cast<std::uintptr_t>(storage) % SCRIVLET_LOGFILE_ALIGN == 0;
}

TQCLogFile_1* Object(tagScrivletLogFile_1* storage) {
    return std::launder(reinterpret_cast<TQCLogFile_1*>(storage->u.abStorage));
}

const TQCLogFile_1* Object(const tagScrivletLogFile_1* storage) {
    return std::launder(reinterpret_cast<const TQCLogFile_1*>(storage->u.abStorage));
}

Info* InfoOf(tagScrivletInfoData_1* info) { return reinterpret_cast<Info*>(info); }

ChangeData* ChangeOf(tagScrivletChangeData_1* change) {
    return reinterpret_cast<ChangeData*>(change);
}

int Result(bool ok) { return ok ? 1 : 0; }

}  // namespace

int ScrivletLogFile_Construct_1(tagScrivletLogFile_1* pLogFile) {
    if (!Placeable(pLogFile)) return 0;
    new (pLogFile->u.abStorage) TQCLogFile_1();
    return 1;
}

int ScrivletLogFileM_Construct_1(tagScrivletLogFile_1* pLogFile) {
    if (!Placeable(pLogFile)) return 0;
    new (pLogFile->u.abStorage) TQCLogFileM_1();
    return 1;
}

int ScrivletLogFile_ConstructCopy_1(tagScrivletLogFile_1* pLogFile,
                                    const tagScrivletLogFile_1* pSource) {
    if (!Placeable(pLogFile) || pSource == nullptr) return 0;
    const TQCLogFile_1* source = Object(pSource);
    if (const TQCLogFileM_1* guarded = dynamic_cast<const TQCLogFileM_1*>(source)) {
        new (pLogFile->u.abStorage) TQCLogFileM_1(*guarded);
    } else {
        new (pLogFile->u.abStorage) TQCLogFile_1(*source);
    }
    return 1;
}

int ScrivletLogFile_Assign_1(tagScrivletLogFile_1* pLogFile, const tagScrivletLogFile_1* pSource) {
    TQCLogFile_1* target = Object(pLogFile);
    const TQCLogFile_1* source = Object(pSource);
    if (TQCLogFileM_1* guarded = dynamic_cast<TQCLogFileM_1*>(target)) {
        const TQCLogFileM_1* guarded_source = dynamic_cast<const TQCLogFileM_1*>(source);
        if (guarded_source == nullptr) return 0;
        *guarded = *guarded_source;
    } else {
        *target = *source;
    }
    return 1;
}

void ScrivletLogFile_Destroy_1(tagScrivletLogFile_1* pLogFile) {
    Object(pLogFile)->~TQCLogFile_1();
}

int ScrivletLogFile_Init_1(tagScrivletLogFile_1* pLogFile, const tagScrivletInitData_1* pInitData,
                           tagScrivletInfoData_1* pInfo) {
    // Init only reads the configuration.
    InitData* data = reinterpret_cast<InitData*>(const_cast<tagScrivletInitData_1*>(pInitData));
    return Result(Object(pLogFile)->Init(data, InfoOf(pInfo)));
}

int ScrivletLogFile_Switch_1(tagScrivletLogFile_1* pLogFile, int bOn,
                             tagScrivletInfoData_1* pInfo) {
    return Result(Object(pLogFile)->Switch(bOn != 0, InfoOf(pInfo)));
}

int ScrivletLogFile_Write_1(tagScrivletLogFile_1* pLogFile, const void* pData, unsigned int uiCount,
                            tagScrivletInfoData_1* pInfo) {
    return Result(Object(pLogFile)->Write(pData, uiCount, InfoOf(pInfo)));
}

int ScrivletLogFile_Exit_1(tagScrivletLogFile_1* pLogFile, tagScrivletInfoData_1* pInfo) {
    return Result(Object(pLogFile)->Exit(InfoOf(pInfo)));
}

void ScrivletLogFile_ShutDown_1(tagScrivletLogFile_1* pLogFile) { Object(pLogFile)->ShutDown(); }

int ScrivletLogFile_GetData_1(tagScrivletLogFile_1* pLogFile, tagScrivletChangeData_1* pChangeData,
                              tagScrivletInfoData_1* pInfo) {
    return Result(Object(pLogFile)->GetData(ChangeOf(pChangeData), InfoOf(pInfo)));
}

int ScrivletLogFile_GetFolderFileName_1(tagScrivletLogFile_1* pLogFile,
                                        tagScrivletChangeData_1* pChangeData,
                                        tagScrivletInfoData_1* pInfo) {
    return Result(Object(pLogFile)->GetFolderFileName(ChangeOf(pChangeData), InfoOf(pInfo)));
}

int ScrivletLogFile_CopyFolderFileName_1(tagScrivletLogFile_1* pLogFile, TQ_WCHAR* szFolderFileName,
                                         tagScrivletInfoData_1* pInfo) {
    TQ_WCHAR(&target)
    [SCRIVLET_FOLDERFILENAME_SIZE] =
        *reinterpret_cast<TQ_WCHAR(*)[SCRIVLET_FOLDERFILENAME_SIZE]>(szFolderFileName);
    TQCLogFile_1* object = Object(pLogFile);
    if (TQCLogFileM_1* guarded = dynamic_cast<TQCLogFileM_1*>(object)) {
        return Result(guarded->CopyFolderFileName(target, InfoOf(pInfo)));
    }
    ChangeData change = {false, nullptr};
    if (!object->GetFolderFileName(&change, InfoOf(pInfo))) return 0;
    // The path always ends within its 260 elements: the copy fits.
    scrivlet::os::wcscpy_s(target, SCRIVLET_FOLDERFILENAME_SIZE, change.pszFolderFileName);
    return 1;
}

TQ_DATETIME ScrivletGetLocalDateTime_1(void) { return TQ_DateTime::GetLocalDateTime_1(); }

void ScrivletDateTimeToString_1(TQ_DATETIME ullDateTime, TQ_WCHAR* pszText) {
    TQ_DateTime::DateTimeToString_1(ullDateTime, pszText);
}

void ScrivletDateTimeSpaceToString_1(TQ_DATETIME ullDateTime, TQ_WCHAR* pszText) {
    TQ_DateTime::DateTimeSpaceToString_1(ullDateTime, pszText);
}

int ScrivletCheckCreateFolder_1(const TQ_WCHAR* pszFolder, unsigned int* puiValue) {
    unsigned int value = 0;
    const int result = TQ_Folder::CheckCreateFolder_1(pszFolder, value);
    if (puiValue != nullptr) *puiValue = value;
    return result;
}
