// Recording a failure in the caller's error record: the one rule every reporting place follows.
#ifndef SCRIVLET_LIBRARY_RECORD_H
#define SCRIVLET_LIBRARY_RECORD_H

#include <cstdint>

#include "scrivlet/logfile.h"

namespace scrivlet {

// Writes the failure into info unless info already holds one (bit 0 of uiErrorSet): the first
// failure recorded wins. A null record is left alone; the caller still returns false.
inline void RecordFailure(TQCLogFile_1::tagInfoData_1* info, unsigned int module,
                          unsigned int error, unsigned int errorType, unsigned int location,
                          unsigned int value) {
    if (info == nullptr || (info->uiErrorSet & 1u) != 0) return;
    info->uiModule = module;
    info->uiError = error;
    info->uiErrorType = errorType;
    info->uiLocation = location;
    info->uiValue = value;
    info->uiErrorSet = 1;
}

// A handle's value as it goes into a record's 32-bit uiValue.
inline unsigned int HandleValue(TQ_HANDLE handle) {
    return static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(handle));
}

}  // namespace scrivlet

#endif  // SCRIVLET_LIBRARY_RECORD_H
