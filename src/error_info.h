// Filling the caller's error information record: the one rule every reporting place follows.
#ifndef SCRIVLET_ERROR_INFO_H
#define SCRIVLET_ERROR_INFO_H

#include <cstdint>

#include "scrivlet/logfile.h"

namespace scrivlet {
namespace detail {

// Stores a failure in info unless info already holds one (bit 0 of uiErrorSet): the first
// failure stored wins. A null record is left alone; the caller still returns false.
inline void StoreFailure(TQCLogFile_1::tagInfoData_1* info, unsigned int module, unsigned int error,
                         unsigned int error_type, unsigned int location, unsigned int value) {
    if (info == nullptr || (info->uiErrorSet & 1u) != 0) return;
    info->uiModule = module;
    info->uiError = error;
    info->uiErrorType = error_type;
    info->uiLocation = location;
    info->uiValue = value;
    info->uiErrorSet = 1;
}

// Stores the failure that from holds, if any, in to under the same rule.
inline void KeepFirstFailure(TQCLogFile_1::tagInfoData_1& to,
                             const TQCLogFile_1::tagInfoData_1& from) {
    if ((from.uiErrorSet & 1u) == 0) return;
    StoreFailure(&to, from.uiModule, from.uiError, from.uiErrorType, from.uiLocation, from.uiValue);
}

// A handle's value as it goes into a record's 32-bit uiValue.
inline unsigned int HandleValue(TQ_HANDLE handle) {
    return static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(handle));
}

// The element count of an array, taken from the array itself.
template <typename T, std::size_t N>
constexpr std::size_t Elements(const T (&)[N]) {
    return N;
}

}  // namespace detail
}  // namespace scrivlet

#endif  // SCRIVLET_ERROR_INFO_H
